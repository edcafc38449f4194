#!/usr/bin/python3
"""Write the small .xlsx templates of the writer tests with openpyxl (tests/data/xlsx/).

    /usr/bin/python3 tools/make_xlsx_templates.py

protected_formulas.xlsx, sheet "Form" (protected): A1:A3 numbers, B1 =A1*2, B2 =B1+1 (reads
B1), B3 =A3+1 (reads only A3), C1 =SUM(A1:A3), D1:D2 unlocked input cells (D1 holds 5),
E1:E2 the array formula {=A1:A2*10}; sheet "Free" (unprotected): a date in A1 (date
format), text in A2, a styled empty cell C5 (bold, unlocked), B1 =A1+1, B2 =B1+1, B3 =D9*2.

form_controls.xlsx, sheet "Form": rows 1-3 (a heading row and two amount rows), then after
<sheetData> two check boxes as Excel stores form controls: each a <control> with a
properties part and an anchor whose <from> and <to> hold <xdr:col> and <xdr:row> elements
(rows 4-7 of the sheet). openpyxl cannot write controls, so they are put into its package.

far_cells.xlsx, sheet "Far": A1 a text, IW1 = 1 (the first column beyond .xls's IV), XFD2 = 2
(the last column of the .xlsx grid).
"""

import datetime
import zipfile
from pathlib import Path

import openpyxl
from openpyxl.styles import Font, Protection

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "xlsx"


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    book = openpyxl.Workbook()
    form = book.active
    form.title = "Form"
    for row, value in enumerate([1, 2, 3], start=1):
        form.cell(row=row, column=1, value=value)
    form["B1"] = "=A1*2"
    form["B2"] = "=B1+1"
    form["B3"] = "=A3+1"
    form["C1"] = "=SUM(A1:A3)"
    form["D1"] = 5
    for ref in ("D1", "D2"):
        form[ref].protection = Protection(locked=False)
    form["E1"] = "=A1:A2*10"
    form.formula_attributes["E1"] = {"t": "array", "ref": "E1:E2"}  # openpyxl 3.0's array formulas
    form.protection.sheet = True
    free = book.create_sheet("Free")
    free["A1"] = datetime.datetime(2024, 1, 31)
    free["A1"].number_format = "yyyy-mm-dd"
    free["A2"] = "合计"
    free["C5"].font = Font(bold=True)
    free["C5"].protection = Protection(locked=False)
    free["B1"] = "=A1+1"
    free["B2"] = "=B1+1"
    free["B3"] = "=D9*2"
    book.save(OUT / "protected_formulas.xlsx")
    write_form_controls(OUT / "form_controls.xlsx")
    far = openpyxl.Workbook()
    far.active.title = "Far"
    far.active["A1"], far.active["IW1"], far.active["XFD2"] = "左上", 1, 2
    far.save(OUT / "far_cells.xlsx")


CONTROL = (
    '<mc:AlternateContent xmlns:mc="http://schemas.openxmlformats.org/markup-compatibility/2006">'
    '<mc:Choice Requires="x14"><control shapeId="{shape}" r:id="{rid}" name="Check Box {n}">'
    '<controlPr defaultSize="0" autoFill="0" autoLine="0" autoPict="0"><anchor moveWithCells="1">'
    '<from><xdr:col>1</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>{first}</xdr:row><xdr:rowOff>0</xdr:rowOff></from>'
    '<to><xdr:col>2</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>{last}</xdr:row><xdr:rowOff>0</xdr:rowOff></to>'
    '</anchor></controlPr></control></mc:Choice></mc:AlternateContent>'
)


def write_form_controls(path):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "Form"
    sheet.append(["项目", "金额"])
    sheet.append(["收入", 100])
    sheet.append(["支出", 40])
    plain = path.with_suffix(".plain.xlsx")
    book.save(plain)
    with zipfile.ZipFile(plain) as source, zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as target:
        for item in source.infolist():
            data = source.read(item.filename).decode("utf-8")
            if item.filename == "xl/worksheets/sheet1.xml":
                controls = "".join(CONTROL.format(shape=1024 + n, rid=f"rIdCtrl{n}", n=n, first=2 + n, last=3 + n)
                                   for n in (1, 2))
                data = data.replace("<worksheet ", '<worksheet xmlns:xdr="http://schemas.openxmlformats.org/'
                                    'drawingml/2006/spreadsheetDrawing" ', 1)
                data = data.replace("</worksheet>", "<controls>" + controls + "</controls></worksheet>")
                if 'xmlns:r="' not in data:
                    data = data.replace("<worksheet ", '<worksheet xmlns:r="http://schemas.openxmlformats.org/'
                                        'officeDocument/2006/relationships" ', 1)
            elif item.filename == "[Content_Types].xml":
                data = data.replace("</Types>", '<Default Extension="ctrlprop" '
                                    'ContentType="application/vnd.ms-excel.controlproperties+xml"/></Types>')
            target.writestr(item, data)
        rels = "".join(f'<Relationship Id="rIdCtrl{n}" Type="http://schemas.openxmlformats.org/officeDocument/2006/'
                       f'relationships/ctrlProp" Target="../ctrlProps/ctrlProp{n}.ctrlprop"/>' for n in (1, 2))
        target.writestr("xl/worksheets/_rels/sheet1.xml.rels",
                        '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<Relationships '
                        'xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' + rels + "</Relationships>")
        for n in (1, 2):
            target.writestr(f"xl/ctrlProps/ctrlProp{n}.ctrlprop",
                            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n<formControlPr '
                            'xmlns="http://schemas.microsoft.com/office/spreadsheetml/2009/9/main" '
                            'objectType="CheckBox" lockText="1"/>')
    plain.unlink()


if __name__ == "__main__":
    main()
