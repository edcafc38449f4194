#!/usr/bin/python3
"""Writes tests/data/audit: reports of one layout whose 合计 row and 小计 column the template
computes, saved by LibreOffice (so every formula holds its result, as in a real report), and
expected.tsv: for each report, the cells whose stored figure differs from what the
template's formula gives on the report's own values, worked out here in Python.

  template.xlsx   B7 =SUM(B3:B6), C7 =SUM(C3:C6), D3..D7 =B3+C3 .. =B7+C7, E3 =IF(C3=0,0,B3/C3)
  typed_ok        the totals typed by hand, right
  typed_wrong     B7 typed as 999 (the items add up to 880), D4 typed 1 too high
  rounded         the totals typed as shown with one decimal (46.2 for 46.24)
  formulas        the template's formulas kept, so the figures always agree
Each as .xlsx and as .xls (LibreOffice's "MS Excel 97" filter).
Usage: /usr/bin/python3 tools/make_audit_fixtures.py [OUTDIR]   (needs python3-openpyxl, soffice)
"""
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "audit")
ITEMS = ["工资", "房租", "水电", "差旅"]


def amounts(unit):
    return {(3 + r, c): 100 * unit + 10 * r + (c - 1) * 5 for r in range(4) for c in (2, 3)}


def write(path, unit, totals):
    """totals: 'formulas', or a dict {(row, column): number} of typed totals."""
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "费用"
    sheet["A1"] = "费用明细表"
    for c, heading in enumerate(["项目", "一季度", "二季度", "小计", "比率"], start=1):
        sheet.cell(2, c, heading)
    for r, item in enumerate(ITEMS):
        sheet.cell(3 + r, 1, item)
    sheet["A7"] = "合计"
    values = amounts(unit)
    for (row, column), v in values.items():
        sheet.cell(row, column, v)
    if totals == "formulas":
        for c in "BC":
            sheet[f"{c}7"] = f"=SUM({c}3:{c}6)"
        for row in range(3, 8):
            sheet[f"D{row}"] = f"=B{row}+C{row}"
        sheet["E3"] = "=IF(C3=0,0,B3/C3)"
    else:
        for (row, column), v in totals.items():
            sheet.cell(row, column, v)
    book.save(path)


def formula_of(row, column):
    """The template's formula of a total, as the formula bar shows it."""
    if column == 4:
        return f"=B{row}+C{row}"
    if column == 5:
        return "=IF(C3=0,0,B3/C3)"
    letter = "ABCDE"[column - 1]
    return f"=SUM({letter}3:{letter}6)"


def by_formulas(v):
    """The template's formulas over figures v (a report's own, totals included)."""
    cells = {}
    for column in (2, 3):
        cells[(7, column)] = sum(v[(row, column)] for row in range(3, 7))
    for row in range(3, 8):
        cells[(row, 4)] = v[(row, 2)] + v[(row, 3)]
    cells[(3, 5)] = v[(3, 2)] / v[(3, 3)]
    return cells


def right_totals(unit, decimals=None):
    v = amounts(unit)
    cells = {}
    for column in (2, 3):
        cells[(7, column)] = sum(v[(row, column)] for row in range(3, 7))
    for row in range(3, 7):
        cells[(row, 4)] = v[(row, 2)] + v[(row, 3)]
    cells[(7, 4)] = cells[(7, 2)] + cells[(7, 3)]
    cells[(3, 5)] = v[(3, 2)] / v[(3, 3)]
    if decimals is not None:
        cells = {k: round(x, decimals) for k, x in cells.items()}
    return cells


def main():
    os.makedirs(OUT, exist_ok=True)
    work = tempfile.mkdtemp()
    wrong = right_totals(2)
    wrong[(7, 2)] = 999
    wrong[(4, 4)] += 1
    reports = {
        "template": (1, "formulas"),
        "typed_ok": (3, right_totals(3)),
        "typed_wrong": (2, wrong),
        "rounded": (4.012, right_totals(4.012, 1)),
        "formulas": (5, "formulas"),
    }
    for name, (unit, totals) in reports.items():
        write(os.path.join(work, name + ".xlsx"), unit, totals)
    # LibreOffice computes every formula and saves its result, as a spreadsheet application does.
    for target, filter_name in (("xlsx", "Calc MS Excel 2007 XML"), ("xls", "MS Excel 97")):
        out = os.path.join(work, target)
        subprocess.run(["soffice", "--headless", "--calc", "--convert-to", f"{target}:{filter_name}", "--outdir", out]
                       + [os.path.join(work, n + ".xlsx") for n in reports], check=True, capture_output=True)
        for n in reports:
            shutil.copy(os.path.join(out, f"{n}.{target}"), os.path.join(OUT, f"{n}.{target}"))
    # What the template's formulas give on each report's own values, against what it stores.
    with open(os.path.join(OUT, "expected.tsv"), "w", encoding="utf-8") as tsv:
        tsv.write("report\tcell\tstored\tby_formula\tformula\n")
        for name, (unit, totals) in reports.items():
            if totals == "formulas":
                continue
            figures = dict(amounts(unit))
            figures.update(totals)
            computed = by_formulas(figures)
            for (row, column), stored in sorted(totals.items()):  # row by row
                by_formula = computed[(row, column)]
                shown = str(stored)
                decimals = len(shown.split(".")[1]) if "." in shown and "e" not in shown else 0
                if abs(stored - by_formula) > 0.5 * 10 ** -decimals:
                    tsv.write(f"{name}\t{'ABCDE'[column - 1]}{row}\t{stored:g}\t{by_formula:g}\t{formula_of(row, column)}\n")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
