#!/usr/bin/python3
"""Writes tests/data/one_read: reports of one layout whose ranges hold every kind of value
the run adds up or leaves out, for comparing a run that adds up the values the check read
with one that reads them itself.

  template.xls      the layout: labels, no amounts
  unit_1..4.xls     ranges 明细!b3:e9 and 附表!b2:c4 holding numbers, texts that read as
                    numbers ("12", " 3.5"), texts that do not, errors, booleans, dates
                    (date-formatted numbers) and empty cells, differing from unit to unit
  unit_4.xls        counts its dates from 1904

Usage: /usr/bin/python3 tools/make_one_read_fixtures.py [OUTDIR]
"""
import datetime
import os
import sys

import xlwt

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "one_read")
DATE = xlwt.easyxf(num_format_str="yyyy-mm-dd")
ERRORS = [0x07, 0x2A, 0x0F]  # #DIV/0!, #N/A, #VALUE! (xlwt takes the codes)


def value(unit, r, c):
    """What unit `unit` holds at row r, column c of a range (from 0); None for empty."""
    k = (unit * 7 + r * 5 + c * 3) % 11
    if k == 0:
        return None
    if k == 1:
        return ("text", "见附表" if unit % 2 else "合计")
    if k == 2:
        return ("text", "12" if unit % 2 else " 3.5")
    if k == 3:
        return ("error", ERRORS[(unit + r) % 3])
    if k == 4:
        return ("bool", (unit + c) % 2 == 0)
    if k == 5:
        return ("date", datetime.date(2024, 1 + r, 1 + unit + c))
    return ("number", round(unit * 1000 + r * 10 + c + 0.1 * k, 2))


def write_range(sheet, unit, first_row, first_col, rows, cols):
    for r in range(rows):
        for c in range(cols):
            v = value(unit, r, c)
            if v is None:
                continue
            kind, x = v
            row, col = first_row + r, first_col + c
            if kind == "error":
                sheet.row(row).set_cell_error(col, x)
            elif kind == "date":
                sheet.write(row, col, x, DATE)
            else:
                sheet.write(row, col, x)


def make(path, unit):
    book = xlwt.Workbook(encoding="utf-8")
    if unit == 4:
        book.dates_1904 = True
    main = book.add_sheet("明细")
    main.write(0, 0, "收支明细")
    for c, h in enumerate(["一月", "二月", "三月", "四月"]):
        main.write(1, 1 + c, h)
    for r in range(7):
        main.write(2 + r, 0, "项目%d" % (r + 1))
    extra = book.add_sheet("附表")
    extra.write(0, 1, "金额")
    extra.write(0, 2, "数量")
    for r in range(3):
        extra.write(1 + r, 0, "类%d" % (r + 1))
    if unit:
        write_range(main, unit, 2, 1, 7, 4)
        write_range(extra, unit + 5, 1, 1, 3, 2)
    book.save(path)


os.makedirs(OUT, exist_ok=True)
make(os.path.join(OUT, "template.xls"), 0)
for unit in range(1, 5):
    make(os.path.join(OUT, "unit_%d.xls" % unit), unit)

# A unit's report without its second worksheet: the first worksheet of the consolidate pool's
# branch_1.xls alone, values as xlrd reads them.
import xlrd  # noqa: E402

POOL = os.path.join(os.path.dirname(__file__), "..", "tests", "data", "fixtures", "consolidate_pool")
source = xlrd.open_workbook(os.path.join(POOL, "branch_1.xls")).sheet_by_index(0)
lacking = xlwt.Workbook(encoding="utf-8")
only = lacking.add_sheet(source.name)
for r in range(source.nrows):
    for c in range(source.ncols):
        cell = source.cell(r, c)
        if cell.ctype in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_NUMBER):
            only.write(r, c, cell.value)
lacking.save(os.path.join(OUT, "branch_1_income_only.xls"))
