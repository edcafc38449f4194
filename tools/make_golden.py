#!/usr/bin/python3
"""Write the expected cell dumps (golden files) for the .xls fixtures, using xlrd.

The C++ `shubuxing-cli dump FILE SHEET` must print exactly these texts.  xlrd is
an independent reader, so the goldens catch faults the engine's own tests cannot.

Run with Debian's python (it has python3-xlrd 1.2.0 and python3-msoffcrypto-tool):

    /usr/bin/python3 tools/make_golden.py            # all fixtures
    /usr/bin/python3 tools/make_golden.py --check    # compare with what is committed
    /usr/bin/python3 tools/make_golden.py --print FILE SHEET_INDEX   # one dump to stdout

Output, per fixture NAME.xls, in tests/data/golden/NAME/:
    sheets.txt   worksheet names in workbook order, one per line
    info.txt     datemode=0|1 and biff=80|70
    <n>.tsv      dump of worksheet n (1-based), or, when it is over 64 KiB,
    <n>.sha256 + <n>.head.tsv   its SHA-256 and its first 50 lines
"""

import argparse
import codecs
import contextlib
import datetime
import hashlib
import io
import math
import os
import sys
from pathlib import Path

import xlrd
import xlrd.book

REPO = Path(__file__).resolve().parents[1]
SHARED_FIXTURES = REPO.parent / "shared" / "fixtures" / "xls"
OWN_FIXTURES = REPO / "tests" / "data" / "fixtures"
OLD_BIFF_FIXTURES = REPO / "tests" / "data" / "old_biff"  # tools/write_old_biff_fixtures.py
GOLDEN = REPO / "tests" / "data" / "golden"

MAX_INLINE_DUMP = 64 * 1024
HEAD_LINES = 50
DEFAULT_PASSWORD = "VelvetSweatshop"

# Not BIFF (xlrd happens to read the renamed .xlsx, the engine must reject it).
SKIPPED_SHARED = {
    "fake_html_from_excel2013.xls",
    "fake_tab_separated_text.xls",
    "fake_xlsx_renamed.xls",
    "fake_xml2003_spreadsheet.xls",
    # Need a password the user types; opening them without one is an error case.
    "encrypted_rc4_cryptoapi_password_11.xls",
    "encrypted_rc4_password_password.xls",
    "encrypted_xor_password_abc.xls",
}

# Encrypted with Excel's built-in password: Excel opens them without asking, so do we.
DEFAULT_PASSWORD_FILES = {
    "encrypted_rc4_default_password_excel2003.xls",
    "encrypted_rc4_cryptoapi_default_password_excel2016.xls",
}

ERROR_TEXTS = {
    0x00: "#NULL!",
    0x07: "#DIV/0!",
    0x0F: "#VALUE!",
    0x17: "#REF!",
    0x1D: "#NAME?",
    0x24: "#NUM!",
    0x2A: "#N/A",
}


# ---------------------------------------------------------------------------
# Cell texts


def number_text(v):
    if v == int(v) and abs(v) < 1e15:
        return str(int(v))  # int(-0.0) == 0, so -0 prints "0"
    return repr(v)


def date_text(v, datemode):
    if datemode == 1:
        epoch = datetime.date(1904, 1, 1)
    elif v < 60:
        epoch = datetime.date(1899, 12, 31)
    else:
        epoch = datetime.date(1899, 12, 30)
    days = int(v)
    secs = math.floor((v - days) * 86400 + 0.5)
    if secs == 86400:
        days += 1
        secs = 0
    if secs < 0:
        # Negative serial with a fraction: count the time of day forward from
        # the previous midnight, as for positive serials (-1.25 is 18:00 on day -2).
        days -= 1
        secs += 86400
    try:
        day = epoch + datetime.timedelta(days=days)
    except OverflowError:  # outside years 1 to 9999: the engine shows the number too
        return number_text(v)
    if secs == 0:
        return day.isoformat()
    return "%sT%02d:%02d:%02d" % (day.isoformat(), secs // 3600, secs % 3600 // 60, secs % 60)


def escape_text(s):
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\r", "\\r").replace("\n", "\\n")


def cell_text(cell, datemode):
    t = cell.ctype
    if t == xlrd.XL_CELL_NUMBER:
        return number_text(cell.value)
    if t == xlrd.XL_CELL_DATE:
        return date_text(cell.value, datemode)
    if t == xlrd.XL_CELL_TEXT:
        return escape_text(cell.value)
    if t == xlrd.XL_CELL_BOOLEAN:
        return "TRUE" if cell.value else "FALSE"
    if t == xlrd.XL_CELL_ERROR:
        return ERROR_TEXTS.get(cell.value, "#ERR%d" % cell.value)
    if t in (xlrd.XL_CELL_EMPTY, xlrd.XL_CELL_BLANK):
        return ""
    raise ValueError("unknown xlrd cell type %r" % t)


def dump_sheet(sheet, datemode):
    """The sheet as tab-separated text, trimmed to the last row/column with a non-empty cell."""
    texts = {}
    last_row = last_col = -1
    for r in range(sheet.nrows):
        for c in range(sheet.row_len(r)):
            text = cell_text(sheet.cell(r, c), datemode)
            if text:
                texts[(r, c)] = text
                last_row = max(last_row, r)
                last_col = max(last_col, c)
    lines = []
    for r in range(last_row + 1):
        lines.append("\t".join(texts.get((r, c), "") for c in range(last_col + 1)) + "\n")
    return "".join(lines)


# ---------------------------------------------------------------------------
# Opening workbooks, with narrow workarounds for three files xlrd 1.2.0 rejects.
# Each one only changes what happens where xlrd would otherwise raise; none of
# them touches cell records.


def _sst_tolerating_short_table(original):
    """excel2016_sst_wrong_unique_count.xls: the SST header claims 7668 unique
    strings, only 892 are stored.  xlrd asserts the claimed count.  Unpacking k
    strings succeeds exactly when k <= the stored count, so find the stored count
    by bisection and unpack that many."""

    def unpack(datatab, nstrings):
        try:
            return original(datatab, nstrings)
        except (AssertionError, IndexError):
            pass
        good, bad = 0, nstrings
        while bad - good > 1:
            mid = (good + bad) // 2
            try:
                original(datatab, mid)
                good = mid
            except (AssertionError, IndexError):
                bad = mid
        print("  workaround: SST holds %d strings, header claims %d" % (good, nstrings), file=sys.stderr)
        return original(datatab, good)

    return unpack


def _name_formula_tolerating_failure(original):
    """wps_cloud_zh_error_formula.xls: xlrd's decompiler crashes on one of the 239
    defined-name formulas WPS wrote.  Names do not feed cell values; leave that
    name unevaluated."""

    def evaluate(bk, nobj, namex, blah=0, level=0):
        try:
            return original(bk, nobj, namex, blah=blah, level=level)
        except (AttributeError, IndexError, TypeError):
            nobj.evaluated = 1
            nobj.result = None
            nobj.stack = []
            print("  workaround: name %r left unevaluated" % nobj.name, file=sys.stderr)

    return evaluate


WORKAROUNDS = {
    "excel2016_sst_wrong_unique_count.xls": [
        (xlrd.book, "unpack_SST_table", _sst_tolerating_short_table)],
    "wps_cloud_zh_error_formula.xls": [
        (xlrd.book, "evaluate_name_formula", _name_formula_tolerating_failure)],
}


# Gnumeric's BIFF5 writer counts characters, not bytes, in EXTERNSHEET (and
# writes built-in NAME codes as one byte) whenever the code page is multi-byte, so
# xlrd's strict decode of those truncated byte strings fails.  That happens in
#   gnumeric_zh_balance_sheet_biff5.xls  (CODEPAGE 1200: UTF-16LE text in BIFF5)
#   biff5_chinese_cp936.xls              (CODEPAGE 936: GBK text)
# Neither record feeds a cell value.  These codecs decode exactly like the code
# page's own codec and only drop an incomplete character at the end of a string;
# whole strings, all cell texts among them, decode as before.
LENIENT_CODECS = {"sbx_lenient_utf_16_le": "utf_16_le", "sbx_lenient_gbk": "gbk"}
ENCODING_OVERRIDES = {
    "gnumeric_zh_balance_sheet_biff5.xls": ("sbx_lenient_utf_16_le", 1200),
    "biff5_chinese_cp936.xls": ("sbx_lenient_gbk", 936),
}


def _lenient_codec_search(name):
    if name not in LENIENT_CODECS:
        return None
    base = codecs.lookup(LENIENT_CODECS[name])

    def decode(data, errors="strict"):
        data = bytes(data)
        try:
            return base.decode(data, errors)
        except UnicodeDecodeError as e:
            if e.end != len(data) or "truncated" not in e.reason and "incomplete" not in e.reason:
                raise
            print("  workaround: incomplete character dropped from %r" % data, file=sys.stderr)
            return base.decode(data[:e.start], errors)[0], len(data)

    return codecs.CodecInfo(base.encode, decode, name=name)


codecs.register(_lenient_codec_search)


@contextlib.contextmanager
def workarounds_for(file_name):
    saved = []
    for owner, attr, wrap in WORKAROUNDS.get(file_name, []):
        original = getattr(owner, attr)
        saved.append((owner, attr, original))
        setattr(owner, attr, wrap(original))
    try:
        yield
    finally:
        for owner, attr, original in reversed(saved):
            setattr(owner, attr, original)


def decrypted_bytes(path, password):
    import msoffcrypto

    with open(path, "rb") as f:
        office = msoffcrypto.OfficeFile(f)
        office.load_key(password=password)
        out = io.BytesIO()
        office.decrypt(out)
    return out.getvalue()


def open_book(path):
    name = path.name
    with workarounds_for(name):
        if name in DEFAULT_PASSWORD_FILES:
            return xlrd.open_workbook(file_contents=decrypted_bytes(path, DEFAULT_PASSWORD),
                                      formatting_info=False, logfile=open(os.devnull, "w"))
        override, codepage = ENCODING_OVERRIDES.get(name, (None, None))
        book = xlrd.open_workbook(str(path), formatting_info=False, logfile=open(os.devnull, "w"),
                                  encoding_override=override)
        if override and book.codepage != codepage:
            raise ValueError("%s: CODEPAGE is %r, the override is for %d" % (name, book.codepage, codepage))
        return book


def biff_text(version):
    # xlrd says 50 for BIFF5 files whose BOF carries an Excel 5.0 build id (LibreOffice
    # writes one) and 70 for Excel 95's; the record format is the same BIFF5.
    if version == 80:
        return "80"
    if version in (50, 70):
        return "70"
    # Excel 2.0 (no XF records), 2.1, 3.0, 4.0 worksheets and 4.0 workbooks (45).
    if version in (20, 21, 30, 40, 45):
        return str(version)
    raise ValueError("unexpected BIFF version %r" % version)


# ---------------------------------------------------------------------------
# Golden files


def sheet_name(book, sheet):
    """An Excel 2.1-4.0 worksheet file names no sheet: xlrd calls it "Sheet 1",
    LibreOffice "Sheet1", and the engine follows LibreOffice."""
    return "Sheet1" if book.biff_version <= 40 else sheet.name


def golden_files(book):
    """{file name: bytes} for one workbook."""
    files = {}
    sheets = book.sheets()  # worksheets only: xlrd drops chart sheets
    files["sheets.txt"] = "".join(sheet_name(book, s) + "\n" for s in sheets).encode("utf-8")
    files["info.txt"] = ("datemode=%d\nbiff=%s\n" % (book.datemode, biff_text(book.biff_version))).encode()
    for n, sheet in enumerate(sheets, 1):
        dump = dump_sheet(sheet, book.datemode).encode("utf-8")
        if len(dump) > MAX_INLINE_DUMP:
            files["%d.sha256" % n] = (hashlib.sha256(dump).hexdigest() + "\n").encode()
            head = b"".join(dump.splitlines(keepends=True)[:HEAD_LINES])
            files["%d.head.tsv" % n] = head
        else:
            files["%d.tsv" % n] = dump
    return files


def fixture_paths():
    paths = [p for p in sorted(SHARED_FIXTURES.glob("*.xls")) if p.name not in SKIPPED_SHARED]
    paths += sorted(OWN_FIXTURES.glob("*.xls"))
    paths += sorted(OLD_BIFF_FIXTURES.glob("*.xls"))
    return paths


def write_golden(directory, files):
    directory.mkdir(parents=True, exist_ok=True)
    for old in directory.iterdir():
        if old.name not in files:
            old.unlink()
    for name, data in files.items():
        (directory / name).write_bytes(data)


def check_golden(directory, files):
    problems = []
    present = {p.name for p in directory.iterdir()} if directory.is_dir() else set()
    for name in sorted(present - files.keys()):
        problems.append("%s/%s: not produced any more" % (directory.name, name))
    for name, data in sorted(files.items()):
        path = directory / name
        if not path.exists():
            problems.append("%s/%s: missing" % (directory.name, name))
        elif path.read_bytes() != data:
            problems.append("%s/%s: differs" % (directory.name, name))
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="compare with the committed goldens, write nothing")
    parser.add_argument("--print", nargs=2, metavar=("FILE", "SHEET"), help="print one sheet's dump (1-based)")
    args = parser.parse_args()

    if args.print:
        path = Path(args.print[0])
        book = open_book(path)
        sys.stdout.write(dump_sheet(book.sheets()[int(args.print[1]) - 1], book.datemode))
        return 0

    problems = []
    wanted = set()
    for path in fixture_paths():
        print(path.name, file=sys.stderr)
        files = golden_files(open_book(path))
        directory = GOLDEN / path.stem
        wanted.add(path.stem)
        if args.check:
            problems += check_golden(directory, files)
        else:
            write_golden(directory, files)
    if GOLDEN.is_dir():
        for extra in sorted(p.name for p in GOLDEN.iterdir() if p.is_dir() and p.name not in wanted):
            problems.append("%s: golden directory without a fixture" % extra)
    for p in problems:
        print(p, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
