#!/usr/bin/env bash
# Make the consolidation pool fixture with LibreOffice Calc: three same-layout branch
# reports and a protected copy of the layout, from sources written by
# write_consolidate_pool_sources.py; then the expected totals, read from the made .xls files
# by xlrd (an independent reader), into expected_totals.tsv.
#
#   tools/make_consolidate_pool.sh
#
# Needs libreoffice-calc (soffice) and python3-xlrd. Writes tests/data/fixtures/consolidate_pool/.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
out="$repo/tests/data/fixtures/consolidate_pool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo=(soffice "-env:UserInstallation=file://$work/lo-profile" --headless)

mkdir -p "$out"
/usr/bin/python3 "$repo/tools/write_consolidate_pool_sources.py" "$work/src"
"${lo[@]}" --convert-to 'xls:MS Excel 97' --outdir "$out" "$work"/src/*.fods >/dev/null

/usr/bin/python3 - "$out" <<'PY'
import sys
from pathlib import Path
import xlrd

out = Path(sys.argv[1])
sources = [out / f"branch_{i}.xls" for i in (1, 2, 3)]
rows, cols = range(3, 9), range(1, 5)   # b4:e9, zero-based
lines = ["# mode\tworksheet\tcell\ttotal (empty: the cell shows nothing)"]
for sheet in ["收入明细", "成本费用"]:
    totals = {"efficiency": {}, "function": {}}
    for path in sources:
        s = xlrd.open_workbook(str(path)).sheet_by_name(sheet)
        for r in rows:
            for c in cols:
                cell = s.cell(r, c)
                if cell.ctype == xlrd.XL_CELL_NUMBER:
                    for mode in totals:
                        totals[mode][(r, c)] = totals[mode].get((r, c), 0) + cell.value
                elif cell.ctype == xlrd.XL_CELL_TEXT:
                    try:
                        n = float(cell.value.strip().replace(",", ""))
                    except ValueError:
                        continue
                    # Both modes add texts that read as numbers.
                    for mode in totals:
                        totals[mode][(r, c)] = totals[mode].get((r, c), 0) + n
    for mode, cells in totals.items():
        for r in rows:
            for c in cols:
                v = round(cells.get((r, c), 0), 9)
                text = "" if v == 0 else repr(v)
                lines.append(f"{mode}\t{sheet}\t{xlrd.colname(c).lower()}{r + 1}\t{text}")
(out / "expected_totals.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")
PY
ls -l "$out"
