#!/usr/bin/python3
"""Report how a BIFF8 file's shared string table is spread over CONTINUE records.

    /usr/bin/python3 tools/sst_split_report.py FILE.xls

Prints the number of strings, CONTINUE records, strings cut at a record boundary,
and how many of those change between 8-bit and 16-bit characters at the cut.
make_fixtures.sh uses it to prove that sst_continue.xls exercises those cases.
"""

import struct
import sys

import xlrd.compdoc

SST, CONTINUE = 0x00FC, 0x003C


def sst_records(stream):
    """The SST record body followed by the bodies of its CONTINUE records."""
    pos, parts = 0, []
    while pos + 4 <= len(stream):
        opcode, length = struct.unpack_from("<HH", stream, pos)
        body = stream[pos + 4:pos + 4 + length]
        if parts and opcode != CONTINUE:
            break
        if opcode == SST or parts:
            parts.append(body)
        pos += 4 + length
    return parts


def analyse(parts):
    total, _unique = struct.unpack_from("<II", parts[0], 0)
    rec, pos = 0, 8
    split = flag_changes = read = 0

    def need(n):
        nonlocal rec, pos
        if pos + n > len(parts[rec]):
            if pos != len(parts[rec]):
                raise ValueError("string header cut at a record boundary")
            rec, pos = rec + 1, 0

    while rec < len(parts) and not (rec == len(parts) - 1 and pos >= len(parts[rec])):
        need(3)
        nchars, flags = struct.unpack_from("<HB", parts[rec], pos)
        pos += 3
        runs = ext = 0
        if flags & 0x08:
            runs = struct.unpack_from("<H", parts[rec], pos)[0]
            pos += 2
        if flags & 0x04:
            ext = struct.unpack_from("<i", parts[rec], pos)[0]
            pos += 4
        wide, left, cut = flags & 1, nchars, False
        while left:
            if pos >= len(parts[rec]):
                rec, pos = rec + 1, 0
                new_wide = parts[rec][0] & 1
                cut = True
                if new_wide != wide:
                    flag_changes += 1
                wide = new_wide
                pos = 1
            take = min(left, (len(parts[rec]) - pos) >> wide)
            pos += take << wide
            left -= take
        split += cut
        skip = runs * 4 + ext
        while skip:
            if pos >= len(parts[rec]):
                rec, pos = rec + 1, 0
            step = min(skip, len(parts[rec]) - pos)
            pos += step
            skip -= step
        read += 1
        if pos >= len(parts[rec]) and rec + 1 < len(parts):
            rec, pos = rec + 1, 0
    return read, len(parts) - 1, split, flag_changes


def main():
    data = open(sys.argv[1], "rb").read()
    stream = xlrd.compdoc.CompDoc(data).get_named_stream("Workbook")
    strings, continues, split, changes = analyse(sst_records(stream))
    print("strings=%d continue_records=%d split_strings=%d split_with_width_change=%d"
          % (strings, continues, split, changes))


if __name__ == "__main__":
    main()
