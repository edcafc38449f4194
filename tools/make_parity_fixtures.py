#!/usr/bin/python3
"""The sources and template of the parity test of the two run modes, and the summary they
must give, computed here from what xlrd reads of the sources (not by the engine).

Writes into tests/data/parity/:
  source1.xls .. source5.xls  two worksheets, " 收 入 " and "Cost", holding per cell a mix of
                              numbers, numeric and other texts, dates, booleans, error values,
                              blanks, zeros and values that cancel; source3 has the worksheets in
                              the other order, source4 spells "cost", source5 counts dates from 1904
  template.xls                the same layout, with formulas around the areas that read them and
                              a few old values inside them (LibreOffice stores the formulas'
                              results when it converts xlwt's workbook)
  expected.tsv                one line per fact, tab-separated:
                                source  FILE
                                area    SHEET  FIRST:LAST
                                cell    SHEET  CELL  empty|number|date  VALUE (repr)
                                formula SHEET  CELL  number  VALUE (repr)
                                ignored SHEET  COUNT  (source values that add nothing)

Usage: /usr/bin/python3 tools/make_parity_fixtures.py           (needs python3-xlwt, python3-xlrd, soffice)
       /usr/bin/python3 tools/make_parity_fixtures.py --check SUMMARY.xls
           reads a summary with xlrd and compares it with expected.tsv; prints each difference,
           exit status 1 when there is one (needs python3-xlrd only)."""
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import xlrd

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "data", "parity")
INCOME, COST = " 收 入 ", "Cost"
SOURCES = 5
AREAS = {INCOME: "B3:E7", COST: "B2:D6"}


class D:
    """A number formatted as a date, stored as given (in source5: a 1904-system number)."""
    def __init__(self, stored):
        self.stored = stored


class E:
    """An error value, by its code (xlwt's texts map #VALUE! wrongly and lack #N/A)."""
    CODES = {"#DIV/0!": 0x07, "#VALUE!": 0x0F, "#REF!": 0x17, "#N/A": 0x2A}

    def __init__(self, text):
        self.code = E.CODES[text]


_ = None
# Per cell position, the values of source1..source5.
DESIGN = {
    INCOME: {
        "B3": [0.1, 0.2, 0.3, _, _],                               # 0.6, where plain addition gives 0.6000000000000001
        "C3": [123.45, 678.91, 0.07, 1000000.01, -0.33],
        "D3": ["12", "12", 12, " 1,234.5 ", "-3e2"],               # numeric texts add up
        "E3": ["合计", 5, _, 7, "小计"],
        "B4": [100, D(200), 50, _, _],                             # an amount formatted as a date
        "C4": [D(45000), D(45123), _, D(44000), _],                # all dates: the latest
        "D4": [D(45100), _, D(45150), _, D(43700)],                # source5's 43700 is 45162 in 1900 serials
        "E4": [True, 3, False, 4, _],
        "B5": [E("#DIV/0!"), 2.5, E("#N/A"), _, _],
        "C5": [_, _, _, _, _],                                     # nothing anywhere; the template holds 999
        "D5": [0, 0.0, _, 0, "0"],                                 # zeros; the template holds 0
        "E5": [5, -5, _, _, _],                                    # cancel out
        "B6": ["5", -5, 0.1, -0.1, _],
        "C6": ["合计", "1,23", "12abc", " ", "1 234"],             # texts that do not read as numbers
        "D6": [True, E("#REF!"), False, _, E("#VALUE!")],
        "E6": [10, _, _, _, D(20)],                                # a 1904 date among numbers adds its stored 20
        "B7": [965.48, 436.16, 626.65, 301.03, 507.24],           # 2836.56, not 2836.5599999999995
        "C7": ["+7", "1e2", ".5", "5.", " -2.5E-1 "],
        "D7": [D(200), 100, 50, _, _],                             # the date read first
        "E7": [D(45000), "12", _, _, _],
    },
    COST: {
        "B2": [0.1, 0.1, 0.1, 0.1, 0.1],
        "C2": [44.19, 614.53, 44.94, 718.44, 330.95],
        "D2": ["1,234,567.89", 0.11, "-1,000", _, 1e-9],
        "B3": [E("#DIV/0!"), E("#N/A"), True, "合计", _],
        "C3": [_, _, _, _, _],                                     # the template holds "旧"
        "D3": [-5, 5, 0, _, _],
        "B4": [D(43831), D(43832), D(43830), D(43831), _],
        "C4": [D(43831), 1, _, _, _],
        "D4": ["  42  ", 58, _, _, _],
        "B5": [1e15, 0.3, -1e15, _, 0.1],                          # 0.4, not 0.35
        "C5": [0.2, 0.2, 0.2, 0.2, 0.2],
        "D5": [-0.1, -0.2, _, _, _],
        "B6": [" +1.5e3 ", "2,500", "1,2345", _, _],
        "C6": [D(45000.5), D(45000.25), _, _, _],                  # dates with a time of day
        "D6": [880.91, 980.64, 505.42, 998.51, 309.67],
    },
}

# Template cells outside the areas; strings starting with "=" are formulas.
TEMPLATE = {
    INCOME: {
        "A1": "收入明细", "B2": "一月", "C2": "二月", "D2": "三月", "E2": "四月",
        "A3": "工资", "A4": "奖金", "A5": "补贴", "A6": "其他", "A7": "利息", "A8": "合计",
        "B8": "=SUM(B3:B7)", "C8": "=SUM(C3:C7)", "D8": "=SUM(D3:D7)", "E8": "=SUM(E3:E7)",
        "F3": "=B3+E5",          # E5's total is empty: the formula must still compute
        "F4": "=C5+D5+1",
        "F5": "=COUNT(B3:E7)",
        "F6": "=C4-B4",
        "F7": "=SUM(B3:E7)",
        # old values inside the area
        "B3": 1, "C5": 999, "D5": 0,
    },
    COST: {
        "A1": "成本", "B1": "甲", "C1": "乙", "D1": "丙", "A7": "合计",
        "B7": "=SUM(B2:B6)", "C7": "=SUM(C2:C6)", "D7": "=SUM(D2:D6)",
        "E2": "=SUM(' 收 入 '!B3:E7)+SUM(B2:D6)",
        "E3": "=D3+' 收 入 '!E5",
        "C3": "旧",
    },
}

# Blanks (also tabs and line breaks) around, a sign, digits grouped by commas in threes, a
# decimal point, an exponent: what a spreadsheet application reads as a typed number.
NUMERIC_TEXT = re.compile(r"[ \t\r\n]*[+-]?(?:(?:\d{1,3}(?:,\d{3})+|\d+)(?:\.\d*)?|\.\d+)(?:[eE][+-]?\d+)?[ \t\r\n]*")


def reads_as_number(text):
    if not NUMERIC_TEXT.fullmatch(text):
        return None
    return float(text.replace(",", ""))


def split_cell(cell):
    m = re.fullmatch(r"([A-Z]+)(\d+)", cell.upper())
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)) - 1, col - 1


def cell_name(row0, col0):
    return chr(ord("A") + col0) + str(row0 + 1)


def area_cells(area):
    first, last = (split_cell(c) for c in area.split(":"))
    return [(r, c) for r in range(first[0], last[0] + 1) for c in range(first[1], last[1] + 1)]


# --- writing ----------------------------------------------------------------------------

def write_sources():
    import xlwt
    date_styles = [xlwt.easyxf(num_format_str="yyyy-mm-dd"), xlwt.easyxf(num_format_str="M/D/YY")]
    for n in range(1, SOURCES + 1):
        book = xlwt.Workbook(encoding="utf-8")
        if n == 5:
            book.set_dates_1904(True)
        order = [COST, INCOME] if n == 3 else [INCOME, COST]
        for name in order:
            sheet = book.add_sheet("cost" if n == 4 and name == COST else name)
            sheet.write(0, 0, f"单位{n}")
            for cell, values in DESIGN[name].items():
                r, c = split_cell(cell)
                v = values[n - 1]
                if v is None:
                    continue
                if isinstance(v, D):
                    sheet.write(r, c, v.stored, date_styles[(r + c) % 2])
                elif isinstance(v, E):
                    sheet.row(r).set_cell_error(c, v.code)
                else:
                    sheet.write(r, c, v)
        book.save(os.path.join(OUT, f"source{n}.xls"))


def write_template():
    import xlwt
    book = xlwt.Workbook(encoding="utf-8")
    for name in (INCOME, COST):
        sheet = book.add_sheet(name)
        for cell, v in TEMPLATE[name].items():
            r, c = split_cell(cell)
            sheet.write(r, c, xlwt.Formula(v[1:]) if isinstance(v, str) and v.startswith("=") else v)
    with tempfile.TemporaryDirectory() as tmp:
        plain = os.path.join(tmp, "template.xls")
        book.save(plain)
        # xlwt stores no formula results; LibreOffice computes and stores them.
        subprocess.run(["soffice", "--headless", "--convert-to", "xls:MS Excel 97", "--outdir",
                        os.path.join(tmp, "out"), plain], check=True, stdout=subprocess.DEVNULL)
        shutil.move(os.path.join(tmp, "out", "template.xls"), os.path.join(OUT, "template.xls"))


# --- the expected summary ---------------------------------------------------------------

def sheet_named(book, name):
    """Worksheet names match ignoring letter case."""
    for s in book.sheets():
        if s.name.lower() == name.lower():
            return s
    raise KeyError(f"{name!r} not in {book.sheet_names()}")


def expected_totals():
    """{sheet: {(row0, col0): ("empty"|"number"|"date", value)}}, {sheet: ignored count}."""
    books = [xlrd.open_workbook(os.path.join(OUT, f"source{n}.xls"), formatting_info=True)
             for n in range(1, SOURCES + 1)]
    totals, ignored = {}, {}
    drifting = 0
    for name, area in AREAS.items():
        totals[name], ignored[name] = {}, 0
        for r, c in area_cells(area):
            numbers, dates, plain = [], [], False
            for book in books:
                sheet = sheet_named(book, name)
                cell = sheet.cell(r, c) if r < sheet.nrows and c < sheet.ncols else None
                kind = cell.ctype if cell else xlrd.XL_CELL_EMPTY
                if kind == xlrd.XL_CELL_NUMBER:
                    numbers.append(cell.value)
                    plain = True
                elif kind == xlrd.XL_CELL_TEXT and reads_as_number(cell.value) is not None:
                    numbers.append(reads_as_number(cell.value))
                    plain = True
                elif kind == xlrd.XL_CELL_DATE:
                    numbers.append(cell.value)  # as stored, in the book's own date system
                    dates.append(cell.value + (1462 if book.datemode == 1 else 0))
                elif kind in (xlrd.XL_CELL_TEXT, xlrd.XL_CELL_BOOLEAN, xlrd.XL_CELL_ERROR):
                    ignored[name] += 1
            if plain:
                total = math.fsum(numbers)
                drifting += sum(numbers) != total
                totals[name][(r, c)] = ("empty", "") if total == 0 else ("number", total)
            elif dates:
                totals[name][(r, c)] = ("date", max(dates))
            else:
                totals[name][(r, c)] = ("empty", "")
    assert drifting >= 3, "the fixtures must hold totals that plain addition gets wrong"
    return totals, ignored


def expected_formulas(totals):
    def value(sheet, cell):
        kind, v = totals[sheet].get(split_cell(cell), ("empty", ""))
        return 0.0 if kind == "empty" else v

    def numbers(sheet, area):
        return [v for kind, v in (totals[sheet][rc] for rc in area_cells(area)) if kind != "empty"]

    f = {INCOME: {}, COST: {}}
    for col in "BCDE":
        f[INCOME][f"{col}8"] = math.fsum(numbers(INCOME, f"{col}3:{col}7"))
    f[INCOME]["F3"] = value(INCOME, "B3") + value(INCOME, "E5")
    f[INCOME]["F4"] = value(INCOME, "C5") + value(INCOME, "D5") + 1
    f[INCOME]["F5"] = float(len(numbers(INCOME, "B3:E7")))
    f[INCOME]["F6"] = value(INCOME, "C4") - value(INCOME, "B4")
    f[INCOME]["F7"] = math.fsum(numbers(INCOME, "B3:E7"))
    for col in "BCD":
        f[COST][f"{col}7"] = math.fsum(numbers(COST, f"{col}2:{col}6"))
    f[COST]["E2"] = math.fsum(numbers(INCOME, "B3:E7")) + math.fsum(numbers(COST, "B2:D6"))
    f[COST]["E3"] = value(COST, "D3") + value(INCOME, "E5")
    return f


def write_expected():
    totals, ignored = expected_totals()
    formulas = expected_formulas(totals)
    lines = [f"source\tsource{n}.xls" for n in range(1, SOURCES + 1)]
    for name, area in AREAS.items():
        lines.append(f"area\t{name}\t{area}")
    for name in AREAS:
        for (r, c), (kind, v) in totals[name].items():
            lines.append(f"cell\t{name}\t{cell_name(r, c)}\t{kind}\t{v!r}" if kind != "empty"
                         else f"cell\t{name}\t{cell_name(r, c)}\tempty\t")
        for cell, v in formulas[name].items():
            lines.append(f"formula\t{name}\t{cell}\tnumber\t{v!r}")
        lines.append(f"ignored\t{name}\t{ignored[name]}")
    with open(os.path.join(OUT, "expected.tsv"), "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


# --- checking a summary with xlrd -------------------------------------------------------

def check(summary):
    book = xlrd.open_workbook(summary, formatting_info=True)
    kinds = {xlrd.XL_CELL_EMPTY: "empty", xlrd.XL_CELL_BLANK: "empty", xlrd.XL_CELL_NUMBER: "number",
             xlrd.XL_CELL_DATE: "date", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_BOOLEAN: "boolean",
             xlrd.XL_CELL_ERROR: "error"}
    differences = 0
    with open(os.path.join(OUT, "expected.tsv"), encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split("\t")
            if fields[0] not in ("cell", "formula"):
                continue
            _, name, cell, kind, value = fields
            sheet = sheet_named(book, name)
            r, c = split_cell(cell)
            got = sheet.cell(r, c) if r < sheet.nrows and c < sheet.ncols else xlrd.sheet.Cell(xlrd.XL_CELL_EMPTY, "")
            got_kind = kinds[got.ctype]
            if fields[0] == "formula" and got_kind == "date":
                got_kind = "number"  # a formula's result takes the format of the cells it reads
            same = got_kind == kind and (kind == "empty" or got.value == float(value))
            if not same:
                differences += 1
                print(f"{name!r}!{cell}: xlrd reads {got_kind} {got.value!r}, expected {kind} {value}")
    return 1 if differences else 0


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2]))
    os.makedirs(OUT, exist_ok=True)
    write_sources()
    write_template()
    write_expected()


if __name__ == "__main__":
    main()
