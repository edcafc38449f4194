#!/usr/bin/env python3
"""Write the flat OpenDocument sources of the consolidation pool fixture: three same-layout
branch reports and a protected copy of the layout. tools/make_consolidate_pool.sh turns them
into .xls with LibreOffice and writes the expected totals with xlrd.

    write_consolidate_pool_sources.py OUTDIR
"""
import random
import sys
from pathlib import Path
from xml.sax.saxutils import escape, quoteattr

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <style:style style:name="unlocked" style:family="table-cell">
  <style:table-cell-properties style:cell-protect="none"/>
 </style:style>
</office:automatic-styles>
<office:body><office:spreadsheet>
"""
TAIL = "</office:spreadsheet></office:body></office:document>\n"

SHEETS = ["收入明细", "成本费用"]
COLS = "BCDE"          # the numbers: b4:e9
FIRST_ROW, LAST_ROW = 4, 9
LOCKED = ("C", 5)      # the one locked cell of the protected layout's first worksheet


def cell(value, unlocked=False):
    style = ' table:style-name="unlocked"' if unlocked else ""
    if value is None:
        return f"<table:table-cell{style}/>"
    if isinstance(value, tuple):  # (formula, cached value)
        return (f'<table:table-cell{style} table:formula="of:={value[0]}" office:value-type="float" '
                f'office:value="{value[1]}"/>')
    if isinstance(value, (int, float)):
        return f'<table:table-cell{style} office:value-type="float" office:value="{value}"/>'
    return f'<table:table-cell{style} office:value-type="string"><text:p>{escape(value)}</text:p></table:table-cell>'


def numbers(rng):
    """The block's cells: numbers with blanks, zeros, decimals, a label and a number as text."""
    block = {}
    for r in range(FIRST_ROW, LAST_ROW + 1):
        for c in COLS:
            k = rng.random()
            if k < 0.12:
                v = None
            elif k < 0.2:
                v = 0
            elif k < 0.6:
                v = round(rng.uniform(-500, 5000), 2)
            else:
                v = rng.randint(1, 9000)
            block[(c, r)] = v
    block[("E", 6)] = "合计"                      # a label inside the range
    block[("D", 7)] = str(rng.randint(10, 99))   # a number stored as text
    return block


def report(sheet, unit, block, protect_layout=False):
    protected = ' table:protected="true"' if protect_layout else ""
    rows = [[f"{unit}{sheet}（2024年度）"], [], ["项目", "一季度", "二季度", "三季度", "四季度"]]
    out = [f"<table:table table:name={quoteattr(sheet)}{protected}>"]
    for values in rows:
        out.append("<table:table-row>" + "".join(cell(v) for v in values or [None]) + "</table:table-row>")
    for r in range(FIRST_ROW, LAST_ROW + 1):
        cells = [cell(f"项目{r - 3}")]
        for c in COLS:
            unlocked = protect_layout and (c, r) != LOCKED
            cells.append(cell(block[(c, r)], unlocked))
        out.append("<table:table-row>" + "".join(cells) + "</table:table-row>")
    sums = [cell("合计")]
    for c in COLS:
        total = sum(v for (cc, r), v in block.items() if cc == c and isinstance(v, (int, float)))
        sums.append(cell((f"SUM([.{c}{FIRST_ROW}:.{c}{LAST_ROW}])", round(total, 2))))
    out.append("<table:table-row>" + "".join(sums) + "</table:table-row>")
    out.append("</table:table>")
    return "\n".join(out)


def workbook(unit, seed, protect=False):
    rng = random.Random(seed)
    return HEAD + "\n".join(report(s, unit, numbers(rng), protect and i == 0) for i, s in enumerate(SHEETS)) + TAIL


if __name__ == "__main__":
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for i, unit in enumerate(["第一分公司", "第二分公司", "第三分公司"], start=1):
        (out / f"branch_{i}.fods").write_text(workbook(unit, 1000 + i), encoding="utf-8")
    (out / "protected_layout.fods").write_text(workbook("汇总", 999, protect=True), encoding="utf-8")
