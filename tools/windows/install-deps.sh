#!/usr/bin/env bash
# Installs what the Windows build and its tests need on Debian 12: MinGW-w64, NSIS, Wine, Xvfb and curl.
set -euo pipefail
packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 nsis wine64 xvfb xauth curl
          qttools5-dev-tools imagemagick xz-utils fonts-wine xdotool)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
