#!/usr/bin/python3
"""Write the documents that real applications turn into our own .xls fixtures.

    /usr/bin/python3 tools/write_fixture_sources.py OUTDIR

writes OUTDIR/all_cell_kinds.fods and OUTDIR/sst_continue.fods (LibreOffice, flat ODF
spreadsheet), OUTDIR/dates_1904.gnumeric (Gnumeric XML; Gnumeric can hold error
constants and the 1904 date system) and OUTDIR/biff5_chinese_cp936.gnumeric.  tools/make_fixtures.sh
converts them; the contents are chosen so the dumps exercise every cell kind.
"""

import sys
from pathlib import Path
from xml.sax.saxutils import escape

FODS_HEAD = """<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0"
 xmlns:number="urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:of="urn:oasis:names:tc:opendocument:xmlns:of:1.2"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
"""

NUMBER_STYLES = """
 <number:date-style style:name="N_iso">
  <number:year number:style="long"/><number:text>-</number:text>
  <number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/>
 </number:date-style>
 <number:date-style style:name="N_dmy">
  <number:day number:style="long"/><number:text>.</number:text>
  <number:month number:style="long"/><number:text>.</number:text><number:year number:style="long"/>
 </number:date-style>
 <number:date-style style:name="N_mdy">
  <number:month/><number:text>/</number:text><number:day/><number:text>/</number:text><number:year/>
 </number:date-style>
 <number:date-style style:name="N_mon">
  <number:month number:textual="true"/><number:text> </number:text><number:day/>
  <number:text>, </number:text><number:year number:style="long"/>
 </number:date-style>
 <number:date-style style:name="N_zh" number:language="zh" number:country="CN">
  <number:year number:style="long"/><number:text>年</number:text><number:month/>
  <number:text>月</number:text><number:day/><number:text>日</number:text>
 </number:date-style>
 <number:date-style style:name="N_datetime">
  <number:year number:style="long"/><number:text>-</number:text>
  <number:month number:style="long"/><number:text>-</number:text><number:day number:style="long"/>
  <number:text> </number:text><number:hours number:style="long"/><number:text>:</number:text>
  <number:minutes number:style="long"/><number:text>:</number:text><number:seconds number:style="long"/>
 </number:date-style>
 <number:time-style style:name="N_time">
  <number:hours number:style="long"/><number:text>:</number:text>
  <number:minutes number:style="long"/><number:text>:</number:text><number:seconds number:style="long"/>
 </number:time-style>
 <number:time-style style:name="N_elapsed" number:truncate-on-overflow="false">
  <number:hours/><number:text>:</number:text><number:minutes number:style="long"/>
 </number:time-style>
 <number:boolean-style style:name="N_bool"><number:boolean/></number:boolean-style>
 <number:percentage-style style:name="N_pct">
  <number:number number:decimal-places="1" number:min-integer-digits="1"/><number:text>%</number:text>
 </number:percentage-style>
 <number:number-style style:name="N_2dp">
  <number:number number:decimal-places="2" number:min-integer-digits="1" number:grouping="true"/>
 </number:number-style>
"""

CELL_STYLES = """
 <style:style style:name="ce_iso" style:family="table-cell" style:data-style-name="N_iso"/>
 <style:style style:name="ce_dmy" style:family="table-cell" style:data-style-name="N_dmy"/>
 <style:style style:name="ce_mdy" style:family="table-cell" style:data-style-name="N_mdy"/>
 <style:style style:name="ce_mon" style:family="table-cell" style:data-style-name="N_mon"/>
 <style:style style:name="ce_zh" style:family="table-cell" style:data-style-name="N_zh"/>
 <style:style style:name="ce_datetime" style:family="table-cell" style:data-style-name="N_datetime"/>
 <style:style style:name="ce_time" style:family="table-cell" style:data-style-name="N_time"/>
 <style:style style:name="ce_elapsed" style:family="table-cell" style:data-style-name="N_elapsed"/>
 <style:style style:name="ce_bool" style:family="table-cell" style:data-style-name="N_bool"/>
 <style:style style:name="ce_pct" style:family="table-cell" style:data-style-name="N_pct"/>
 <style:style style:name="ce_2dp" style:family="table-cell" style:data-style-name="N_2dp"/>
 <style:style style:name="ce_fill" style:family="table-cell">
  <style:table-cell-properties fo:background-color="#ffff00"/>
 </style:style>
 <style:style style:name="ta_shown" style:family="table"><style:table-properties table:display="true"/></style:style>
 <style:style style:name="ta_hidden" style:family="table"><style:table-properties table:display="false"/></style:style>
"""


def p(text):
    """Cell paragraphs: LibreOffice joins paragraphs with LF.  (It drops <text:tab/>
    in cells, so tabs come from formulas.)"""
    return "".join("<text:p>%s</text:p>" % escape(line) for line in text.split("\n"))


def num(value, style=None):
    st = ' table:style-name="%s"' % style if style else ""
    return '<table:table-cell%s office:value-type="float" office:value="%s">%s</table:table-cell>' % (
        st, value, p(str(value)))


def txt(text, style=None):
    st = ' table:style-name="%s"' % style if style else ""
    return '<table:table-cell%s office:value-type="string">%s</table:table-cell>' % (st, p(text))


def date(iso, style):
    return ('<table:table-cell table:style-name="%s" office:value-type="date" office:date-value="%s">'
            '<text:p>%s</text:p></table:table-cell>' % (style, iso, iso))


def time(duration, style):
    return ('<table:table-cell table:style-name="%s" office:value-type="time" office:time-value="%s">'
            '<text:p>%s</text:p></table:table-cell>' % (style, duration, duration))


def boolean(value):
    return ('<table:table-cell table:style-name="ce_bool" office:value-type="boolean" '
            'office:boolean-value="%s"><text:p>%s</text:p></table:table-cell>' % (
                "true" if value else "false", "TRUE" if value else "FALSE"))


def formula(expr, style=None):
    # No cached result: LibreOffice calculates it on load and stores its own result.
    st = ' table:style-name="%s"' % style if style else ""
    return '<table:table-cell%s table:formula="of:=%s"/>' % (st, escape(expr, {'"': "&quot;"}))


def blank(style="ce_fill"):
    return '<table:table-cell table:style-name="%s"/>' % style


def empty(count=1):
    return '<table:table-cell table:number-columns-repeated="%d"/>' % count if count > 1 else "<table:table-cell/>"


def row(*cells):
    return "<table:table-row>%s</table:table-row>" % "".join(cells)


def table(name, rows, hidden=False):
    return '<table:table table:name="%s" table:style-name="%s">%s</table:table>' % (
        escape(name), "ta_hidden" if hidden else "ta_shown", "".join(rows))


def fods(tables, null_date=None):
    settings = ""
    if null_date:
        settings = ('<table:calculation-settings><table:null-date table:date-value="%s"/>'
                    '</table:calculation-settings>' % null_date)
    return (FODS_HEAD + "<office:automatic-styles>" + NUMBER_STYLES + CELL_STYLES + "</office:automatic-styles>"
            + "<office:body><office:spreadsheet>" + settings + "".join(tables)
            + "</office:spreadsheet></office:body></office:document>\n")


def all_cell_kinds():
    kinds = [
        row(txt("kind"), txt("value"), txt("note")),
        # numbers: small integers and halves fit an RK record, the others need NUMBER
        row(txt("integer"), num(42)),
        row(txt("zero"), num(0)),
        row(txt("negative integer"), num(-7)),
        row(txt("large integer"), num(123456789)),
        row(txt("integer beyond RK"), num(1234567890123)),
        row(txt("half"), num(0.5)),
        row(txt("tenth"), num(0.1)),
        row(txt("pi"), num(3.14159265358979)),
        row(txt("negative fraction"), num(-2.5)),
        row(txt("huge"), num("1e20")),
        row(txt("tiny"), num("1e-7")),
        row(txt("1e15"), num("1e15")),
        row(txt("just below 1e15"), num("999999999999999")),
        row(txt("two decimals"), num(123456.789, "ce_2dp")),
        row(txt("percent"), num(0.125, "ce_pct")),
        row(txt("negative zero"), num("-0")),
        # text
        row(txt("ascii"), txt("hello")),
        row(txt("chinese"), txt("数簿星 汇总表")),
        row(txt("mixed"), txt("合计 total 123")),
        row(txt("tab (formula)"), formula('"a"&CHAR(9)&"b"')),
        row(txt("crlf (formula)"), formula('"a"&CHAR(13)&CHAR(10)&"b"')),
        row(txt("newline"), txt("line1\nline2")),
        row(txt("backslash"), txt("C:\\temp\\new")),
        row(txt("spaces"), txt("  padded  ")),
        row(txt("digits as text"), txt("00123")),
        # booleans
        row(txt("true"), boolean(True)),
        row(txt("false"), boolean(False)),
        # errors as formula results
        row(txt("div0"), formula("1/0")),
        row(txt("na"), formula("NA()")),
        row(txt("value"), formula('"a"+1')),
        row(txt("ref"), formula("#REF!+1")),
        row(txt("name"), formula("NOSUCHNAME_XYZ")),
        row(txt("num"), formula("EXP(1000)")),
        row(txt("null"), formula("#NULL!")),
        # dates, times, date-times
        row(txt("date iso"), date("2024-02-29", "ce_iso")),
        row(txt("date d.m.y"), date("1999-12-31", "ce_dmy")),
        row(txt("date m/d/y"), date("2000-01-01", "ce_mdy")),
        row(txt("date mon d, y"), date("2010-07-04", "ce_mon")),
        row(txt("date chinese"), date("2023-10-01", "ce_zh")),
        row(txt("date-time"), date("2024-02-29T13:45:30", "ce_datetime")),
        row(txt("time"), time("PT18H00M00S", "ce_time")),
        row(txt("elapsed"), time("PT36H30M00S", "ce_elapsed")),
        row(txt("date 1900-03-01"), date("1900-03-01", "ce_iso")),
        row(txt("date 1900-01-10"), date("1900-01-10", "ce_iso")),
        row(txt("rounds to midnight"), num("45000.999999", "ce_datetime")),
        row(txt("serial 1.5"), num("1.5", "ce_datetime")),
        # around Excel's phantom 1900-02-29 (serial 60) and serial 0
        row(txt("serial 0"), num("0", "ce_iso")),
        row(txt("serial 59"), num("59", "ce_iso")),
        row(txt("serial 60"), num("60", "ce_iso")),
        row(txt("serial 61"), num("61", "ce_iso")),
        row(txt("negative serial"), num("-1.25", "ce_datetime")),
        # formulas with every result kind
        row(txt("formula number"), formula("[.B2]*2")),
        row(txt("formula fraction"), formula("0.1+0.2")),
        row(txt("formula string"), formula('"abc"&"数"')),
        row(txt("formula true"), formula("1<2")),
        row(txt("formula false"), formula("1>2")),
        row(txt("formula empty string"), formula('""')),
        row(txt("formula if empty"), formula('IF([.B2]>0;"";"x")')),
        row(txt("formula date"), formula("DATE(2020;1;31)", "ce_iso")),
        row(txt("formula other sheet"), formula("[$Second.B2]+1")),
        # formatted blanks: only a style, no value
        row(txt("formatted blank"), blank(), blank()),
        row(blank(), blank(), blank()),
        # far formatted blank: must not widen the used range
        row(empty(7), blank()),
    ]
    second = [
        row(txt("第二页"), txt("数量")),
        row(txt("a"), num(1)),
        row(txt("b"), num(2.25)),
        row(empty(3), num(7)),
    ]
    hidden = [row(txt("hidden sheet"), num(99))]
    return fods([table("Kinds", kinds), table("Second", second), table("Hidden", hidden, hidden=True)])


def sst_continue():
    """Enough shared strings for CONTINUE records.  Long strings that begin with ASCII
    and go on in Chinese are placed so that record boundaries fall inside them."""
    rows = []
    for i in range(1, 121):
        ascii_head = "row %03d " % i + "x" * (i % 37)
        chinese = "数簿星汇总表第%d行" % i + "合计金额" * (10 + i % 7)
        rows.append(row(num(i), txt(ascii_head), txt(ascii_head + chinese), txt("ascii only %d " % i + "y" * 60)))
    return fods([table("Strings", rows)])


def gnumeric_cell(col, row_, value_type, text, fmt=None):
    vf = ' ValueFormat="%s"' % escape(fmt, {'"': "&quot;"}) if fmt else ""
    return '<gnm:Cell Row="%d" Col="%d" ValueType="%d"%s>%s</gnm:Cell>' % (row_, col, value_type, vf, escape(text))


def dates_1904():
    """Gnumeric XML: 1904 date system, error and boolean constants, formulas."""
    v_bool, v_float, v_error, v_string = 20, 40, 50, 60
    cells = []
    entries = [
        ("serial 0", v_float, "0", "yyyy-mm-dd"),
        ("serial 1", v_float, "1", "yyyy-mm-dd"),
        ("serial 59", v_float, "59", "yyyy-mm-dd"),
        ("serial 60", v_float, "60", "yyyy-mm-dd"),
        ("serial 61", v_float, "61", "yyyy-mm-dd"),
        ("2024-02-29", v_float, "43889", "yyyy-mm-dd"),
        ("date-time", v_float, "43889.75", "yyyy-mm-dd hh:mm:ss"),
        ("time", v_float, "0.5", "hh:mm"),
        ("plain number", v_float, "43889", None),
        ("true", v_bool, "TRUE", None),
        ("false", v_bool, "FALSE", None),
        ("#NULL!", v_error, "#NULL!", None),
        ("#DIV/0!", v_error, "#DIV/0!", None),
        ("#VALUE!", v_error, "#VALUE!", None),
        ("#REF!", v_error, "#REF!", None),
        ("#NAME?", v_error, "#NAME?", None),
        ("#NUM!", v_error, "#NUM!", None),
        ("#N/A", v_error, "#N/A", None),
        ("text", v_string, "1904 日期系统", None),
    ]
    for r, (label, vtype, value, fmt) in enumerate(entries):
        cells.append(gnumeric_cell(0, r, v_string, label))
        cells.append(gnumeric_cell(1, r, vtype, value, fmt))
    r = len(entries)
    formulas = [("formula date", "=DATE(2000,1,1)", "yyyy-mm-dd"), ("formula number", "=B2*10", None),
                ("formula bool", "=B1<B2", None), ("formula error", "=1/0", None),
                ("formula string", '="x"&"y"', None)]
    for i, (label, expr, fmt) in enumerate(formulas):
        cells.append(gnumeric_cell(0, r + i, v_string, label))
        vf = ' ValueFormat="%s"' % fmt if fmt else ""
        cells.append('<gnm:Cell Row="%d" Col="1"%s>%s</gnm:Cell>' % (r + i, vf, escape(expr)))
    # A formula cell takes its number format from a style region, not from ValueFormat.
    styles = "".join(
        '<gnm:StyleRegion startCol="1" startRow="%d" endCol="1" endRow="%d"><gnm:Style Format="%s"/>'
        '</gnm:StyleRegion>' % (r + i, r + i, fmt) for i, (_, _, fmt) in enumerate(formulas) if fmt)
    return gnumeric_workbook([("Dates1904", gnumeric_sheet("Dates1904", cells, styles))], "Apple:1904")


def gnumeric_sheet(name, cells, styles=""):
    return GNUMERIC_SHEET % {"name": escape(name), "cells": "\n".join(cells), "styles": styles}


def gnumeric_workbook(sheets, date_convention=""):
    attr = ' DateConvention="%s"' % date_convention if date_convention else ""
    names = "".join("<gnm:SheetName>%s</gnm:SheetName>" % escape(n) for n, _ in sheets)
    return GNUMERIC_WORKBOOK % {"attr": attr, "names": names, "sheets": "".join(s for _, s in sheets)}


GNUMERIC_WORKBOOK = """<?xml version="1.0" encoding="UTF-8"?>
<gnm:Workbook xmlns:gnm="http://www.gnumeric.org/v10.dtd">
  <gnm:Calculation ManualRecalc="0" EnableIteration="1" MaxIterations="100" IterationTolerance="0.001" FloatRadix="2" FloatDigits="53"%(attr)s/>
  <gnm:SheetNameIndex>%(names)s</gnm:SheetNameIndex>
  <gnm:Sheets>%(sheets)s</gnm:Sheets>
</gnm:Workbook>
"""

GNUMERIC_SHEET = """
    <gnm:Sheet>
      <gnm:Name>%(name)s</gnm:Name>
      <gnm:Styles>%(styles)s</gnm:Styles>
      <gnm:Cells>
%(cells)s
      </gnm:Cells>
    </gnm:Sheet>"""


def chinese_biff5():
    """Chinese workbook for Gnumeric's BIFF5 writer, which picks the code page from
    the locale: run under zh_CN.GBK it writes CODEPAGE 936 and GBK bytes."""
    v_float, v_string = 40, 60
    items = [("货币资金", 1500.25), ("应收账款", 320), ("存货", -45.5), ("固定资产", 1000000),
             ("无形资产（商标）", 0.125), ("合计：资产总计", 1001775.875)]
    balance = [gnumeric_cell(0, 0, v_string, "资产负债表"), gnumeric_cell(1, 0, v_string, "单位：元")]
    for r, (label, value) in enumerate(items, 1):
        balance.append(gnumeric_cell(0, r, v_string, label))
        balance.append(gnumeric_cell(1, r, v_float, repr(value)))
    balance.append(gnumeric_cell(0, 8, v_string, "编制日期"))
    balance.append(gnumeric_cell(1, 8, v_float, "45291", "yyyy-mm-dd"))
    notes = [gnumeric_cell(0, 0, v_string, "说明"),
             gnumeric_cell(0, 1, v_string, "本表数据仅供测试。"),
             gnumeric_cell(0, 2, v_string, "GBK 扩展字：镕、堃、喆、赟"),
             gnumeric_cell(0, 3, v_string, "全角符号：＄％＆（）【】《》"),
             gnumeric_cell(1, 3, v_string, "ASCII mixed 中英混排 123")]
    return gnumeric_workbook([("资产负债表", gnumeric_sheet("资产负债表", balance)),
                              ("说明", gnumeric_sheet("说明", notes))])


def main():
    out = Path(sys.argv[1])
    out.mkdir(parents=True, exist_ok=True)
    (out / "all_cell_kinds.fods").write_text(all_cell_kinds(), encoding="utf-8")
    (out / "sst_continue.fods").write_text(sst_continue(), encoding="utf-8")
    (out / "dates_1904.gnumeric").write_text(dates_1904(), encoding="utf-8")
    (out / "biff5_chinese_cp936.gnumeric").write_text(chinese_biff5(), encoding="utf-8")


if __name__ == "__main__":
    main()
