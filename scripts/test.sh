#!/bin/sh
# Installs what is missing, builds the native and both Windows programs, and
# runs every test: unit tests (also under ASan and UBSan, with a fuzzing
# smoke run), the native program's checks, and for both Windows programs
# their imports and the end-to-end cases under Wine; then makes the release
# packages and checks what they hold.
set -eu
cd "$(dirname "$0")/.."
scripts/deps.sh
for preset in native native-asan mingw-i686 mingw-x64; do
	cmake --preset $preset
	cmake --build --preset $preset -j "$(nproc)"
	ctest --preset $preset
done
cmake --workflow --preset release
python3 tests/release_check.py dist
