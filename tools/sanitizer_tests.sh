#!/usr/bin/env bash
# Second stage of the tests: the core tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (halting on the first report), then a short run of every fuzz
# target. Run from anywhere; uses build-asan/ and build-fuzz/ in the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DSBX_BUILD_BENCH=OFF -DSBX_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" >/dev/null
cmake --build "$root/build-asan" -j"$(nproc)"
# The tests that start LibreOffice or Gnumeric run in the first stage only.
ctest --test-dir "$root/build-asan" --output-on-failure -j"$(nproc)" -LE realapps
if command -v clang++ >/dev/null; then
  "$root/fuzz/run.sh" 30
else
  echo "clang++ is missing: fuzz smoke test skipped" >&2
  exit 1
fi
