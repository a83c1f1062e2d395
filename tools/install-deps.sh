#!/usr/bin/env bash
# Installs what building, running and testing velmora-flat needs on Debian 12 (apt-get; sudo when not root).
# --ci adds what CI's checks need, --windows what the Windows build and its tests need.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev qttools5-dev qttools5-dev-tools
    libudev-dev
    fonts-dejavu-core
    libmicrohttpd-dev
    libindi-dev indi-bin
    libcurl4-openssl-dev
    libcfitsio-dev
    libqt5charts5-dev
)
# Extra tools for the checks that CI runs (packaging, desktop files, fuzzing).
for option in "$@"; do
    case $option in
    --ci)
        packages+=(clang libclang-rt-14-dev dpkg-dev file appstream desktop-file-utils)
        packages+=(debhelper lintian)
        ;;
    # The Windows build and its tests: MinGW-w64, NSIS, Wine (with its own fonts), Xvfb, curl, xdotool and
    # ImageMagick for the screenshots.
    --windows)
        packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 nsis wine64 fonts-wine)
        packages+=(xvfb xauth curl xdotool imagemagick xz-utils)
        ;;
    esac
done

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
