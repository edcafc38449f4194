#!/usr/bin/python3
"""Write small Excel 2.1, 3.0 and 4.0 files (BIFF2, BIFF3, BIFF4, BIFF4W) for the tests.

No application at hand writes these formats any more (LibreOffice and Gnumeric only read
them), so the record streams are put together here, record by record, as the old Excel
versions laid them out. Their expected contents do not come from this script: the goldens
are xlrd's reading of the written files (tools/make_golden.py), and LibreOffice's and
Gnumeric's readings are compared with it (tools/compare_with_libreoffice.py, ssconvert).

    /usr/bin/python3 tools/write_old_biff_fixtures.py   # writes tests/data/old_biff/*.xls
"""

import struct
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "tests" / "data" / "old_biff"


def record(rtype, body=b""):
    return struct.pack("<HH", rtype, len(body)) + body


def byte_string(text, encoding, length_bytes=1):
    raw = text.encode(encoding)
    return struct.pack("<B" if length_bytes == 1 else "<H", len(raw)) + raw


# Formula token strings whose value is the cached result, so that an application that
# recalculates on load gets the same value back.
def tok_num(v):
    return b"\x1f" + struct.pack("<d", v)


def tok_str(s, encoding):
    return b"\x17" + byte_string(s, encoding)


def tok_bool(b):
    return b"\x1d" + bytes([1 if b else 0])


def tok_err(code):
    return b"\x1c" + bytes([code])


def result_number(v):
    return struct.pack("<d", v)


def result_special(kind, value=0):
    # kind 0 text (a STRING record follows), 1 boolean, 2 error
    return bytes([kind, 0, value, 0, 0, 0, 0xFF, 0xFF])


ERR = {"#NULL!": 0x00, "#DIV/0!": 0x07, "#VALUE!": 0x0F, "#REF!": 0x17, "#NAME?": 0x1D, "#NUM!": 0x24, "#N/A": 0x2A}


# ---------------------------------------------------------------------------
# BIFF2: cell records carry three attribute bytes; XF index 63 defers to an IXFE record.


class Biff2:
    def __init__(self, codepage, encoding, with_xf=True):
        self.encoding = encoding
        self.with_xf = with_xf
        self.head = [record(0x0009, struct.pack("<HH", 0x0007, 0x0010))]
        self.head.append(record(0x0042, struct.pack("<H", codepage)))
        self.formats = []
        self.xfs = []
        self.cells = []

    def format(self, code):
        self.formats.append(code)
        return len(self.formats) - 1

    def xf(self, fmt, locked=True):
        self.xfs.append((fmt, locked))
        return len(self.xfs) - 1

    def attr(self, xf=0, fmt=0):
        # With XF records byte 0 holds the XF index; without, byte 1 holds the format.
        if self.with_xf:
            return bytes([min(xf, 63) | 0x40, 0, 0])
        return bytes([0x40, fmt & 0x3F, 0])

    def cell(self, rtype, row, col, payload, xf=0, fmt=0):
        if self.with_xf and xf >= 63:
            self.cells.append(record(0x0044, struct.pack("<H", xf)))
        self.cells.append(record(rtype, struct.pack("<HH", row, col) + self.attr(xf, fmt) + payload))

    def integer(self, row, col, v, **kw):
        self.cell(0x0002, row, col, struct.pack("<H", v), **kw)

    def number(self, row, col, v, **kw):
        self.cell(0x0003, row, col, struct.pack("<d", v), **kw)

    def label(self, row, col, s, **kw):
        self.cell(0x0004, row, col, byte_string(s, self.encoding), **kw)

    def boolean(self, row, col, b, **kw):
        self.cell(0x0005, row, col, bytes([1 if b else 0, 0]), **kw)

    def error(self, row, col, name, **kw):
        self.cell(0x0005, row, col, bytes([ERR[name], 1]), **kw)

    def blank(self, row, col, **kw):
        self.cell(0x0001, row, col, b"", **kw)

    def formula(self, row, col, result, tokens, string=None, **kw):
        self.cell(0x0006, row, col, result + bytes([0, len(tokens)]) + tokens, **kw)
        if string is not None:
            self.cells.append(record(0x0007, byte_string(string, self.encoding)))

    def datemode(self, on):
        self.head.append(record(0x0022, struct.pack("<H", 1 if on else 0)))

    def bytes(self):
        out = list(self.head)
        out.append(record(0x0031, struct.pack("<HH", 200, 0) + byte_string("Arial", "ascii")))
        for code in self.formats:
            out.append(record(0x001E, byte_string(code, self.encoding)))
        for fmt, locked in self.xfs:
            out.append(record(0x0043, bytes([0, 0, (fmt & 0x3F) | (0x40 if locked else 0), 0])))
        out.append(record(0x0000, struct.pack("<HHHH", 0, 64, 0, 16)))
        out += self.cells
        out.append(record(0x000A))
        return b"".join(out)


# ---------------------------------------------------------------------------
# BIFF3 and BIFF4: XF indexes in the cells, RK numbers, 16-bit string lengths.


class Biff34:
    def __init__(self, version, codepage, encoding):
        self.version = version
        self.encoding = encoding
        bof = 0x0209 if version == 3 else 0x0409
        self.head = [record(bof, struct.pack("<HHH", 0, 0x0010, 0x10D3))]
        self.head.append(record(0x0042, struct.pack("<H", codepage)))
        self.formats = []
        self.xfs = []
        self.cells = []

    def format(self, code):
        self.formats.append(code)
        return len(self.formats) - 1

    def xf(self, fmt, locked=True):
        self.xfs.append((fmt, locked))
        return len(self.xfs) - 1

    def cell(self, rtype, row, col, payload, xf=0):
        self.cells.append(record(rtype, struct.pack("<HHH", row, col, xf) + payload))

    def number(self, row, col, v, xf=0):
        self.cell(0x0203, row, col, struct.pack("<d", v), xf)

    def rk(self, row, col, raw, xf=0):
        self.cell(0x027E, row, col, struct.pack("<I", raw), xf)

    def label(self, row, col, s, xf=0):
        self.cell(0x0204, row, col, byte_string(s, self.encoding, 2), xf)

    def boolean(self, row, col, b, xf=0):
        self.cell(0x0205, row, col, bytes([1 if b else 0, 0]), xf)

    def error(self, row, col, name, xf=0):
        self.cell(0x0205, row, col, bytes([ERR[name], 1]), xf)

    def blank(self, row, col, xf=0):
        self.cell(0x0201, row, col, b"", xf)

    def formula(self, row, col, result, tokens, string=None, xf=0):
        rtype = 0x0206 if self.version == 3 else 0x0406
        self.cell(rtype, row, col, result + struct.pack("<HH", 0, len(tokens)) + tokens, xf)
        if string is not None:
            self.cells.append(record(0x0207, byte_string(string, self.encoding, 2)))

    def datemode(self, on):
        self.head.append(record(0x0022, struct.pack("<H", 1 if on else 0)))

    def bytes(self):
        out = list(self.head)
        out.append(record(0x0231, struct.pack("<HHH", 200, 0, 0x7FFF) + byte_string("Arial", "ascii")))
        for code in self.formats:
            if self.version == 3:
                out.append(record(0x001E, byte_string(code, self.encoding)))
            else:
                out.append(record(0x041E, b"\0\0" + byte_string(code, self.encoding)))
        for fmt, locked in self.xfs:
            prot = 1 if locked else 0
            if self.version == 3:
                body = struct.pack("<BBBBHHI", 0, fmt, prot, 0, 0, 0, 0)
            else:
                body = struct.pack("<BBHBBHI", 0, fmt, prot, 0, 0, 0, 0)
            out.append(record(0x0243 if self.version == 3 else 0x0443, body))
        out.append(record(0x0200, struct.pack("<HHHHH", 0, 64, 0, 16, 0)))
        out += self.cells
        out.append(record(0x000A))
        return b"".join(out)


def rk_int(v):
    return (v << 2 | 2) & 0xFFFFFFFF


def rk_int_hundredths(v100):
    return (v100 << 2 | 3) & 0xFFFFFFFF


def rk_float(v):
    bits = struct.unpack("<Q", struct.pack("<d", v))[0]
    assert bits & 0x3FFFFFFFF == 0, v
    return bits >> 32


# The format lists that the old Excel versions wrote at the start of every file.
STANDARD_FORMATS = ["General", "0", "0.00", "#,##0", "#,##0.00", "m/d/yy", "d-mmm-yy", "d-mmm", "mmm-yy",
                    "h:mm AM/PM", "h:mm:ss AM/PM", "h:mm", "h:mm:ss", "m/d/yy h:mm", "0%", "0.00%", "0.00E+00", "@"]


def common_formats(book):
    ids = {code: book.format(code) for code in STANDARD_FORMATS}
    return ids


# ---------------------------------------------------------------------------
# The files


def biff2_cells():
    """Excel 2.1: XF records, ANSI text, every cell record, dates, and an XF past 62."""
    b = Biff2(0x8001, "cp1252")
    f = common_formats(b)
    general = b.xf(f["General"])
    date = b.xf(f["m/d/yy"])
    datetime_ = b.xf(f["m/d/yy h:mm"])
    time_ = b.xf(f["h:mm:ss"])
    percent = b.xf(f["0.00%"])
    while len(b.xfs) < 70:  # a cell with XF 69 needs an IXFE record
        b.xf(f["General"])
    late_date = b.xf(f["d-mmm-yy"])
    b.label(0, 0, "Excel 2.1 worksheet", xf=general)
    b.label(0, 1, "Café crème – 5 €", xf=general)
    b.integer(1, 0, 42, xf=general)
    b.integer(1, 1, 65535, xf=general)
    b.number(1, 2, -1234.5678, xf=general)
    b.number(1, 3, 1e20, xf=general)
    b.number(1, 4, 0.125, xf=percent)
    b.boolean(2, 0, True, xf=general)
    b.boolean(2, 1, False, xf=general)
    b.error(2, 2, "#DIV/0!", xf=general)
    b.error(2, 3, "#N/A", xf=general)
    b.blank(2, 4, xf=general)
    b.number(3, 0, 36526, xf=date)
    b.number(3, 1, 36526.75, xf=datetime_)
    b.number(3, 2, 0.5, xf=time_)
    b.number(3, 3, 45000, xf=late_date)
    b.formula(4, 0, result_number(7.5), tok_num(7.5), xf=general)
    b.formula(4, 1, result_special(0), tok_str("tout à fait", "cp1252"), string="tout à fait", xf=general)
    b.formula(4, 2, result_special(1, 1), tok_bool(True), xf=general)
    b.formula(4, 3, result_special(2, ERR["#VALUE!"]), tok_err(ERR["#VALUE!"]), xf=general)
    b.formula(4, 4, result_number(36527), tok_num(36527), xf=date)
    b.integer(9, 7, 7, xf=general)
    b.label(9, 8, "last", xf=general)
    return b.bytes()


def biff2_without_xf():
    """Excel 2.0 style: no XF records, the number format sits in the cell attributes; 1904 dates."""
    b = Biff2(0x8001, "cp1252", with_xf=False)
    f = common_formats(b)
    b.datemode(True)
    b.label(0, 0, "no XF records", fmt=f["General"])
    b.integer(1, 0, 1, fmt=f["General"])
    b.number(1, 1, 2.25, fmt=f["0.00"])
    b.number(2, 0, 0, fmt=f["m/d/yy"])
    b.number(2, 1, 35000.25, fmt=f["m/d/yy h:mm"])
    b.number(2, 2, 0.75, fmt=f["h:mm"])
    b.formula(3, 0, result_number(1462), tok_num(1462), fmt=f["d-mmm-yy"])
    return b.bytes()


def biff3_cells():
    """Excel 3.0: Cyrillic text (CODEPAGE 1251), RK numbers, formulas, 1904 dates."""
    b = Biff34(3, 1251, "cp1251")
    f = common_formats(b)
    ymd = b.format("yyyy-mm-dd")
    general = b.xf(f["General"])
    date = b.xf(ymd)
    time_ = b.xf(f["h:mm"])
    text = b.xf(f["@"])
    b.datemode(True)
    b.label(0, 0, "Отчёт за квартал", general)
    b.label(0, 1, "Итого", text)
    b.rk(1, 0, rk_int(123456), general)
    b.rk(1, 1, rk_int(-17), general)
    b.rk(1, 2, rk_int_hundredths(1999), general)
    b.rk(1, 3, rk_float(0.5), general)
    b.number(1, 4, 3.141592653589793, general)
    b.boolean(2, 0, True, general)
    b.error(2, 1, "#REF!", general)
    b.error(2, 2, "#NUM!", general)
    b.blank(2, 3, general)
    b.number(3, 0, 0, date)
    b.rk(3, 1, rk_int(35000), date)
    b.number(3, 2, 0.25, time_)
    b.formula(4, 0, result_number(-2.5), tok_num(-2.5), xf=general)
    b.formula(4, 1, result_special(0), tok_str("Привет", "cp1251"), string="Привет", xf=general)
    b.formula(4, 2, result_special(1, 0), tok_bool(False), xf=general)
    b.formula(4, 3, result_special(2, ERR["#NAME?"]), tok_err(ERR["#NAME?"]), xf=general)
    b.formula(4, 4, result_number(36000), tok_num(36000), xf=date)
    return b.bytes()


def biff4_cells():
    """Excel 4.0: Chinese text (CODEPAGE 936), a Chinese date format, all cell kinds."""
    b = Biff34(4, 936, "gbk")
    f = common_formats(b)
    cn_date = b.format('yyyy"年"m"月"d"日"')
    general = b.xf(f["General"])
    date = b.xf(f["d-mmm-yy"])
    cn = b.xf(cn_date)
    money = b.xf(f["#,##0.00"])
    unlocked = b.xf(f["General"], locked=False)
    b.label(0, 0, "资产负债表", general)
    b.label(0, 1, "单位：元", general)
    b.rk(1, 0, rk_int(100), general)
    b.rk(1, 1, rk_int_hundredths(12345), money)
    b.number(1, 2, 98765.4321, money)
    b.rk(1, 3, rk_int(-5), unlocked)
    b.boolean(2, 0, False, general)
    b.error(2, 1, "#NULL!", general)
    b.blank(2, 2, unlocked)
    b.number(3, 0, 38000, date)
    b.rk(3, 1, rk_int(40000), cn)
    b.formula(4, 0, result_number(200), tok_num(200), xf=money)
    # ASCII: xlrd counts a STRING record's length in characters, Excel in bytes.
    b.formula(4, 1, result_special(0), tok_str("subtotal", "gbk"), string="subtotal", xf=general)
    b.formula(4, 2, result_special(1, 1), tok_bool(True), xf=general)
    b.formula(4, 3, result_special(2, ERR["#DIV/0!"]), tok_err(ERR["#DIV/0!"]), xf=general)
    b.formula(4, 4, result_number(39000.5), tok_num(39000.5), xf=cn)
    b.label(6, 0, "", general)
    b.label(7, 2, "end", general)
    return b.bytes()


def biff4w_workbook():
    """Excel 4.0 workbook: globals, then two worksheets, each behind a SHEETHDR record."""
    sheets = []
    first = Biff34(4, 1252, "cp1252")
    f = common_formats(first)
    general = first.xf(f["General"])
    date = first.xf(f["m/d/yy"])
    first.label(0, 0, "Region", general)
    first.label(0, 1, "Total", general)
    first.label(1, 0, "North", general)
    first.rk(1, 1, rk_int(120), general)
    first.label(2, 0, "South", general)
    first.number(2, 1, 80.5, general)
    first.number(3, 1, 36800, date)
    sheets.append(("Summary", first.bytes()))
    second = Biff34(4, 1252, "cp1252")
    f = common_formats(second)
    general = second.xf(f["General"])
    second.label(0, 0, "Detail", general)
    second.formula(1, 0, result_number(200.5), tok_num(200.5), xf=general)
    second.boolean(1, 1, True, general)
    sheets.append(("Detail sheet", second.bytes()))

    head = [record(0x0409, struct.pack("<HHH", 0, 0x0100, 0x10D3)), record(0x0042, struct.pack("<H", 1252))]
    names = b"".join(record(0x0085, byte_string(name, "cp1252")) for name, _ in sheets)
    # SHEETSOFFSET: where the first SHEETHDR record starts.
    sheets_offset = sum(len(r) for r in head) + 8 + len(names)
    head.append(record(0x008E, struct.pack("<I", sheets_offset)))
    body = []
    for name, stream in sheets:
        body.append(record(0x008F, struct.pack("<I", len(stream)) + byte_string(name, "cp1252")))
        body.append(stream)
    return b"".join(head) + names + b"".join(body) + record(0x000A)


FILES = {
    "biff2_cells.xls": biff2_cells,
    "biff2_without_xf_1904.xls": biff2_without_xf,
    "biff3_cyrillic_1904.xls": biff3_cells,
    "biff4_chinese_cp936.xls": biff4_cells,
    "biff4w_two_sheets.xls": biff4w_workbook,
}


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    for name, make in FILES.items():
        (OUT / name).write_bytes(make())
        print(OUT / name)


if __name__ == "__main__":
    main()
