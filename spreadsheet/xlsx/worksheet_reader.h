#pragma once
// Reads a worksheet part as a stream: memory follows the cells kept, not the part's size.
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/sheet_content.h"

namespace sbx::xlsx {

struct FormulaCell {
    int row = 0;
    int column = 0;
    std::string text;         // the formula, or the shared group's formula for its followers
    int masterRow = 0;        // for followers of a shared formula: where the text is written
    int masterColumn = 0;
    Area arrayArea;           // an array formula's cells (on its first cell); all 0 for others
    bool dataTable = false;   // a what-if table, which holds no formula text
    bool operator==(const FormulaCell&) const = default;
};

struct WorksheetReadOptions {
    const CellStyles* styles = nullptr;  // required
    bool date1904 = false;
    uint32_t sharedStringCount = 0;
    std::vector<FormulaCell>* formulas = nullptr;  // filled when given
};

// Expat for the whole part, or the fast scanner for the content of <sheetData>; the scanner
// throws ScanDeclined (sheet_data_scanner.h) for anything it leaves to expat.
enum class WorksheetParsing { Expat, Scanner };

class WorksheetReader {
public:
    WorksheetReader(const WorksheetReadOptions& options, std::string part,
                    WorksheetParsing parsing = WorksheetParsing::Expat);
    ~WorksheetReader();
    WorksheetReader(const WorksheetReader&) = delete;
    WorksheetReader& operator=(const WorksheetReader&) = delete;

    // Throws xls::FormatError naming the part for malformed XML or impossible cells.
    void feed(std::string_view piece);
    SheetContent finish();

private:
    class Handler;
    std::unique_ptr<Handler> handler_;
};

// Delivers a part in pieces to the sink it is given; may be called twice.
using PartStream = std::function<void(const std::function<void(std::string_view)>&)>;

// Reads a worksheet with the scanner, and again with expat alone when the scanner declines it:
// the result and the errors are those of expat.
SheetContent readWorksheet(const WorksheetReadOptions& options, const std::string& part, const PartStream& stream);

// Days since 1899-12-30 of an ISO 8601 date "2024-01-31" or "2024-01-31T08:30:00", as a
// 1900-system serial; false when the text is none.
bool isoDateSerial(std::string_view text, double& serial);

}  // namespace sbx::xlsx
