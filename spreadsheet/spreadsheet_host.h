#pragma once
// SpreadsheetHost: the spreadsheet operations the rest of the system relies on. Each command
// that needs workbooks makes its own host, opens what it needs, closes it and quits. Every
// failing operation throws WorkbookError, naming the file and the reason.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "spreadsheet/cell_value.h"

namespace sbx {

// A rectangle of cells in the sheet's own numbering, rows and columns from 1.
struct CellArea {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 65536;
    int lastColumn = 256;
};

class Worksheet {
public:
    virtual ~Worksheet() = default;

    virtual std::string name() const = 0;

    // Cells(row, column): rows 1..65536, columns 1..256; outside: WorkbookError.
    virtual CellValue cell(int row, int column) const = 0;

    // Visits the cells of `area` that hold a value (not the empty ones), row by row. For
    // sparse sheets this is far cheaper than asking every position.
    virtual void forEachValue(const CellArea& area,
                              const std::function<void(int row, int column, const CellValue&)>& visit) const = 0;

    // The last row and column that hold a value (0 and 0 for a sheet without values).
    virtual std::pair<int, int> lastValueCell() const = 0;

    // Protection as the spreadsheet application applies it: on a protected worksheet a
    // locked cell refuses writes.
    virtual bool isProtected() const = 0;
    virtual bool isCellLocked(int row, int column) const = 0;
};

class Workbook {
public:
    virtual ~Workbook() = default;

    virtual const std::filesystem::path& path() const = 0;
    // Worksheets.Count; chart sheets, macro sheets and modules do not count.
    virtual int worksheetCount() const = 0;
    // Worksheets(position), from 1.
    virtual Worksheet& worksheet(int position) = 0;
    // Worksheets(name): letter case does not matter, as in the spreadsheet application.
    virtual Worksheet& worksheet(std::string_view name) = 0;
};

class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;

    // Workbooks.Open. The workbook stays valid until close() or quit().
    virtual Workbook& open(const std::filesystem::path& file) = 0;
    // Close(False): drops the workbook without saving.
    virtual void close(Workbook& workbook) = 0;
    // Quit: closes whatever is still open.
    virtual void quit() = 0;
};

// The native .xls engine.
std::unique_ptr<SpreadsheetHost> makeNativeHost();

}  // namespace sbx
