#pragma once
// A job: which worksheets take part and the cell area of each, validated once where it is
// entered (range entry, command line) and carried typed from there to the engine.
#include <string>
#include <vector>

#include "spreadsheet/cell_address.h"

namespace sbx {

struct SheetJob {
    std::string worksheet;  // the worksheet's real name, as the workbook spells it
    CellArea area;          // valid: on the sheet, first cell above and left of the last
    friend bool operator==(const SheetJob&, const SheetJob&) = default;
};

// The worksheets in the order they are consolidated.
using Job = std::vector<SheetJob>;

// The template cell that names a report's unit (the cell next to 填报单位): with a roster,
// a report belongs to the unit its cell names, not to the one its file name contains.
struct UnitCell {
    std::string worksheet;
    CellAddress cell;
    friend bool operator==(const UnitCell&, const UnitCell&) = default;
};

}  // namespace sbx
