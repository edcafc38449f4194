#!/usr/bin/env bash
# Make tests/data/fixtures/job_windows/money_formats.xls with LibreOffice Calc: amounts in
# money, percentage, date and red-negative formats, for the viewer's tests.
#
#   tools/make_money_fixture.sh
#
# Needs libreoffice-calc (soffice).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/money_formats.fods" <<'FODS'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:automatic-styles>
 <number:number-style style:name="N_money"><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
 <number:number-style style:name="N_neg_red_p"><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/></number:number-style>
 <number:number-style style:name="N_neg_red"><style:text-properties fo:color="#ff0000"/><number:text>-</number:text><number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/><style:map style:condition="value()&gt;=0" style:apply-style-name="N_neg_red_p"/></number:number-style>
 <number:percentage-style style:name="N_pct"><number:number number:decimal-places="2" number:min-integer-digits="1"/><number:text>%</number:text></number:percentage-style>
 <number:date-style style:name="N_zh" number:language="zh" number:country="CN"><number:year number:style="long"/><number:text>年</number:text><number:month/><number:text>月</number:text><number:day/><number:text>日</number:text></number:date-style>
 <style:style style:name="money" style:family="table-cell" style:data-style-name="N_money"/>
 <style:style style:name="red" style:family="table-cell" style:data-style-name="N_neg_red"/>
 <style:style style:name="pct" style:family="table-cell" style:data-style-name="N_pct"/>
 <style:style style:name="zh" style:family="table-cell" style:data-style-name="N_zh"/>
</office:automatic-styles>
<office:body><office:spreadsheet><table:table table:name="表1">
 <table:table-row><table:table-cell office:value-type="string"><text:p>单位</text:p></table:table-cell><table:table-cell office:value-type="string"><text:p>金额</text:p></table:table-cell></table:table-row>
 <table:table-row><table:table-cell office:value-type="string"><text:p>东城区</text:p></table:table-cell><table:table-cell table:style-name="money" office:value-type="float" office:value="1016452.35"/></table:table-row>
 <table:table-row><table:table-cell office:value-type="string"><text:p>占比</text:p></table:table-cell><table:table-cell table:style-name="pct" office:value-type="percentage" office:value="0.1234"/></table:table-row>
 <table:table-row><table:table-cell office:value-type="string"><text:p>日期</text:p></table:table-cell><table:table-cell table:style-name="zh" office:value-type="date" office:date-value="2024-01-01"/></table:table-row>
 <table:table-row><table:table-cell office:value-type="string"><text:p>亏损</text:p></table:table-cell><table:table-cell table:style-name="red" office:value-type="float" office:value="-1234.5"/></table:table-row>
 <table:table-row><table:table-cell office:value-type="string"><text:p>合计</text:p></table:table-cell><table:table-cell table:style-name="money" office:value-type="float" office:value="123456789012.5"/></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
FODS
soffice "-env:UserInstallation=file://$work/lo-profile" --headless --convert-to 'xls:MS Excel 97' --outdir "$work" "$work/money_formats.fods" >/dev/null
cp "$work/money_formats.xls" "$repo/tests/data/fixtures/job_windows/money_formats.xls"
ls -l "$repo/tests/data/fixtures/job_windows/money_formats.xls"
