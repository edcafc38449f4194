#pragma once
// SpreadsheetHost: the spreadsheet operations the rest of the system relies on. Each command
// that needs workbooks makes its own host, opens what it needs, closes it and quits. Every
// failing operation throws WorkbookError, naming the file and the reason.
#include <filesystem>
#include <functional>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/cell_value.h"
#include "spreadsheet/formula_block.h"
#include "spreadsheet/xls/formula_tokens.h"

namespace sbx {

class AreaValues;

// A formula cell and the cells it reads: areas by worksheet name. `opaque` when what it reads
// is not known (a defined name, a link to another workbook, something not computed here).
struct FormulaReading {
    CellAddress cell;
    std::vector<std::pair<std::string, CellArea>> reads;
    bool opaque = false;
    uint32_t sheet = 0;                         // its worksheet, as the tokens number worksheets
    std::vector<xls::formula::Token> tokens = {};  // the decoded formula; empty when opaque
};

struct FormulaWithoutResult {
    CellAddress cell;
    std::string reason;  // why it is not computed
};

class Worksheet {
public:
    virtual ~Worksheet() = default;

    virtual std::string name() const = 0;

    // Cells(row, column): rows and columns of the workbook's grid(); outside: WorkbookError.
    virtual CellValue cell(int row, int column) const = 0;

    // Visits the cells of `area` that hold a value (not the empty ones), row by row. For
    // sparse sheets this is far cheaper than asking every position.
    virtual void forEachValue(const CellArea& area,
                              const std::function<void(int row, int column, const CellValue&)>& visit) const = 0;

    // Every value forEachValue visits, into `into` (whose area is `area`), in its order. The
    // engine's own worksheets hand plain numbers over without making a CellValue of each.
    virtual void readValues(const CellArea& area, AreaValues& into) const;

    // The last row and column that hold a value (0 and 0 for a sheet without values).
    virtual std::pair<int, int> lastValueCell() const = 0;

    // Protection as the spreadsheet application applies it: on a protected worksheet a
    // locked cell refuses writes.
    virtual bool isProtected() const = 0;
    virtual bool isCellLocked(int row, int column) const = 0;

    // The code of the cell's number format ("#,##0.00", "yyyy/m/d"), built-in formats as a
    // Chinese installation shows them (number_format_text.h); "General" without one.
    virtual std::string numberFormat(int /*row*/, int /*column*/) const { return "General"; }

    // The formulas of `area` that hold no result, row by row: their workbook was written by a
    // program that stores formulas without computing them (openpyxl, xlwt, ...), and the
    // engine, which computes such formulas on opening as a spreadsheet application does,
    // could not compute these (a function it does not compute, a link to another workbook).
    // They add nothing; a total without them may be wrong.
    virtual std::vector<FormulaWithoutResult> formulasWithoutResult(const CellArea& /*area*/) const { return {}; }

    // The formula cells of `area` (not those written since the workbook was opened), row by row.
    virtual std::vector<FormulaReading> formulasIn(const CellArea& /*area*/) const { return {}; }

    // A multi-cell array formula or a data table with a cell in `area`, if there is one.
    virtual std::optional<FormulaBlock> formulaBlockIn(const CellArea& /*area*/) const { return std::nullopt; }

    // Cells(row, column) = value. The cell keeps its format. Throws WorkbookError (nothing
    // changes): CellLocked for a locked cell of a protected worksheet, CellInArray for a
    // cell of a multi-cell array formula or a data table, CellOutOfRange, WriteUnsupported
    // for a workbook format that is only read.
    virtual void setCell(int row, int column, const CellValue& value) = 0;
};

// A formula that depends on written cells but whose stored result saving could not bring
// up to date (a function the engine does not compute, a circular reference, ...): it keeps
// its old result until the spreadsheet application computes it again.
struct StaleFormula {
    std::string sheet;
    int row = 0;     // from 1
    int column = 0;  // from 1
    std::string reason;
};
inline constexpr std::string_view kLeftToApplication = "will be recomputed by the spreadsheet application";

// "汇总!B3: the function VLOOKUP is not computed here; will be recomputed by the spreadsheet
// application", a line for a run's report.
inline std::string describeStale(const StaleFormula& f) {
    return f.sheet + "!" + cellName({f.row, f.column}, LetterCase::Upper) + ": " + f.reason + "; " + std::string(kLeftToApplication);
}

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

    // True once a cell was written since the workbook was opened.
    virtual bool isModified() const = 0;

    // The formulas that saving now would leave with their old results (each is marked so
    // that the spreadsheet application recomputes it). Every other formula that depends on
    // a written cell is saved with its new result.
    virtual std::vector<StaleFormula> staleFormulas() const { return {}; }

    // The workbook counts dates from 1904: its dates are stored as 1900 serials less 1462
    // days (CellValue hands every date over as a 1900 serial).
    virtual bool uses1904Dates() const { return false; }

    // The rows and columns its worksheets have: a1:iv65536 in an .xls workbook, the full
    // a1:xfd1048576 in .xlsx and .xlsm.
    virtual SheetGrid grid() const { return kFullGrid; }
};

// The bytes of a workbook file as a host read them, shared so that they may be used (a
// digest worked out) on another thread while the workbook is parsed.
using FileBytes = std::shared_ptr<const std::vector<uint8_t>>;
using FileBytesSink = std::function<void(const FileBytes&)>;
// The bytes of a file being saved, handed over just before they are written (for their digest).
using WrittenBytesSink = std::function<void(std::span<const uint8_t>)>;

class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;

    // Workbooks.Open. The workbook stays valid until close() or quit().
    virtual Workbook& open(const std::filesystem::path& file) = 0;
    // The same, handing the file's bytes to `sink` before parsing them when the host reads the
    // file whole (the native engine does; a host that does not hands nothing), so that nobody
    // reads the file again for its digest.
    virtual Workbook& openHandingBytes(const std::filesystem::path& file, const FileBytesSink& /*sink*/) {
        return open(file);
    }
    // Close(save). With save = true a modified workbook is written back to its own file
    // (safely: the old file stays whole until the new one is complete); an unmodified one is
    // not rewritten. The workbook is closed even when saving fails; the WorkbookError tells.
    virtual void close(Workbook& workbook, bool save) = 0;
    // Quit: closes whatever is still open, without saving.
    virtual void quit() = 0;

    // Saves the workbook with every cell written so far to `target` (its own path, or
    // another file), safely as close(save) does; the workbook stays open and keeps its writes.
    virtual void saveAs(Workbook& workbook, const std::filesystem::path& target) = 0;
    // saveAs for a file the program names itself, in a folder others may write to (the run's
    // summary): a symbolic link at `target` is replaced by the new file, never written
    // through, and the bytes saved are handed to `written` (once the save succeeds they are
    // the file on disk). A host that does not write such files itself saves through saveAs
    // and hands what it finds at `target` afterwards.
    virtual void saveAsReplacingLink(Workbook& workbook, const std::filesystem::path& target,
                                     const WrittenBytesSink& written);
};

// The native .xls engine.
std::unique_ptr<SpreadsheetHost> makeNativeHost();

}  // namespace sbx
