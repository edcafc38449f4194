#!/usr/bin/python3
"""Writes expected_sums.txt: the consolidation cases of consolidate_by_position_test with
the sums worked out by xlrd (Debian's python3-xlrd 1.2.0), independently of the engine.

Run from anywhere: /usr/bin/python3 tests/data/consolidate/make_expected_sums.py [--check]

The rules of a total, as both run modes apply them: numbers and texts that read as numbers
add up; a date adds its number as stored in its own workbook (xlrd hands it over unchanged)
when a plain number is also there, and where every source holding a value holds a date the
total is the latest date (as a 1900-system serial); a time of day or a duration (a format
that shows no calendar day, only hours, minutes and seconds) adds up as a number; other
texts, booleans, error values and
empty cells add nothing; a total of zero or of nothing is an empty cell. Sums are correctly
rounded (math.fsum).

File format, tab-separated, one case after the other:
  case   <name>  <target copy>  <target worksheet>  <target area R1C1:R2C2>  <target fixture>
  source <copy>  <fixture>      <worksheet as the reference writes it>  <area>
  cell   <row>   <column>       empty | <number as Python repr> | date:<1900 serial as repr>
  end
A copy is a path inside the test's temporary folder ("hz/total.xls"); the same copy named
twice is the same file. Every cell of the target area has a "cell" line.
"""
import math
import os
import re
import sys

import xlrd

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.normpath(os.path.join(HERE, "..", "..", "..", "..", "shared", "fixtures", "xls"))
OUT = os.path.join(HERE, "expected_sums.txt")

DPI_A = "family_dpi_a_macexcel2016.xls"
DPI_B = "family_dpi_b_macexcel2016.xls"
DPI_C = "family_dpi_c_excel2016.xls"

# name, (target copy, fixture, worksheet, area), [(source copy, fixture, worksheet, area)]
CASES = [
    ("three_workbooks_same_layout", ("hz/total.xls", DPI_C, "Sheet1", "R1C1:R4C8"), [
        ("a.xls", DPI_A, "Sheet1", "R1C1:R4C8"),
        ("b.xls", DPI_B, "Sheet1", "R1C1:R4C8"),
        ("c.xls", DPI_C, "Sheet1", "R1C1:R4C8"),
    ]),
    # Names with blanks, commas, brackets, "!" and Chinese; worksheet names in other letter
    # case; one file twice in the list counts twice.
    ("awkward_names_and_a_file_twice", ("hz/total.xls", DPI_C, "Sheet2", "R1C1:R2C3"), [
        ("a [1], b!.xls", DPI_A, "SHEET2", "R1C1:R2C3"),
        ("数簿 c.xls", DPI_C, "sheet2", "R1C1:R2C3"),
        ("a [1], b!.xls", DPI_A, "Sheet2", "R1C1:R2C3"),
    ]),
    # Source and target areas at different places; text in the target area is replaced.
    ("areas_at_other_positions", ("hz/total.xls", DPI_C, "Sheet1", "R2C2:R3C4"), [
        ("a.xls", DPI_A, "Sheet2", "R1C1:R2C3"),
        ("c.xls", DPI_C, "Sheet1", "R1C6:R2C8"),
    ]),
    # Mostly text and empty cells: cells without a number anywhere become empty.
    ("no_number_leaves_empty", ("hz/total.xls", DPI_C, "Sheet1", "R1C1:R4C4"), [
        ("a.xls", DPI_A, "Sheet1", "R1C1:R4C4"),
        ("b.xls", DPI_B, "Sheet1", "R1C2:R4C5"),
    ]),
    # Formulas with cached numbers, text, booleans, errors and empty results.
    ("formula_results", ("hz/total.xls", "excel2016_formulas_all_cached_result_types.xls", "Sheet1", "R1C1:R217C7"), [
        ("formulas.xls", "excel2016_formulas_all_cached_result_types.xls", "Sheet1", "R1C1:R217C7"),
        ("formulas.xls", "excel2016_formulas_all_cached_result_types.xls", "Sheet1", "R1C1:R217C7"),
    ]),
    # Boolean and error cells of an Excel 95 workbook next to numbers.
    ("booleans_and_errors", ("hz/total.xls", DPI_C, "Sheet1", "R1C1:R14C10"), [
        ("errors.xls", "macexcel_biff5_errors_bools_macroman.xls", "RawErrors", "R1C1:R14C10"),
        ("a.xls", DPI_A, "Sheet1", "R1C1:R14C10"),
    ]),
    # Dates of a 1900 and a 1904 workbook: each adds its stored serial.
    ("dates_of_both_systems", ("hz/total.xls", "family_dates_1900_macexcel2016.xls", "Sheet1", "R1C1:R5C4"), [
        ("dates 1900.xls", "family_dates_1900_macexcel2016.xls", "Sheet1", "R1C1:R5C4"),
        ("dates 1904.xls", "family_dates_1904_macexcel2016.xls", "Sheet1", "R1C1:R5C4"),
    ]),
    ("chinese_worksheet", ("hz/total.xls", "excel2000_zh_balance_sheet.xls", "第一页", "R1C1:R40C8"), [
        ("资产负债表.xls", "excel2000_zh_balance_sheet.xls", "第一页", "R1C1:R40C8"),
        ("双流.xls", "gnumeric_zh_balance_sheet_dual_stream.xls", "第一页", "R1C1:R40C8"),
        ("资产负债表.xls", "excel2000_zh_balance_sheet.xls", "第一页", "R1C1:R40C8"),
    ]),
    # The target's own file as a source: its values as they stand before the call.
    ("target_among_sources", ("total.xls", DPI_A, "Sheet2", "R1C1:R2C3"), [
        ("total.xls", DPI_A, "Sheet2", "R1C1:R2C3"),
        ("c.xls", DPI_C, "Sheet2", "R1C1:R2C3"),
    ]),
]

# Blanks, a sign, digits grouped by commas in threes, a decimal point, an exponent.
NUMBER_TEXT = re.compile(r"^[ \t\r\n]*[+-]?(?:(?:\d{1,3}(?:,\d{3})+|\d+)(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?[ \t\r\n]*$")


def parse_area(text):
    first, last = text.split(":")
    r1, c1 = first[1:].split("C")
    r2, c2 = last[1:].split("C")
    return int(r1), int(c1), int(r2), int(c2)


def shows_time_only(book, sheet, row, col):
    """Whether the cell's format shows hours, minutes or seconds and no day of the calendar."""
    code = book.format_map[book.xf_list[sheet.cell_xf_index(row - 1, col - 1)].format_key].format_str
    plain = re.sub(r'"[^"]*"|\\.|_.|\*.', "", code)
    elapsed = re.search(r"\[[hHmMsS]+\]", plain) is not None
    plain = re.sub(r"\[[^\]]*\]", "", plain).lower()
    return not re.search(r"[dy]", plain) and (elapsed or re.search(r"[hs]", plain) is not None)


def contribution(book, sheet, datemode, row, col):
    """What the value at 1-based (row, col) adds: ("number", v), ("date", stored, serial1900) or None."""
    if row - 1 >= sheet.nrows or col - 1 >= sheet.ncols:
        return None
    kind, value = sheet.cell_type(row - 1, col - 1), sheet.cell_value(row - 1, col - 1)
    if kind == xlrd.XL_CELL_NUMBER:
        return ("number", float(value))
    if kind == xlrd.XL_CELL_DATE and shows_time_only(book, sheet, row, col):
        return ("number", float(value))
    if kind == xlrd.XL_CELL_DATE:
        return ("date", float(value), float(value) + (1462.0 if datemode else 0.0))
    if kind == xlrd.XL_CELL_TEXT and NUMBER_TEXT.match(value):
        return ("number", float(value.replace(",", "")))
    return None


def total_text(parts):
    numbers = [p[1] for p in parts if p[0] == "number"]
    dates = [p for p in parts if p[0] == "date"]
    if numbers:
        s = math.fsum(numbers + [d[1] for d in dates])
        return "empty" if s == 0 else repr(s)
    if dates:
        return "date:" + repr(max(d[2] for d in dates))
    return "empty"


def find_sheet(book, name):
    for sheet in book.sheets():
        if sheet.name.lower() == name.lower():
            return sheet
    raise SystemExit("no worksheet %r" % name)


def case_lines(name, target, sources):
    t_copy, t_fixture, t_sheet, t_area = target
    lines = ["\t".join(["case", name, t_copy, t_sheet, t_area, t_fixture])]
    opened = {}
    readers = []
    for copy, fixture, sheet_name, area in sources:
        lines.append("\t".join(["source", copy, fixture, sheet_name, area]))
        if fixture not in opened:
            opened[fixture] = xlrd.open_workbook(os.path.join(FIXTURES, fixture), formatting_info=True)
        book = opened[fixture]
        readers.append((book, find_sheet(book, sheet_name), book.datemode, parse_area(area)))
    tr1, tc1, tr2, tc2 = parse_area(t_area)
    for dr in range(tr2 - tr1 + 1):
        for dc in range(tc2 - tc1 + 1):
            parts = [contribution(book, sheet, mode, r1 + dr, c1 + dc) for book, sheet, mode, (r1, c1, _, _) in readers]
            shown = total_text([p for p in parts if p is not None])
            lines.append("\t".join(["cell", str(tr1 + dr), str(tc1 + dc), shown]))
    lines.append("end")
    return lines


def main():
    lines = ["# Made by make_expected_sums.py with xlrd %s; do not edit." % xlrd.__VERSION__]
    for name, target, sources in CASES:
        lines.extend(case_lines(name, target, sources))
    text = "\n".join(lines) + "\n"
    if "--check" in sys.argv:
        with open(OUT, encoding="utf-8") as f:
            if f.read() != text:
                raise SystemExit("expected_sums.txt is out of date")
        print("expected_sums.txt is up to date")
        return
    with open(OUT, "w", encoding="utf-8") as f:
        f.write(text)
    print("wrote", OUT)


if __name__ == "__main__":
    main()
