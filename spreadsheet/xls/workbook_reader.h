#pragma once
// Reads an .xls workbook: the container, the workbook stream (BIFF8 "Workbook", or BIFF5
// "Book" from Excel 95), the workbook globals and, on demand, the cells of each worksheet.
// The bare streams of Excel 2.1-4.0 are read whole at once (old_biff_reader).
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/biff_crypto.h"
#include "spreadsheet/xls/compound_file.h"
#include "spreadsheet/xls/sheet_cells.h"

namespace sbx::xls {

struct OldBiffBook;

enum class SheetVisibility : uint8_t { Visible = 0, Hidden = 1, VeryHidden = 2 };

struct WorksheetEntry {
    std::string name;
    size_t streamOffset = 0;  // of the worksheet's BOF record
    size_t byteLength = 0;    // up to the next substream, for sizing
    SheetVisibility visibility = SheetVisibility::Visible;
};

struct CellFormat {
    uint16_t formatId = 0;
    bool locked = true;
    bool isDate = false;
    bool isText = false;  // "@": what is typed into the cell stays text
    bool isTime = false;  // a date format that shows only a time of day or a duration
};

class WorkbookReader {
public:
    // Reads a workbook from a file. Throws WorkbookError naming the file.
    static WorkbookReader open(const std::filesystem::path& file);
    // Reads a workbook held in memory; `file` only names it in errors. The container keeps
    // every stream but the workbook stream, which the reader holds (decrypted if it was).
    static WorkbookReader fromBytes(std::vector<uint8_t> bytes, const std::filesystem::path& file);
    // The same from bytes that stay with the caller (and may be read meanwhile elsewhere).
    static WorkbookReader fromSharedBytes(std::span<const uint8_t> bytes, const std::filesystem::path& file);

    BiffVersion version() const { return version_; }
    bool uses1904Dates() const { return date1904_; }
    uint16_t codePage() const { return codePage_; }
    bool wasEncrypted() const { return encrypted_; }

    // The worksheets in workbook order; chart sheets, macro sheets and modules are left out.
    const std::vector<WorksheetEntry>& worksheets() const { return worksheets_; }

    // The cells of a worksheet (index into worksheets()), read on first use. Throws
    // WorkbookError for a broken worksheet.
    const SheetCells& cells(size_t sheetIndex) const;
    // The same, to fill in the results of formulas stored without one (computeOnOpening).
    SheetCells& cellsToFill(size_t sheetIndex) { return const_cast<SheetCells&>(std::as_const(*this).cells(sheetIndex)); }

    CellValue valueOf(const SheetCells& sheet, const StoredCell& cell) const;
    const CellFormat& format(uint16_t xf) const;
    // The number format code of a cell format: its FORMAT record's, or the built-in one.
    std::string formatCode(uint16_t xf) const;

    const std::filesystem::path& file() const { return file_; }
    const CompoundFile& container() const { return container_; }
    std::span<const uint8_t> workbookStream() const { return stream_; }

private:
    WorkbookReader() = default;
    void readGlobals();
    void takeWorkbookStream();  // from the container, then the globals
    void takeOldBiff(OldBiffBook book);
    std::unique_ptr<SheetCells> readSheet(const WorksheetEntry& entry) const;
    std::string biff5Text(std::span<const uint8_t> bytes, size_t count) const;

    std::filesystem::path file_;
    CompoundFile container_;
    std::vector<uint8_t> stream_;
    BiffVersion version_ = BiffVersion::Biff8;
    bool date1904_ = false;
    bool encrypted_ = false;
    uint16_t codePage_ = 1252;
    std::vector<WorksheetEntry> worksheets_;
    std::vector<CellFormat> formats_;
    std::map<uint16_t, std::string> formatCodes_;  // from the FORMAT records
    std::vector<std::string> sharedStrings_;
    mutable std::vector<std::unique_ptr<SheetCells>> sheetCache_;
};

}  // namespace sbx::xls
