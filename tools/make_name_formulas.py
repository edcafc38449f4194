#!/usr/bin/python3
"""Formulas that reach cells through names and through INDIRECT and OFFSET, and what
LibreOffice computes for them once their inputs are written.

    /usr/bin/python3 tools/make_name_formulas.py     (needs python3-openpyxl, python3-xlrd, soffice)

Writes into tests/data/formulas/:
  names.xlsx           openpyxl: Sheet1!B1:B3 = 10, 20, 5; names BOB (=Sheet1!$B$1) and JIM
                       (=Sheet1!$B$2) local to Sheet1, TOTAL (=Sheet1!$B$3) of the workbook;
                       Sheet2!A1:A5 = SUM(Sheet1!BOB+Sheet1!JIM), [0]!TOTAL*2,
                       SUM(INDIRECT("Sheet1!B1:B2")), SUM(OFFSET(Sheet1!B1,0,0,2,1)), TOTAL+1
  names.xls            LibreOffice's .xls of it (Sheet1!BOB is a ptgNameX through the
                       workbook's own SUPBOOK)
  names_written.tsv    Sheet2!A1:A5 as LibreOffice computes them with B2 = 787 and B3 = 7
                       (cell, value), read by xlrd
"""

import subprocess
import tempfile
from pathlib import Path

import openpyxl
import xlrd
from openpyxl.workbook.defined_name import DefinedName

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "formulas"
FORMULAS = ["=SUM(Sheet1!BOB+Sheet1!JIM)", "=[0]!TOTAL*2", '=SUM(INDIRECT("Sheet1!B1:B2"))',
            "=SUM(OFFSET(Sheet1!B1,0,0,2,1))", "=TOTAL+1"]
WRITTEN = {"B2": 787, "B3": 7}


def build(inputs):
    book = openpyxl.Workbook()
    data = book.active
    data.title = "Sheet1"
    for ref, value in inputs.items():
        data[ref] = value
    report = book.create_sheet("Sheet2")
    for row, text in enumerate(FORMULAS, start=1):
        report.cell(row=row, column=1, value=text)
    book.defined_names.append(DefinedName("BOB", localSheetId=0, attr_text="Sheet1!$B$1"))
    book.defined_names.append(DefinedName("JIM", localSheetId=0, attr_text="Sheet1!$B$2"))
    book.defined_names.append(DefinedName("TOTAL", attr_text="Sheet1!$B$3"))
    return book


def to_xls(xlsx, work):
    subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless", "--convert-to",
                    "xls:MS Excel 97", "--outdir", str(xlsx.parent), str(xlsx)], check=True, stdout=subprocess.DEVNULL)
    return xlsx.with_suffix(".xls")


def main():
    inputs = {"B1": 10, "B2": 20, "B3": 5}
    with tempfile.TemporaryDirectory() as work:
        build(inputs).save(OUT / "names.xlsx")
        to_xls(OUT / "names.xlsx", work)
        written = Path(work) / "written.xlsx"
        build({**inputs, **WRITTEN}).save(written)
        sheet = xlrd.open_workbook(str(to_xls(written, work))).sheet_by_name("Sheet2")
        with open(OUT / "names_written.tsv", "w", encoding="utf-8") as out:
            out.write("# Sheet2 with Sheet1!B2 = 787 and B3 = 7, as LibreOffice computes it\n")
            for row in range(len(FORMULAS)):
                out.write(f"A{row + 1}\t{sheet.cell_value(row, 0)!r}\n")


if __name__ == "__main__":
    main()
