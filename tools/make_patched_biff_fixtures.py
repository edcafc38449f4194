#!/usr/bin/python3
""".xls fixtures with one record as some writers get it wrong, made by patching the workbook
stream of our LibreOffice fixture all_cell_kinds.xls (no application writes them on demand);
xlrd and LibreOffice read both.

    /usr/bin/python3 tools/make_patched_biff_fixtures.py   (needs python3-xlrd, python3-xlwt)

Writes into tests/data/fixtures/ (then make their goldens: /usr/bin/python3 tools/make_golden.py):
  formula_biff4_record_id.xls  every FORMULA record numbered 0x0406, BIFF4's FORMULA number,
                               with its BIFF8 layout kept
  format_record_short.xls      the first FORMAT record one byte short: its text lacks its last
                               byte (the worksheets' offsets in BOUNDSHEET moved to match)
The stream is stored again in a compound file by xlwt's writer.
"""

import struct
from pathlib import Path

from xlrd import compdoc
from xlwt.CompoundDoc import XlsDoc

FIXTURES = Path(__file__).resolve().parents[1] / "tests" / "data" / "fixtures"
FORMULA, FORMAT, BOUNDSHEET, BOF = 0x0006, 0x041E, 0x0085, 0x0809


def records(stream):
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        yield rtype, pos, stream[pos + 4:pos + 4 + length]
        pos += 4 + length


def renumbered_formulas(stream):
    out = bytearray(stream)
    for rtype, pos, _ in records(stream):
        if rtype == FORMULA:
            struct.pack_into("<H", out, pos, 0x0406)
    return bytes(out)


def short_format(stream):
    out = bytearray()
    cut_at = None
    for rtype, pos, body in records(stream):
        if rtype == FORMAT and cut_at is None:
            cut_at = pos
            body = body[:-1]
        out += struct.pack("<HH", rtype, len(body)) + body
    # Every substream after the cut starts a byte earlier.
    for rtype, pos, body in records(bytes(out)):
        if rtype == BOUNDSHEET:
            offset = struct.unpack_from("<I", body, 0)[0]
            struct.pack_into("<I", out, pos + 4, offset - 1)
    return bytes(out)


def main():
    data = (FIXTURES / "all_cell_kinds.xls").read_bytes()
    stream = compdoc.CompDoc(data).get_named_stream("Workbook")
    for name, patch in (("formula_biff4_record_id.xls", renumbered_formulas), ("format_record_short.xls", short_format)):
        with open(FIXTURES / name, "wb") as f:
            XlsDoc().save(f, patch(stream))


if __name__ == "__main__":
    main()
