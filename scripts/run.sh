#!/bin/sh
# Builds the Windows program and runs it under Wine in a real console window,
# printing what it printed: the 32-bit program, or with --x64 (or where the
# kernel runs no 32-bit programs) the 64-bit one.
# Other arguments go to the program (default /i).
# Usage: scripts/run.sh [--x64] [ARG...]
set -eu
cd "$(dirname "$0")/.."
preset=mingw-i686
if [ "${1:-}" = --x64 ]; then
	preset=mingw-x64
	shift
fi
scripts/deps.sh
if [ $preset = mingw-i686 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
	echo "this kernel does not run 32-bit programs, so Wine cannot: running the 64-bit one" >&2
	preset=mingw-x64
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset -j "$(nproc)" >/dev/null
[ $# -gt 0 ] || set -- /i
exec python3 tests/e2e/wine.py show build/$preset "$@"
