#pragma once
// Computes a decoded formula against the current values of the workbook's cells.
#include <functional>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/xls/formula_tokens.h"
#include "spreadsheet/xls/formula_value.h"

namespace sbx::xls::formula {

// The values of the workbook's cells as a formula sees them. Dates are plain numbers.
class CellSource {
public:
    virtual ~CellSource() = default;
    virtual CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const = 0;
    // The cells of `area` on `sheet` that hold a value, row by row.
    virtual void forEach(uint32_t sheet, const Area& area,
                         const std::function<void(uint32_t row, uint32_t column, const CellValue&)>& visit) const = 0;
};

// Where the formula stands. An array formula covers `arrayArea` (on the formula's sheet)
// and each of its cells shows its own element of the result.
struct EvaluationSite {
    FormulaSite cell;
    bool arrayFormula = false;
    Area arrayArea;
};

class Evaluator {
public:
    Evaluator(const CellSource& cells, const EvaluationSite& site) : cells_(cells), site_(site) {}

    // The formula's result for its cell: a number, text, boolean or error (never empty: an
    // empty result is 0). Throws Unsupported for what is not known.
    CellValue evaluate(const std::vector<Token>& tokens) const;

    // Helpers for the functions.
    const CellSource& cells() const { return cells_; }
    bool inArrayFormula() const { return site_.arrayFormula; }
    // One value from anything: a reference by implicit intersection with the formula's
    // cell, an array by its first element; a missing argument is empty.
    CellValue scalar(const Value& v) const;
    // An array from anything: a reference's cells (on one sheet), a value as a 1x1 array.
    Matrix matrix(const Value& v) const;
    // Every value an argument holds: `direct` is false for values that come from a
    // reference or an array (where most functions skip text and booleans).
    void forEachItem(const Value& v, const std::function<void(const CellValue&, bool direct)>& visit) const;

private:
    Value applyUnary(char op, const Value& operand) const;
    Value applyBinary(char op, const Value& left, const Value& right) const;
    Value referenceOperator(char op, const Value& left, const Value& right) const;
    // An operand of an operator: a scalar, or an array where the formula works on arrays.
    Value operand(const Value& v) const;

    const CellSource& cells_;
    EvaluationSite site_;
};

}  // namespace sbx::xls::formula
