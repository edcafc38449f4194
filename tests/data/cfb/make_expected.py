#!/usr/bin/python3
"""Writes expected_streams.tsv: every storage and stream of the shared .xls fixtures as an
independent reader (olefile, Debian package python3-olefile) sees them.

Run with Debian's python: /usr/bin/python3 tests/data/cfb/make_expected.py [fixture dir]
Columns: file, kind (storage/stream/notcfb), path, size, CRC-32 of the stream bytes.
Path components are joined by '/'; characters below U+0020 are written as \\xNN.
"""
import os
import sys
import zlib

import olefile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_FIXTURES = os.path.join(HERE, "..", "..", "..", "..", "shared", "fixtures", "xls")


def escape(name):
    return "".join("\\x%02X" % ord(c) if ord(c) < 0x20 else c for c in name)


def rows_for(path):
    name = os.path.basename(path)
    if not olefile.isOleFile(path):
        return [(name, "notcfb", "", "", "")]
    rows = []
    with olefile.OleFileIO(path) as ole:
        for parts in ole.listdir(streams=True, storages=True):
            entry = "/" + "/".join(escape(p) for p in parts)
            if ole.get_type(parts) == olefile.STGTY_STORAGE:
                rows.append((name, "storage", entry, "", ""))
            else:
                data = ole.openstream(parts).read()
                assert len(data) == ole.get_size(parts)
                rows.append((name, "stream", entry, str(len(data)), "%08x" % (zlib.crc32(data) & 0xFFFFFFFF)))
    return rows


def main():
    fixtures = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else DEFAULT_FIXTURES)
    rows = []
    for f in sorted(os.listdir(fixtures)):
        if f.endswith(".xls"):
            rows.extend(rows_for(os.path.join(fixtures, f)))
    with open(os.path.join(HERE, "expected_streams.tsv"), "w", encoding="utf-8", newline="\n") as out:
        out.write("# made by make_expected.py with olefile %s\n" % olefile.__version__)
        for row in sorted(rows):
            out.write("\t".join(row) + "\n")


if __name__ == "__main__":
    main()
