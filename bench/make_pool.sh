#!/bin/sh
# Makes the pool of workbooks that read_bench and consolidate_bench read:
#   report_NNNN.xls   COUNT same-layout reports (3 worksheets: Chinese title row, 40 rows x 12
#                     columns of numbers and labels, a totals row of SUM formulas), numbers
#                     differing per file; written by LibreOffice Calc
#   big_lo_20000.xls  one 20,000-row worksheet (plus two report sheets), written by LibreOffice
#   big_gnm_20000.xls one 20,000-row worksheet, written by Gnumeric (ssconvert)
#   sparse/sparse_a1_iv65536.xls  values at A1 and IV65536 only (kept apart from the pool so
#                     the timed passes do not include it), written by LibreOffice
# Usage: make_pool.sh OUTDIR [COUNT]. Running it again keeps what is already there.
set -eu
. "$(dirname "$0")/pool_script_common.sh"

usage_unless 1 2 "OUTDIR [COUNT]" "$@"
out=$1
count=${2:-200}
whole_number "$count"
need soffice LibreOffice
need ssconvert Gnumeric
need python3 "to write the sources"

mkdir -p "$out/sparse"
out=$(cd "$out" && pwd)
start_work

# Writes the sources of whatever is missing from the pool into $work/src (fods) and
# $work/csv; prints nothing.
python3 - "$out" "$count" "$work" <<'PY'
import os, random, sys
from xml.sax.saxutils import escape

out, count, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
os.makedirs(f"{work}/src", exist_ok=True)
os.makedirs(f"{work}/csv", exist_ok=True)

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
"""
TAIL = "</office:spreadsheet></office:body></office:document>\n"
COLS = "BCDEFGHIJK"  # the ten number columns; L holds the row total

def text(s, span=1):
    extra = f' table:number-columns-spanned="{span}"' if span > 1 else ""
    covered = "<table:covered-table-cell/>" * (span - 1)
    return (f'<table:table-cell office:value-type="string"{extra}><text:p>{escape(s)}</text:p>'
            f'</table:table-cell>{covered}')

def num(v):
    return f'<table:table-cell office:value-type="float" office:value="{v}"/>'

def formula(f, v):
    return f'<table:table-cell table:formula="of:={f}" office:value-type="float" office:value="{v}"/>'

def row(cells):
    return "<table:table-row>" + "".join(cells) + "</table:table-row>\n"

SECTIONS = ["一、营业收入", "二、营业成本", "三、期间费用", "四、其他收益"]
ITEMS = ["主营业务", "其他业务", "材料费", "人工费", "制造费用", "销售费用", "管理费用",
         "研发费用", "财务费用", "投资收益"]

def report_sheet(name, unit, rng):
    rows = [row([text(f"{unit}{name}（2024年度）", 12)]),
            row([text("编制单位：" + unit), "<table:table-cell/>" * 9, text("单位：元")]),
            row([text("项目")] + [text(f"{m}月") for m in range(1, 11)] + [text("合计")])]
    data_rows = []  # sheet rows (1-based) that hold numbers
    r = 4
    for i in range(40):
        if i % 10 == 0:
            rows.append(row([text(SECTIONS[i // 10])]))
        else:
            vals = [round(rng.uniform(0, 100000), 2) if rng.random() < 0.6 else rng.randint(0, 5000)
                    for _ in COLS]
            rows.append(row([text(f"{ITEMS[i % 10]}{i}")] + [num(v) for v in vals] +
                            [formula(f"SUM([.B{r}:.K{r}])", round(sum(vals), 2))]))
            data_rows.append((r, vals))
        r += 1
    totals = [sum(v[k] for _, v in data_rows) for k in range(10)]
    rows.append(row([text("合计")] + [formula(f"SUM([.{c}4:.{c}43])", round(t, 2))
                                     for c, t in zip(COLS, totals)] +
                    [formula("SUM([.L4:.L43])", round(sum(totals), 2))]))
    return f'<table:table table:name="{escape(name)}">\n' + "".join(rows) + "</table:table>\n"

def big_sheet(name, rng, n):
    parts = [f'<table:table table:name="{name}">\n',
             row([text("明细账（全年逐笔）", 12)]),
             row([text("凭证号")] + [text(f"科目{k}") for k in range(1, 12)])]
    for i in range(n):
        parts.append(row([text(f"记-{i + 1:05d}")] +
                         [num(round(rng.uniform(-5000, 50000), 2) if k % 3 else rng.randint(0, 999))
                          for k in range(11)]))
    parts.append("</table:table>\n")
    return "".join(parts)

SHEETS = ["收入明细", "成本费用", "利润汇总"]

def missing(name):
    return not os.path.exists(f"{out}/{name}.xls")

for n in range(1, count + 1):
    name = f"report_{n:04d}"
    if not missing(name):
        continue
    rng = random.Random(n)
    unit = f"第{n}分公司"
    with open(f"{work}/src/{name}.fods", "w", encoding="utf-8") as f:
        f.write(HEAD + "".join(report_sheet(s, unit, rng) for s in SHEETS) + TAIL)

if missing("big_lo_20000"):
    rng = random.Random(100001)
    with open(f"{work}/src/big_lo_20000.fods", "w", encoding="utf-8") as f:
        f.write(HEAD + big_sheet("明细账", rng, 20000) +
                report_sheet(SHEETS[1], "总部", rng) + report_sheet(SHEETS[2], "总部", rng) + TAIL)

if missing("big_gnm_20000"):
    rng = random.Random(100002)
    # Gnumeric names the worksheet after the file.
    with open(f"{work}/csv/明细账", "w", encoding="utf-8") as f:
        f.write("明细账（全年逐笔）\n凭证号," + ",".join(f"科目{k}" for k in range(1, 12)) + "\n")
        for i in range(20000):
            vals = [round(rng.uniform(-5000, 50000), 2) if k % 3 else rng.randint(0, 999) for k in range(11)]
            f.write(f"记-{i + 1:05d}," + ",".join(str(v) for v in vals) + "\n")

if not os.path.exists(f"{out}/sparse/sparse_a1_iv65536.xls"):
    with open(f"{work}/sparse_a1_iv65536.fods", "w", encoding="utf-8") as f:
        f.write(HEAD + '<table:table table:name="Sparse">\n' +
                row([num(1)]) +
                '<table:table-row table:number-rows-repeated="65534"><table:table-cell/></table:table-row>\n' +
                row(['<table:table-cell table:number-columns-repeated="255"/>', num(2)]) +
                "</table:table>\n" + TAIL)
PY

# Converts the sources in $work/src to .xls in $out, a batch of 100 per soffice run (one run
# for everything was seen to stop silently after a few hundred files); a source whose .xls
# did not appear gets one more try.
convert_batches() {
    ls "$work/src" | sed 's/\.fods$//' | while read -r name; do
        [ -s "$out/$name.xls" ] || echo "$work/src/$name.fods"
    done | xargs -r -n 100 sh -c '
        soffice -env:UserInstallation="$0" --headless --convert-to xls:"MS Excel 97" --outdir "$1" "$@" \
            >>"$2/soffice.log" 2>&1' "$profile" "$out" "$work"
}

made=0
if [ -n "$(ls "$work/src")" ]; then
    n=$(ls "$work/src" | wc -l)
    echo "converting $n workbooks with LibreOffice..."
    convert_batches || true
    convert_batches || { tail -20 "$work/soffice.log" >&2; exit 1; }
    made=$((made + n))
fi
if [ -f "$work/csv/明细账" ]; then
    echo "converting big_gnm_20000 with Gnumeric..."
    ssconvert -I Gnumeric_stf:stf_csvtab -T Gnumeric_Excel:excel_biff8 "$work/csv/明细账" "$out/big_gnm_20000.xls" \
        >"$work/ssconvert.log" 2>&1 || { cat "$work/ssconvert.log" >&2; exit 1; }
    made=$((made + 1))
fi
if [ -f "$work/sparse_a1_iv65536.fods" ]; then
    echo "converting sparse_a1_iv65536 with LibreOffice..."
    soffice -env:UserInstallation="$profile" --headless --convert-to xls:"MS Excel 97" \
        --outdir "$out/sparse" "$work/sparse_a1_iv65536.fods" >"$work/soffice.log" 2>&1 ||
        { cat "$work/soffice.log" >&2; exit 1; }
    made=$((made + 1))
fi

# Every member must exist now; a silent soffice failure leaves files out.
lacking=0
i=1
while [ "$i" -le "$count" ]; do
    f=$(printf '%s/report_%04d.xls' "$out" "$i")
    if [ ! -s "$f" ]; then
        [ "$lacking" -lt 5 ] && echo "$0: $f was not made" >&2
        lacking=$((lacking + 1))
    fi
    i=$((i + 1))
done
for f in "$out/big_lo_20000.xls" "$out/big_gnm_20000.xls" "$out/sparse/sparse_a1_iv65536.xls"; do
    [ -s "$f" ] || { echo "$0: $f was not made" >&2; lacking=$((lacking + 1)); }
done
if [ "$lacking" -gt 0 ]; then
    echo "$0: $lacking file(s) missing; the end of LibreOffice's output:" >&2
    tail -5 "$work/soffice.log" >&2 2>/dev/null || true
fi
[ "$lacking" -eq 0 ] || exit 1

reports=$(ls "$out"/report_*.xls | wc -l)
bytes=$(cat "$out"/*.xls | wc -c)
echo "made $made new file(s) in $out"
echo "pool: $reports report workbooks ($(du -ch "$out"/report_*.xls | tail -1 | cut -f1) together)," \
     "big_lo_20000.xls ($(du -h "$out/big_lo_20000.xls" | cut -f1)), big_gnm_20000.xls" \
     "($(du -h "$out/big_gnm_20000.xls" | cut -f1)); $(ls "$out"/*.xls | wc -l) files, $bytes bytes"
echo "sparse case: $out/sparse/sparse_a1_iv65536.xls ($(du -h "$out/sparse/sparse_a1_iv65536.xls" | cut -f1))"
