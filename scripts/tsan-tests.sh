#!/usr/bin/env bash
# Builds the test programs of what runs on more than one thread (the scan
# scheduler and its worker, the journal, the engine's passes, the clients'
# web interfaces, the Activity page and the main window over a live
# scheduler) with ThreadSanitizer and runs them; any race report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-tsan}"
programs=(test_runtime test_journal test_engine test_remote test_shell)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKB_TSAN=ON \
    -DKB_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target "${programs[@]}"
# Reports of races inside Qt's own (uninstrumented) thread pool are not
# ours; the suppressions name them.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp"
# One process per test, as in the ordinary run.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -R '^(runtime|journal|engine|remote|shell)\.'
