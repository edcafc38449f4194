#!/usr/bin/python3
"""Write sst_continue_width_change.xls with xlwt: strings that begin in ASCII and go
on in Chinese, cut at CONTINUE boundaries where the character width changes.

    /usr/bin/python3 tools/write_sst_width_change.py OUT.xls

BIFF8 lets every piece of a string cut by a CONTINUE record choose its own width
(the piece starts with its own 8-bit/16-bit flag byte), but Excel, LibreOffice and
xlwt all repeat the string's width.  A reader must still honour the flag, so this
script replaces xlwt's shared-string packer with one that stores each piece
8-bit when all its characters fit in Latin-1 and 16-bit otherwise.  Everything
else in the file is xlwt's.
"""

import sys
from struct import pack

import xlwt
from xlwt.BIFFRecords import SharedStringTable

RECORD_DATA_LIMIT = 0x2020  # 8224 bytes of data per SST/CONTINUE record


def _add_to_sst_piecewise(self, s):
    """Like xlwt's packer, but each piece picks its own width."""
    units = s.encode("utf_16_le")
    chars = [units[i:i + 2] for i in range(0, len(units), 2)]  # UTF-16 code units

    def narrow(unit):
        return unit[1] == 0

    def take(free, first):
        """How many units fit in `free` bytes, and whether they go 8-bit."""
        count = 0
        while count < len(chars) - first and count < free and narrow(chars[first + count]):
            count += 1
        if count == len(chars) - first or count == free:
            return count, True
        return min(len(chars) - first, free // 2), False

    if RECORD_DATA_LIMIT - len(self._current_piece) < 3 + 2:
        self._new_piece()
    header_at = len(self._current_piece)
    self._current_piece += pack("<HB", len(chars), 0)
    pos = 0
    first_piece = True
    while True:
        free = RECORD_DATA_LIMIT - len(self._current_piece)
        count, eight_bit = take(free, pos)
        flag = 0 if eight_bit else 1
        if first_piece:
            self._current_piece = (self._current_piece[:header_at + 2] + bytes([flag])
                                   + self._current_piece[header_at + 3:])
        else:
            self._current_piece = self._current_piece[:-1] + bytes([flag])
        piece = chars[pos:pos + count]
        self._current_piece += b"".join(c[:1] for c in piece) if eight_bit else b"".join(piece)
        pos += count
        if pos == len(chars):
            return
        self._new_piece()
        self._current_piece += b"\x00"  # continuation flag, fixed up above
        first_piece = False


def strings():
    """Long ASCII runs next to short Chinese ones, so most record boundaries fall in
    ASCII: after an ASCII start the next piece is 16-bit, after a Chinese start the
    ASCII tail goes on 8-bit."""
    for i in range(1, 121):
        ascii_run = ("row %03d " % i) + "x" * (120 + i * 37 % 160)
        chinese = "数簿星汇总表第%d行合计金额" % i
        yield ascii_run + chinese if i % 2 else chinese + ascii_run


def main():
    SharedStringTable._add_to_sst = _add_to_sst_piecewise
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("WidthChange")
    for r, text in enumerate(strings()):
        sheet.write(r, 0, r + 1)
        sheet.write(r, 1, text)
    book.save(sys.argv[1])


if __name__ == "__main__":
    main()
