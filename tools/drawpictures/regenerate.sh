#!/bin/sh
# Redraws the program's pictures (see main.cpp) and assembles the Windows icon from the desktop icons.
# Usage: tools/drawpictures/regenerate.sh [build directory for the generator]
# Needs cmake, a C++17 compiler, Qt 5 (qtbase5-dev), ImageMagick (convert) and pngquant.
set -eu

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$(mktemp -d)}

cmake -S "$root/tools/drawpictures" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2
QT_QPA_PLATFORM=offscreen "$build/velmora-drawpictures" "$root"

# The window's pictures are stored with a palette of 256 colours with alpha: they look the same, and the program
# decodes a quarter of the bytes at every start (the pictures are most of what the window's start-up decodes).
for picture in "$root"/ui/icons/*.png "$root"/ui/images/*.png; do
    pngquant --force --quality 80-100 --speed 1 --strip --output "$picture" "$picture"
done

# One .ico with the six sizes, largest first, all 32-bit colour with alpha: convert stores the 256 one as PNG
# (as Windows expects for that size) and the others as bitmaps.
hicolor=$root/packaging/icons/hicolor
set --
for side in 256 128 64 48 32 16; do
    set -- "$@" "$hicolor/${side}x$side/apps/velmora-flat.png"
done
convert "$@" -type TrueColorAlpha "$root/packaging/windows/velmora-flat.ico"
echo "packaging/windows/velmora-flat.ico"
