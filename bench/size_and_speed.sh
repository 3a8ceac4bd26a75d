#!/bin/sh
# Reports what the program costs: the size of both stripped Windows programs,
# whole (start-up and version resource included; the C runtime is the
# system's msvcrt.dll), and their run times in a Wine console, RUNS runs of
# each figure (bench/windows_timings.py).
# Usage: bench/size_and_speed.sh [RUNS]   (after building both mingw presets)
set -eu
cd "$(dirname "$0")/.."
runs=${1:-40}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

aim=16384
echo "Stripped size of the Windows programs (bytes; aim: at most $aim):"
for arch in i686 x86_64; do
	preset=mingw-$( [ $arch = i686 ] && echo i686 || echo x64 )
	exe=build/$preset/ostrivel.exe
	[ -f "$exe" ] || { echo "  $exe missing: build the $preset preset" >&2; exit 1; }
	$arch-w64-mingw32-strip -o "$tmp/ostrivel-$arch.exe" "$exe"
	size=$(stat -c %s "$tmp/ostrivel-$arch.exe")
	verdict=met
	[ "$size" -le $aim ] || verdict=MISSED
	printf '  %-8s %8d  (%s)\n' $arch "$size" $verdict
done

python3 bench/windows_timings.py "$runs"
