#!/usr/bin/python3
"""Compare the xlrd-based dumps of make_golden.py with LibreOffice's view of the same file.

LibreOffice (soffice --headless) exports every sheet as tab-separated UTF-8 text with
raw (not "as shown") cell contents; each cell is then compared with our dump text,
loosely where the two renderings legitimately differ (number precision, dates as
serials or formatted text, quoting).  Differences are printed for a person to judge.

    /usr/bin/python3 tools/compare_with_libreoffice.py FILE.xls [FILE.xls ...]

Exit status 1 when any cell differs.
"""

import csv
import datetime
import re
import subprocess
import sys
import tempfile
from pathlib import Path

sys.dont_write_bytecode = True  # keep tools/ free of __pycache__
sys.path.insert(0, str(Path(__file__).resolve().parent))
import make_golden  # noqa: E402

# tab separator, '"' quote, UTF-8, from line 1, default formats, raw contents, all sheets
CSV_FILTER = "csv:Text - txt - csv (StarCalc):9,34,76,1,,0,false,true,false,false,false,-1"
SHOWN_LIMIT = 8


def libreoffice_sheets(path, workdir):
    """{sheet name: rows of cell texts} as LibreOffice exports them."""
    # A profile of its own: instances sharing one refuse to start while another runs.
    profile = "-env:UserInstallation=file://" + str(Path(workdir).resolve() / "profile")
    subprocess.run(["soffice", profile, "--headless", "--convert-to", CSV_FILTER, "--outdir", str(workdir), str(path)],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    sheets = {}
    prefix = path.stem + "-"
    for out in workdir.glob("*.csv"):
        name = out.stem[len(prefix):] if out.stem.startswith(prefix) else out.stem
        with open(out, encoding="utf-8", newline="") as f:
            sheets[name] = list(csv.reader(f, delimiter="\t", quotechar='"'))
    return sheets


def unescape(text):
    table = {"\\": "\\", "t": "\t", "r": "\r", "n": "\n"}
    return re.sub(r"\\(.)", lambda m: table.get(m.group(1), m.group(0)), text)


def as_float(text):
    scale = 1.0
    if text.endswith("%"):  # LibreOffice keeps the percent format even for raw contents
        text, scale = text[:-1], 0.01
    try:
        return float(text) * scale
    except ValueError:
        return None


def serial_of(text, datemode):
    """Our ISO date/date-time text back to the stored serial."""
    m = re.fullmatch(r"(\d{4})-(\d\d)-(\d\d)(?:T(\d\d):(\d\d):(\d\d))?", text)
    if not m:
        return None
    day = datetime.date(int(m[1]), int(m[2]), int(m[3]))
    if datemode == 1:
        epoch = datetime.date(1904, 1, 1)
    elif day < datetime.date(1900, 3, 1):
        epoch = datetime.date(1899, 12, 31)  # our text counts the phantom 1900-02-29
    else:
        epoch = datetime.date(1899, 12, 30)
    serial = (day - epoch).days
    if m[4]:
        serial += (int(m[4]) * 3600 + int(m[5]) * 60 + int(m[6])) / 86400
    return serial


def lo_date_serials(text, datemode):
    """Serials LibreOffice's date text can stand for.  LibreOffice formats in the
    file's locale (M/D/Y, D/M/Y or Y/M/D) and has no 1900-02-29, so all its
    1900-system dates count from 1899-12-30."""
    epoch = datetime.datetime(1904, 1, 1) if datemode == 1 else datetime.datetime(1899, 12, 30)
    serials = []
    for date_fmt in ("%m/%d/%Y", "%d/%m/%Y", "%Y/%m/%d", "%m/%d/%y", "%d/%m/%y", "%Y-%m-%d"):
        for time_fmt in ("", " %H:%M:%S", " %I:%M:%S %p", " %H:%M"):
            try:
                dt = datetime.datetime.strptime(text, date_fmt + time_fmt)
            except ValueError:
                continue
            delta = dt - epoch
            serials.append(delta.days + delta.seconds / 86400)
    # times and [h]:mm:ss durations, which may be negative or exceed 24 hours
    m = re.fullmatch(r"(-?)(\d+):(\d\d)(?::(\d\d(?:\.\d+)?))?(?:\s*([AP]M))?", text)
    if m:
        hours = int(m[2]) % 12 + (12 if m[5] == "PM" else 0) if m[5] else int(m[2])
        value = (hours * 3600 + int(m[3]) * 60 + float(m[4] or 0)) / 86400
        serials.append(-value if m[1] else value)
    return serials


def same(ours, theirs, datemode):
    if ours == theirs:
        return True
    if ours == "" or theirs == "":
        return False
    if unescape(ours) == theirs:
        return True
    if (ours, theirs) in (("TRUE", "1"), ("FALSE", "0")):  # boolean formula results
        return True
    a, b = as_float(ours), as_float(theirs)
    if a is not None and b is not None:
        return abs(a - b) <= 1e-9 * max(1.0, abs(a), abs(b))
    serial = serial_of(ours, datemode)
    if serial is not None:
        candidates = [b] if b is not None else lo_date_serials(theirs, datemode)
        for other in candidates:
            if 0 <= other < 1 and serial >= 1:  # a time-only format drops the date part
                other += int(serial)
            if abs(serial - other) < 1.5 / 86400:
                return True
    return False


def compare(path):
    book = make_golden.open_book(path)
    differences = 0
    with tempfile.TemporaryDirectory() as tmp:
        theirs_by_name = libreoffice_sheets(path, Path(tmp))
    # LibreOffice names the sheet of an Excel 2.1 file after the file and numbers the sheets of
    # an Excel 4.0 workbook (Sheet1, Sheet2, ...): there, sheets are paired by position.
    by_position = [theirs_by_name[n] for n in sorted(theirs_by_name)]
    positional = book.biff_version <= 45 and len(by_position) == book.nsheets
    for index, sheet in enumerate(book.sheets()):
        ours = [line.split("\t") for line in make_golden.dump_sheet(sheet, book.datemode).splitlines()]
        name = make_golden.sheet_name(book, sheet)
        theirs = theirs_by_name.get(name, by_position[index] if positional else None)
        if theirs is None:
            print("%s [%s]: LibreOffice exported no such sheet (has %s)"
                  % (path.name, name, sorted(theirs_by_name)))
            differences += 1
            continue
        rows = max(len(ours), len(theirs))
        cols = max([len(r) for r in ours + theirs] or [0])
        bad = []
        for r in range(rows):
            for c in range(cols):
                a = ours[r][c] if r < len(ours) and c < len(ours[r]) else ""
                b = theirs[r][c] if r < len(theirs) and c < len(theirs[r]) else ""
                if not same(a, b, book.datemode):
                    bad.append((r, c, a, b))
        for r, c, a, b in bad[:SHOWN_LIMIT]:
            print("%s [%s] R%dC%d: xlrd %r, LibreOffice %r" % (path.name, name, r + 1, c + 1, a, b))
        if len(bad) > SHOWN_LIMIT:
            print("%s [%s]: ... %d differing cells in all" % (path.name, sheet.name, len(bad)))
        differences += len(bad)
    print("%s: %s" % (path.name, "agrees" if not differences else "%d differences" % differences))
    return differences


def main():
    total = sum(compare(Path(p)) for p in sys.argv[1:])
    return 1 if total else 0


if __name__ == "__main__":
    sys.exit(main())
