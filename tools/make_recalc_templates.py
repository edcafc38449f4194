#!/usr/bin/python3
"""Write the .xlsx summary templates whose formulas the recalculation tests compute again
(tests/data/xlsx/recalc_*.xlsx), each by another writer:

    /usr/bin/python3 tools/make_recalc_templates.py

recalc_openpyxl.xlsx (openpyxl: plain formulas, no cached results), recalc_libreoffice.xlsx
(LibreOffice headless converts it: cached results, formulas filled down stored as shared
formulas) and recalc_gnumeric.xlsx (Gnumeric's ssconvert --recalc: cached results), and
recalc_shared.xlsx: the LibreOffice file with the filled formulas of "Data" stored as shared
formulas the way Excel stores them (E2:E4 one group, B5:E5 another). recalc_1904.xlsx
(openpyxl, the 1904 date system): a date in Data!A1, B1 =A1+1, B2 =B1*2.

Sheet "Data": B2:D4 the input cells (the tests write them), E2:E4 row totals and B5:E5
column totals (filled formulas), E6 a chain on E5. Sheets "Jan" and "Feb": A1 inputs.
Sheet "Sum 'Q' all": cross-sheet references, IF, ROUND, a 3-D SUM, whole columns and rows,
SUMPRODUCT, COUNTIF, text, boolean and error results, the array formula C2:C4
{=Data!B2:B4*10}, MEDIAN (not computed by the program: it must stay stale) and B9 reading it.
"""

import datetime
import re
import shutil
import subprocess
import tempfile
import zipfile
from pathlib import Path

import openpyxl
from openpyxl.utils.datetime import CALENDAR_MAC_1904

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "xlsx"

SUMMARY = {
    "B2": "=Data!E6",
    "B3": "=ROUND(Data!B5/3,2)",
    "B4": '=IF(Data!E5>100,"big","small")',
    "B5": "=Data!B2>Data!C2",
    "B6": "=Data!B2/(Data!C2-Data!C2)",
    "B7": "=B2*2+B3^2-10%",
    "B8": "=MEDIAN(Data!B2:D4)",
    "B9": "=B8+1",
    "B10": "=SUMPRODUCT(Data!B2:B4,Data!C2:C4)",
    "B11": '=COUNTIF(Data!B2:D4,">4")',
    "B12": "=SUM(Jan:Feb!A1)",
    "B13": "=SUM(Data!B:B)",
    "B14": "=SUM(Data!3:3)",
    "B15": '="Total "&Data!E5',
    "B16": "=AND(Data!B2>0,NOT(Data!C2>100))",
    "B17": "=ROUNDUP(Data!B2*1.234,1)+ROUNDDOWN(-Data!C3/7,2)",
    "B18": "=SUM(Data!B2:D2 Data!C2:C4)",
    "B19": "=IF(ISNUMBER(Data!D4),AVERAGE(Data!B4:D4),-1)",
    "B20": "=COUNT(Data!B2:E6)+COUNTA(Data!A1:A6)+MAX(Data!B2:D4)-MIN(Data!B2:D4)",
}


def build(target):
    book = openpyxl.Workbook()
    data = book.active
    data.title = "Data"
    for column, heading in zip("ABCDE", ["Item", "Q1", "Q2", "Q3", "Total"]):
        data[f"{column}1"] = heading
    for row, item in enumerate(["north", "south", "east"], start=2):
        data[f"A{row}"] = item
        for column, base in zip("BCD", [1, 2, 3]):
            data[f"{column}{row}"] = base * (row - 1)
        data[f"E{row}"] = f"=SUM(B{row}:D{row})"
    data["A5"] = "total"
    for column in "BCDE":
        data[f"{column}5"] = f"=SUM({column}2:{column}4)"
    data["A6"] = "with tax"
    data["E6"] = "=E5*1.1"
    for name, value in (("Jan", 4), ("Feb", 6)):
        book.create_sheet(name)["A1"] = value
    summary = book.create_sheet("Sum 'Q' all")
    for ref, text in SUMMARY.items():
        summary[ref] = text
    summary["C2"] = "=Data!B2:B4*10"
    summary.formula_attributes["C2"] = {"t": "array", "ref": "C2:C4"}  # openpyxl 3.0's array formulas
    book.save(target)


def shared_formulas(source, target):
    """Rewrites the formulas of Data!E2:E4 and Data!B5:E5 as two shared groups."""
    groups = {"E2": ("E2:E4", "0"), "B5": ("B5:E5", "1")}
    members = {"E3": "0", "E4": "0", "C5": "1", "D5": "1", "E5": "1"}

    def rewrite(match):
        ref, attributes, text = match.group(1), match.group(2), match.group(3)
        if ref in groups:
            area, si = groups[ref]
            return f'<c r="{ref}"{attributes}><f t="shared" ref="{area}" si="{si}">{text}</f>'
        if ref in members:
            return f'<c r="{ref}"{attributes}><f t="shared" si="{members[ref]}"/>'
        return match.group(0)

    with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as zout:
        for item in zin.infolist():
            data = zin.read(item.filename)
            if item.filename == "xl/worksheets/sheet1.xml":
                xml = data.decode("utf-8")
                xml = re.sub(r'<c r="([A-Z]+[0-9]+)"([^>]*)><f[^>]*>([^<]*)</f>', rewrite, xml)
                data = xml.encode("utf-8")
            zout.writestr(item, data)


def build_1904(target):
    book = openpyxl.Workbook()
    book.epoch = CALENDAR_MAC_1904
    data = book.active
    data.title = "Data"
    data["A1"] = datetime.datetime(2024, 1, 1)
    data["A1"].number_format = "yyyy-mm-dd"
    data["B1"] = "=A1+1"
    data["B2"] = "=B1*2"
    book.save(target)


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    build_1904(OUT / "recalc_1904.xlsx")
    source = OUT / "recalc_openpyxl.xlsx"
    build(source)
    with tempfile.TemporaryDirectory() as work:
        subprocess.run(["soffice", f"-env:UserInstallation=file://{work}/profile", "--headless", "--convert-to",
                        "xlsx:Calc MS Excel 2007 XML", "--outdir", work, str(source)],
                       check=True, capture_output=True)
        shutil.copy(Path(work) / source.name, OUT / "recalc_libreoffice.xlsx")
    shared_formulas(OUT / "recalc_libreoffice.xlsx", OUT / "recalc_shared.xlsx")
    subprocess.run(["ssconvert", "--recalc", str(source), str(OUT / "recalc_gnumeric.xlsx")], check=True,
                   capture_output=True)


if __name__ == "__main__":
    main()
