#pragma once
// BIFF8 formula tokens (rgce) decoded into a list in evaluation (reverse Polish) order, with
// every reference resolved to worksheet indices and absolute cells.
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"

namespace sbx::xls::formula {

// A formula the evaluator cannot compute; the text says what is missing.
class Unsupported : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A rectangle on a range of worksheets (indices into WorkbookReader::worksheets()).
struct Area {
    uint32_t firstSheet = 0, lastSheet = 0;
    uint32_t firstRow = 0, lastRow = 0;  // zero-based
    uint32_t firstColumn = 0, lastColumn = 0;

    bool contains(uint32_t sheet, uint32_t row, uint32_t column) const {
        return sheet >= firstSheet && sheet <= lastSheet && row >= firstRow && row <= lastRow &&
               column >= firstColumn && column <= lastColumn;
    }
    uint32_t rows() const { return lastRow - firstRow + 1; }
    uint32_t columns() const { return lastColumn - firstColumn + 1; }
};

enum class TokenKind : uint8_t {
    Constant,   // value
    Array,      // an array constant: arrayRows x arrayColumns values, row by row
    Missing,    // an argument left out
    Reference,  // area (a single cell for ptgRef)
    Unary,      // op: '+', '-', '%'
    Binary,     // op: '+', '-', '*', '/', '^', '&', '<', 'l' (<=), '=', 'g' (>=), '>', 'n' (<>), ' ' (intersection), ',' (union), ':' (range)
    Function,   // function number and argument count
    Unknown,    // something the evaluator cannot compute; value holds what it is
};

// Operand classes of reference tokens: what the formula asks of the reference.
enum class OperandClass : uint8_t { Reference, Value, Array };

struct Token {
    TokenKind kind = TokenKind::Constant;
    char op = 0;
    OperandClass operandClass = OperandClass::Value;
    bool singleCell = false;  // a ptgRef: the reference names one cell
    // It may read cells that are not known: an Unknown defined name, INDIRECT, OFFSET.
    bool hidesReferences = false;
    uint16_t function = 0;
    uint8_t argumentCount = 0;
    CellValue value;
    Area area;
    uint32_t arrayRows = 0, arrayColumns = 0;
    std::vector<CellValue> array;
};

// Resolves the sheet part of 3-D references: an EXTERNSHEET index to worksheets of this
// workbook, and defined names to the tokens of what they stand for.
enum class SheetTarget : uint8_t { Worksheets, Deleted, OtherWorkbook };
class SheetResolver {
public:
    virtual ~SheetResolver() = default;
    virtual SheetTarget resolve(uint16_t externSheetIndex, uint32_t& firstSheet, uint32_t& lastSheet) const = 0;
    // Whether an EXTERNSHEET entry stands for this workbook (its sheets or the workbook
    // itself): the names that ptgNameX reaches through it are this workbook's own.
    virtual bool ownWorkbook(uint16_t externSheetIndex) const {
        (void)externSheetIndex;
        return false;
    }
    // The tokens of defined name `nameIndex` (1-based, in the order of the NAME records)
    // when the evaluator can compute them wherever the name is used; std::nullopt otherwise.
    virtual std::optional<std::vector<Token>> nameTokens(uint16_t nameIndex) const {
        (void)nameIndex;
        return std::nullopt;
    }
};

// The position a formula is evaluated at: its own cell. Shared formulas hold references
// relative to it.
struct FormulaSite {
    uint32_t sheet = 0;
    uint32_t row = 0;  // zero-based
    uint32_t column = 0;
};

// Decodes `cce` bytes of tokens (followed in `rgce` by their extra data, e.g. array
// constants). `shared` tells tokens of a SHRFMLA, whose relative references are offsets.
// Throws Unsupported for a token the evaluator does not know.
std::vector<Token> decodeTokens(std::span<const uint8_t> rgce, size_t cce, const FormulaSite& site, bool shared,
                                const SheetResolver& sheets);

}  // namespace sbx::xls::formula
