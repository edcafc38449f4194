#!/usr/bin/python3
# Makes a larger .xls pool from one made by make_pool.sh without LibreOffice, in minutes where
# LibreOffice takes about an hour for 10,000: report number k is a copy of report
# ((k - 1) mod N) + 1 of the pool with the number at B5 of its first worksheet raised by k (an
# RK value in LibreOffice's files, patched in place, so the file keeps its size and layout), so
# that no two reports have the same bytes or the same values (the check would flag them as
# duplicates). Everything else is as LibreOffice saved it.
#   grow_xls_pool.py POOLDIR OUTDIR COUNT
import os
import re
import shutil
import struct
import sys

# Cell records that can hold B5 (row 4, column 1, counted from 0) as an RK value: RK, and
# MULRK starting at column B; the value's 4 bytes follow the row, column and format.
RK_AT_B5 = [(b"\x7e\x02\x0a\x00\x04\x00\x01\x00", 10), (re.compile(rb"\xbd\x00..\x04\x00\x01\x00", re.S), 10)]


def raised(rk, k):
    """The RK value rk with k added, or None when that is not an RK value any more."""
    if not rk & 2:
        return None  # a float RK: the pool's reports hold their cents as integers
    n = rk >> 2 if rk < 1 << 31 else (rk >> 2) - (1 << 30)
    n += 100 * k if rk & 1 else k
    if not -(1 << 29) <= n < 1 << 29:
        return None
    return ((n & 0x3FFFFFFF) << 2) | (rk & 3)


def main(argv):
    if len(argv) != 4 or not argv[3].isdigit():
        sys.exit("usage: grow_xls_pool.py POOLDIR OUTDIR COUNT")
    pool, out, count = argv[1], argv[2], int(argv[3])
    originals = sorted(f for f in os.listdir(pool) if re.fullmatch(r"report_\d{4}\.xls", f))
    if not originals:
        sys.exit(f"grow_xls_pool.py: no report_NNNN.xls in {pool}")
    os.makedirs(out, exist_ok=True)
    for k in range(1, count + 1):
        target = os.path.join(out, f"report_{k:05d}.xls")
        if os.path.exists(target):
            continue
        source = os.path.join(pool, originals[(k - 1) % len(originals)])
        if k <= len(originals):
            shutil.copyfile(source, target + ".part")
        else:
            data = bytearray(open(source, "rb").read())
            # The first worksheet's records come first in LibreOffice's files.
            found = [m.start() for pattern, _ in RK_AT_B5
                     for m in (re.finditer(re.escape(pattern), data) if isinstance(pattern, bytes) else pattern.finditer(data))]
            new = None
            if found:
                at = min(found) + 10
                new = raised(struct.unpack_from("<I", data, at)[0], k)
            if new is None:
                sys.exit(f"grow_xls_pool.py: {source} has no integer RK value at B5 of its first worksheet")
            struct.pack_into("<I", data, at, new)
            with open(target + ".part", "wb") as f:
                f.write(data)
        os.replace(target + ".part", target)
    print(f"{count} reports in {out}")


if __name__ == "__main__":
    main(sys.argv)
