#pragma once
// What the .xlsx worksheet fuzz target asserts about one input, shared with the regression
// test that replays earlier findings (tests/data/fuzz/xlsx_worksheet/).
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/formula_text.h"
#include "spreadsheet/xlsx/sheet_data_scanner.h"
#include "spreadsheet/xlsx/sheet_rewriter.h"
#include "spreadsheet/xlsx/worksheet_reader.h"

namespace sbx::fuzz {

namespace detail {

struct SheetReading {
    bool declined = false;
    std::optional<xlsx::SheetContent> content;  // empty: an error
    std::vector<xlsx::FormulaCell> formulas;
    std::string error;
};

inline SheetReading readSheet(std::string_view xml, xlsx::WorksheetParsing parsing, size_t piece) {
    const xlsx::CellStyles styles;
    SheetReading out;
    xlsx::WorksheetReadOptions options{&styles, false, 4, &out.formulas};
    try {
        xlsx::WorksheetReader reader(options, "xl/worksheets/sheet1.xml", parsing);
        for (size_t at = 0; at < xml.size(); at += piece) reader.feed(xml.substr(at, piece));
        out.content = reader.finish();
    } catch (const xls::FormatError& e) {
        out.error = e.what();
    } catch (const xlsx::ScanDeclined&) {
        out.declined = true;
    }
    return out;
}

}  // namespace detail

// Any bytes as a worksheet part, read as a stream: a result or an xls::FormatError, nothing
// else. Read by expat alone and by the sheetData scanner, in pieces of different sizes, the
// two agree (the same cells and formulas, or the same error) unless the scanner declines the
// part. A part that reads is rewritten with two cells, and the rewritten part reads too.
inline void checkXlsxWorksheet(std::span<const uint8_t> bytes) {
    const std::string_view xml(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const size_t size = bytes.size();
    // Expat's message for a malformed start may depend on where the pieces end: the two
    // readings compared get the same pieces.
    const size_t piece = size < 2 ? 1 : bytes[1] % 61 + 1;
    const auto expat = detail::readSheet(xml, xlsx::WorksheetParsing::Expat, piece);
    const auto scanned = detail::readSheet(xml, xlsx::WorksheetParsing::Scanner, piece);
    if (!scanned.declined) {
        require(expat.content.has_value() == scanned.content.has_value(), "expat and the scanner disagree on an error");
        if (expat.content) {
            require(*expat.content == *scanned.content, "expat and the scanner read other cells");
            require(expat.formulas == scanned.formulas, "expat and the scanner read other formulas");
        } else {
            require(expat.error == scanned.error, "expat and the scanner give other errors");
        }
    }
    if (!detail::readSheet(xml, xlsx::WorksheetParsing::Expat, size == 0 ? 1 : bytes[0] % size + 1).content) return;
    xlsx::SheetEdits edits;
    edits[xlsx::cellKey(2, 3)] = CellValue::number(42);
    edits[xlsx::cellKey(70000, 1)] = CellValue::text("x");
    // Every formula text reads into tokens; every formula cell takes a new result.
    std::map<uint64_t, CellValue> results;
    for (const auto& f : expat.formulas) {
        const auto tokens = xlsx::parseFormulaText(f.text, {0, f.row, f.column, f.row, f.column}, {"Sheet1"});
        require(!tokens.empty(), "a formula text gives no tokens");
        if (!edits.count(xlsx::cellKey(f.row, f.column))) results[xlsx::cellKey(f.row, f.column)] = CellValue::text("r<&>_x1");
    }
    std::string rewritten;
    try {
        rewritten = xlsx::rewriteWorksheet(xml, edits, {}, "xl/worksheets/sheet1.xml", results);
    } catch (const xls::FormatError&) {
        return;  // refused for rewriting, with the reason
    }
    const auto again = detail::readSheet(rewritten, xlsx::WorksheetParsing::Expat, rewritten.size() / 2 + 1);
    require(again.content.has_value(), "a rewritten worksheet part does not read");
}

}  // namespace sbx::fuzz
