#!/usr/bin/python3
"""Writes tests/data/align: reports of one layout whose rows and columns some units shifted,
saved by LibreOffice as .xlsx and .xls, and what adding them by their labels gives, worked
out here in Python over the saved files (openpyxl and xlrd) from the layout as written:

  收支  labels in column A (项目, rows 4..), in row 3 (本月, 累计); range b4:c9, whose 合计 row the
        template computes (=SUM(B4:B8)) and the units type
  人员  labels inside the range a2:d5: column A (干部, 工人, 其他) and row 2 (男, 女, 合计)

  template      unit 1, as the template has it
  in_place      unit 2, the same layout
  shifted       unit 3: an empty row inserted after 工资, 房租 and 水电 swapped; 人员's 男 and 女 swapped
  moved_column  unit 4: 累计 before 本月; "ＩＴ服务　" full-width with an ideographic space, " 差旅";
                人员's "干部　", a label inside the range with an ideographic space
  extra_label   unit 5: a row 培训 the template lacks, inserted before IT服务
  twice         unit 6: 水电 on two rows

totals.tsv: worksheet, cell, the total of every report by its labels (a label the template
lacks, or holds another number of times, adds nothing; 合计 computed from the totals).
unmatched.tsv: report, worksheet, the cells of the labels that cannot be matched and hold
values. audit.tsv: report, the report's own 合计 cells whose typed figure is not the sum of
the figures that land above it.
Usage: /usr/bin/python3 tools/make_align_fixtures.py [OUTDIR]   (needs python3-openpyxl, python3-xlrd, soffice)
"""
import os
import shutil
import subprocess
import sys
import tempfile

import openpyxl
import xlrd

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "align")
ITEMS = ["工资", "房租", "水电", "差旅", "IT服务"]
COLUMNS = ["本月", "累计"]
KINDS = ["干部", "工人", "其他"]
SEXES = ["男", "女"]


def amount(unit, item, column):
    return 100 * unit + 10 * ITEMS.index(item) + COLUMNS.index(column) + 0.25 * (unit % 2)


def people(unit, kind, sex):
    return unit + 3 * KINDS.index(kind) + SEXES.index(sex)


def write(path, unit, change):
    book = openpyxl.Workbook()
    sheet = book.active
    sheet.title = "收支"
    sheet["A1"] = "收支明细表"
    sheet["A2"] = "填报单位："
    sheet["B2"] = f"单位{unit}"
    sheet["A3"] = "项目"
    columns = list(reversed(COLUMNS)) if change == "moved_column" else COLUMNS
    for c, name in enumerate(columns, start=2):
        sheet.cell(3, c, name)
    rows = [(item, item) for item in ITEMS]  # (label as written, item)
    if change == "shifted":
        rows = [rows[0], (None, None), rows[2], rows[1], rows[3], rows[4]]
    if change == "moved_column":
        rows[3] = (" 差旅", "差旅")
        rows[4] = ("ＩＴ服务\u3000", "IT服务")
    if change == "extra_label":
        rows.insert(4, ("培训", "培训"))
    if change == "twice":
        rows.insert(3, ("水电", "水电"))
    row = 4
    for label, item in rows:
        if label is not None:
            sheet.cell(row, 1, label)
            for c, name in enumerate(columns, start=2):
                if item == "培训":
                    value = 7.5
                elif item == "水电" and change == "twice":
                    value = amount(unit, item, name) / 2
                else:
                    value = amount(unit, item, name)
                sheet.cell(row, c, value)
        row += 1
    sheet.cell(row, 1, "合计")
    for c, name in enumerate(columns, start=2):
        letter = "ABC"[c - 1]
        # The template computes its 合计; the units type theirs.
        sheet.cell(row, c, f"=SUM({letter}4:{letter}8)" if change == "template" else sum(amount(unit, item, name) for item in ITEMS))

    staff = book.create_sheet("人员")
    sexes = list(reversed(SEXES)) if change == "shifted" else SEXES
    for c, name in enumerate(["类别"] + sexes + ["合计"], start=1):
        staff.cell(2, c, name)
    for r, kind in enumerate(KINDS, start=3):
        staff.cell(r, 1, kind + "\u3000" if change == "moved_column" and kind == "干部" else kind)
        for c, sex in enumerate(sexes, start=2):
            staff.cell(r, c, people(unit, kind, sex))
        staff.cell(r, 4, sum(people(unit, kind, sex) for sex in SEXES))
    book.save(path)


def fold(text):
    """Trims blanks and folds full-width ASCII and the ideographic space, nothing else."""
    if not isinstance(text, str):
        return "" if text is None else repr(text)
    out = "".join(chr(ord(c) - 0xFEE0) if 0xFF01 <= ord(c) <= 0xFF5E else " " if c == "\u3000" else c for c in text)
    return out.strip(" \t\r\n\u00a0")


class Sheet:
    """A saved worksheet as (row, column) -> value, from 1, by openpyxl or xlrd."""

    def __init__(self, path, name):
        self.cells = {}
        if path.endswith(".xlsx"):
            for row in openpyxl.load_workbook(path, data_only=True)[name].iter_rows():
                for cell in row:
                    if cell.value is not None:
                        self.cells[(cell.row, cell.column)] = cell.value
        else:
            sheet = xlrd.open_workbook(path).sheet_by_name(name)
            for r in range(sheet.nrows):
                for c in range(sheet.ncols):
                    if sheet.cell_type(r, c) != xlrd.XL_CELL_EMPTY:
                        self.cells[(r + 1, c + 1)] = sheet.cell_value(r, c)

    def get(self, row, column):
        return self.cells.get((row, column))


# Each worksheet's range and where its labels stand, as the layout was written.
LAYOUTS = {"收支": {"rows": (4, 9), "columns": (2, 3), "label_column": 1, "label_row": 3},
           "人员": {"rows": (3, 5), "columns": (2, 4), "label_column": 1, "label_row": 2}}


def labelled(sheet, layout, along_rows, end):
    """{folded label: [lines]} of the lines from the range's first to `end` along one axis."""
    first = layout["rows"][0] if along_rows else layout["columns"][0]
    found = {}
    for line in range(first, end + 1):
        value = sheet.get(line, layout["label_column"]) if along_rows else sheet.get(layout["label_row"], line)
        found.setdefault(fold(value), []).append(line)
    return found


def by_labels(template, report, name):
    """The report's values by the template's cell, and its unmatched label cells holding values,
    and where each template cell's value came from in the report."""
    layout = LAYOUTS[name]
    last_row = max(r for r, _ in report.cells)
    last_column = max(c for _, c in report.cells)
    want_rows = labelled(template, layout, True, layout["rows"][1])
    want_columns = labelled(template, layout, False, layout["columns"][1])
    have_rows = labelled(report, layout, True, last_row)
    have_columns = labelled(report, layout, False, last_column)
    values, unmatched, own = {}, [], {}
    for label, lines in have_rows.items():
        holding = [l for l in lines if any(report.get(l, c) is not None for c in range(layout["columns"][0], last_column + 1))]
        if label and label in want_rows and len(want_rows[label]) == len(lines):
            continue
        unmatched += [f"a{l}" for l in holding]
    for row_label, t_rows in want_rows.items():
        if not row_label or len(have_rows.get(row_label, [])) != len(t_rows):
            continue
        for column_label, t_columns in want_columns.items():
            if not column_label or len(have_columns.get(column_label, [])) != len(t_columns):
                continue
            for k, t_row in enumerate(t_rows):
                for j, t_column in enumerate(t_columns):
                    v = report.get(have_rows[row_label][k], have_columns[column_label][j])
                    own[(t_row, t_column)] = f"{'abcd'[have_columns[column_label][j] - 1]}{have_rows[row_label][k]}"
                    if isinstance(v, (int, float)):
                        values[(t_row, t_column)] = v
    return values, sorted(unmatched, key=lambda a: int(a[1:])), own


def main():
    os.makedirs(OUT, exist_ok=True)
    work = tempfile.mkdtemp()
    reports = {"template": 1, "in_place": 2, "shifted": 3, "moved_column": 4, "extra_label": 5, "twice": 6}
    for name, unit in reports.items():
        write(os.path.join(work, name + ".xlsx"), unit, name)
    for target, filter_name in (("xlsx", "Calc MS Excel 2007 XML"), ("xls", "MS Excel 97")):
        out = os.path.join(work, target)
        subprocess.run(["soffice", "--headless", "--calc", "--convert-to", f"{target}:{filter_name}", "--outdir", out]
                       + [os.path.join(work, n + ".xlsx") for n in reports], check=True, capture_output=True)
        for n in reports:
            shutil.copy(os.path.join(out, f"{n}.{target}"), os.path.join(OUT, f"{n}.{target}"))
    # Worked out from each format's saved files; both must give the same.
    results = []
    for ending in (".xlsx", ".xls"):
        totals, unmatched, audit = {}, [], []
        for name in LAYOUTS:
            template = Sheet(os.path.join(OUT, "template" + ending), name)
            for report in reports:
                values, cells, own = by_labels(template, Sheet(os.path.join(OUT, report + ending), name), name)
                for cell, v in values.items():
                    totals[(name, cell)] = totals.get((name, cell), 0) + v
                if cells:
                    unmatched.append((report, name, " ".join(cells)))
                if name == "收支":
                    wrong = [own[(9, c)] for c in (2, 3)
                             if abs(values.get((9, c), 0) - sum(values.get((r, c), 0) for r in range(4, 9))) > 1e-9]
                    if wrong:
                        audit.append((report, " ".join(wrong)))
        for c in (2, 3):
            totals[("收支", (9, c))] = sum(totals[("收支", (r, c))] for r in range(4, 9))
        results.append((totals, unmatched, audit))
    assert results[0] == results[1], "the .xlsx and .xls reports must add up alike"
    totals, unmatched, audit = results[0]
    with open(os.path.join(OUT, "totals.tsv"), "w", encoding="utf-8") as tsv:
        tsv.write("worksheet\tcell\ttotal\n")
        for (name, (row, column)), total in sorted(totals.items()):
            tsv.write(f"{name}\t{'abcd'[column - 1]}{row}\t{total:.15g}\n")
    with open(os.path.join(OUT, "unmatched.tsv"), "w", encoding="utf-8") as tsv:
        tsv.write("report\tworksheet\tcells\n")
        for line in unmatched:
            tsv.write("\t".join(line) + "\n")
    with open(os.path.join(OUT, "audit.tsv"), "w", encoding="utf-8") as tsv:
        tsv.write("report\tcells\n")
        for line in audit:
            tsv.write("\t".join(line) + "\n")
    shutil.rmtree(work)


if __name__ == "__main__":
    main()
