#pragma once
// Brings the cached results of formulas up to date after cells were written: every formula
// that depends on a written cell, directly or through other formulas, is computed again in
// dependency order. What cannot be computed keeps its old result and is listed. The order
// and the rules are the same for both workbook formats; each gives its formulas and cells.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/formula_cells.h"
#include "spreadsheet/xls/formula_evaluator.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"

namespace sbx::xls::formula {

// The cells formulas see, which take each new result as it is computed.
class RecalcCells : public CellSource {
public:
    virtual void set(uint32_t sheet, uint32_t row, uint32_t column, const CellValue& value) = 0;
};

struct CellPlace {
    uint32_t sheet = 0, row = 0, column = 0;  // zero-based
};

// What happens to one affected formula (an index into the formulas given): a new result, or
// the old one kept for `reason`.
struct FormulaOutcome {
    size_t formula = 0;
    bool keepCached = false;
    CellValue result;
    std::string reason;
};

struct RecalcLimits {
    uint32_t columns = 256;            // of a worksheet
    size_t maxTextResult = SIZE_MAX;   // a longer text result keeps the old one
};

// `formulas` must not hold the written cells (they are no longer formulas); `place` names a
// formula's cell for the reasons. `alsoCompute`: formulas (indices) computed whatever they
// read, with the formulas that read them, such as those stored without a result. Outcomes in
// formula order.
std::vector<FormulaOutcome> recomputeDependents(const std::vector<FormulaCell>& formulas, const std::vector<CellPlace>& written,
                                                RecalcCells& cells, size_t sheetCount, const RecalcLimits& limits,
                                                const std::function<std::string(const FormulaCell&)>& place,
                                                const std::vector<size_t>& alsoCompute = {});

// What happens to one formula's record: a new result, or the old one kept and the formula
// marked to be computed by the application.
struct FormulaUpdate {
    bool keepCached = false;
    CellValue result;  // number, text ("" for an empty string), boolean or error
};
// By cellKey.
using SheetFormulaUpdates = std::map<uint32_t, FormulaUpdate>;

// A formula that keeps its old result, and why.
struct FormulaNote {
    uint32_t sheet = 0;
    uint16_t row = 0;
    uint16_t column = 0;
    std::string reason;
};

struct Recalculation {
    std::map<size_t, SheetFormulaUpdates> updates;  // by worksheet index
    std::vector<FormulaNote> notes;                 // in sheet and cell order
};

// Never throws for a formula it cannot compute: that formula goes to the notes.
Recalculation recalculate(const WorkbookReader& reader, const WorkbookEdits& edits);

// The results of the formulas a workbook holds without one (SheetCells::formulasWithoutResult),
// computed as a spreadsheet application does on opening such a file: `results` for those it
// computes (and the formulas that read them), by worksheet index and cellKey; the notes say
// why the others are not computed.
struct OpeningResults {
    std::map<size_t, std::map<uint32_t, CellValue>> results;
    std::vector<FormulaNote> unresolved;
};
OpeningResults computeOnOpening(const WorkbookReader& reader);

}  // namespace sbx::xls::formula
