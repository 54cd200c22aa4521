#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages the project needs that are
# missing. Safe to run any number of times; does nothing when all are there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ make pkg-config clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # the window's side: Qt 6, and a font so offscreen tests lay out text
    qt6-base-dev qt6-base-dev-tools fonts-dejavu-core
    # the window's Tahoma, and its smoke test and pictures under Xvfb
    fonts-wine xvfb xauth x11-utils imagemagick
    # closing and destroying the real window under Xvfb, with and without a
    # window manager
    xdotool wmctrl openbox
    # the Debian package (make package: dpkg-shlibdeps, file) and its checks
    dpkg-dev file lintian desktop-file-utils appstream
    # image readers the tests judge our images with
    genisoimage xorriso p7zip-full udftools udfclient libcdio-utils
    python3 python3-pycdlib libarchive-tools
    # the guest tests: a Linux guest under qemu with an emulated CD drive (SG_IO
    # transport) or with the virtual recorder behind the kernel's SCSI target,
    # and the burners that judge the recorder there (xorriso is listed above)
    qemu-system-x86 busybox-static cpio gzip file growisofs wodim
    # the Windows build (mingw-w64, posix threads) and wine to run it
    g++-mingw-w64-x86-64-posix wine64
    # benchmarks
    time bc
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
