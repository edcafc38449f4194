#!/bin/sh
# Makes pool/: four unit reports of one layout (worksheets 基本情况 and 收支明细), each a .xls
# written by LibreOffice (headless) from a flat OpenDocument file made here. Copy them into the
# working directory (~/kx/ or SHUBUXING_HOME) or take them in with 添加文件, then add them up.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d /tmp/sbx_pool.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p pool

cell_s() { printf '<table:table-cell office:value-type="string"><text:p>%s</text:p></table:table-cell>' "$1"; }
cell_n() { printf '<table:table-cell office:value-type="float" office:value="%s"/>' "$1"; }
cell_f() { printf '<table:table-cell table:formula="of:=SUM([.%s:.%s])" office:value-type="float" office:value="0"/>' "$1" "$2"; }

# unit_report NAME SEED: the same layout for every unit, numbers that differ by SEED.
unit_report() {
    name=$1 seed=$2
    {
        cat <<'HEAD'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
  xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
  xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
  xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
  office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
 <office:body>
  <office:spreadsheet>
   <table:table table:name="基本情况">
HEAD
        echo "<table:table-row>$(cell_s "填报单位")$(cell_s "$name")</table:table-row>"
        echo "<table:table-row>$(cell_s "项目")$(cell_s "人数")$(cell_s "户数")$(cell_s "面积")</table:table-row>"
        row=3
        for item in 城镇 农村 其他; do
            echo "<table:table-row>$(cell_s "$item")$(cell_n $((seed * 10 + row)))$(cell_n $((seed + row * 3)))$(cell_n "$((seed * 7 + row)).5")</table:table-row>"
            row=$((row + 1))
        done
        echo "<table:table-row>$(cell_s "合计")$(cell_f B3 B5)$(cell_f C3 C5)$(cell_f D3 D5)</table:table-row>"
        cat <<'MID'
   </table:table>
   <table:table table:name="收支明细">
MID
        echo "<table:table-row>$(cell_s "科目")$(cell_s "一季度")$(cell_s "二季度")$(cell_s "三季度")$(cell_s "四季度")</table:table-row>"
        row=2
        for item in 营业收入 营业成本 管理费用 财务费用 利润; do
            echo "<table:table-row>$(cell_s "$item")$(cell_n $((seed * 100 + row)))$(cell_n $((seed * 90 + row * 2)))$(cell_n $((seed * 80 + row * 3)))$(cell_n "$((seed * 70 + row)).25")</table:table-row>"
            row=$((row + 1))
        done
        cat <<'TAIL'
   </table:table>
  </office:spreadsheet>
 </office:body>
</office:document>
TAIL
    } > "$work/$name.fods"
}

unit_report 东城区 1
unit_report 西城区 2
unit_report 南城区 3
unit_report 北城区 4

soffice -env:UserInstallation="file://$work/profile" --headless --convert-to xls:"MS Excel 97" \
    --outdir pool "$work"/*.fods >/dev/null
ls pool
