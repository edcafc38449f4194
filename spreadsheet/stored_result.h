#pragma once
// A formula's result, computed after reading, put into the cell as both workbook formats keep
// cells: a kind, a number, and an index into the worksheet's own texts.
#include <cstdint>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"

namespace sbx {

// A number or a date becomes a date when the cell's format shows one (`isDate`), moved by
// `dateOffset` (from the 1900 calendar CellValue uses to the workbook's own). A text goes to
// the end of `texts` and the cell holds its index in `textIndex`, as kind `textKind`. An empty
// value leaves the cell as it is.
template <typename Cell, typename Kind = decltype(Cell::kind)>
void storeFormulaResult(Cell& cell, const CellValue& value, bool isDate, double dateOffset, Kind textKind,
                        uint32_t Cell::*textIndex, std::vector<std::string>& texts) {
    switch (value.kind()) {
        case CellKind::Number:
        case CellKind::Date:
            cell.kind = isDate ? Kind::Date : Kind::Number;
            cell.number = value.numberValue() + (isDate ? dateOffset : 0.0);
            break;
        case CellKind::Text:
            cell.kind = textKind;
            cell.*textIndex = static_cast<uint32_t>(texts.size());
            texts.push_back(value.textValue());
            break;
        case CellKind::Boolean:
            cell.kind = Kind::Boolean;
            cell.number = value.booleanValue() ? 1.0 : 0.0;
            break;
        case CellKind::Error:
            cell.kind = Kind::Error;
            cell.number = value.errorCode();
            break;
        case CellKind::Empty: break;
    }
}

}  // namespace sbx
