#pragma once
// What a formula's parts compute to: a single value, a reference to cells, or an array of
// values; and the conversions between values that the spreadsheet application applies.
#include <optional>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/formula_tokens.h"

namespace sbx::xls::formula {

struct Matrix {
    uint32_t rows = 0, columns = 0;
    std::vector<CellValue> cells;  // row by row

    const CellValue& at(uint32_t row, uint32_t column) const { return cells[row * columns + column]; }
};

struct Value {
    enum class Kind : uint8_t { Scalar, Reference, Array, Missing };
    Kind kind = Kind::Scalar;
    CellValue scalar;
    std::vector<Area> areas;  // Reference: one or more areas (a union holds several)
    Matrix matrix;

    static Value of(CellValue v) {
        Value out;
        out.scalar = std::move(v);
        return out;
    }
    static Value missing() {
        Value out;
        out.kind = Kind::Missing;
        return out;
    }
};

// A number, or the error that stands in for one.
struct NumberOrError {
    double number = 0.0;
    std::optional<uint8_t> error;
};

// Empty is 0, TRUE 1, text that reads as a number that number, other text #VALUE!.
NumberOrError toNumber(const CellValue& v);
// Numbers as the General format shows them in a formula (up to 15 significant digits).
std::string numberText(double v);
// Empty is "", TRUE "TRUE"; an error stays an error (returned as the error value).
std::optional<std::string> toText(const CellValue& v);
// Numbers: not zero; text "TRUE"/"FALSE" in any letter case; other text #VALUE!. Returns
// the error code on failure.
std::optional<bool> toBoolean(const CellValue& v, uint8_t& error);

// -1, 0 or 1 as the comparison operators order values: numbers before text before
// booleans; text without regard to letter case; an empty value as 0, "" or FALSE.
int compareValues(const CellValue& a, const CellValue& b);
// Equal to 15 significant digits, as the application compares and cancels sums.
bool nearlyEqual(double a, double b);
// a + b, with a result that only reflects rounding noise of the operands set to 0.
double cancellingAdd(double a, double b);

std::string lowerAscii(std::string_view text);

}  // namespace sbx::xls::formula
