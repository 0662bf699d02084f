#!/usr/bin/env bash
# Builds the Debian package and checks its contents and dependencies: the launcher, the program
# with its packer, the desktop entry and the icons; a dependency on the package of every library
# the program links, on the fonts and on Qt's translations; a packer that still runs.
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
    ./usr/lib/kompaktor/upx ./usr/share/applications/kompaktor.desktop \
    ./usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128}/apps/kompaktor.png; do
    grep -qxF "$wanted" <<<"$contents" || fail "package lacks $wanted"
done

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
for package in fonts-liberation qt6-translations-l10n; do
    depends_on "$package" || fail "no dependency on $package: $depends"
done
"$work/root/usr/lib/kompaktor/upx" --version | head -n 1 | grep -q '^upx ' ||
    fail "the packaged packer does not run"
echo "package $(basename "$deb"): contents complete; Depends: $depends"
