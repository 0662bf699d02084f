#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Installs the build into a fresh prefix and checks what the desktop gets there: a valid desktop
# entry whose command is the installed launcher, the launcher leading to the program, marked as an
# installation and without a packer beside it (it uses the system's), the program's icon in
# each size of the icon theme and as a scalable one, and AppStream metainfo that validates and
# launches the desktop entry.
#   installed.sh BUILD_DIR
set -euo pipefail
fail() {
    echo "$*"
    exit 1
}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null

entry=$prefix/share/applications/kompaktor.desktop
problems=$(desktop-file-validate "$entry" 2>&1) || true
[ -z "$problems" ] || fail "desktop-file-validate: $problems"
command=$(sed -n 's/^Exec=\([^ ]*\) %f$/\1/p' "$entry")
[ -n "$command" ] || fail "no 'Exec=COMMAND %f' line in the desktop entry"
[ "$(readlink -f "$prefix/bin/$command")" = "$prefix/lib/kompaktor/kompaktor" ] ||
    fail "bin/$command does not lead to lib/kompaktor/kompaktor"
[ -x "$prefix/lib/kompaktor/kompaktor" ] && [ -f "$prefix/lib/kompaktor/kompaktor.installed" ] ||
    fail "program or installation marker missing in lib/kompaktor"
[ ! -e "$prefix/lib/kompaktor/upx" ] || fail "a packer beside the installed program"
# The trial relay beside the program, where the program looks for it.
[ -x "$prefix/lib/kompaktor/kompaktor-relay" ] || fail "trial relay missing in lib/kompaktor"
icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128; do
    file -b "$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png" |
        grep -q "^PNG image data, $size x $size," || fail "no $size-pixel icon '$icon'"
done
file -b "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" | grep -q '^SVG Scalable Vector' ||
    fail "no scalable icon '$icon'"

metainfo=$(ls "$prefix"/share/metainfo/*.metainfo.xml)
problems=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
    fail "appstreamcli: $problems"
! grep -q '^[EWP]: ' <<<"$problems" || fail "appstreamcli: $problems"
grep -qF "<launchable type=\"desktop-id\">$(basename "$entry")</launchable>" "$metainfo" ||
    fail "the metainfo does not launch $(basename "$entry")"
echo "installed: desktop entry and metainfo valid, launcher, program, relay and six icons in place"
