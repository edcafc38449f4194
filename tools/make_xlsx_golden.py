#!/usr/bin/python3
"""Write the expected cell lists (golden files) of the shared .xlsx fixtures, using openpyxl.

openpyxl is an independent reader: the C++ test (tests/xlsx_reader_test.cpp) must produce
exactly these lines from the same files.

    /usr/bin/python3 tools/make_xlsx_golden.py            # write tests/data/xlsx_golden/
    /usr/bin/python3 tools/make_xlsx_golden.py --check    # compare with what is committed
    /usr/bin/python3 tools/make_xlsx_golden.py --print FILE   # every cell of FILE, to stdout
    (--fixtures DIR when the shared fixtures are not at ../shared/fixtures/xlsx)

Output, per fixture NAME.xlsx, tests/data/xlsx_golden/NAME.tsv:
    #sheet<TAB>name                 for each worksheet, in workbook order, then its cells:
    A1<TAB>value                    each cell holding a value, row by row (values as
                                    `shubuxing-cli dump` prints them, dates as 1900 serials)
    #cells<TAB>count<TAB>sha256     instead of the cell lines after the first HEAD_CELLS
                                    of a large sheet: the count and digest of all its lines
"""

import argparse
import datetime
import hashlib
import sys
from pathlib import Path

import openpyxl
from openpyxl.utils import get_column_letter
from openpyxl.utils.datetime import to_excel

sys.path.insert(0, str(Path(__file__).resolve().parent))
from make_golden import number_text, date_text, escape_text  # noqa: E402

REPO = Path(__file__).resolve().parents[1]
FIXTURES = REPO.parent / "shared" / "fixtures" / "xlsx"
GOLDEN = REPO / "tests" / "data" / "xlsx_golden"
HEAD_CELLS = 200
# openpyxl refuses this one (its sheet state "show" is not a valid value).
SKIPPED = {"exceljs_str_cells_invalid_sheet_state.xlsx"}


def value_text(cell):
    v = cell.value
    if v is None:
        return None
    if cell.data_type == "e":
        return str(v)
    if isinstance(v, bool):
        return "TRUE" if v else "FALSE"
    if isinstance(v, (datetime.datetime, datetime.date, datetime.time, datetime.timedelta)):
        return date_text(to_excel(v), 0)
    if isinstance(v, (int, float)):
        return number_text(float(v))
    text = escape_text(str(v))
    return text if text != "" else None


def golden(path, head=HEAD_CELLS):
    book = openpyxl.load_workbook(path, read_only=True, data_only=True)
    lines = []
    for sheet in book.worksheets:
        lines.append("#sheet\t" + sheet.title)
        cells = []
        for row in sheet.iter_rows():
            for cell in row:
                if not hasattr(cell, "column"):
                    continue  # EmptyCell
                text = value_text(cell)
                if text is not None:
                    cells.append("%s%d\t%s" % (get_column_letter(cell.column), cell.row, text))
        if head and len(cells) > head * 2:
            digest = hashlib.sha256("".join(c + "\n" for c in cells).encode()).hexdigest()
            lines.extend(cells[:head])
            lines.append("#cells\t%d\t%s" % (len(cells), digest))
        else:
            lines.extend(cells)
    book.close()
    return "".join(line + "\n" for line in lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--check", action="store_true")
    parser.add_argument("--print", dest="print_file", type=Path, help="print every cell of one workbook")
    parser.add_argument("--fixtures", type=Path, default=FIXTURES, help="the shared .xlsx fixtures folder")
    args = parser.parse_args()
    if args.print_file:
        sys.stdout.write(golden(args.print_file, head=0))
        return 0
    GOLDEN.mkdir(parents=True, exist_ok=True)
    status = 0
    for path in sorted(args.fixtures.glob("*.xls[xm]")):
        if path.name in SKIPPED:
            continue
        out = GOLDEN / (path.stem + ".tsv")
        text = golden(path)
        if args.check:
            if not out.exists() or out.read_text(encoding="utf-8") != text:
                print("differs: " + out.name)
                status = 1
        else:
            out.write_text(text, encoding="utf-8")
    return status


if __name__ == "__main__":
    sys.exit(main())
