#pragma once
// The range of one chosen worksheet as the job holds it (first cell and last cell texts such
// as a3 and h20) turned into column and row numbers, and column numbers back into letters.
#include <string>
#include <string_view>

#include "job/range_rules.h"  // trimBlanks: the same blank rule as the range entry

namespace sbx {

// Columns and rows in the sheet's own numbering (a = 1, row 1 is the first row).
struct RangeBounds {
    int firstColumn = 0;
    int firstRow = 0;
    int lastColumn = 0;
    int lastRow = 0;

    int columns() const { return lastColumn - firstColumn + 1; }
    int rows() const { return lastRow - firstRow + 1; }
    long long cellCount() const { return static_cast<long long>(columns()) * rows(); }
    // Whether every cell lies on a sheet (columns 1..256, rows 1..65536). Upper-case letters
    // read as column 0 and pass the range test, but no cell can be read there.
    bool onSheet() const;
    friend bool operator==(const RangeBounds&, const RangeBounds&) = default;
};

struct ParsedRange {
    RangeBounds bounds;
    bool valid = false;
};

// Column and row of one cell text: one letter when the second character is a digit,
// otherwise two (26 x first + second). A character that is not a lower-case letter counts
// as 0; the row is the whole number at the start of the rest (0 when there is none).
struct CellPosition {
    int column = 0;
    int row = 0;
    bool twoLetters = false;
};
CellPosition readRangeCell(std::string_view text);

// Texts with blanks already removed. Invalid: two letters before one, or the last column
// or row before the first.
ParsedRange parseRange(std::string_view first, std::string_view last);

// Letters of a column from 1 to 702: 8 -> h, 27 -> aa, 52 -> az, 256 -> iv.
std::string columnName(int column);


}  // namespace sbx
