#!/usr/bin/env bash
# Cross-builds velmora-flat for 64-bit Windows in build-windows/: the program, its device library, the flat table
# library and the tests that run on Windows; then the portable folder build-windows/dist/ and the installer
# build-windows/velmora-flat-<version>-x64-setup.exe.
# The toolchain (Qt 5.15.8 and libmicrohttpd for MinGW-w64) comes from $VELMORA_MINGW_QT, an unpacked folder, or
# else from ../shared/windows/qt5.15.8-mingw64.tar.xz, unpacked into build-windows/toolchain/.
set -euo pipefail
cd "$(dirname "$0")/../.."
top=$PWD
out=$top/build-windows

bash tools/install-deps.sh --windows "$@"

toolchain=${VELMORA_MINGW_QT:-}
if [ -z "$toolchain" ]; then
    archive=$top/../shared/windows/qt5.15.8-mingw64.tar.xz
    toolchain=$out/toolchain/velmora-qt5-mingw64
    if [ ! -d "$toolchain/lib/cmake/Qt5" ]; then
        if [ ! -f "$archive" ]; then
            echo "No Qt for MinGW-w64: set VELMORA_MINGW_QT to an unpacked velmora-qt5-mingw64 folder," >&2
            echo "or put qt5.15.8-mingw64.tar.xz in $(dirname "$archive") (shared/windows/build-toolchain.sh makes it)." >&2
            exit 1
        fi
        mkdir -p "$out/toolchain"
        tar -C "$out/toolchain" -xJf "$archive"
    fi
fi
if [ ! -d "$toolchain/lib/cmake/Qt5" ]; then
    echo "VELMORA_MINGW_QT=$toolchain holds no Qt for MinGW-w64 (lib/cmake/Qt5 is missing)." >&2
    exit 1
fi
toolchain=$(cd "$toolchain" && pwd)

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$top/tools/windows/mingw64.cmake" -DVELMORA_MINGW_QT="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DVELMORA_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$out" -j"$(nproc)"
cmake --build "$out" --target velmora_windows_dist velmora_windows_installer
ls -l "$out"/velmora-flat-*-x64-setup.exe
