#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang (in build-fuzz, with the
# address and undefined-behaviour checks) and runs each for the given number
# of seconds (default 60), two at a time on two cores. Fails when a target
# crashes, trips a sanitizer, breaks one of its properties, times out on one
# input (2 s) or needs more than 512 MB; the input that did it is left in
# build-fuzz/fuzz/crash-<target>-*.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=${KB_FUZZ_BUILD:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKB_FUZZ=ON -DKB_FUZZ_SECONDS="$seconds" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
