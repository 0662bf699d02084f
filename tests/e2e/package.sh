#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Builds the Debian package and checks its contents and dependencies: the launcher, the program
# marked as an installation, no packer of its own, the desktop entry, the icons, the copyright
# and the changelog; a dependency on the package of every library the program links, on Debian's
# packer, on the fonts and on Qt's translations; no homepage but Kompaktor's own; no error from
# lintian.
#   package.sh BUILD_DIR
set -euo pipefail
fail() {
    echo "$*"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$1" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/*.deb)

contents=$(dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}//')
for wanted in './usr/bin/kompaktor -> ../lib/kompaktor/kompaktor' ./usr/lib/kompaktor/kompaktor \
    ./usr/lib/kompaktor/kompaktor.installed ./usr/share/applications/kompaktor.desktop \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/kompaktor.png \
    ./usr/share/doc/kompaktor/copyright ./usr/share/doc/kompaktor/changelog.gz \
    ./usr/share/man/man1/kompaktor.1.gz; do
    grep -qxF "$wanted" <<<"$contents" || fail "package lacks $wanted"
done
! grep -q 'upx' <<<"$contents" || fail "package carries a packer: $(grep upx <<<"$contents")"

depends=$(dpkg-deb -f "$deb" Depends)
depends_on() { tr ',' '\n' <<<"$depends" | awk '{print $1}' | grep -qxF "$1"; }
dpkg-deb -x "$deb" "$work/root"
program=$work/root/usr/lib/kompaktor/kompaktor
for library in $(objdump -p "$program" | awk '/NEEDED/ {print $2}'); do
    path=$(ldd "$program" | awk -v l="$library" '$1 == l {print $3}')
    # dpkg knows a library by the name its package installed, with or without the merged /usr.
    package=$(for name in "$path" "/usr$path" "$(readlink -f "$path")"; do
        dpkg -S "$name" 2>/dev/null && break
    done | head -n 1 | cut -d: -f1)
    [ -n "$package" ] || fail "no package holds $library"
    depends_on "$package" || fail "no dependency on $package for $library: $depends"
done
for package in upx-ucl fonts-liberation qt6-translations-l10n; do
    depends_on "$package" || fail "no dependency on $package: $depends"
done
homepage=$(dpkg-deb -f "$deb" Homepage)
[ -z "$homepage" ] || fail "the package names a homepage that is not Kompaktor's: $homepage"
head -n 1 "$work/root/usr/share/doc/kompaktor/copyright" |
    grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "the copyright file is not in the machine-readable format"

status=0
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || status=$?
[ $status -eq 0 ] && ! grep -q '^E: ' "$work/lintian.log" ||
    { cat "$work/lintian.log"; fail "lintian reports errors or did not run (status $status)"; }
echo "package $(basename "$deb"): contents complete; Depends: $depends; lintian:"
cat "$work/lintian.log"
