#!/bin/sh
# Reports what the program costs: the size of both stripped Windows programs,
# whole (start-up and version resource included; the C runtime is the
# system's msvcrt.dll), and the native program's run time for /? against
# /bin/true.
# Usage: bench/size_and_speed.sh [RUNS]   (after building all three presets)
set -eu
cd "$(dirname "$0")/.."
runs=${1:-2000}
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
