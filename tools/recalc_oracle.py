#!/usr/bin/python3
"""Every value of a saved .xlsx as openpyxl reads its cached results, beside what Gnumeric
computes for the same cells (ssconvert --recalc) and what the template held there:

    /usr/bin/python3 tools/recalc_oracle.py SAVED.xlsx TEMPLATE.xlsx

One line per cell that holds a value in any of them: sheet, tab, cell, tab, the saved
file's value, tab, Gnumeric's, tab, the template's, tab, Gnumeric's for the template (where
it differs from the template's own, the template's result does not follow from its cells:
RAND(), NOW(), or a result left stale by its writer). Numbers to 12 significant digits,
booleans TRUE/FALSE, errors as written (#DIV/0!), nothing as an empty field.
"""

import subprocess
import sys
import tempfile
from pathlib import Path

import openpyxl


def text(value):
    if value is None:
        return ""
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, (int, float)):
        return "%.12g" % value
    return str(value).replace("\t", " ").replace("\n", " ")


def values(path):
    book = openpyxl.load_workbook(path, data_only=True)
    out = {}
    for sheet in book.worksheets:
        for row in sheet.iter_rows():
            for cell in row:
                if cell.value is not None:
                    out[(sheet.title, cell.coordinate)] = text(cell.value)
    return out


def recalculate(path, work):
    out = Path(work) / ("recalculated_" + Path(path).name)
    subprocess.run(["ssconvert", "--recalc", path, str(out)], check=True, capture_output=True)
    return out


def main():
    saved, template = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as work:
        columns = [values(saved), values(recalculate(saved, work)), values(template),
                   values(recalculate(template, work))]
    for key in sorted(set().union(*columns)):
        print("\t".join([key[0], key[1]] + [c.get(key, "") for c in columns]))


if __name__ == "__main__":
    main()
