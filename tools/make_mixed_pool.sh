#!/usr/bin/env bash
# Make the mixed-format pool fixture: branch_2 and branch_3 of the consolidation pool saved
# as .xlsx by LibreOffice Calc, to be added up with branch_1.xls; then the expected totals of
# the three, read by independent readers (xlrd for the .xls, openpyxl for the .xlsx files),
# into expected_totals.tsv.
#
#   tools/make_mixed_pool.sh
#
# Needs libreoffice-calc (soffice), python3-xlrd and python3-openpyxl. Reads
# tests/data/fixtures/consolidate_pool/, writes tests/data/fixtures/mixed_pool/.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
from="$repo/tests/data/fixtures/consolidate_pool"
out="$repo/tests/data/fixtures/mixed_pool"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lo=(soffice "-env:UserInstallation=file://$work/lo-profile" --headless)

mkdir -p "$out"
"${lo[@]}" --convert-to 'xlsx:Calc MS Excel 2007 XML' --outdir "$out" "$from/branch_2.xls" "$from/branch_3.xls" >/dev/null

/usr/bin/python3 - "$from" "$out" <<'PY'
import sys
from pathlib import Path
import openpyxl
import xlrd

source, out = Path(sys.argv[1]), Path(sys.argv[2])
rows, cols = range(4, 10), range(2, 6)   # b4:e9, one-based


def xls_cells(path, sheet):
    s = xlrd.open_workbook(str(path)).sheet_by_name(sheet)
    for r in rows:
        for c in cols:
            cell = s.cell(r - 1, c - 1)
            if cell.ctype == xlrd.XL_CELL_NUMBER:
                yield (r, c), cell.value
            elif cell.ctype == xlrd.XL_CELL_TEXT:
                yield (r, c), cell.value


def xlsx_cells(path, sheet):
    s = openpyxl.load_workbook(str(path), data_only=True)[sheet]
    for r in rows:
        for c in cols:
            value = s.cell(row=r, column=c).value
            if isinstance(value, (int, float, str)) and not isinstance(value, bool):
                yield (r, c), value


def number(value):
    """Numbers add; texts add when they read as numbers (blanks, digit grouping); nothing else."""
    if isinstance(value, str):
        try:
            return float(value.strip().replace(",", ""))
        except ValueError:
            return None
    return float(value)


readers = [(source / "branch_1.xls", xls_cells), (out / "branch_2.xlsx", xlsx_cells), (out / "branch_3.xlsx", xlsx_cells)]
lines = ["# worksheet\tcell\ttotal of branch_1.xls, branch_2.xlsx, branch_3.xlsx (empty: the cell shows nothing)"]
for sheet in ["收入明细", "成本费用"]:
    totals = {}
    for path, read in readers:
        for key, value in read(path, sheet):
            n = number(value)
            if n is not None:
                totals[key] = totals.get(key, 0) + n
    for r in rows:
        for c in cols:
            v = round(totals.get((r, c), 0), 9)
            lines.append(f"{sheet}\t{openpyxl.utils.get_column_letter(c).lower()}{r}\t{'' if v == 0 else repr(v)}")
(out / "expected_totals.tsv").write_text("\n".join(lines) + "\n", encoding="utf-8")
PY
ls -l "$out"
