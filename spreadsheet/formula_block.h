#pragma once
// Blocks of cells that one formula fills as a whole: a multi-cell array formula, or a data
// table. The spreadsheet application refuses to change part of one ("cannot change part of
// an array"); so does the engine.
#include <string>

#include "spreadsheet/cell_address.h"

namespace sbx {

struct FormulaBlock {
    CellArea area;
    bool dataTable = false;  // else an array formula
};

// "the array formula in B1:B3", "the data table in C2:D5".
std::string describeFormulaBlock(const FormulaBlock& block);

}  // namespace sbx
