#!/bin/sh
# Builds the 64-bit Windows program and runs it under Wine in a real console
# window, printing what it printed. Arguments go to the program (default /i).
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset mingw-x64 >/dev/null
cmake --build --preset mingw-x64 -j "$(nproc)" >/dev/null
[ $# -gt 0 ] || set -- /i
exec python3 tests/e2e/wine.py show build/mingw-x64 "$@"
