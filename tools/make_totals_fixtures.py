#!/usr/bin/python3
"""Writes tests/data/totals: sources whose totals a spreadsheet application works out in ways
a plain reader of stored values does not, and expected.tsv with the values LibreOffice shows
for them (it computes the formulas that hold no result as it loads a file).

  formulas.xlsx   written by openpyxl: formulas without stored results, =B2*2, =SUM over
                  another such formula, ROUND, a reference to another worksheet
  formulas.xls    the same written by xlwt (35 at b3), which stores an empty text as every result
  no_result.xlsx  openpyxl: =SQRT(B2), which this engine does not compute, and a link to
                  another workbook, both without results
  no_result.xls   xlwt: =SQRT(B2) with its empty result
  huge_a.xls      xlwt: 1e308 at 表!b2, whose sum with huge_b's is beyond a double
  huge_b.xlsx     openpyxl: the same, with 2.5 at 表!c2
  nan.xls         xlwt: a NaN bit pattern at 表!b3, an infinity at 表!c3
  plain.xls       xlwt: plain amounts over 表!b2:d4
  share_1.xlsx, share_2.xlsx (openpyxl), share_3.xls (xlwt): a report with formulas inside
                  its range 表!b2:e5: a 合计 row (SUM), a 占比 column over the range (B2/B$5)
                  and a column over a cell outside it (B2/其他!A1)
  expected_shares.tsv  表!b2:e5 of the summary as LibreOffice shows it: the ratios and sums
                  computed over the totals, the column over 其他!a1 as the sum of the
                  units' values (those formulas are not kept)

Every workbook holds 表 (and 其他 with 5 at a1). Ranges: 表!b2:d4.
Usage: /usr/bin/python3 tools/make_totals_fixtures.py [OUTDIR]
"""
import csv
import os
import subprocess
import sys
import tempfile

import openpyxl
import xlwt

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "totals")

# 表!b2:d4 of the formula sources: (row, column) from 1 -> value or formula text.
FORMULAS = {
    (2, 2): 100, (2, 3): "=B2*2", (2, 4): "=SUM(B2:C2)",
    (3, 2): 30, (3, 3): "=ROUND(B3/7,2)", (3, 4): "=B3*1.5",
    (4, 2): "=其他!A1*3", (4, 3): "=IF(B2>50,B3,0)",
}
NO_RESULT_XLSX = {(2, 2): 16, (2, 3): "=SQRT(B2)", (3, 3): "=[1]Sheet1!A1", (4, 4): 3}
NO_RESULT_XLS = {(2, 2): 16, (2, 3): "=SQRT(B2)", (4, 4): 3}
PLAIN = {(2, 2): 1.25, (2, 3): 2, (2, 4): 3, (3, 2): 4, (3, 3): 5, (3, 4): 6, (4, 2): 7, (4, 3): 8, (4, 4): 9}


def write_xlsx(name, cells):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "表"
    for (r, c), v in cells.items():
        sheet.cell(row=r, column=c, value=v)
    book.create_sheet("其他")["A1"] = 5
    book.save(os.path.join(OUT, name))


def write_xls(name, cells):
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("表")
    other = book.add_sheet("其他")
    other.write(0, 0, 5)
    for (r, c), v in cells.items():
        if isinstance(v, str) and v.startswith("="):
            v = xlwt.Formula(v[1:].replace("其他!", "'其他'!"))
        sheet.write(r - 1, c - 1, v)
    book.save(os.path.join(OUT, name))


def libreoffice_values(name):
    """表!b2:d4 of a fixture as LibreOffice computes it, by (row, column)."""
    return values_shown(os.path.join(OUT, name), 4, 4)


def values_shown(path, last_row, last_column):
    """表!b2 to the last row and column of a workbook (表 is its first worksheet) as LibreOffice
    computes it, as text by (row, column)."""
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["soffice", "--headless", "-env:UserInstallation=file://" + tmp + "/profile",
                        "--convert-to", "csv", "--outdir", tmp, path],
                       check=True, capture_output=True, timeout=300)
        with open(os.path.join(tmp, os.path.splitext(os.path.basename(path))[0] + ".csv"), encoding="utf-8") as f:
            rows = list(csv.reader(f))
    values = {}
    for r in range(2, last_row + 1):
        for c in range(2, last_column + 1):
            text = rows[r - 1][c - 1] if r - 1 < len(rows) and c - 1 < len(rows[r - 1]) else ""
            values[(r, c)] = text
    return values


SHARE_FORMULAS = {(5, 2): "=SUM(B2:B4)", (5, 3): "=SUM(C2:C4)"}
for r in range(2, 6):
    SHARE_FORMULAS[(r, 4)] = f"=B{r}/B$5"
    SHARE_FORMULAS[(r, 5)] = f"=B{r}/其他!A1"


def share_amounts(unit):
    return {(r, c): 10 * unit + 3 * r + c for r in range(2, 5) for c in (2, 3)}


def write_shares():
    """The share reports, and the summary LibreOffice computes: the totals typed into a copy
    of the report, its formulas computed there; the column over 其他!A1 summed."""
    units = {1: "share_1.xlsx", 2: "share_2.xlsx", 3: "share_3.xls"}
    for unit, name in units.items():
        cells = {**share_amounts(unit), **SHARE_FORMULAS}
        (write_xls if name.endswith(".xls") else write_xlsx)(name, cells)
    totals = {}
    for unit in units:
        for cell, v in share_amounts(unit).items():
            totals[cell] = totals.get(cell, 0) + v
    with tempfile.TemporaryDirectory() as tmp:
        book = openpyxl.load_workbook(os.path.join(OUT, "share_1.xlsx"))
        for (r, c), v in totals.items():
            book["表"].cell(row=r, column=c, value=v)
        book.save(os.path.join(tmp, "summary.xlsx"))
        shown = values_shown(os.path.join(tmp, "summary.xlsx"), 5, 5)
    outside = {}
    for name in units.values():
        unit_shown = values_shown(os.path.join(OUT, name), 5, 5)
        for r in range(2, 6):
            outside[(r, 5)] = outside.get((r, 5), 0) + float(unit_shown[(r, 5)])
    with open(os.path.join(OUT, "expected_shares.tsv"), "w", encoding="utf-8") as out:
        out.write("# cell\tvalue of the summary's 表 as LibreOffice shows it\n")
        for r in range(2, 6):
            for c in range(2, 6):
                value = outside[(r, c)] if c == 5 else shown[(r, c)]
                out.write(f"{'abcde'[c - 1]}{r}\t{value!r}\n" if c == 5 else f"{'abcde'[c - 1]}{r}\t{value}\n")


def main():
    os.makedirs(OUT, exist_ok=True)
    write_xlsx("formulas.xlsx", FORMULAS)
    write_xls("formulas.xls", {**FORMULAS, (3, 2): 35})  # other values than formulas.xlsx: no duplicate
    write_xlsx("no_result.xlsx", NO_RESULT_XLSX)
    write_xls("no_result.xls", NO_RESULT_XLS)
    write_xls("huge_a.xls", {(2, 2): 1e308, (2, 3): 1.5})
    write_xlsx("huge_b.xlsx", {(2, 2): 1e308, (2, 3): 2.5})
    write_xls("nan.xls", {(2, 2): 1, (3, 2): float("nan"), (3, 3): float("inf")})
    write_xls("plain.xls", PLAIN)
    write_shares()
    with open(os.path.join(OUT, "expected.tsv"), "w", encoding="utf-8") as out:
        out.write("# file\tcell\tvalue as LibreOffice shows it (表)\n")
        for name in ("formulas.xlsx", "formulas.xls", "plain.xls"):
            for (r, c), text in sorted(libreoffice_values(name).items()):
                out.write(f"{name}\t{'abcd'[c - 1]}{r}\t{text}\n")


main()
