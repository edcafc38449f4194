#pragma once
// Writes cells into a worksheet part: the <c> elements of written cells are replaced (their
// format kept) or inserted in their rows, rows are added where needed, and every other byte
// of the part stays as it was.
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "spreadsheet/xlsx/sheet_content.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace sbx::xlsx {

struct CellWriteStyle {
    // The format of a cell without one of its own (its row's or column's).
    std::function<uint32_t(int row, int column)> inherited;
    // The format to give a date written into a cell of format `style`: `style` itself when
    // it shows dates, else a copy of it with a date format.
    std::function<uint32_t(uint32_t style)> forDate;
    bool date1904 = false;
};

// `results` are new cached results of formula cells: each keeps its <f>, and its <v> and
// type change. Throws xls::FormatError for a part without sheetData or malformed XML.
std::string rewriteWorksheet(std::string_view xml, const SheetEdits& edits, const CellWriteStyle& style,
                             const std::string& part, const std::map<uint64_t, CellValue>& results = {});

// The <c> element of one written cell ("x" prefix for prefixed SpreadsheetML).
std::string cellElement(std::string_view prefix, int row, int column, const CellValue& value,
                        const std::string* styleText, bool date1904);

}  // namespace sbx::xlsx
