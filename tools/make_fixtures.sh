#!/usr/bin/env bash
# Make our own small .xls fixtures with real applications, check them with
# xlrd and LibreOffice, and write their golden dumps.
#
#   tools/make_fixtures.sh
#
# Needs Debian's python3-xlrd, libreoffice-calc (soffice), gnumeric (ssconvert)
# and glibc's localedef.  Writes tests/data/fixtures/*.xls and, through
# tools/make_golden.py, all of tests/data/golden/.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
py=/usr/bin/python3
out="$repo/tests/data/fixtures"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A private LibreOffice profile, so a running soffice or a stale lock cannot interfere.
lo=(soffice "-env:UserInstallation=file://$work/lo-profile" --headless)

mkdir -p "$out"
"$py" "$repo/tools/write_fixture_sources.py" "$work/src"

# 1. every cell kind, by LibreOffice Calc (BIFF8)
"${lo[@]}" --convert-to 'xls:MS Excel 97' --outdir "$work" "$work/src/all_cell_kinds.fods" >/dev/null
# 4. shared strings over CONTINUE records, by LibreOffice Calc (BIFF8)
"${lo[@]}" --convert-to 'xls:MS Excel 97' --outdir "$work" "$work/src/sst_continue.fods" >/dev/null

# 2. 1904 date system, error and boolean constants, by Gnumeric (BIFF8)
ssconvert -T Gnumeric_Excel:excel_biff8 "$work/src/dates_1904.gnumeric" "$work/dates_1904.xls" 2>/dev/null

# 3. BIFF5 with GBK text.  Gnumeric's BIFF5 writer takes the code page from the
# locale's charset, so run it under a zh_CN.GBK locale built in the work folder
# (LibreOffice 7 no longer writes BIFF5).
mkdir -p "$work/locale"
localedef -i zh_CN -f GBK "$work/locale/zh_CN.GBK" 2>/dev/null || test -d "$work/locale/zh_CN.GBK"
LOCPATH="$work/locale" LANG=zh_CN.GBK LC_ALL=zh_CN.GBK \
  ssconvert -T Gnumeric_Excel:excel_biff7 "$work/src/biff5_chinese_cp936.gnumeric" \
  "$work/biff5_chinese_cp936.xls" 2>/dev/null

# 4b. string pieces that change between 8-bit and 16-bit at a CONTINUE boundary:
# no application writes that, so xlwt with our own string packer (see the script)
"$py" "$repo/tools/write_sst_width_change.py" "$work/sst_continue_width_change.xls"

for name in all_cell_kinds dates_1904 biff5_chinese_cp936 sst_continue sst_continue_width_change; do
  cp "$work/$name.xls" "$out/$name.xls"
done

# The properties each file is there for.
PYTHONDONTWRITEBYTECODE=1 "$py" - "$out" "$repo/tools" <<'EOF'
import sys, xlrd
out = sys.argv[1]
def book(name):
    return xlrd.open_workbook("%s/%s.xls" % (out, name))
sys.path.insert(0, sys.argv[2]); import make_golden
b = make_golden.open_book(__import__("pathlib").Path(out) / "biff5_chinese_cp936.xls")
assert b.biff_version < 80 and b.codepage == 936, (b.biff_version, b.codepage)
assert b.sheet_names() == ["资产负债表", "说明"], b.sheet_names()
b = book("dates_1904")
assert b.datemode == 1
b = book("all_cell_kinds")
assert b.nsheets == 3 and b.sheet_by_name("Hidden").visibility == 1
EOF
# Strings cut at record boundaries, and (second file) cuts that change width.
for name in sst_continue sst_continue_width_change; do
  report=$("$py" "$repo/tools/sst_split_report.py" "$out/$name.xls")
  echo "$name: $report"
  case "$name:$report" in
    sst_continue:*split_strings=0*) echo "$name: no string is cut" >&2; exit 1 ;;
    sst_continue_width_change:*split_with_width_change=0) echo "$name: no width change" >&2; exit 1 ;;
  esac
done
ls -l "$out"

# Every fixture as LibreOffice sees it, next to xlrd's view (differences are printed).
"$py" "$repo/tools/compare_with_libreoffice.py" "$out"/*.xls || true

"$py" "$repo/tools/make_golden.py"
