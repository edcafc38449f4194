#!/usr/bin/python3
"""Makes the report templates of the formula-recomputation tests, with LibreOffice as the
oracle. Writes into tests/data/formulas/:
  report_template.fods / .xls  the template with its original inputs (LibreOffice computes
                               every formula when it converts the .fods to .xls)
  report_inputs.tsv            the cells a test writes into the template:
                               sheet<TAB>row<TAB>column<TAB>number|text<TAB>value (1-based)
  report_written.fods          the same template holding those written values
  report_written_sheetN.tsv    the cells of LibreOffice's .xls of report_written.fods as
                               tools/xlrd_cells.py prints them: what a recomputed save must hold
  report_not_recomputed.tsv    sheet<TAB>row<TAB>column<TAB>why of the formulas the engine
                               leaves to the spreadsheet application (kept out of the goldens)
Usage: /usr/bin/python3 tools/make_formula_fixtures.py   (needs soffice and python3-xlrd)"""
import os
import re
import subprocess
import sys
import tempfile
from xml.sax.saxutils import escape

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "tests", "data", "formulas")

SHEETS = ["明细", "汇总", "函数"]

# The template: per sheet, cell -> content. A str starting with "=" is a formula in the
# application's A1 syntax; other str are text; numbers are numbers.
def template():
    d = {}
    d["A1"], d["B1"], d["C1"], d["D1"], d["E1"], d["F1"], d["G1"] = "项目", "一月", "二月", "三月", "合计", "占比", "趋势"
    items = ["工资", "房租", "水电", "交通", "杂费"]
    base = [[1200, 1300, 1250.5], [800, 800, 800], [90.25, 110.75, 101], [45, 60, 0], [12.5, 7.25, 33.3]]
    for i, name in enumerate(items):
        r = i + 2
        d[f"A{r}"] = name
        for k, col in enumerate("BCD"):
            d[f"{col}{r}"] = base[i][k]
        d[f"E{r}"] = f"=SUM(B{r}:D{r})"
        d[f"F{r}"] = f"=IF($E$7=0,0,ROUND(E{r}/$E$7,4))"
        d[f"G{r}"] = f'=IF(D{r}>B{r},"增",IF(D{r}<B{r},"减",""))'
    d["A7"] = "合计"
    for col in "BCDE":
        d[f"{col}7"] = f"=SUM({col}2:{col}6)"
    d["F7"] = "=SUM(F2:F6)"
    d["A8"], d["B8"] = "平均", "=AVERAGE(B2:D6)"
    d["A9"], d["B9"] = "最大", "=MAX(B2:D6)"
    d["C9"] = "=MIN(B2:D6)"
    d["A10"], d["B10"] = "未知函数", "=MOD(E7,7)"
    d["A11"], d["B11"] = "循环", "=C11+B2"
    d["C11"] = "=B11*0"
    d["C10"] = "=B10+1"
    d["A12"], d["B12"] = "回引", "='汇总'!B4+1"

    s = {}
    s["A1"], s["B1"] = "总计", "='明细'!E7"
    s["A2"], s["B2"] = "一月占比", "=IF('明细'!E7=0,\"\",'明细'!B7/'明细'!E7)"
    s["A3"], s["B3"] = "两倍", "=B1*2"
    s["A4"], s["B4"] = "嵌套", "=SUM(B1,B3)+'明细'!B8"
    s["A5"], s["B5"] = "超支", "=IF(B1>5000,\"超支\",\"正常\")"
    s["A6"], s["B6"] = "区域", "=SUM('明细'!B2:C6)-SUM('明细'!B2:B6)"
    s["A7"], s["B7"] = "条件", "=SUMIF('明细'!A2:A6,\"工*\",'明细'!E2:E6)"
    s["A8"], s["B8"] = "乘积和", "=SUMPRODUCT('明细'!B2:B6,'明细'!C2:C6)"
    s["A9"], s["B9"] = "文字", "=\"合计：\"&B1"
    s["A10"], s["B10"] = "不变", "=1+2"
    # Defined names (NAMES below): a range, a single cell, a constant, a name used by a name.
    s["A11"], s["B11"] = "名称区域", "=SUM(收入)"
    s["A12"], s["B12"] = "名称单元", "=首月*2"
    s["A13"], s["B13"] = "名称常量", "=ROUND(SUM(收入)*税率,2)"
    s["A14"], s["B14"] = "名称套名称", "=含税+AVERAGE(收入)"

    f = {}
    # inputs: B2:B8 a column of mixed values the test writes numbers and text into
    f["A1"] = "输入"
    f["B2"], f["B3"], f["B4"], f["B5"] = 3, "7", 2.5, "abc"
    # B6 stays empty; B7 is TRUE, B8 an error value made by a formula
    f["B7"] = "=TRUE()"
    f["B8"] = "=1/0"
    f["C2"], f["C3"], f["C4"], f["C5"] = 10, 20, 30, 40
    rows = [
        ("SUM(B2:B6)", "=SUM(B2:B6)"),
        ("SUM direct boolean", "=SUM(B2,TRUE())"),
        ("SUM with error", "=SUM(B2:B8)"),
        ("AVERAGE", "=AVERAGE(B2:B6)"),
        ("AVERAGE empty", "=AVERAGE(B6)"),
        # LibreOffice's TRUE() is a number with a boolean format, which COUNT over a range
        # counts and the application that made .xls does not: B7 stays out of COUNT.
        ("COUNT", "=COUNT(B2:B6)"),
        ("COUNTA", "=COUNTA(B2:B8)"),
        ("MIN", "=MIN(B2:B6)"),
        ("MAX", "=MAX(B2:B6,-1)"),
        ("MAX none", "=MAX(B5:B6)"),
        ("ROUND half", "=ROUND(B2*0.5,0)"),
        ("ROUND neg half", "=ROUND(-B2*0.5,0)"),
        ("ROUND 2dp", "=ROUND(B2*0.891666666,2)"),
        ("ROUND neg digits", "=ROUND(C5*B2*37.3,-2)"),
        ("ROUNDUP", "=ROUNDUP(-B4*1.21,1)"),
        ("ROUNDDOWN", "=ROUNDDOWN(B4*1.99,0)"),
        ("INT", "=INT(-B4)"),
        ("ABS", "=ABS(B2-C2)"),
        ("IF text", "=IF(B2>2,\"big\",\"small\")"),
        ("IF missing", "=IF(B2>100,1)"),
        ("ISERROR", "=ISERROR(B8)"),
        ("ISERROR ok", "=ISERROR(B2/C2)"),
        ("ISNUMBER", "=ISNUMBER(B3)"),
        ("ISNUMBER num", "=ISNUMBER(B2)"),
        ("AND", "=AND(B2>1,C2>5)"),
        ("AND range", "=AND(B2:B7)"),
        ("OR", "=OR(B2>100,C2=10)"),
        ("NOT", "=NOT(B2-3)"),
        ("text compare", "=\"ABC\"=B5"),
        ("empty compare 0", "=B6=0"),
        ("empty compare text", "=B6=\"\""),
        ("text vs number", "=B3>B2"),
        ("concat", "=B2&\"/\"&C2&B6"),
        ("concat fraction", "=B2/C5&\"\""),
        ("percent", "=B2*50%"),
        ("unary", "=-B2+(+C2)"),
        ("power", "=B2^2-C2"),
        ("div by zero", "=C2/B6"),
        ("error propagates", "=B8+1"),
        ("text arithmetic", "=B3*2"),
        ("bad text arithmetic", "=B5*2"),
        ("SUMIF >", "=SUMIF(C2:C5,\">15\")"),
        ("SUMIF sum range", "=SUMIF(B2:B5,\">=3\",C2:C5)"),
        ("SUMIF text", "=SUMIF(B2:B5,\"ABC\",C2:C5)"),
        ("SUMIF wildcard", "=SUMIF(B2:B5,\"a?c\",C2:C5)"),
        ("SUMPRODUCT", "=SUMPRODUCT(B2:B5,C2:C5)"),
        ("SUMPRODUCT cmp", "=SUMPRODUCT((C2:C5>15)*C2:C5)"),
        ("nested", "=ROUND(AVERAGE(C2:C5)/SUM(B2,B4),3)"),
        ("IF error branch", "=IF(B2>0,C2,B8)"),
        ("COUNTA empty string", "=COUNTA(G2:G6)"),
    ]
    for i, (label, formula) in enumerate(rows):
        r = i + 2
        f[f"E{r}"] = label
        f[f"F{r}"] = formula
    f["G2"] = "=IF(B2>0,\"\",\"x\")"
    return {"明细": d, "汇总": s, "函数": f}

# What the test writes: (sheet, cell, value).
WRITES = [
    ("明细", "B2", 1500), ("明细", "C3", 900.5), ("明细", "D4", 0), ("明细", "B6", 17.75),
    ("明细", "D6", 2.125),
    ("函数", "B2", 5), ("函数", "B4", 3.5), ("函数", "C3", 25), ("函数", "B5", "Abc"),
]
# Left to the application: the unknown function and the circular pair.
NOT_RECOMPUTED = [("明细", "B10", "the function MOD is not computed here"),
                  ("明细", "B11", "is part of a circular reference"),
                  ("明细", "C11", "is part of a circular reference"),
                  ("明细", "C10", "depends on 明细!B10, which is not recomputed")]

# Defined names of the workbook: (name, ODF range address or None, ODF expression or None).
NAMES = [
    ("收入", "$'明细'.$B$2:.$D$6", None),
    ("首月", "$'明细'.$B$2", None),
    ("税率", None, "of:=0.13"),
    ("含税", None, "of:=SUM([$'明细'.$E$2:.$E$6])*(1+税率)"),
]

def split_cell(cell):
    m = re.fullmatch(r"([A-Z]+)(\d+)", cell)
    col = 0
    for ch in m.group(1):
        col = col * 26 + ord(ch) - 64
    return int(m.group(2)), col

REF = re.compile(r"(?:'([^']+)'!)?(\$?[A-Z]{1,2}\$?\d+)(?::(\$?[A-Z]{1,2}\$?\d+))?")

def odf_formula(formula):
    """=SUM('明细'!B2:C6,1) -> of:=SUM([$'明细'.B2:.C6];1)"""
    out, i, body = [], 0, formula[1:]
    parts = re.split(r'("(?:[^"]|"")*")', body)
    for k, part in enumerate(parts):
        if k % 2 == 1:
            out.append(part)
            continue
        def ref(m):
            sheet, a, b = m.group(1), m.group(2), m.group(3)
            prefix = f"$'{sheet}'." if sheet else "."
            return f"[{prefix}{a}" + (f":.{b}]" if b else "]")
        part = REF.sub(ref, part)
        out.append(part.replace(",", ";"))
    return "of:=" + "".join(out)

def cell_xml(v):
    if v is None:
        return "<table:table-cell/>"
    if isinstance(v, str) and v.startswith("="):
        return f'<table:table-cell table:formula="{escape(odf_formula(v), {chr(34): "&quot;"})}"/>'
    if isinstance(v, str):
        return f'<table:table-cell office:value-type="string"><text:p>{escape(v)}</text:p></table:table-cell>'
    return f'<table:table-cell office:value-type="float" office:value="{v!r}"><text:p>{v!r}</text:p></table:table-cell>'

def fods(sheets):
    out = ['<?xml version="1.0" encoding="UTF-8"?>',
           '<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
           'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
           'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
           'xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2" '
           'office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">',
           "<office:body><office:spreadsheet>",
           # Compare and match as the application that made .xls does: letter case aside,
           # wildcards rather than regular expressions.
           '<table:calculation-settings table:case-sensitive="false" table:use-wildcards="true" '
           'table:use-regular-expressions="false" table:search-criteria-must-apply-to-whole-cell="true"/>']
    for name in SHEETS:
        cells = {split_cell(c): v for c, v in sheets[name].items()}
        rows = max(r for r, _ in cells)
        cols = max(c for _, c in cells)
        out.append(f'<table:table table:name="{name}">')
        for r in range(1, rows + 1):
            out.append("<table:table-row>" + "".join(cell_xml(cells.get((r, c))) for c in range(1, cols + 1)) +
                       "</table:table-row>")
        out.append("</table:table>")
    out.append("<table:named-expressions>")
    for name, address, expression in NAMES:
        if address:
            out.append(f'<table:named-range table:name="{name}" table:base-cell-address="$\'明细\'.$A$1" '
                       f'table:cell-range-address="{escape(address)}"/>')
        else:
            out.append(f'<table:named-expression table:name="{name}" table:base-cell-address="$\'明细\'.$A$1" '
                       f'table:expression="{escape(expression)}"/>')
    out.append("</table:named-expressions>")
    out.append("</office:spreadsheet></office:body></office:document>")
    return "\n".join(out) + "\n"

def convert(fods_path, outdir):
    subprocess.run(["soffice", "--headless", "--convert-to", "xls:MS Excel 97", "--outdir", outdir, fods_path],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(outdir, os.path.splitext(os.path.basename(fods_path))[0] + ".xls")

def main():
    os.makedirs(OUT, exist_ok=True)
    original = template()
    written = template()
    for sheet, cell, value in WRITES:
        written[sheet][cell] = value
    with open(os.path.join(OUT, "report_template.fods"), "w", encoding="utf-8") as f:
        f.write(fods(original))
    with open(os.path.join(OUT, "report_written.fods"), "w", encoding="utf-8") as f:
        f.write(fods(written))
    with tempfile.TemporaryDirectory() as tmp:
        xls = convert(os.path.join(OUT, "report_template.fods"), tmp)
        os.replace(xls, os.path.join(OUT, "report_template.xls"))
        after = convert(os.path.join(OUT, "report_written.fods"), tmp)
        for n in range(1, len(SHEETS) + 1):
            cells = subprocess.run([sys.executable, os.path.join(HERE, "xlrd_cells.py"), after, str(n)],
                                   check=True, capture_output=True, text=True).stdout
            with open(os.path.join(OUT, f"report_written_sheet{n}.tsv"), "w", encoding="utf-8") as f:
                f.write(cells)
    with open(os.path.join(OUT, "report_inputs.tsv"), "w", encoding="utf-8") as f:
        for sheet, cell, value in WRITES:
            r, c = split_cell(cell)
            kind = "text" if isinstance(value, str) else "number"
            f.write(f"{SHEETS.index(sheet) + 1}\t{r}\t{c}\t{kind}\t{value}\n")
    with open(os.path.join(OUT, "report_not_recomputed.tsv"), "w", encoding="utf-8") as f:
        for sheet, cell, why in NOT_RECOMPUTED:
            r, c = split_cell(cell)
            f.write(f"{SHEETS.index(sheet) + 1}\t{r}\t{c}\t{why}\n")

if __name__ == "__main__":
    main()
