#pragma once
// Cell addresses in A1 form: a3, ab20 (either letter case), rows 1..65536 and columns a..iv.
// This is the one parser of cell texts and the one formatter of column letters: the range
// entry, the command line and the engine all go through it.
#include <optional>
#include <string>
#include <string_view>

namespace sbx {

inline constexpr int kSheetRows = 65536;
inline constexpr int kSheetColumns = 256;

struct CellAddress {
    int row = 0;
    int column = 0;
    friend bool operator==(const CellAddress&, const CellAddress&) = default;
};

// A rectangle of cells in the sheet's own numbering, rows and columns from 1.
struct CellArea {
    int firstRow = 1;
    int firstColumn = 1;
    int lastRow = kSheetRows;
    int lastColumn = kSheetColumns;

    static CellArea between(CellAddress first, CellAddress last) {
        return {first.row, first.column, last.row, last.column};
    }
    CellAddress first() const { return {firstRow, firstColumn}; }
    CellAddress last() const { return {lastRow, lastColumn}; }
    int rows() const { return lastRow - firstRow + 1; }
    int columns() const { return lastColumn - firstColumn + 1; }
    long long cellCount() const { return static_cast<long long>(rows()) * columns(); }
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    // Every cell on a sheet and the first cell neither right of nor below the last.
    bool valid() const {
        return firstRow >= 1 && firstColumn >= 1 && lastRow <= kSheetRows && lastColumn <= kSheetColumns &&
               firstRow <= lastRow && firstColumn <= lastColumn;
    }
    friend bool operator==(const CellArea&, const CellArea&) = default;
};

// Column letters and a row number and nothing else: no blanks, signs or trailing characters.
// Leading zeros of the row are allowed (a03 is a3).
std::optional<CellAddress> parseCellAddress(std::string_view text);

// "a3:h20" or a single cell "b4"; the first cell must not lie right of or below the last.
std::optional<CellArea> parseCellRange(std::string_view text);

// Letters of a column from 1 to 256, lower case: 8 -> h, 27 -> aa, 52 -> az, 256 -> iv.
std::string columnLetters(int column);
// "b4"
std::string cellName(CellAddress cell);
// "b4:k43", or "b4" for a single cell.
std::string areaName(const CellArea& area);

}  // namespace sbx
