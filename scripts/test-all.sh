#!/usr/bin/env bash
# Everything `make test` runs, on an already built tree (default build/):
# the CTest entries, the Windows core tests under Wine, the clang build and
# 10 s of each fuzz target. The real-client tests spend most of their time
# waiting for transfers and timeouts, so they run side by side in a CTest of
# their own, beside the rest rather than taking the two CPU slots of it.
# Each step's start is stamped so a slow step shows in the log.
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
jobs=$(nproc)
stamp() { echo "== $(date +%T) $*"; }
failed=()

stamp "real-client tests, 6 at a time, in the background"
clients_log="$build/clients-ctest.log"
ctest --test-dir "$build" --output-on-failure -j 6 -R '^clients\.' >"$clients_log" 2>&1 &
clients=$!

stamp "CTest"
ctest --test-dir "$build" --output-on-failure -j "$jobs" -E '^clients\.' || failed+=(ctest)

stamp "Windows core tests"
bash scripts/windows-tests.sh || failed+=(windows)

stamp "clang build"
bash scripts/clang-build.sh || failed+=(clang)

stamp "fuzzing"
bash scripts/fuzz.sh 10 || failed+=(fuzz)

stamp "waiting for the real-client tests"
wait "$clients" || failed+=(clients)
cat "$clients_log"

stamp "done"
if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}"
    exit 1
fi
