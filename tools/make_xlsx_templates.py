#!/usr/bin/python3
"""Write the small .xlsx templates of the writer tests with openpyxl (tests/data/xlsx/).

    /usr/bin/python3 tools/make_xlsx_templates.py

protected_formulas.xlsx, sheet "Form" (protected): A1:A3 numbers, B1 =A1*2, B2 =B1+1 (reads
B1), B3 =A3+1 (reads only A3), C1 =SUM(A1:A3), D1:D2 unlocked input cells (D1 holds 5),
E1:E2 the array formula {=A1:A2*10}; sheet "Free" (unprotected): a date in A1 (date
format), text in A2, a styled empty cell C5 (bold, unlocked), B1 =A1+1, B2 =B1+1, B3 =D9*2.
"""

import datetime
from pathlib import Path

import openpyxl
from openpyxl.styles import Font, Protection

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "xlsx"


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    book = openpyxl.Workbook()
    form = book.active
    form.title = "Form"
    for row, value in enumerate([1, 2, 3], start=1):
        form.cell(row=row, column=1, value=value)
    form["B1"] = "=A1*2"
    form["B2"] = "=B1+1"
    form["B3"] = "=A3+1"
    form["C1"] = "=SUM(A1:A3)"
    form["D1"] = 5
    for ref in ("D1", "D2"):
        form[ref].protection = Protection(locked=False)
    form["E1"] = "=A1:A2*10"
    form.formula_attributes["E1"] = {"t": "array", "ref": "E1:E2"}  # openpyxl 3.0's array formulas
    form.protection.sheet = True
    free = book.create_sheet("Free")
    free["A1"] = datetime.datetime(2024, 1, 31)
    free["A1"].number_format = "yyyy-mm-dd"
    free["A2"] = "合计"
    free["C5"].font = Font(bold=True)
    free["C5"].protection = Protection(locked=False)
    free["B1"] = "=A1+1"
    free["B2"] = "=B1+1"
    free["B3"] = "=D9*2"
    book.save(OUT / "protected_formulas.xlsx")


if __name__ == "__main__":
    main()
