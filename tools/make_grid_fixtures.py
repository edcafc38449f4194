#!/usr/bin/python3
"""Writes tests/data/grid: .xlsx reports with amounts beyond column IV and row 65536, where
only the full grid of an .xlsx worksheet (XFD1048576) reaches, and the templates of a summary.

  grid_1.xlsx, grid_2.xlsx  openpyxl: 表 with the label 项目 at A1 and amounts at D5, XFD1,
                            AA70000 and XFD1048576 (1, 2, 10, 100 and 3, 4, 20, 200)
  grid_label.xlsx           openpyxl: the same with the label 合计 at XFD1048576, where the
                            others hold amounts (5, 6, 30 elsewhere)
  grid_template.xlsx        openpyxl: 表 with 项目 at A1 only
  grid_template.xls         xlwt: the same as an .xls workbook, whose worksheets end at IV65536

Also shows cells as openpyxl reads them, one "CELL<TAB>value" line each (empty: no value),
for the tests that check where the totals landed:
  /usr/bin/python3 tools/make_grid_fixtures.py --show FILE SHEET CELL...
Usage: /usr/bin/python3 tools/make_grid_fixtures.py [OUTDIR]
"""
import os
import sys

import openpyxl

AMOUNTS = {
    "grid_1.xlsx": {"D5": 1, "XFD1": 2, "AA70000": 10, "XFD1048576": 100},
    "grid_2.xlsx": {"D5": 3, "XFD1": 4, "AA70000": 20, "XFD1048576": 200},
    "grid_label.xlsx": {"D5": 5, "XFD1": 6, "AA70000": 30, "XFD1048576": "合计"},
    "grid_template.xlsx": {},
}


def write_xlsx(path, amounts):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "表"
    sheet["A1"] = "项目"
    for cell, value in amounts.items():
        sheet[cell] = value
    book.save(path)


def write_xls(path):
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    book.add_sheet("表").write(0, 0, "项目")
    book.save(path)


def show(path, sheet, cells):
    # Not read-only: that mode walks every position up to the dimension, 2^34 on the full grid.
    worksheet = openpyxl.load_workbook(path, data_only=True)[sheet]
    for cell in cells:
        value = worksheet[cell].value
        if isinstance(value, float) and value.is_integer():
            value = int(value)
        print("%s\t%s" % (cell, "" if value is None else value))


def main():
    if len(sys.argv) > 1 and sys.argv[1] == "--show":
        show(sys.argv[2], sys.argv[3], sys.argv[4:])
        return
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "grid")
    os.makedirs(out, exist_ok=True)
    for name, amounts in AMOUNTS.items():
        write_xlsx(os.path.join(out, name), amounts)
    write_xls(os.path.join(out, "grid_template.xls"))


if __name__ == "__main__":
    main()
