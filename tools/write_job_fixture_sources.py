#!/usr/bin/env python3
"""Write the flat OpenDocument sources of the job-window fixtures (summary workbooks with a
given number of worksheets). tools/make_job_fixtures.sh turns them into .xls.

    write_job_fixture_sources.py OUTDIR
"""
import sys
from pathlib import Path
from xml.sax.saxutils import escape, quoteattr

HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet>
"""
TAIL = "</office:spreadsheet></office:body></office:document>\n"


def cell(value):
    if value is None:
        return "<table:table-cell/>"
    if isinstance(value, (int, float)):
        return f'<table:table-cell office:value-type="float" office:value="{value}"><text:p>{value}</text:p></table:table-cell>'
    return f'<table:table-cell office:value-type="string"><text:p>{escape(value)}</text:p></table:table-cell>'


def sheet(name, rows):
    out = [f"<table:table table:name={quoteattr(name)}>"]
    for row in rows or [[None]]:
        out.append("<table:table-row>" + "".join(cell(v) for v in row) + "</table:table-row>")
    out.append("</table:table>")
    return "\n".join(out)


def workbook(sheets):
    return HEAD + "\n".join(sheet(n, r) for n, r in sheets) + TAIL


# A small filled area for the viewer: a1 text, b3 and c3 numbers, a2 blank.
FILLED = [["合计", None, None], [None, None, None], [None, 12.5, 3]]

BOOKS = {
    "sheets_9": [(f"表{k}", FILLED if k == 1 else None) for k in range(1, 10)],
    # Names with blanks at their edges, as the blank rule pads them.
    "sheets_10_blank_names": [(" 表 1 ", FILLED), ("表2  ", None)] + [(f"表{k}", None) for k in range(3, 11)],
    "sheets_51": [(f"s{k}", None) for k in range(1, 52)],
}

if __name__ == "__main__":
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    for name, sheets in BOOKS.items():
        (out / f"{name}.fods").write_text(workbook(sheets), encoding="utf-8")
