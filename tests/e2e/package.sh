#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Builds the Debian source and binary package from a scratch copy of the sources, as a
# distribution does (the build's tests left out, they run in the suite itself), and checks the
# package: the launcher, the program marked as an installation, its trial relay, no packer of its
# own, the desktop entry, the metainfo, the icons, the manual page, the copyright and the
# changelog; the project's version; a dependency on the package of every library the program
# links, on Debian's packer, on the fonts and on Qt's translations; no homepage but Kompaktor's
# own; nothing from lintian at its pedantic level but information.
#   package.sh SOURCE_DIR VERSION
set -euo pipefail
fail() {
    echo "$*"
    exit 1
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/kompaktor"
(cd "$1" && git ls-files -z --cached --others --exclude-standard | xargs -0 cp --parents -t "$work/kompaktor")
(cd "$work/kompaktor" && DEB_BUILD_OPTIONS="nocheck parallel=2" dpkg-buildpackage -us -uc -Pnocheck \
    >"$work/build.log" 2>&1) || { tail -n 50 "$work/build.log"; fail "dpkg-buildpackage failed"; }
deb=$work/kompaktor_$2_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no package of version $2: $(ls "$work")"

contents=$(dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}//')
for wanted in './usr/bin/kompaktor -> ../lib/kompaktor/kompaktor' ./usr/lib/kompaktor/kompaktor \
    ./usr/lib/kompaktor/kompaktor-relay ./usr/lib/kompaktor/kompaktor.installed \
    ./usr/share/applications/kompaktor.desktop \
    ./usr/share/metainfo/invalid.kompaktor.kompaktor.metainfo.xml \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/kompaktor.png \
    ./usr/share/icons/hicolor/scalable/apps/kompaktor.svg \
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
copyright=$work/root/usr/share/doc/kompaktor/copyright
head -n 1 "$copyright" |
    grep -qxF 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
    grep -qxF 'License: GPL-3+' "$copyright" ||
    fail "the copyright file is not in the machine-readable format with the GPL-3+"
zcat "$work/root/usr/share/man/man1/kompaktor.1.gz" | grep -q "^\.TH KOMPAKTOR 1 .* \"Kompaktor $2\"" ||
    fail "the manual page does not name version $2"

status=0
lintian --pedantic --fail-on error,warning,pedantic --tag-display-limit 0 \
    "$work"/kompaktor_"$2"_*.changes >"$work/lintian.log" 2>&1 || status=$?
[ $status -eq 0 ] && ! grep -q '^[EWP]: ' "$work/lintian.log" ||
    { cat "$work/lintian.log"; fail "lintian reports more than information (status $status)"; }
echo "package $(basename "$deb"): contents complete; Depends: $depends; lintian --pedantic:"
cat "$work/lintian.log"
