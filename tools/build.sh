#!/usr/bin/env bash
# Configures and builds velmora-flat in build/. Options before "--" go to cmake's configure step; names after
# "--" are the targets to build (everything when none are given).
set -euo pipefail
cd "$(dirname "$0")/.."
configure=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do configure+=("$1"); shift; done
[ $# -gt 0 ] && shift
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${configure[@]}" >/dev/null
cmake --build build -j"$(nproc)" "${targets[@]}"
