#pragma once
// Adding one source cell into a running total, and the value a total is written back as.
#include <optional>
#include <string_view>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/compensated_sum.h"

namespace sbx {

// The number a text reads as: surrounding blanks, a sign, digit grouping by commas (groups
// of three), a decimal point and an exponent are accepted; nothing else.
std::optional<double> readsAsNumber(std::string_view text);

// A total as the adding goes. add(v): numbers and texts that read as numbers add as numbers
// (the texts 12 and 12 make 24); an empty source turns an empty total into 0; a date takes
// the total's place and a number then moves it by that many days. Texts that do not read as
// numbers, booleans and error values add nothing: labels and stray errors in the sources
// neither replace a total nor stop the adding. A total is therefore empty, a number or a date.
// The additions are compensated: what each one rounds away is added back in value().
class RunningTotal {
public:
    void add(const CellValue& v);
    CellValue value() const;

private:
    void addNumber(double x);

    CellKind kind_ = CellKind::Empty;
    CompensatedSum sum_;
};

// What is written into the summary cell for `total`: empty text for 0, false, empty, a text
// that does not read as a number (or reads as 0) and an error value; otherwise the total.
CellValue valueToWrite(const CellValue& total);

}  // namespace sbx
