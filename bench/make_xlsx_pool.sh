#!/bin/sh
# Saves the first COUNT reports of a pool made by make_pool.sh as .xlsx with LibreOffice, for the
# .xlsx figures of consolidate_bench and the command-line tool:
#   make_xlsx_pool.sh POOLDIR OUTDIR [COUNT]     (COUNT: 500 by default)
# Running it again converts only what is missing.
set -eu
. "$(dirname "$0")/pool_script_common.sh"

usage_unless 2 3 "POOLDIR OUTDIR [COUNT]" "$@"
pool=$1
out=$2
count=${3:-500}
whole_number "$count"
need soffice LibreOffice
mkdir -p "$out"
out=$(cd "$out" && pwd)
start_work

missing() {
    i=1
    while [ "$i" -le "$count" ]; do
        name=$(printf 'report_%04d' "$i")
        [ -f "$pool/$name.xls" ] || { echo "$0: $pool/$name.xls is missing (run make_pool.sh first)" >&2; exit 1; }
        [ -s "$out/$name.xlsx" ] || echo "$pool/$name.xls"
        i=$((i + 1))
    done
}

missing | xargs -r -n 100 sh -c '
    soffice -env:UserInstallation="$0" --headless --convert-to xlsx:"Calc MS Excel 2007 XML" --outdir "$1" "$@" \
        >>"$2/soffice.log" 2>&1' "$profile" "$out" "$work" || true
left=$(missing | wc -l)
[ "$left" -eq 0 ] || { echo "$0: $left workbooks were not converted" >&2; tail -20 "$work/soffice.log" >&2; exit 1; }
echo "xlsx pool: $count reports in $out ($(du -ch "$out"/report_*.xlsx | tail -1 | cut -f1) together)"
