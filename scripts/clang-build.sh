#!/usr/bin/env bash
# Builds the whole tree, the desktop program and every test program
# included, with Debian's clang as well as GCC (warnings are errors), so
# that code only one compiler takes does not land. Builds; runs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-clang}"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DKB_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
echo "clang build: $(clang++ --version | head -1), every target built"
