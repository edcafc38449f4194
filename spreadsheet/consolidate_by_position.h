#pragma once
// The spreadsheet application's Consolidate (sum, by position) on the native engine.
#include <string>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

// Writes into each cell of `area` of `target` the sum of the numbers at the same position
// of every source area (numbers, dates as serials and numeric formula results count; text,
// booleans, errors and empty cells add nothing; a cell where no source holds a number
// becomes empty). Sources are opened through `host` and closed again. All or nothing:
// nothing is written when a source cannot be resolved (WorkbookError BadReference, or the
// error of opening it), an area's size differs from `area`, or a cell of `area` is locked
// on a protected worksheet (CellLocked).
void consolidateByPosition(SpreadsheetHost& host, Worksheet& target, const CellArea& area,
                           const std::vector<std::string>& sources);

}  // namespace sbx
