#!/bin/sh
# Reports what the program costs: the stripped size of both Windows programs
# against the smallest console program the same toolchain makes, and the
# native program's run time for /? against /bin/true.
# Usage: bench/size_and_speed.sh [RUNS]   (after building all three presets)
set -eu
cd "$(dirname "$0")/.."
runs=${1:-2000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The baseline prints through the same C runtime, so its start-up and
# printf are counted on both sides.
cat >"$tmp/baseline.cpp" <<'SRC'
#include <cstdio>
int main() { std::printf("%u %s %f\n", 1u, "x", 1.0); return 0; }
SRC

echo "Stripped size of the Windows programs (bytes):"
printf '  %-8s %10s %10s %10s\n' arch baseline ostrivel added
for arch in i686 x86_64; do
	preset=mingw-$( [ $arch = i686 ] && echo i686 || echo x64 )
	exe=build/$preset/ostrivel.exe
	[ -f "$exe" ] || { echo "  $exe missing: cmake --workflow or build the $preset preset" >&2; exit 1; }
	$arch-w64-mingw32-g++ -std=c++17 -Os -D__USE_MINGW_ANSI_STDIO=0 -static -s \
		"$tmp/baseline.cpp" -o "$tmp/baseline-$arch.exe"
	$arch-w64-mingw32-strip -o "$tmp/ostrivel-$arch.exe" "$exe"
	base=$(stat -c %s "$tmp/baseline-$arch.exe")
	prog=$(stat -c %s "$tmp/ostrivel-$arch.exe")
	added=$((prog - base))
	verdict=met
	[ $added -lt 8192 ] || verdict=MISSED
	printf '  %-8s %10d %10d %10d  (aim under 8192: %s)\n' $arch "$base" "$prog" $added $verdict
done
echo "  (ostrivel includes its version resource)"

native=build/native/ostrivel
[ -x "$native" ] || { echo "$native missing: build the native preset" >&2; exit 1; }
elapsed() { # elapsed COMMAND...: nanoseconds for $runs runs
	start=$(date +%s%N)
	i=0
	while [ $i -lt "$runs" ]; do "$@" >/dev/null; i=$((i + 1)); done
	echo $(( $(date +%s%N) - start ))
}
t_true=$(elapsed /bin/true)
t_prog=$(elapsed "$native" /?)
echo "Native run time over $runs runs (microseconds per run):"
printf '  /bin/true      %8d\n' $((t_true / runs / 1000))
printf '  ostrivel /?    %8d\n' $((t_prog / runs / 1000))
