#pragma once
// Formula cells that lean on another cell: shared formulas, array formulas and data tables
// keep their tokens in a SHRFMLA, ARRAY or TABLE record after the first cell of their range.
// When a written value replaces that first cell, the other cells must stand on their own.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace sbx::xls {

// The cell a FORMULA body leans on (its tokens are a single ptgExp or ptgTbl), if any.
struct FormulaAnchor {
    uint16_t row;
    uint16_t column;
};
std::optional<FormulaAnchor> formulaAnchorOf(std::span<const uint8_t> formulaBody);

// The FORMULA body of a cell of a shared formula as a formula of its own: the shared tokens,
// their relative references made absolute for this cell. Nothing when a token is not known.
std::optional<std::vector<uint8_t>> unshareFormula(std::span<const uint8_t> formulaBody,
                                                   std::span<const uint8_t> shrfmlaBody);

// The records of a constant cell holding a FORMULA's cached result; `stringBody` is the body
// of the STRING record that follows a formula with a text result (may be empty).
std::vector<uint8_t> cachedResultRecord(std::span<const uint8_t> formulaBody, std::span<const uint8_t> stringBody);

}  // namespace sbx::xls
