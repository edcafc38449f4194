#pragma once
// Cell addresses in A1 form: a3, ab20, xfd1048576 (either letter case). This is the one
// parser of cell texts and the one formatter of column letters: the range entry, the job
// file, the command line, the engine and both workbook formats all go through it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sbx {

// The last row and column of a worksheet.
struct SheetGrid {
    int rows;
    int columns;
    friend bool operator==(const SheetGrid&, const SheetGrid&) = default;
};
inline constexpr SheetGrid kXlsGrid{65536, 256};       // .xls (Excel 97-2003): a1 to iv65536
inline constexpr SheetGrid kFullGrid{1048576, 16384};  // .xlsx and .xlsm: a1 to xfd1048576

// Every cell any workbook holds: a range is read against these, a workbook may hold fewer.
inline constexpr int kSheetRows = kFullGrid.rows;
inline constexpr int kSheetColumns = kFullGrid.columns;

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
    // A cell's place in the area, row by row from 0; 64 bits, as the full grid has 2^34 cells.
    uint64_t positionOf(int row, int column) const {
        return static_cast<uint64_t>(row - firstRow) * static_cast<uint64_t>(columns()) +
               static_cast<uint64_t>(column - firstColumn);
    }
    CellAddress cellAt(uint64_t position) const {
        const auto width = static_cast<uint64_t>(columns());
        return {firstRow + static_cast<int>(position / width), firstColumn + static_cast<int>(position % width)};
    }
    // On a worksheet of `grid`, and the first cell neither right of nor below the last.
    bool validOn(SheetGrid grid) const {
        return firstRow >= 1 && firstColumn >= 1 && lastRow <= grid.rows && lastColumn <= grid.columns &&
               firstRow <= lastRow && firstColumn <= lastColumn;
    }
    bool valid() const { return validOn(kFullGrid); }
    friend bool operator==(const CellArea&, const CellArea&) = default;
};

// How a cell text may be written beyond letters and digits.
enum class AddressForm {
    Plain,         // b4 only: what people type into a range
    DollarsAllowed // also $B$4, $B4, B$4: references inside a workbook's own files
};

// Column letters and a row number and nothing else: no blanks, signs or trailing characters.
// Leading zeros of the row are allowed (a03 is a3).
std::optional<CellAddress> parseCellAddress(std::string_view text, AddressForm form = AddressForm::Plain);

// "a3:h20" or a single cell "b4"; the first cell must not lie right of or below the last.
std::optional<CellArea> parseCellRange(std::string_view text);

// The column that letters (either case) name, 1 to 16384; nothing for anything else.
std::optional<int> columnOfLetters(std::string_view letters);

enum class LetterCase { Lower, Upper };

// Letters of a column from 1 to 16384: 8 -> h, 27 -> aa, 256 -> iv, 16384 -> xfd.
std::string columnLetters(int column, LetterCase letterCase = LetterCase::Lower);
// "b4", or "B4" in upper case.
std::string cellName(CellAddress cell, LetterCase letterCase = LetterCase::Lower);
// "b4:k43", or "b4" for a single cell.
std::string areaName(const CellArea& area, LetterCase letterCase = LetterCase::Lower);

}  // namespace sbx
