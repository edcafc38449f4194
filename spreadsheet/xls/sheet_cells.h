#pragma once
// The cells of one worksheet as read from its records: a compact list sorted by position,
// so memory follows the cells that exist, not the area they span.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "spreadsheet/cell_value.h"

namespace sbx::xls {

enum class StoredKind : uint8_t {
    Blank,       // formatted, no value
    Number,
    Date,        // a number whose format is a date or time format
    SharedText,  // payload: index into the shared string table
    LocalText,   // payload: index into SheetCells::localTexts
    Boolean,
    Error,
};

struct StoredCell {
    uint32_t key;  // zero-based row << 8 | zero-based column
    StoredKind kind;
    // A formula stored without a result: an empty text or a missing STRING record, as programs
    // that write formulas without computing them leave it (see formulasWithoutResult()).
    bool withoutResult;
    uint16_t xf;
    union {
        double number;  // Number, Date (as stored), Boolean (0/1), Error (code)
        uint32_t index;  // SharedText, LocalText
    };

    uint32_t row() const { return key >> 8; }
    uint32_t column() const { return key & 0xFF; }
};

// The cells one formula fills as a whole (zero-based, inclusive): a multi-cell array
// formula or a data table.
struct StoredBlock {
    uint32_t firstRow, lastRow;
    uint32_t firstColumn, lastColumn;
    bool dataTable;
};

inline uint32_t cellKey(uint32_t row0, uint32_t column0) { return (row0 << 8) | column0; }

class SheetCells {
public:
    void addNumber(uint32_t row0, uint32_t col0, uint16_t xf, double value, bool isDate);
    void addSharedText(uint32_t row0, uint32_t col0, uint16_t xf, uint32_t index);
    void addLocalText(uint32_t row0, uint32_t col0, uint16_t xf, std::string text);
    void addBoolean(uint32_t row0, uint32_t col0, uint16_t xf, bool value);
    void addError(uint32_t row0, uint32_t col0, uint16_t xf, uint8_t code);
    void addBlank(uint32_t row0, uint32_t col0, uint16_t xf);
    // A formula's cached result, the 8 result bytes of its FORMULA record. True when the
    // result is a text, which follows in a STRING record and is added by the caller.
    bool addFormulaResult(uint32_t row0, uint32_t col0, uint16_t xf, const uint8_t* result, bool isDate);
    // The text of the STRING record after a formula's FORMULA record.
    void addFormulaText(uint32_t row0, uint32_t col0, uint16_t xf, std::string text);
    // How many formulas hold no result.
    size_t formulasWithoutResult() const { return withoutResult_; }
    // A formula's result computed since the file was read.
    void setFormulaResult(uint32_t row0, uint32_t col0, const CellValue& value, bool isDate);

    // Formats that rows and columns give to cells without a record of their own.
    void setRowFormat(uint32_t row0, uint16_t xf) { rowFormats_.push_back({row0, row0, xf}); }
    void setColumnFormat(uint32_t first0, uint32_t last0, uint16_t xf) {
        columnFormats_.push_back({first0, last0, xf});
    }
    void setProtected(bool on) { protected_ = on; }
    void addBlock(const StoredBlock& block) { blocks_.push_back(block); }

    void reserve(size_t cells) { cells_.reserve(cells); }
    // Sorts by position; of two records for one cell the later one counts.
    void finish();

    const StoredCell* find(uint32_t row0, uint32_t col0) const;
    std::span<const StoredCell> cells() const { return cells_; }
    const std::string& localText(uint32_t index) const { return localTexts_[index]; }
    bool isProtected() const { return protected_; }
    // A block with a cell in rows firstRow..lastRow, columns firstColumn..lastColumn.
    const StoredBlock* blockOverlapping(uint32_t firstRow, uint32_t lastRow, uint32_t firstColumn,
                                        uint32_t lastColumn) const;

    // The format of a position: the cell's own, else its row's, else its column's, else
    // the default cell format (15).
    uint16_t formatAt(uint32_t row0, uint32_t col0) const;

private:
    struct FormatSpan {
        uint32_t first;
        uint32_t last;
        uint16_t xf;
    };
    void add(uint32_t row0, uint32_t col0, uint16_t xf, StoredKind kind, double number);

    std::vector<StoredCell> cells_;
    std::vector<std::string> localTexts_;
    std::vector<FormatSpan> rowFormats_;
    std::vector<FormatSpan> columnFormats_;
    std::vector<StoredBlock> blocks_;  // few: a linear search will do
    bool protected_ = false;
    bool sorted_ = true;
    size_t withoutResult_ = 0;
    mutable size_t lastHit_ = 0;  // where the last look-up ended
};

}  // namespace sbx::xls
