#!/bin/sh
# Saves the first COUNT reports of a pool made by make_pool.sh as .xlsx with LibreOffice, for the
# .xlsx figures of consolidate_bench and the command-line tool:
#   make_xlsx_pool.sh POOLDIR OUTDIR [COUNT]     (COUNT: 500 by default)
# Running it again converts only what is missing.
set -eu
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
    echo "usage: $0 POOLDIR OUTDIR [COUNT]" >&2
    exit 2
fi
pool=$1
out=$2
count=${3:-500}
case $count in
    ''|*[!0-9]*) echo "$0: COUNT must be a whole number, not '$count'" >&2; exit 2 ;;
esac
command -v soffice >/dev/null || { echo "$0: soffice (LibreOffice) is needed" >&2; exit 1; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private profile: a running soffice with the default one would swallow the request.
profile="file://$work/lo-profile"

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
