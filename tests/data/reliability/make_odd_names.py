#!/usr/bin/python3
# Writes odd_names.xls (Debian's python3-xlwt): worksheet names with Chinese characters,
# blanks, commas, brackets and "!", numbers in b4:e9 of each, labels around them.
#   /usr/bin/python3 tests/data/reliability/make_odd_names.py tests/data/reliability/odd_names.xls
import sys
import xlwt

SHEETS = ["收入 明细, 甲!乙", "（成本）【费用】 !"]
book = xlwt.Workbook(encoding="utf-8")
for s, name in enumerate(SHEETS):
    sheet = book.add_sheet(name)
    sheet.write(0, 0, name)
    for r in range(3, 9):
        sheet.write(r, 0, "行%d" % (r + 1))
        for c in range(1, 5):
            sheet.write(r, c, (s + 1) * 100 + r * 10 + c + 0.5)
book.save(sys.argv[1])
