#pragma once
// Cell addresses in A1 form: a3, ab20 (either letter case), rows 1..65536 and
// columns a..iv.
#include <optional>
#include <string_view>

namespace sbx {

struct CellAddress {
    int row = 0;
    int column = 0;
};

// A rectangle of cells in the sheet's own numbering, rows and columns from 1.
struct CellArea {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = 65536;
    int lastColumn = 256;

    int rows() const { return lastRow - firstRow + 1; }
    int columns() const { return lastColumn - firstColumn + 1; }
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    friend bool operator==(const CellArea&, const CellArea&) = default;
};

std::optional<CellAddress> parseCellAddress(std::string_view text);

// "a3:h20" or a single cell "b4"; the first cell must not lie right of or below the last.
std::optional<CellArea> parseCellRange(std::string_view text);

}  // namespace sbx
