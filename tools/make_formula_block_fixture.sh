#!/usr/bin/env bash
# Makes tests/data/formula_blocks/blocks.xls with LibreOffice Calc from blocks.fods beside it:
# worksheet Sheet1 holds A1:A3 = 1, 2, 3, the array formula {=A1:A3*2} over B1:B3, and a
# one-variable data table (MULTIPLE.OPERATIONS, which Calc writes as a TABLE record) over
# E3:E5 with its inputs in D3:D5, input cell E1 = 5 and F1 = E1*10. Checks that the file
# holds one ARRAY and one TABLE record and prints the cells as xlrd reads them.
#   tools/make_formula_block_fixture.sh   (needs soffice and python3-xlrd)
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
dir="$repo/tests/data/formula_blocks"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
soffice "-env:UserInstallation=file://$work/lo-profile" --headless \
  --convert-to 'xls:MS Excel 97' --outdir "$work" "$dir/blocks.fods" >/dev/null
cp "$work/blocks.xls" "$dir/blocks.xls"
/usr/bin/python3 - "$dir/blocks.xls" <<'PY'
import struct, sys
import xlrd
from xlrd import compdoc
data = open(sys.argv[1], "rb").read()
stream = compdoc.CompDoc(data).get_named_stream("Workbook")
found, pos = {}, 0
while pos + 4 <= len(stream):
    kind, size = struct.unpack_from("<HH", stream, pos)
    if kind in (0x0221, 0x0236):
        found[kind] = struct.unpack_from("<HHBB", stream, pos + 4)
    pos += 4 + size
assert found.get(0x0221) == (0, 2, 1, 1), found  # ARRAY over B1:B3
assert found.get(0x0236) == (2, 4, 4, 4), found  # TABLE over E3:E5
sheet = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
for r in range(sheet.nrows):
    print("\t".join(str(sheet.cell_value(r, c)) for c in range(sheet.ncols)))
PY
