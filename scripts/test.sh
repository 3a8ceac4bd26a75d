#!/bin/sh
# Installs what is missing, builds the native and both Windows programs, and
# runs every test: unit tests (also under ASan and UBSan, with a fuzzing
# smoke run), the native program's checks, the documents' check, and for both
# Windows programs their imports, headers and (32-bit) instructions and the
# end-to-end cases under Wine, the 32-bit ones also on ReactOS in QEMU; then
# makes the release packages, checks what they hold, that a rebuild elsewhere
# gives the same bytes, and that a signed build verifies.
set -eu
cd "$(dirname "$0")/.."
# The packages built here are unsigned; the signed build uses its own certificate.
unset OSTRIVEL_SIGN_CERT OSTRIVEL_SIGN_KEY OSTRIVEL_SIGN_PASS_FILE
scripts/deps.sh
presets="native native-asan mingw-i686 mingw-x64"
# Everything is built before anything is tested, so that the documents' check
# finds every preset's tests and the programs whose sizes it compares.
for preset in $presets; do
	cmake --preset $preset
	cmake --build --preset $preset -j "$(nproc)"
done
for preset in $presets; do
	ctest --preset $preset
done
cmake --workflow --preset release
python3 tests/release_check.py dist
sh tests/release_rebuild.sh
