#pragma once
// Brings the cached results of formulas up to date after cells were written: every formula
// that depends on a written cell, directly or through other formulas, is computed again in
// dependency order. What cannot be computed keeps its old result and is listed.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"

namespace sbx::xls::formula {

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

}  // namespace sbx::xls::formula
