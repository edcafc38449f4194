// Consolidation by position. Everything that can fail is checked before the first write:
// the areas, the source files and worksheets as they are read and added, the protection of
// the target area; only then is the target written.
//
// A source in the target's own file is read from the file as it stands, like any other
// source; the target's cells written earlier in the same session and not yet saved are
// not seen.
#include "spreadsheet/consolidate_by_position.h"

#include <map>
#include <system_error>

#include "spreadsheet/area_totals.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

std::string describeArea(const CellArea& a) {
    return areaName(a) + " (" + std::to_string(a.rows()) + " x " + std::to_string(a.columns()) + ")";
}

// The same file under different spellings (./, ../, links) is one file.
std::string fileKey(const std::filesystem::path& file) {
    std::error_code error;
    const auto canonical = std::filesystem::weakly_canonical(file, error);
    return utf8String(error ? file.lexically_normal() : canonical);
}

// The source workbooks of one call, each opened once; all closed, unsaved, when the call
// ends, however it ends.
class HostSources final : public SourceOpener {
public:
    explicit HostSources(SpreadsheetHost& host) : host_(host) {}
    HostSources(const HostSources&) = delete;
    HostSources& operator=(const HostSources&) = delete;
    ~HostSources() override {
        for (auto it = books_.rbegin(); it != books_.rend(); ++it) {
            try {
                host_.close(*it->second, false);
            } catch (...) {
                // Closing without saving writes nothing; the outcome of the call stands.
            }
        }
    }

    OpenedSource open(const SourceArea& source) override {
        const std::string key = fileKey(source.file);
        auto known = books_.find(key);
        if (known == books_.end()) known = books_.emplace(key, &host_.open(source.file)).first;
        Workbook& book = *known->second;
        return {book.worksheet(source.worksheet), book.uses1904Dates()};
    }

private:
    SpreadsheetHost& host_;
    std::map<std::string, Workbook*> books_;
};

void checkWritable(const Worksheet& target, const CellArea& area) {
    if (!target.isProtected()) return;
    for (int row = area.firstRow; row <= area.lastRow; ++row) {
        for (int column = area.firstColumn; column <= area.lastColumn; ++column) {
            if (!target.isCellLocked(row, column)) continue;
            throw WorkbookError(WorkbookErrorKind::CellLocked, {},
                                "worksheet \"" + target.name() + "\" is protected and its cell " +
                                    cellName({row, column}) + " is locked, so the area " + describeArea(area) +
                                    " cannot be consolidated");
        }
    }
}

// The spreadsheet application refuses to change part of an array formula or a data table.
void checkNoFormulaBlock(const Worksheet& target, const CellArea& area) {
    const auto block = target.formulaBlockIn(area);
    if (!block) return;
    throw WorkbookError(WorkbookErrorKind::CellInArray, {},
                        "worksheet \"" + target.name() + "\": the area " + describeArea(area) + " overlaps " +
                            describeFormulaBlock(*block) + ", which can only be changed as a whole, so the area " +
                            "cannot be consolidated");
}

// Writes the area: the totals, and empty where the area held a value but received none.
// Should a write fail part way, the cells written so far get their old values back.
long long writeArea(Worksheet& target, const AreaTotals& totals, std::span<const CellAddress> leaveAlone) {
    const CellArea& area = totals.area();
    auto key = [&](int row, int column) { return area.positionOf(row, column); };  // row by row
    std::map<uint64_t, CellValue> previous;
    target.forEachValue(area, [&](int row, int column, const CellValue& value) { previous.emplace(key(row, column), value); });
    std::map<uint64_t, CellValue> writes;
    for (const auto& entry : previous) writes.emplace(entry.first, CellValue());
    totals.forEachTouched([&](int row, int column, const CellValue& total) { writes.insert_or_assign(key(row, column), total); });
    for (const CellAddress& cell : leaveAlone) writes.erase(key(cell.row, cell.column));

    std::vector<uint64_t> written;
    try {
        for (const auto& [k, value] : writes) {
            const CellAddress cell = area.cellAt(k);
            target.setCell(cell.row, cell.column, value);
            written.push_back(k);
        }
    } catch (...) {
        for (const uint64_t k : written) {
            const auto old = previous.find(k);
            try {
                const CellAddress cell = area.cellAt(k);
                target.setCell(cell.row, cell.column, old == previous.end() ? CellValue() : old->second);
            } catch (...) {
                // Restoring a cell that was just written cannot be refused; keep going regardless.
            }
        }
        throw;
    }
    return static_cast<long long>(written.size());
}

}  // namespace

ConsolidateResult consolidateByPosition(SourceOpener& sources, Worksheet& target, const CellArea& area,
                                        std::span<const SourceArea> areas, std::span<const CellAddress> leaveAlone) {
    if (!area.valid()) {
        throw WorkbookError(WorkbookErrorKind::CellOutOfRange, {},
                            "the area " + describeArea(area) + " to consolidate into is not an area of the worksheet");
    }
    for (const SourceArea& source : areas) {
        if (!source.area.valid() || source.area.rows() != area.rows() || source.area.columns() != area.columns()) {
            throw WorkbookError(WorkbookErrorKind::CellOutOfRange, source.file,
                                "worksheet \"" + source.worksheet + "\": its area " + describeArea(source.area) +
                                    " differs in size from the area " + describeArea(area));
        }
    }
    ConsolidateResult result;
    AreaTotals totals(area);
    IgnoredValues ignored;
    for (size_t i = 0; i < areas.size(); ++i) {
        const CellArea& from = areas[i].area;
        const int rowShift = area.firstRow - from.firstRow, columnShift = area.firstColumn - from.firstColumn;
        auto addsNothing = [&](int row, int column, const CellValue& value) {
            const int at = row + rowShift, to = column + columnShift;
            ignored.note({at, to}, i, {row, column}, value);
            ++result.ignoredCount;
        };
        if (const AreaValues* held = sources.held(areas[i]); held && held->area() == from) {
            // The same size as the target's area, so a position is the same cell of both.
            held->forEach([&](const AreaValues::Held& v, int row, int column) {
                if (held->addTo(totals.atPosition(v.position()), v) == Contribution::AddsNothing) {
                    addsNothing(row, column, held->value(v));
                }
            });
        } else {
            const OpenedSource source = sources.open(areas[i]);
            source.sheet.forEachValue(from, [&](int row, int column, const CellValue& value) {
                if (totals.add(row + rowShift, column + columnShift, value, source.dates1904) == Contribution::AddsNothing) {
                    addsNothing(row, column, value);
                }
            });
        }
        sources.release(areas[i]);
    }
    if (const auto beyond = totals.firstNotFinite()) throw TotalNotFinite(*beyond);
    checkWritable(target, area);
    checkNoFormulaBlock(target, area);
    result.cellsWritten = writeArea(target, totals, leaveAlone);
    for (const CellAddress& cell : leaveAlone) result.keptTotals.push_back({cell, totals.written(cell.row, cell.column)});
    result.ignored = ignored.take();
    return result;
}

ConsolidateResult consolidateByPosition(SpreadsheetHost& host, Worksheet& target, const CellArea& area,
                                        std::span<const SourceArea> areas) {
    HostSources sources(host);
    return consolidateByPosition(sources, target, area, areas);
}

}  // namespace sbx
