#!/usr/bin/env bash
# The Windows layer, compiled and run: cross-builds platform/, store/ and
# engine/ with their *_win32.cpp files and the core tests with Debian's
# MinGW-w64, then runs the tests under Wine in a prefix of their own, with a
# second drive (D:) on another file system for the moves that must copy and
# a real FTP server (pyftpdlib) on 127.0.0.1 for the uploads.
# Fails when a test fails or when no test ran at all.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${KB_WINDOWS_BUILD:-build-win}
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DKB_BUILD_GUI=OFF -DKB_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)"

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/kbwine-XXXXXX)
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
other=$(mktemp -d /dev/shm/kbwinvol-XXXXXX 2>/dev/null || mktemp -d)
served=$(mktemp -d /tmp/kbwinftp-XXXXXX)
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null
    WINEPREFIX=$WINEPREFIX "$(dirname "$wine")/wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$other" "$served"
}
trap cleanup EXIT
"$wine" wineboot --init >/dev/null 2>&1
ln -sfn "$other" "$WINEPREFIX/dosdevices/d:"
export KB_TEST_OTHER_VOLUME='D:'

python=/usr/bin/python3
if "$python" -c 'import pyftpdlib' 2>/dev/null; then
    port=$("$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    "$python" -m pyftpdlib -i 127.0.0.1 -p "$port" -w -d "$served" -u kb -P "pass word" \
        >/dev/null 2>&1 &
    server=$!
    for _ in $(seq 100); do
        "$python" -c "import socket; socket.create_connection(('127.0.0.1', $port)).recv(3)" \
            2>/dev/null && break
        sleep 0.1
    done
    export KB_TEST_FTP_PORT=$port
    # Wine's drive Z: is the root of this file system.
    KB_TEST_FTP_ROOT="Z:$(printf '%s' "$served" | tr / '\\')"
    export KB_TEST_FTP_ROOT
fi

passed=0 skipped=0 failed=0
for exe in "$build"/tests/test_*.exe; do
    log=$(mktemp)
    if "$wine" "$exe" >"$log" 2>&1; then status=0; else status=$?; fi
    sed -i 's/\r$//' "$log"  # Wine's console ends lines with CR LF
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$log" | tail -n 1)
    s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?,.*/\1/p' "$log" | tail -n 1)
    f=$(sed -n 's/^ *\([0-9]*\) FAILED TESTS\?$/\1/p' "$log" | tail -n 1)
    passed=$((passed + ${p:-0})); skipped=$((skipped + ${s:-0})); failed=$((failed + ${f:-0}))
    echo "$(basename "$exe"): ${p:-0} passed, ${s:-0} skipped, ${f:-0} failed (exit $status)"
    if [ "$status" -ne 0 ] || [ -z "$p" ]; then
        cat "$log"
        [ -z "$f" ] && failed=$((failed + 1))
    fi
    rm -f "$log"
done
echo "Windows core tests under Wine: $passed passed, $skipped skipped, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
