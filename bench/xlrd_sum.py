#!/usr/bin/python3
# What a user would write without the program: xlrd reads every source, the numbers of each
# range are added position by position, and xlwt writes the totals into a new .xls. The
# counterpart that the command-line tool's figures are paired with (bench/README.md).
#   xlrd_sum.py OUT.xls 'SHEET!B4:K43' [...] -- SOURCE...
import re
import sys

import xlrd
import xlwt


def area(text):
    sheet, _, cells = text.rpartition("!")
    m = re.fullmatch(r"([a-zA-Z]+)(\d+):([a-zA-Z]+)(\d+)", cells)
    if not sheet or not m:
        sys.exit(f"xlrd_sum.py: '{text}' is not SHEET!FIRST:LAST")

    def column(letters):
        n = 0
        for ch in letters.upper():
            n = n * 26 + ord(ch) - 64
        return n - 1

    return sheet, int(m[2]) - 1, column(m[1]), int(m[4]) - 1, column(m[3])


def main(argv):
    if "--" not in argv or len(argv) < 4:
        sys.exit("usage: xlrd_sum.py OUT.xls 'SHEET!FIRST:LAST' [...] -- SOURCE...")
    split = argv.index("--")
    out, ranges, sources = argv[1], [area(a) for a in argv[2:split]], argv[split + 1:]
    totals = [dict() for _ in ranges]
    for source in sources:
        book = xlrd.open_workbook(source, on_demand=True)
        for (sheet, r0, c0, r1, c1), total in zip(ranges, totals):
            s = book.sheet_by_name(sheet)
            for r in range(r0, min(r1 + 1, s.nrows)):
                row = s.row_slice(r, c0, min(c1 + 1, s.ncols))
                for c, cell in enumerate(row, c0):
                    if cell.ctype == xlrd.XL_CELL_NUMBER:
                        total[(r, c)] = total.get((r, c), 0.0) + cell.value
        book.release_resources()
    written = xlwt.Workbook()
    for (sheet, *_), total in zip(ranges, totals):
        ws = written.add_sheet(sheet)
        for (r, c), value in total.items():
            ws.write(r, c, value)
    written.save(out)


if __name__ == "__main__":
    main(sys.argv)
