#!/usr/bin/env bash
# Formats the C++ sources with the repository's .clang-format (Debian's
# clang-format). With --check it changes nothing and fails, naming each file,
# when any file differs from its formatted self.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files --cached --others --exclude-standard \
    'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'fuzz/*.cpp' 'fuzz/*.h')
if [ "${1:-}" = "--check" ]; then
    drift=0
    for f in "${files[@]}"; do
        if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
            echo "not formatted: $f (make format mends it)"
            drift=1
        fi
    done
    [ "$drift" -eq 0 ] && echo "${#files[@]} files formatted"
    exit "$drift"
fi
clang-format -i "${files[@]}"
