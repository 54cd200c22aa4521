#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages the project needs that are
# missing. Safe to run any number of times; does nothing when all are there.
set -euo pipefail

packages=(
    # build
    cmake ninja-build g++ make pkg-config clang-format
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    # image readers the tests judge our images with
    genisoimage xorriso p7zip-full udftools udfclient libcdio-utils
    python3 python3-pycdlib libarchive-tools
    # the SG_IO transport test: a Linux guest under qemu with an emulated CD drive
    qemu-system-x86 busybox-static cpio gzip
    # the window (Qt 6 Widgets), its fonts, and its tests and pictures under Xvfb
    qt6-base-dev qt6-base-dev-tools fonts-dejavu-core fonts-wine
    xvfb xauth x11-utils imagemagick
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
