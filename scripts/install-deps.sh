#!/usr/bin/env bash
# Installs what Trevalon needs to build, run and test, from Debian's packages. Quick when all is there.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config clang libclang-rt-14-dev
    qt6-base-dev qt6-multimedia-dev libqt6svg6
    ffmpeg libopencore-amrnb-dev libavformat-dev libavcodec-dev libavfilter-dev libswresample-dev
    libtag1-dev libebur128-dev
    libgtest-dev libgmock-dev
    xvfb xauth xdotool imagemagick desktop-file-utils dpkg-dev fonts-dejavu-core
    python3 parallel openssh-client openssh-server rsync time
    sound-theme-freedesktop alsa-utils
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
