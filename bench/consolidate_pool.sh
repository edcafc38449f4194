#!/bin/sh
# The way users run the tool, over the first COUNT reports of a bench pool (sorted by name; the
# pools' names have no blanks, so they are passed as words, all in one command):
# `shubuxing-cli consolidate` with the check and the run record, the three worksheets' b4:k43
# as ranges, the first report as template, OUT in a folder of its own (made anew each run).
#   consolidate_pool.sh CLI POOLDIR COUNT MODE OUTDIR
# The other commands a run is paired with take the same files:
#   consolidate_pool.sh --xlrd POOLDIR COUNT OUTDIR   (bench/xlrd_sum.py)
#   consolidate_pool.sh --cat POOLDIR COUNT           (cat of the files: reading them, nothing more)
set -eu
. "$(dirname "$0")/pool_script_common.sh"
here=$(dirname "$0")
ranges="收入明细!b4:k43 成本费用!b4:k43 利润汇总!b4:k43"

sources() {
    find "$1" -maxdepth 1 -name 'report_*.xls*' | sort | head -n "$2"
}

case ${1:-} in
    --cat)
        usage_unless 3 3 "--cat POOLDIR COUNT" "$@"
        whole_number "$3"
        sources "$2" "$3" | tr '\n' '\0' | xargs -0 cat >/dev/null
        ;;
    --xlrd)
        usage_unless 4 4 "--xlrd POOLDIR COUNT OUTDIR" "$@"
        whole_number "$3"
        rm -rf "$4" && mkdir -p "$4"
        # shellcheck disable=SC2086 # the ranges and the pool's names are words without blanks
        exec /usr/bin/python3 "$here/xlrd_sum.py" "$4/total.xls" $ranges -- $(sources "$2" "$3")
        ;;
    *)
        usage_unless 5 5 "CLI POOLDIR COUNT MODE OUTDIR" "$@"
        whole_number "$3"
        rm -rf "$5" && mkdir -p "$5"
        first=$(sources "$2" 1)
        ext=${first##*.}
        set -- "$1" "$2" "$3" "$4" "$5" "$first" "$ext"
        args=""
        for r in $ranges; do args="$args --range $r"; done
        # shellcheck disable=SC2086 # the ranges and the pool's names are words without blanks
        exec "$1" consolidate --mode "$4" --out "$5/total.$7" --template "$6" $args -- $(sources "$2" "$3") >/dev/null
        ;;
esac
