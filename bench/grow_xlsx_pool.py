#!/usr/bin/python3
# Makes a larger .xlsx pool from one made by make_xlsx_pool.sh without LibreOffice: report
# number k is a copy of report ((k - 1) mod N) + 1 of the pool with one number of its first
# worksheet (B5) raised by k, so that no two reports have the same bytes or the same values
# (the check would flag them as duplicates). Everything else is as LibreOffice saved it.
#   grow_xlsx_pool.py POOLDIR OUTDIR COUNT
import os
import re
import sys
import zipfile


def main(argv):
    if len(argv) != 4 or not argv[3].isdigit():
        sys.exit("usage: grow_xlsx_pool.py POOLDIR OUTDIR COUNT")
    pool, out, count = argv[1], argv[2], int(argv[3])
    originals = sorted(f for f in os.listdir(pool) if re.fullmatch(r"report_\d{4}\.xlsx", f))
    if not originals:
        sys.exit(f"grow_xlsx_pool.py: no report_NNNN.xlsx in {pool}")
    os.makedirs(out, exist_ok=True)
    cell = re.compile(rb'(<c r="B5"[^>]*><v>)([^<]+)(</v>)')
    for k in range(1, count + 1):
        target = os.path.join(out, f"report_{k:05d}.xlsx")
        if os.path.exists(target):
            continue
        source = os.path.join(pool, originals[(k - 1) % len(originals)])
        with zipfile.ZipFile(source) as zin, zipfile.ZipFile(target + ".part", "w", zipfile.ZIP_DEFLATED) as zout:
            for info in zin.infolist():
                data = zin.read(info)
                if info.filename == "xl/worksheets/sheet1.xml" and k > len(originals):
                    data, n = cell.subn(lambda m: m[1] + repr(float(m[2]) + k).encode() + m[3], data, count=1)
                    if n != 1:
                        sys.exit(f"grow_xlsx_pool.py: {source} has no number at B5 of its first worksheet")
                zout.writestr(info, data)
        os.replace(target + ".part", target)
    print(f"{count} reports in {out}")


if __name__ == "__main__":
    main(sys.argv)
