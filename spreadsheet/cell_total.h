#pragma once
// How the values of one cell position add up across the sources: the one set of rules of
// both run modes.
//
// - Numbers and texts that read as numbers add up ("12" and "12" make 24); a text reads as a
//   number as the spreadsheet application reads one typed into a cell (parseTypedNumber).
// - Texts that do not read as numbers, error values and booleans add nothing; add() says so,
//   so that the run can count them. So does a NaN or an infinity (a damaged or foreign file
//   can hold one; no spreadsheet application makes one).
// - A date adds its number, as stored in its workbook, to a total that also holds plain
//   numbers (an amount formatted as a date is still an amount): nothing read before it is
//   dropped.
// - Where every source that holds a value holds a calendar date, the total is a date: the
//   latest. Times of day and durations (formats showing only hours, minutes and seconds)
//   add up as numbers; the summary cell keeps its own format.
// - A total of zero, or of nothing, is an empty cell.
// The additions are compensated: a thousand amounts such as 0.1 add up to the correctly
// rounded total, in any order.
#include "spreadsheet/cell_value.h"
#include "spreadsheet/compensated_sum.h"

namespace sbx {

enum class Contribution : unsigned char {
    Added,        // a number, a text that reads as one, or a date
    Blank,        // an empty cell
    AddsNothing,  // a text that does not read as a number, an error value or a boolean
};

class CellTotal {
public:
    // `dates1904`: the source workbook counts dates from 1904, so a date's stored number is
    // its 1900 serial less 1462 days.
    Contribution add(const CellValue& v, bool dates1904 = false);
    // Adds a plain, finite number, as add(CellValue::number(x)) does.
    void add(double x) { addNumber(x); }
    // False when the numbers added up beyond the largest a double holds (1e308 twice): such a
    // total is no number a spreadsheet application stores, and must not be written.
    bool finite() const;
    // The value written into the summary cell: empty, a number other than zero, or a date.
    CellValue written() const;

private:
    void addNumber(double x) {
        sum_.add(x);
        numbers_ = true;
    }

    CompensatedSum sum_;
    double latestDate_ = 0.0;
    bool numbers_ = false;
    bool dates_ = false;
};

}  // namespace sbx
