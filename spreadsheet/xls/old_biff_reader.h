#pragma once
// Reads the bare record streams of Excel 2.1, 3.0 and 4.0 (BIFF2, BIFF3, BIFF4): a worksheet
// file holds one worksheet; an Excel 4.0 workbook (BIFF4W) holds several, each a worksheet
// stream of its own behind a SHEETHDR record. These files are only read, never written.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "spreadsheet/xls/workbook_reader.h"

namespace sbx::xls {

// A worksheet file has no sheet name; spreadsheet applications make one up. "Sheet1" is
// what LibreOffice shows, and one name for all such files lets a pool of them match by name.
inline constexpr const char* kOldBiffSheetName = "Sheet1";

struct OldBiffSheet {
    std::string name;
    std::unique_ptr<SheetCells> cells;
};

struct OldBiffBook {
    BiffVersion version = BiffVersion::Biff4;
    bool date1904 = false;
    uint16_t codePage = 1252;
    std::vector<OldBiffSheet> sheets;
    // The cell formats of the first worksheet: in these files every worksheet has its own.
    std::vector<CellFormat> formats;
};

// True when the bytes start with a BIFF2, BIFF3 or BIFF4 BOF record.
bool isOldBiffStream(std::span<const uint8_t> bytes);

// Reads every worksheet of the stream. Throws FormatError for a stream that breaks off or
// lies about its records.
OldBiffBook readOldBiffStream(std::span<const uint8_t> bytes);

// Why such a workbook cannot take writes.
inline constexpr const char* kOldBiffReadOnly =
    "Excel 2.1-4.0 workbooks are read only; save the template in a newer format";

}  // namespace sbx::xls
