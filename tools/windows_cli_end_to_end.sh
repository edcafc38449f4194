#!/usr/bin/env bash
# shubuxing-cli.exe under Wine on the sample pool, from a folder with a Chinese name: both
# modes must write summaries byte for byte equal to the Linux build's, and Chinese worksheet
# names must come through the command line and back out on the console.
#   tools/windows_cli_end_to_end.sh WINDOWS_CLI.exe LINUX_CLI WORK_DIR   (Wine prefix set up)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows_cli=$1 linux_cli=$2 work=$3
fail() { echo "windows_cli_end_to_end: $*" >&2; exit 1; }
# Wine turns the command line into UTF-16 with the locale's character set.
export LC_ALL=C.UTF-8

pool="$work/汇表池 样本"
mkdir -p "$pool" "$work/linux" "$work/windows"
cp "$root"/examples/pool/*.xls "$pool/"
sources=("$pool"/*.xls)
ranges=(--range '基本情况!b3:d5' --range '收支明细!b2:e6')
for mode in efficiency function; do
  "$linux_cli" consolidate --mode "$mode" --out "$work/linux/汇总_$mode.xls" "${ranges[@]}" "${sources[@]}" \
    >"$work/linux-$mode.log" 2>&1 || fail "the Linux build's consolidate --mode $mode failed: $(cat "$work/linux-$mode.log")"
  wine "$windows_cli" consolidate --mode "$mode" --out "$work/windows/汇总_$mode.xls" "${ranges[@]}" "${sources[@]}" \
    >"$work/windows-$mode.log" 2>&1 || fail "shubuxing-cli.exe consolidate --mode $mode failed: $(cat "$work/windows-$mode.log")"
  cmp "$work/linux/汇总_$mode.xls" "$work/windows/汇总_$mode.xls" \
    || fail "--mode $mode: the summary of shubuxing-cli.exe differs from the Linux build's"
  [ -s "$work/windows/汇总_$mode.xls.run.json" ] || fail "--mode $mode: shubuxing-cli.exe wrote no run record"
done
label=$(wine "$windows_cli" dump "$work/windows/汇总_function.xls" 收支明细 a2:a2 | tr -d '\r')
[ "$label" = "营业收入" ] || fail "dump of a Chinese worksheet printed \"$label\", not 营业收入"
echo "windows_cli_end_to_end: both modes' summaries from shubuxing-cli.exe equal the Linux build's byte for byte"
