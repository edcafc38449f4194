#!/usr/bin/python3
"""Prints the cells of one worksheet as xlrd 1.2.0 reads them, for the real-application
tests of the writer: one line per non-empty cell, "row<TAB>col<TAB>kind<TAB>value" with
1-based row and column; kind is number, text, date, bool, error; texts are JSON-quoted.
Workbooks encrypted with Excel's default password (VelvetSweatshop) are decrypted with
msoffcrypto first, as Excel opens them without asking; xlrd cannot.
Usage: /usr/bin/python3 xlrd_cells.py FILE SHEET_INDEX(1-based)"""
import io
import json
import sys

import xlrd


def open_book(path):
    try:
        return xlrd.open_workbook(path)
    except xlrd.XLRDError as e:
        if "encrypted" not in str(e).lower():
            raise
    import msoffcrypto
    with open(path, "rb") as f:
        office = msoffcrypto.OfficeFile(f)
        office.load_key(password="VelvetSweatshop")
        plain = io.BytesIO()
        office.decrypt(plain)
    return xlrd.open_workbook(file_contents=plain.getvalue())


def main():
    book = open_book(sys.argv[1])
    sheet = book.sheet_by_index(int(sys.argv[2]) - 1)
    kinds = {xlrd.XL_CELL_NUMBER: "number", xlrd.XL_CELL_TEXT: "text", xlrd.XL_CELL_DATE: "date",
             xlrd.XL_CELL_BOOLEAN: "bool", xlrd.XL_CELL_ERROR: "error"}
    for r in range(sheet.nrows):
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            kind = kinds.get(cell.ctype)
            if kind is None:
                continue
            value = json.dumps(cell.value, ensure_ascii=False) if kind == "text" else repr(cell.value)
            print(f"{r + 1}\t{c + 1}\t{kind}\t{value}")


if __name__ == "__main__":
    main()
