#!/usr/bin/env bash
# Second stage of the tests: the core tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (halting on the first report), then every fuzz target for
# SBX_FUZZ_SECONDS seconds (12 by default: about a minute in all). Run from anywhere.
# Needs clang and libclang-rt-14-dev (libFuzzer). Build folders: build-asan/ and
# build-fuzz/ in the repository, or SBX_ASAN_BUILD and SBX_FUZZ_BUILD.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SBX_ASAN_BUILD:-$root/build-asan}
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
if ! command -v clang++ >/dev/null; then
  echo "clang++ is missing: the fuzz targets cannot be built" >&2
  exit 1
fi
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DSBX_BUILD_BENCH=OFF -DSBX_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" -j"$(nproc)"
# The tests that start LibreOffice or Gnumeric run in the first stage only.
ctest --test-dir "$build" --output-on-failure -j"$(nproc)" -LE realapps --timeout 300
"$root/fuzz/run.sh" "${SBX_FUZZ_SECONDS:-12}"
