// Function mode: every source's area is read and added up in memory, then every total is
// written into the summary one cell at a time, so that a cell that refuses its total (a
// protected cell, say) is left as it is and reported while the others are written.
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "consolidate/run/run_context.h"
#include "spreadsheet/area_totals.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

// Reads one source's area into the totals. False when the source was left out.
bool readSource(RunContext& run, const SheetJob& sheet, size_t index, AreaTotals& totals, IgnoredValues& ignored) {
    const auto& file = run.request.sources[index];
    const SourceArea source{file, sheet.worksheet, sheet.area};
    const CellArea& area = sheet.area;
    const long long cells = area.cellCount();
    auto read = [&](int row, int column, Contribution added, const auto& value) {
        if (added == Contribution::AddsNothing) {
            ignored.note({row, column}, index, {row, column}, value());
        }
        const long long at = static_cast<long long>(row - area.firstRow) * area.columns() + (column - area.firstColumn) + 1;
        run.events.cellRead({row, column}, at, cells);
    };
    try {
        if (const AreaValues* held = run.sources.held(source)) {
            held->forEach([&](const AreaValues::Held& v, int row, int column) {
                read(row, column, held->addTo(totals.atPosition(v.position()), v), [&] { return held->value(v); });
            });
        } else {
            const OpenedSource opened = run.sources.open(source);
            opened.sheet.forEachValue(area, [&](int row, int column, const CellValue& value) {
                read(row, column, totals.add(row, column, value, opened.dates1904), [&] { return value; });
            });
        }
        run.events.cellRead(area.last(), cells, cells);
    } catch (const WorkbookError& e) {
        run.sources.release(source);
        const bool missing = e.kind() == WorkbookErrorKind::SheetNotFound;
        run.leaveOutOrStop({missing ? Skipped::Kind::WorksheetMissing : Skipped::Kind::SourceUnreadable, file,
                            sheet.worksheet, {}, e.reason()},
                           missing ? Failure::Kind::WorksheetMissing : Failure::Kind::SourceUnreadable, &e);
        return false;
    }
    run.sources.release(source);
    run.report.cellsRead += cells;
    return true;
}

// The cells to write, column by column: those that received something and those that hold
// a value in the summary now (they must be emptied if no total reaches them).
std::vector<CellAddress> cellsToWrite(const AreaTotals& totals, const Worksheet& target) {
    std::vector<uint64_t> keys;  // column in the high half
    auto key = [](int row, int column) { return static_cast<uint64_t>(column) << 32 | static_cast<uint32_t>(row); };
    totals.forEachTouched([&](int row, int column, const CellValue&) { keys.push_back(key(row, column)); });
    target.forEachValue(totals.area(), [&](int row, int column, const CellValue&) { keys.push_back(key(row, column)); });
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    std::vector<CellAddress> cells;
    cells.reserve(keys.size());
    for (const uint64_t k : keys) cells.push_back({static_cast<int>(k & 0xFFFFFFFFu), static_cast<int>(k >> 32)});
    return cells;
}

}  // namespace

long long consolidateCellByCell(RunContext& run, const SheetJob& sheet, Worksheet& target) {
    const CellArea& area = sheet.area;
    AreaTotals totals(area);
    IgnoredValues ignored;
    const int count = static_cast<int>(run.request.sources.size());
    std::vector<size_t> read;  // the sources that took part
    for (int i = 0; i < count; ++i) {
        run.checkCancelled();
        const auto& file = run.request.sources[static_cast<size_t>(i)];
        run.events.fileStarted(i + 1, count, file);
        const bool done = readSource(run, sheet, static_cast<size_t>(i), totals, ignored);
        if (done) read.push_back(static_cast<size_t>(i));
        run.events.fileDone(i + 1, count, file, done);
    }
    if (const auto beyond = totals.firstNotFinite()) run.stopForNotFinite(sheet, *beyond, read);
    for (const size_t i : read) run.contributed[i] = true;
    const std::vector<IgnoredValue> ignoredPositions = ignored.take();
    run.noteIgnored(sheet.worksheet, ignoredPositions, [&](CellAddress at) {
        const CellKind kind = totals.written(at.row, at.column).kind();
        return kind == CellKind::Number || kind == CellKind::Date;
    });

    long long written = 0;
    const long long positions = area.cellCount();
    for (const CellAddress cell : cellsToWrite(totals, target)) {
        if (std::find(run.keptFormulas.begin(), run.keptFormulas.end(), cell) != run.keptFormulas.end()) {
            run.keptTotals.push_back({cell, totals.written(cell.row, cell.column)});
            continue;
        }
        try {
            target.setCell(cell.row, cell.column, totals.written(cell.row, cell.column));
            ++written;
            run.cellsWritten = true;
        } catch (const WorkbookError& e) {
            run.leaveOutOrStop({Skipped::Kind::CellRefused, run.request.templateFile, sheet.worksheet, cell,
                                "cell " + cellName(cell) + ": " + e.reason()},
                               Failure::Kind::SummaryUnusable, &e);
        }
        const long long at = static_cast<long long>(cell.column - area.firstColumn) * area.rows() + (cell.row - area.firstRow) + 1;
        run.events.cellWritten(cell, at, positions);
    }
    run.events.cellWritten(area.last(), positions, positions);
    return written;
}

}  // namespace sbx
