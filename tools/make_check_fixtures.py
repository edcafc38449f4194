#!/usr/bin/python3
"""Writes tests/data/check: one template and a family of unit reports of its layout, the
faulty ones derived from the good ones, and expected_totals.tsv read back with xlrd.

  template.xls       the layout, no amounts
  unit_a/b/c.xls     good reports: unit_b names its unit at a2 (a corner, not a heading),
                     unit_c holds the amount text "1200" at 收入明细!c5, which reads as a
                     number, another year at d2 and a signature below the range at b14
  inserted_row.xls   a row inserted above row 6: first difference 收入明细!a6
  moved_label.xls    the label of row 9 moved to column f: first difference 收入明细!a9
  duplicate.xls      unit_a.xls byte for byte
  resent.xls         unit_b's amounts, another year at d2 (other bytes, same values)
  text_in_amount.xls unit_c with "见附表" at 收入明细!c7 and TRUE at 支出!b3
  damaged.xls        unit_c.xls cut off after 3000 bytes
  missing_sheet.xls  unit_a without the worksheet 支出

Ranges: 收入明细!b4:d11 and 支出!b2:c6.
Usage: /usr/bin/python3 tools/make_check_fixtures.py [OUTDIR]
"""
import os
import shutil
import sys

import xlrd
import xlwt

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "check")
INCOME = ["主营业务收入", "其他业务收入", "投资收益", "营业外收入", "补贴收入", "利息收入", "租金收入", "其他收入"]
COSTS = ["工资", "房租", "水电", "差旅", "办公"]


def amounts(unit):
    """Amounts of a unit by (sheet, row, column), rows and columns from 0."""
    values = {}
    for r in range(len(INCOME)):
        for c in range(3):
            values[("收入明细", 3 + r, 1 + c)] = 1000 * unit + 10 * r + c + 0.25
    for r in range(len(COSTS)):
        for c in range(2):
            values[("支出", 1 + r, 1 + c)] = 100 * unit + r + 0.5 * c
    return values


def write(path, unit=None, year=2026, insert_row=False, move_label=False, overrides=None, sheets=("收入明细", "支出"),
          unit_line="单位：元", signed=None):
    book = xlwt.Workbook(encoding="utf-8")
    values = amounts(unit) if unit is not None else {}
    values.update(overrides or {})
    if "收入明细" in sheets:
        s = book.add_sheet("收入明细")
        s.write(0, 0, "2026年收入明细表")
        s.write(1, 0, unit_line)
        s.write(1, 3, year)
        for c, h in enumerate(["项目", "一月", "二月", "三月"]):
            s.write(2, c, h)
        labels = list(INCOME)
        shift = 0
        for r, label in enumerate(labels):
            row = 3 + r
            if insert_row and row == 5:
                s.write(row, 0, "新增项目")
                shift = 1
            if move_label and row == 8:
                s.write(row + shift, 5, label)
            else:
                s.write(row + shift, 0, label)
            for c in range(3):
                v = values.get(("收入明细", row, 1 + c))
                if v is not None:
                    s.write(row + shift, 1 + c, v)
        s.write(3 + len(labels) + shift, 0, "合计")
        if signed:
            s.write(5 + len(labels) + shift, 1, signed)
    if "支出" in sheets:
        s = book.add_sheet("支出")
        s.write(0, 0, "项目")
        s.write(0, 1, "本月")
        s.write(0, 2, "上月")
        for r, label in enumerate(COSTS):
            s.write(1 + r, 0, label)
            for c in range(2):
                v = values.get(("支出", 1 + r, 1 + c))
                if v is not None:
                    s.write(1 + r, 1 + c, v)
    book.save(path)


def main():
    os.makedirs(OUT, exist_ok=True)
    p = lambda name: os.path.join(OUT, name)
    write(p("template.xls"))
    write(p("unit_a.xls"), 1)
    write(p("unit_b.xls"), 2, unit_line="填报单位：乙公司")
    write(p("unit_c.xls"), 3, year=2025, overrides={("收入明细", 4, 2): "1200"}, signed="制表人：李四")
    write(p("inserted_row.xls"), 4, insert_row=True)
    write(p("moved_label.xls"), 5, move_label=True)
    shutil.copyfile(p("unit_a.xls"), p("duplicate.xls"))
    write(p("resent.xls"), 2, year=2024, unit_line="填报单位：乙公司")
    write(p("text_in_amount.xls"), 3, overrides={("收入明细", 6, 2): "见附表", ("收入明细", 4, 2): "1200",
                                                ("支出", 2, 1): True})
    with open(p("unit_c.xls"), "rb") as f:
        head = f.read(3000)
    with open(p("damaged.xls"), "wb") as f:
        f.write(head)
    write(p("missing_sheet.xls"), 1, sheets=("收入明细",))

    # The totals of the good units, as xlrd reads them.
    totals = {}
    for name in ("unit_a.xls", "unit_b.xls", "unit_c.xls"):
        book = xlrd.open_workbook(p(name))
        for sheet, (r0, r1, c0, c1) in (("收入明细", (3, 10, 1, 3)), ("支出", (1, 5, 1, 2))):
            s = book.sheet_by_name(sheet)
            for r in range(r0, r1 + 1):
                for c in range(c0, c1 + 1):
                    v = s.cell_value(r, c)
                    totals[(sheet, r, c)] = totals.get((sheet, r, c), 0.0) + float(v)
    with open(p("expected_totals.tsv"), "w", encoding="utf-8") as f:
        f.write("# worksheet\tcell\ttotal of unit_a, unit_b, unit_c (xlrd)\n")
        for (sheet, r, c), v in sorted(totals.items()):
            f.write(f"{sheet}\t{'abcdefghij'[c]}{r + 1}\t{v!r}\n")


if __name__ == "__main__":
    main()
