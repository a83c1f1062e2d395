#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for the given number of seconds (60 by
# default), starting from its committed seed corpus. Any crash, leak or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_FUZZ=ON \
    -DVELMORA_TESTS=OFF -DVELMORA_BENCH=OFF >/dev/null
targets=()
for dir in fuzz/*/; do
    name=$(basename "$dir")
    [ -f "$dir/CMakeLists.txt" ] && targets+=("$name")
done
cmake --build build-fuzz -j"$(nproc)"
for name in "${targets[@]}"; do
    fuzzer=$(find "build-fuzz/fuzz/$name" -maxdepth 1 -type f -executable | head -n 1)
    [ -n "$fuzzer" ] || { echo "no fuzzer built for $name" >&2; exit 1; }
    work=$(mktemp -d)
    cp -r "fuzz/$name/corpus/." "$work/"
    echo "== fuzzing $name for ${seconds}s"
    "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 "$work" 2>&1 | tail -n 12
    rm -rf "$work"
done
