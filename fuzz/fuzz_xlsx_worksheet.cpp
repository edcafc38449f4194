// Any bytes as a worksheet part, read as a stream: a result or an xls::FormatError, nothing
// else. Read by expat alone in two pieces and by the sheetData scanner in small pieces, the two
// readings agree: the same cells and formulas, or the same error, unless the scanner declines
// the part. A part that reads is rewritten with a cell, and the rewritten part reads too.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/sheet_data_scanner.h"
#include "spreadsheet/xlsx/sheet_rewriter.h"
#include "spreadsheet/xlsx/worksheet_reader.h"

namespace {

struct Reading {
    bool declined = false;
    std::optional<sbx::xlsx::SheetContent> content;  // empty: an error
    std::vector<sbx::xlsx::FormulaCell> formulas;
    std::string error;
};

Reading readSheet(std::string_view xml, sbx::xlsx::WorksheetParsing parsing, size_t piece) {
    const sbx::xlsx::CellStyles styles;
    Reading out;
    sbx::xlsx::WorksheetReadOptions options{&styles, false, 4, &out.formulas};
    try {
        sbx::xlsx::WorksheetReader reader(options, "xl/worksheets/sheet1.xml", parsing);
        for (size_t at = 0; at < xml.size(); at += piece) reader.feed(xml.substr(at, piece));
        out.content = reader.finish();
    } catch (const sbx::xls::FormatError& e) {
        out.error = e.what();
    } catch (const sbx::xlsx::ScanDeclined&) {
        out.declined = true;
    }
    return out;
}

bool readsWell(std::string_view xml, size_t split) {
    const auto expat = readSheet(xml, sbx::xlsx::WorksheetParsing::Expat, split == 0 ? xml.size() + 1 : split);
    return expat.content.has_value();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view xml(reinterpret_cast<const char*>(data), size);
    const size_t split = size == 0 ? 1 : data[0] % size + 1;
    const auto expat = readSheet(xml, sbx::xlsx::WorksheetParsing::Expat, split);
    const auto scanned = readSheet(xml, sbx::xlsx::WorksheetParsing::Scanner, size < 2 ? 1 : data[1] % 61 + 1);
    if (!scanned.declined) {
        if (expat.content.has_value() != scanned.content.has_value()) __builtin_trap();
        if (expat.content && (!(*expat.content == *scanned.content) || !(expat.formulas == scanned.formulas))) {
            __builtin_trap();
        }
        if (!expat.content && expat.error != scanned.error) __builtin_trap();
    }
    if (!expat.content) return 0;
    sbx::xlsx::SheetEdits edits;
    edits[sbx::xlsx::cellKey(2, 3)] = sbx::CellValue::number(42);
    edits[sbx::xlsx::cellKey(70000, 1)] = sbx::CellValue::text("x");
    std::string rewritten;
    try {
        rewritten = sbx::xlsx::rewriteWorksheet(xml, edits, {}, "xl/worksheets/sheet1.xml");
    } catch (const sbx::xls::FormatError&) {
        return 0;  // no sheetData
    }
    if (!readsWell(rewritten, rewritten.size() / 2)) __builtin_trap();
    return 0;
}
