// Any bytes as an .xlsx package: opening, reading every worksheet, and saving a written
// cell either work or throw WorkbookError; what is saved opens again and holds the cell.
#include <cstdint>
#include <span>

#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/sheet_content.h"
#include "spreadsheet/xlsx/xlsx_saver.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<sbx::xlsx::XlsxWorkbook> book;
    try {
        book = sbx::xlsx::XlsxWorkbook::fromBytes(std::vector<uint8_t>(data, data + size), "fuzz.xlsx");
        for (int s = 1; s <= book->worksheetCount(); ++s) {
            auto& sheet = book->worksheet(s);
            sheet.lastValueCell();
            sheet.cell(1, 1);
            sheet.isCellLocked(2, 2);
        }
        if (book->worksheetCount() == 0) return 0;
        auto& first = book->worksheet(1);
        first.setCell(3, 2, sbx::CellValue::number(42));
        first.setCell(1, 1, sbx::CellValue::text("合计 <&>"));
        book->staleFormulas();
    } catch (const sbx::WorkbookError&) {
        return 0;
    }
    std::vector<uint8_t> saved;
    try {
        saved = sbx::xlsx::buildXlsxFile(*book);
    } catch (const sbx::xls::FormatError&) {
        return 0;  // a part to rewrite is damaged: the save is refused
    } catch (const sbx::WorkbookError&) {
        return 0;
    }
    const auto again = sbx::xlsx::XlsxWorkbook::fromBytes(std::move(saved), "saved.xlsx");
    // A date format on the cell makes the number read back as a date of the same serial.
    if (!sbx::holdsWrittenValue(sbx::CellValue::number(42), again->worksheet(1).cell(3, 2), again->uses1904Dates())) {
        __builtin_trap();
    }
    return 0;
}
