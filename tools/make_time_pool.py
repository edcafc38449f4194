#!/usr/bin/python3
"""The time pool: three timesheets of one layout whose amounts are times of day and
durations, and the totals a run must write, read back by independent readers.

    /usr/bin/python3 tools/make_time_pool.py      (needs python3-openpyxl, python3-xlrd, soffice)

Writes tests/data/fixtures/time_pool/: sheet_1.xlsx and sheet_2.xlsx by openpyxl, sheet_3.xls
converted from a third openpyxl workbook by LibreOffice (FORMAT records and built-in ids), and
expected_totals.tsv: per cell of 工时!B2:B9 the kind of the total (sum: the values' day
fractions add up; latest: calendar dates keep the latest) and its serial, computed from what
openpyxl reads of the .xlsx files and xlrd of the .xls file, with math.fsum.
"""

import datetime
import math
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

import openpyxl
import xlrd

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "fixtures" / "time_pool"
SHEET = "工时"
T = datetime.time
D = datetime.timedelta
# Per row of column B: the format and the value of each of the three sheets.
ROWS = [
    ("h:mm", [T(6, 0), T(12, 0), T(8, 30)], "sum"),                         # built-in 20
    ("[h]:mm:ss", [D(hours=30), D(hours=1, minutes=15, seconds=30), D(minutes=45)], "sum"),
    ("mm:ss", [T(0, 12, 30), T(0, 3, 15), T(0, 44, 15)], "sum"),             # built-in 45
    ("h:mm AM/PM", [T(9, 0), T(13, 30), T(7, 15)], "sum"),                   # built-in 18
    ('h"时"mm"分"', [T(2, 0), T(3, 30), T(1, 0)], "sum"),                     # a custom code
    ("yyyy-mm-dd", [datetime.datetime(2024, 3, 1), datetime.datetime(2024, 5, 2), datetime.datetime(2023, 12, 31)],
     "latest"),
    ("yyyy-mm-dd hh:mm", [datetime.datetime(2024, 3, 1, 8), datetime.datetime(2024, 3, 1, 9),
                          datetime.datetime(2024, 2, 1, 10)], "latest"),
    ("h:mm", [T(6, 0), 0.25, T(12, 0)], "sum"),                              # a plain number among times
]
EPOCH = datetime.datetime(1899, 12, 30)


def build(index):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = SHEET
    sheet["A1"], sheet["B1"] = "项目", "时间"
    for row, (number_format, values, _) in enumerate(ROWS, start=2):
        sheet.cell(row=row, column=1, value=f"第{row - 1}项")
        cell = sheet.cell(row=row, column=2, value=values[index])
        cell.number_format = number_format
    return book


def serial(value):
    if isinstance(value, datetime.datetime):
        return (value - EPOCH).total_seconds() / 86400
    if isinstance(value, datetime.time):
        return (value.hour * 3600 + value.minute * 60 + value.second) / 86400
    if isinstance(value, datetime.timedelta):
        return value.total_seconds() / 86400
    return float(value)


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for index in (0, 1):
        build(index).save(OUT / f"sheet_{index + 1}.xlsx")
    with tempfile.TemporaryDirectory() as work:
        build(2).save(Path(work) / "sheet_3.xlsx")
        subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless", "--convert-to",
                        "xls:MS Excel 97", "--outdir", work, str(Path(work) / "sheet_3.xlsx")],
                       check=True, stdout=subprocess.DEVNULL)
        shutil.copy(Path(work) / "sheet_3.xls", OUT / "sheet_3.xls")

    read = []
    for name in ("sheet_1.xlsx", "sheet_2.xlsx"):
        sheet = openpyxl.load_workbook(OUT / name)[SHEET]
        read.append([serial(sheet.cell(row=r, column=2).value) for r in range(2, 2 + len(ROWS))])
    xls = xlrd.open_workbook(str(OUT / "sheet_3.xls")).sheet_by_name(SHEET)
    read.append([xls.cell_value(r - 1, 1) for r in range(2, 2 + len(ROWS))])
    with open(OUT / "expected_totals.tsv", "w", encoding="utf-8") as out:
        out.write("# cell\tkind\tserial (from openpyxl and xlrd, not the engine)\n")
        for i, (_, _, kind) in enumerate(ROWS):
            values = [r[i] for r in read]
            total = math.fsum(values) if kind == "sum" else max(values)
            out.write(f"B{i + 2}\t{kind}\t{total!r}\n")
    print((OUT / "expected_totals.tsv").read_text(encoding="utf-8"), file=sys.stderr)


if __name__ == "__main__":
    main()
