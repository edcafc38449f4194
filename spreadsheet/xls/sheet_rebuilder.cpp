#include "spreadsheet/xls/sheet_rebuilder.h"

#include <algorithm>
#include <string>

#include "spreadsheet/xls/biff_output.h"
#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xls/formula_sharing.h"

namespace sbx::xls {

namespace {

constexpr size_t kNone = static_cast<size_t>(-1);
constexpr uint32_t kRowsPerBlock = 32;

struct RawRecord {
    uint16_t type;
    size_t offset;  // of the header
    size_t size;    // header and body
};

std::vector<RawRecord> splitRecords(std::span<const uint8_t> s) {
    std::vector<RawRecord> out;
    size_t pos = 0;
    while (pos + 4 <= s.size()) {
        const uint16_t type = rec::worksheetRecordType(loadU16(s.data() + pos));
        const size_t length = loadU16(s.data() + pos + 2);
        if (pos + 4 + length > s.size()) {
            throwTruncated("a record at byte " + std::to_string(pos) + " of a worksheet runs past its end");
        }
        out.push_back({type, pos, 4 + length});
        pos += 4 + length;
    }
    return out;
}

bool isCellRecord(uint16_t t) {
    switch (t) {
        case rec::Blank: case rec::MulBlank: case rec::Rk: case rec::MulRk: case rec::Number:
        case rec::LabelSst: case rec::Label: case rec::RString: case rec::BoolErr: case rec::Formula:
            return true;
        default:
            return false;
    }
}

// Records that belong to the cell record before them.
bool isFollower(uint16_t t) {
    return t == rec::ShrFmla || t == rec::Array || t == rec::Table || t == rec::String || t == rec::Continue;
}

// One cell record with the records that belong to it; MULRK and MULBLANK span columns.
struct Unit {
    uint16_t lastColumn;
    std::vector<uint8_t> bytes;

    uint16_t type() const { return loadU16(bytes.data()); }
    std::span<const uint8_t> body() const { return std::span<const uint8_t>(bytes).subspan(4, loadU16(bytes.data() + 2)); }
    // The records after the first, as (type, body) pairs.
    template <typename F>
    void forEachFollower(F&& visit) const {
        size_t pos = 4 + loadU16(bytes.data() + 2);
        while (pos + 4 <= bytes.size()) {
            const uint16_t t = loadU16(bytes.data() + pos);
            const size_t n = loadU16(bytes.data() + pos + 2);
            visit(t, std::span<const uint8_t>(bytes).subspan(pos + 4, n), pos);
            pos += 4 + n;
        }
    }
};

struct RowModel {
    std::vector<uint8_t> rowBody;          // the ROW record's body, when there is one
    std::map<uint16_t, Unit> units;         // by first column
};

std::vector<uint8_t> makeRecord(uint16_t type, std::span<const uint8_t> body) {
    BiffOutput out;
    out.record(type, body);
    return std::move(out.bytes());
}

// Splits a MULRK or MULBLANK that covers `column` into one record per cell.
void splitMultiple(RowModel& row, uint16_t column) {
    auto it = row.units.upper_bound(column);
    if (it == row.units.begin()) return;
    --it;
    const uint16_t first = it->first;
    if (it->second.lastColumn < column || it->second.lastColumn == first) return;
    const Unit multi = std::move(it->second);
    row.units.erase(it);
    const auto body = multi.body();
    const bool isRk = multi.type() == rec::MulRk;
    const size_t each = isRk ? 6 : 2;
    for (uint16_t c = first; c <= multi.lastColumn; ++c) {
        const size_t at = 4 + (c - first) * each;
        BiffOutput out;
        const size_t s = out.beginRecord(isRk ? rec::Rk : rec::Blank);
        out.append(body.subspan(0, 2));  // row
        out.u16(c);
        out.append(body.subspan(at, each));
        out.endRecord(s);
        row.units[c] = Unit{c, std::move(out.bytes())};
    }
}

struct RemovedAnchor {
    uint16_t row, column;
    uint16_t type;  // SHRFMLA, ARRAY or TABLE
    std::vector<uint8_t> body;
};

// Cells whose formula leaned on a removed first cell get a formula of their own (shared
// formulas) or keep their last result as a constant (array formulas, data tables).
void detachDependents(std::map<uint32_t, RowModel>& rows, const RemovedAnchor& anchor) {
    if (anchor.body.size() < 6) return;
    const uint16_t firstRow = loadU16(anchor.body.data());
    const uint16_t lastRow = loadU16(anchor.body.data() + 2);
    for (auto it = rows.lower_bound(firstRow); it != rows.end() && it->first <= lastRow; ++it) {
        for (auto& entry : it->second.units) {
            auto& unit = entry.second;  // a plain reference: clang 14 lambdas cannot capture bindings
            if (unit.type() != rec::Formula) continue;
            const auto leansOn = formulaAnchorOf(unit.body());
            if (!leansOn || leansOn->row != anchor.row || leansOn->column != anchor.column) continue;
            std::span<const uint8_t> stringBody;
            std::vector<uint8_t> followers;
            unit.forEachFollower([&](uint16_t t, std::span<const uint8_t> b, size_t pos) {
                if (t == rec::String) stringBody = b;
                followers.insert(followers.end(), unit.bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                                 unit.bytes.begin() + static_cast<std::ptrdiff_t>(pos + 4 + b.size()));
            });
            std::vector<uint8_t> replaced;
            if (anchor.type == rec::ShrFmla) {
                if (auto own = unshareFormula(unit.body(), anchor.body)) {
                    replaced = makeRecord(rec::Formula, *own);
                    replaced.insert(replaced.end(), followers.begin(), followers.end());
                }
            }
            if (replaced.empty()) replaced = cachedResultRecord(unit.body(), stringBody);
            unit.bytes = std::move(replaced);
        }
    }
}

void writeRowRecord(BiffOutput& out, uint32_t row, const RowModel& model, uint16_t defaultRowHeight) {
    std::vector<uint8_t> body = model.rowBody;
    if (body.size() < 16) {
        BiffOutput fresh;
        fresh.u16(static_cast<uint16_t>(row));
        fresh.u16(0);
        fresh.u16(0);
        fresh.u16(defaultRowHeight);
        fresh.u16(0);
        fresh.u16(0);
        fresh.u16(0x0100);  // the bit every ROW record carries
        fresh.u16(0x000F);  // the default cell format
        body = std::move(fresh.bytes());
    }
    if (!model.units.empty()) {
        storeU16(body.data() + 2, model.units.begin()->first);
        storeU16(body.data() + 4, static_cast<uint16_t>(model.units.rbegin()->second.lastColumn + 1));
    }
    out.record(rec::Row, body);
}

}  // namespace

RebuiltSheet rebuildSheet(std::span<const uint8_t> substream, const CellRecords& writes) {
    enum class Piece : uint8_t { Record, Index, Dimensions, Table };
    struct Planned {
        Piece piece;
        size_t record;  // index into records, for Piece::Record
    };
    const auto records = splitRecords(substream);
    std::vector<Planned> plan;
    std::map<uint32_t, RowModel> rows;
    bool tablePlaced = false;
    uint16_t defaultRowHeight = 255;  // twips, when the sheet does not say
    Unit* current = nullptr;
    int depth = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const RawRecord& r = records[i];
        const auto body = substream.subspan(r.offset + 4, r.size - 4);
        if (r.type == rec::Bof || r.type == rec::Eof) {
            depth += r.type == rec::Bof ? 1 : -1;
            current = nullptr;
            plan.push_back({Piece::Record, i});
            continue;
        }
        if (depth != 1) {
            plan.push_back({Piece::Record, i});
            continue;
        }
        if (isCellRecord(r.type) && body.size() >= 6) {
            if (!tablePlaced) plan.push_back({Piece::Table, kNone});
            tablePlaced = true;
            const uint16_t row = loadU16(body.data());
            const uint16_t first = loadU16(body.data() + 2);
            uint16_t last = first;
            if (r.type == rec::MulRk || r.type == rec::MulBlank) {
                const size_t each = r.type == rec::MulRk ? 6 : 2;
                const size_t count = body.size() >= 6 ? (body.size() - 6) / each : 0;
                if (count == 0) continue;
                last = static_cast<uint16_t>(first + count - 1);
            }
            Unit& unit = rows[row].units[first];
            unit = Unit{last, std::vector<uint8_t>(substream.begin() + static_cast<std::ptrdiff_t>(r.offset),
                                                   substream.begin() + static_cast<std::ptrdiff_t>(r.offset + r.size))};
            current = &unit;
            continue;
        }
        if (isFollower(r.type) && current) {
            current->bytes.insert(current->bytes.end(), substream.begin() + static_cast<std::ptrdiff_t>(r.offset),
                                  substream.begin() + static_cast<std::ptrdiff_t>(r.offset + r.size));
            continue;
        }
        current = nullptr;
        if (r.type == rec::Row && body.size() >= 16) {
            if (!tablePlaced) plan.push_back({Piece::Table, kNone});
            tablePlaced = true;
            rows[loadU16(body.data())].rowBody.assign(body.begin(), body.end());
        } else if (r.type == rec::DbCell) {
            // rebuilt with the blocks
        } else if (r.type == rec::Index) {
            plan.push_back({Piece::Index, kNone});
        } else if (r.type == rec::Dimensions) {
            plan.push_back({Piece::Dimensions, kNone});
        } else {
            if (r.type == rec::DefaultRowHeight && body.size() >= 4) defaultRowHeight = loadU16(body.data() + 2);
            plan.push_back({Piece::Record, i});
        }
    }
    if (!tablePlaced) {
        // An empty sheet: the table goes after DIMENSIONS, else before WINDOW2 or the EOF.
        auto at = std::find_if(plan.begin(), plan.end(), [](const Planned& p) { return p.piece == Piece::Dimensions; });
        if (at != plan.end()) {
            ++at;
        } else {
            at = std::find_if(plan.begin(), plan.end(), [&](const Planned& p) {
                return p.piece == Piece::Record && records[p.record].type == rec::Window2;
            });
            if (at == plan.end() && !plan.empty()) at = plan.end() - 1;
        }
        plan.insert(at, {Piece::Table, kNone});
    }

    RebuiltSheet result;
    std::vector<RemovedAnchor> anchors;
    for (const auto& [key, record] : writes) {
        const auto rowIndex = static_cast<uint16_t>(key >> 8);
        const auto column = static_cast<uint16_t>(key & 0xFF);
        RowModel& row = rows[rowIndex];
        splitMultiple(row, column);
        if (auto it = row.units.find(column); it != row.units.end()) {
            const Unit& old = it->second;
            if (old.type() == rec::LabelSst) ++result.sharedTextCellsRemoved;
            old.forEachFollower([&](uint16_t t, std::span<const uint8_t> b, size_t) {
                if (t == rec::ShrFmla || t == rec::Array || t == rec::Table) {
                    anchors.push_back({rowIndex, column, t, std::vector<uint8_t>(b.begin(), b.end())});
                }
            });
            row.units.erase(it);
        }
        if (!record.empty()) row.units[column] = Unit{column, record};
    }
    for (const auto& anchor : anchors) detachDependents(rows, anchor);
    std::erase_if(rows, [](const auto& entry) { return entry.second.rowBody.empty() && entry.second.units.empty(); });

    // The extent of the cells, for DIMENSIONS, and of the rows, for INDEX.
    uint32_t firstRow = UINT32_MAX, lastRow = 0, firstColumn = UINT32_MAX, lastColumn = 0;
    for (const auto& [r, model] : rows) {
        if (model.units.empty()) continue;
        firstRow = std::min(firstRow, r);
        lastRow = std::max(lastRow, r);
        firstColumn = std::min<uint32_t>(firstColumn, model.units.begin()->first);
        lastColumn = std::max<uint32_t>(lastColumn, model.units.rbegin()->second.lastColumn);
    }
    const bool anyCell = firstRow != UINT32_MAX;
    std::vector<uint32_t> blockKeys;
    for (const auto& entry : rows) {
        if (blockKeys.empty() || blockKeys.back() != entry.first / kRowsPerBlock) blockKeys.push_back(entry.first / kRowsPerBlock);
    }

    BiffOutput out;
    size_t indexPos = kNone;
    size_t defColWidthPos = 0;
    std::vector<size_t> dbCells;
    for (const Planned& p : plan) {
        switch (p.piece) {
            case Piece::Record: {
                const RawRecord& r = records[p.record];
                if (r.type == rec::DefColWidth) defColWidthPos = out.size();
                out.append(substream.subspan(r.offset, r.size));
                break;
            }
            case Piece::Index: {
                indexPos = out.size();
                const size_t s = out.beginRecord(rec::Index);
                for (size_t k = 0; k < 4 + blockKeys.size(); ++k) out.u32(0);
                out.endRecord(s);
                break;
            }
            case Piece::Dimensions: {
                const size_t s = out.beginRecord(rec::Dimensions);
                out.u32(anyCell ? firstRow : 0);
                out.u32(anyCell ? lastRow + 1 : 0);
                out.u16(static_cast<uint16_t>(anyCell ? firstColumn : 0));
                out.u16(static_cast<uint16_t>(anyCell ? lastColumn + 1 : 0));
                out.u16(0);
                out.endRecord(s);
                break;
            }
            case Piece::Table: {
                auto it = rows.begin();
                while (it != rows.end()) {
                    const uint32_t block = it->first / kRowsPerBlock;
                    auto end = it;
                    while (end != rows.end() && end->first / kRowsPerBlock == block) ++end;
                    const size_t blockStart = out.size();
                    for (auto r = it; r != end; ++r) writeRowRecord(out, r->first, r->second, defaultRowHeight);
                    const size_t secondRowRecord = blockStart + 4 + 16;
                    std::vector<size_t> firstCells;
                    for (auto r = it; r != end; ++r) {
                        firstCells.push_back(out.size());
                        for (const auto& [column, unit] : r->second.units) out.append(unit.bytes);
                    }
                    dbCells.push_back(out.size());
                    const size_t s = out.beginRecord(rec::DbCell);
                    out.u32(static_cast<uint32_t>(out.size() - 4 - blockStart));
                    for (size_t k = 0; k < firstCells.size(); ++k) {
                        const size_t from = k == 0 ? secondRowRecord : firstCells[k - 1];
                        out.u16(static_cast<uint16_t>(firstCells[k] - from));
                    }
                    out.endRecord(s);
                    it = end;
                }
                break;
            }
        }
    }
    if (indexPos != kNone) {
        uint8_t* body = out.bytes().data() + indexPos + 4;
        storeU32(body + 4, rows.empty() ? 0 : rows.begin()->first);
        storeU32(body + 8, rows.empty() ? 0 : rows.rbegin()->first + 1);
        storeU32(body + 12, static_cast<uint32_t>(defColWidthPos));
        for (size_t k = 0; k < dbCells.size(); ++k) storeU32(body + 16 + 4 * k, static_cast<uint32_t>(dbCells[k]));
    }
    result.bytes = std::move(out.bytes());
    return result;
}

void shiftIndexPositions(std::span<uint8_t> substream, int64_t delta, size_t oldStart) {
    const size_t minimum = oldStart;
    if (delta == 0) return;
    int depth = 0;
    for (const RawRecord& r : splitRecords(substream)) {
        if (r.type == rec::Bof) ++depth;
        if (r.type == rec::Eof) --depth;
        if (depth != 1 || r.type != rec::Index || r.size < 4 + 16) continue;
        uint8_t* body = substream.data() + r.offset + 4;
        auto shift = [delta](uint8_t* p) {
            const uint32_t v = loadU32(p);
            if (v != 0) storeU32(p, static_cast<uint32_t>(static_cast<int64_t>(v) + delta));
        };
        // Some writers put a position in the globals here: only one inside the substream moves.
        if (loadU32(body + 12) >= minimum) shift(body + 12);
        for (size_t at = 16; at + 4 <= r.size - 4; at += 4) shift(body + at);
    }
}

}  // namespace sbx::xls
