#!/usr/bin/env bash
# Runs clang-tidy with the repository's .clang-tidy over the program's own
# sources (the Windows files are not in a Linux build's commands),
# using the compile commands of the build folder given (default build/).
# Fails, naming each finding, when clang-tidy finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }
# GCC-only warning switches in the commands mean nothing to clang.
run-clang-tidy -quiet -p "$build" -j "$(nproc)" -extra-arg=-Wno-unknown-warning-option \
    "^$PWD/src/.*\.cpp$" 2>&1 | sed 's/\x1b\[[0-9;]*m//g' > "$build/tidy.log" || true
# A configuration clang-tidy cannot read checks nothing: that fails too.
if grep -q '\.clang-tidy:.*error' "$build/tidy.log"; then
    grep -m3 '\.clang-tidy:.*error' "$build/tidy.log"
    exit 1
fi
if grep -E '(warning|error): .*\[[a-z]+-[a-z-]+.*\]' "$build/tidy.log" | sort -u > "$build/tidy.findings" && [ -s "$build/tidy.findings" ]; then
    cat "$build/tidy.findings"
    echo "clang-tidy: $(wc -l < "$build/tidy.findings") findings (full output in $build/tidy.log)"
    exit 1
fi
echo "clang-tidy: $(grep -c '^clang-tidy' "$build/tidy.log" || true) files, no findings"
