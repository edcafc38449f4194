// Any bytes as a worksheet part, read as a stream in two pieces: a result or an xls::FormatError,
// nothing else. A part that reads is rewritten with a cell, and the rewritten part reads too.
#include <cstdint>
#include <string_view>

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/sheet_rewriter.h"
#include "spreadsheet/xlsx/worksheet_reader.h"

namespace {

bool readSheet(std::string_view xml, size_t split) {
    const sbx::xlsx::CellStyles styles;
    std::vector<sbx::xlsx::FormulaCell> formulas;
    sbx::xlsx::WorksheetReadOptions options{&styles, false, 4, &formulas};
    try {
        sbx::xlsx::WorksheetReader reader(options, "xl/worksheets/sheet1.xml");
        reader.feed(xml.substr(0, split));
        reader.feed(xml.substr(split));
        reader.finish();
        return true;
    } catch (const sbx::xls::FormatError&) {
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    if (!readSheet(xml, size == 0 ? 0 : data[0] % size)) return 0;
    sbx::xlsx::SheetEdits edits;
    edits[sbx::xlsx::cellKey(2, 3)] = sbx::CellValue::number(42);
    edits[sbx::xlsx::cellKey(70000, 1)] = sbx::CellValue::text("x");
    std::string rewritten;
    try {
        rewritten = sbx::xlsx::rewriteWorksheet(xml, edits, {}, "xl/worksheets/sheet1.xml");
    } catch (const sbx::xls::FormatError&) {
        return 0;  // no sheetData
    }
    if (!readSheet(rewritten, rewritten.size() / 2)) __builtin_trap();
    return 0;
}
