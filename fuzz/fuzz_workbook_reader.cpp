// Any bytes: the workbook reader ends in cells or a WorkbookError, reading every worksheet.
#include <cstdint>
#include <vector>

#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/workbook_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        auto book = sbx::xls::WorkbookReader::fromBytes(std::vector<uint8_t>(data, data + size), "fuzz.xls");
        for (size_t i = 0; i < book.worksheets().size(); ++i) {
            const auto& sheet = book.cells(i);
            for (const auto& cell : sheet.cells()) (void)book.valueOf(sheet, cell);
        }
    } catch (const sbx::WorkbookError&) {
    }
    return 0;
}
