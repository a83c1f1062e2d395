#!/usr/bin/env bash
# Sets up a fresh machine, builds velmora-flat with its tests in build/, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh "$@"
bash tools/build.sh
cd build
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j4 --timeout 600
