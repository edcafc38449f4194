#!/usr/bin/env bash
# Second stage of the tests: the core tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (halting on the first report), the tests of a run with a record
# (three threads: the digests, the cells' lists, the record written while the run goes) built
# with ThreadSanitizer, then every fuzz target for SBX_FUZZ_SECONDS seconds (12 by default:
# about a minute in all). Run from anywhere. Needs clang and libclang-rt-14-dev (libFuzzer).
# Build folders: build-asan/, build-tsan/ and build-fuzz/ in the repository, or
# SBX_ASAN_BUILD, SBX_TSAN_BUILD and SBX_FUZZ_BUILD.
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

tsan=${SBX_TSAN_BUILD:-$root/build-tsan}
threaded_tests=(one_read_test source_check_test check_cli_test consolidate_cli_test consolidate_run_test
  reliability_fault_injection_test reliability_record_pair_test)
cmake -S "$root" -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DSBX_BUILD_BENCH=OFF -DSBX_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -O1 -fno-omit-frame-pointer" >/dev/null
cmake --build "$tsan" -j"$(nproc)" --target "${threaded_tests[@]}"
mkdir -p "$tsan/tests/home"
for test in "${threaded_tests[@]}"; do
  echo "ThreadSanitizer: $test"
  SHUBUXING_HOME="$tsan/tests/home" TSAN_OPTIONS=halt_on_error=1:exitcode=66 "$tsan/tests/$test" --gtest_brief=1
done
"$root/fuzz/run.sh" "${SBX_FUZZ_SECONDS:-12}"
