#!/bin/sh
# The fuzzing run at length: the driver, seeds and seed of the tests' smoke
# run, RUNS argument vectors (300 000 unless given) from a fresh corpus.
# Usage: scripts/fuzz.sh [RUNS]
set -eu
cd "$(dirname "$0")/.."
runs=${1:-300000}
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan -j "$(nproc)" --target ostrivel_fuzz
corpus=build/native-asan/fuzz-long
rm -rf "$corpus"
mkdir -p "$corpus"
exec build/native-asan/tests/ostrivel_fuzz -runs="$runs" -seed=1 -max_len=16384 \
	-print_final_stats=1 "$corpus" tests/fuzz/seeds
