#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for SECONDS seconds on a corpus seeded from the fixtures. Exits non-zero
# when a target finds a crash, a leak, or an input that takes over a second.
#   fuzz/run.sh SECONDS [TARGET...]
set -euo pipefail
seconds=${1:?usage: fuzz/run.sh SECONDS [TARGET...]}
shift || true
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SBX_FUZZ_BUILD:-$root/build-fuzz}
work=${SBX_FUZZ_WORK:-$build/work}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_compound_file fuzz_workbook_reader fuzz_workbook_save fuzz_cell_address fuzz_xlsx_package fuzz_xlsx_worksheet)

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSBX_FUZZ=ON -DSBX_BUILD_TESTS=OFF -DSBX_BUILD_BENCH=OFF -DSBX_BUILD_GUI=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -fsanitize=fuzzer-no-link" \
  >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)" >/dev/null

status=0
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  findings="$work/$target/findings"
  mkdir -p "$corpus" "$findings"
  # Seeds (copies: the fuzzer writes here): the texts of fuzz/seeds/<target>/ for the
  # parsers, the real workbooks (ours and the shared ones) for the file readers, and the
  # inputs of earlier findings.
  if [ -d "$root/fuzz/seeds/${target#fuzz_}" ]; then
    seeds=("$root/fuzz/seeds/${target#fuzz_}"/*)
  elif [ "$target" = fuzz_xlsx_package ]; then
    seeds=("$root"/tests/data/xlsx/*.xlsx "$root"/../shared/fixtures/xlsx/*.xls[xm])
  else
    seeds=("$root"/tests/data/fixtures/*.xls "$root"/tests/data/formulas/*.xls "$root"/tests/data/old_biff/*.xls
           "$root"/../shared/fixtures/xls/*.xls)
  fi
  seeds+=("$root/tests/data/fuzz/${target#fuzz_}"/*)
  for seed in "${seeds[@]}"; do
    [ -f "$seed" ] && cp -n "$seed" "$corpus/" 2>/dev/null || true
  done
  echo "== $target: ${seconds}s"
  # A whole .xlsx package of up to 1 MB (libFuzzer's input limit) is unzipped and parsed part
  # by part: a second is too little for the big ones on a busy machine.
  timeout=1
  [ "$target" = fuzz_xlsx_package ] && timeout=10
  if ! "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
        -artifact_prefix="$findings/" -print_final_stats=1 2>"$work/$target.log"; then
    echo "!! $target found a problem; see $work/$target.log and $findings/" >&2
    tail -n 30 "$work/$target.log" >&2
    status=1
  else
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|^#[0-9]+.*DONE" "$work/$target.log" || true
  fi
done
exit $status
