#pragma once
// The cells of one worksheet as read from its part: those with a value, and the blank ones
// whose format matters for writes (unlocked, text or date formats); the protection; the
// areas of array formulas and data tables, which refuse writes to single cells.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/cell_value.h"

namespace sbx::xlsx {

inline constexpr int kMaxRows = kFullGrid.rows;
inline constexpr int kMaxColumns = kFullGrid.columns;

// Position order: row first, then column; both from 1.
inline uint64_t cellKey(int row, int column) {
    return (static_cast<uint64_t>(row) << 14) | static_cast<uint64_t>(column - 1);
}
inline int keyRow(uint64_t key) { return static_cast<int>(key >> 14); }
inline int keyColumn(uint64_t key) { return static_cast<int>(key & 0x3FFF) + 1; }

enum class StoredKind : uint8_t { Blank, Number, Date, SharedText, Text, Boolean, Error };

struct StoredCell {
    uint64_t key = 0;
    double number = 0;   // Number, Date (1900 serial), Boolean, Error code
    uint32_t text = 0;   // SharedText: index into the shared strings; Text: into SheetContent::texts
    uint32_t style = 0;  // index into cellXfs
    StoredKind kind = StoredKind::Blank;
    bool formula = false;
    bool operator==(const StoredCell&) const = default;
};

struct Area {
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
    bool contains(int row, int column) const {
        return row >= firstRow && row <= lastRow && column >= firstColumn && column <= lastColumn;
    }
    bool operator==(const Area&) const = default;
};

struct ColumnStyle {
    int first = 0, last = 0;
    uint32_t style = 0;
    bool operator==(const ColumnStyle&) const = default;
};

struct SheetContent {
    std::vector<StoredCell> cells;  // by key, each key once
    std::vector<std::string> texts;
    bool isProtected = false;
    std::vector<ColumnStyle> columnStyles;
    std::map<int, uint32_t> rowStyles;  // rows with a format of their own
    std::vector<Area> arrayAreas;        // array formulas and data tables
    std::vector<uint64_t> sharedFormulaMasters;
    bool operator==(const SheetContent&) const = default;

    const StoredCell* find(int row, int column) const;
    // The format a cell shows: its own, else its row's, else its column's.
    uint32_t styleAt(int row, int column) const;
};

// "A1:C3", "$A$1:$C$3" or "B2", either corner first.
bool parseArea(std::string_view text, Area& area);

// The error value of "#DIV/0!" and the others; #VALUE! for an unknown text.
uint8_t errorCodeOf(std::string_view text);

}  // namespace sbx::xlsx
