#pragma once
// The spreadsheet application's Consolidate (sum, by position) on typed areas: every cell of
// the target area receives the total of the values at the same position of every source
// area, by the rules of CellTotal.
#include <cstddef>
#include <filesystem>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "spreadsheet/area_values.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

// One source of a consolidation: an area of a worksheet of a workbook file.
struct SourceArea {
    std::filesystem::path file;
    std::string worksheet;  // the real name; letter case does not matter
    CellArea area;
};

// A source worksheet ready to be read, and how its workbook counts dates.
struct OpenedSource {
    const Worksheet& sheet;
    bool dates1904 = false;
};

// Where the sources come from: a run keeps workbooks open between worksheets; a plain call
// opens them through the host. open() throws WorkbookError (the file and why) when it cannot;
// release() says that the source has been read, so that its workbook may be closed.
// held() gives the values of the source's area read before (by a check), which are then
// added up instead of opening the source; the caller asks it first, and release()s either way.
class SourceOpener {
public:
    virtual ~SourceOpener() = default;
    virtual const AreaValues* held(const SourceArea& /*source*/) { return nullptr; }
    virtual OpenedSource open(const SourceArea& source) = 0;
    virtual void release(const SourceArea& /*source*/) {}
};

// Source values that add nothing (texts that do not read as numbers, error values,
// booleans) at one position of the area: how many, and the first of them.
struct IgnoredValue {
    CellAddress position;  // in the target area
    size_t source = 0;     // index into the sources of the first
    CellAddress cell;      // in that source's area
    CellValue value;
    long long count = 0;
};

// Gathers IgnoredValues as the sources are read: the first value at each target position and
// how many, in position order. Both ways of adding up (one area at a time, or cell by cell
// into an open summary) keep them so.
class IgnoredValues {
public:
    void note(CellAddress position, size_t source, CellAddress cell, const CellValue& value) {
        ++byPosition_.try_emplace({position.row, position.column}, IgnoredValue{position, source, cell, value, 0})
              .first->second.count;
    }
    std::vector<IgnoredValue> take() {
        std::vector<IgnoredValue> list;
        list.reserve(byPosition_.size());
        for (auto& entry : byPosition_) list.push_back(std::move(entry.second));
        byPosition_.clear();
        return list;
    }

private:
    std::map<std::pair<int, int>, IgnoredValue> byPosition_;
};

struct ConsolidateResult {
    long long cellsWritten = 0;
    std::vector<std::pair<CellAddress, CellValue>> keptTotals;  // the totals of the cells left alone
    long long ignoredCount = 0;
    // One entry per position of the target area where something added nothing (so no more
    // than the area has cells), in the target's numbering.
    std::vector<IgnoredValue> ignored;
};

// A total that added up beyond the largest number a double holds (CellTotal::finite): no
// spreadsheet application stores it, so nothing of the area is written.
class TotalNotFinite : public std::runtime_error {
public:
    explicit TotalNotFinite(CellAddress cell)
        : std::runtime_error("the total of cell " + cellName(cell) + " is beyond the largest number a spreadsheet holds"),
          cell_(cell) {}
    CellAddress cell() const { return cell_; }

private:
    CellAddress cell_;
};

// All or nothing: nothing is written when a total is not finite (TotalNotFinite), when the
// area is not an area of the sheet, a source
// area differs from it in size, a cell of the target area is locked on a protected
// worksheet (CellLocked), or a source cannot be opened or read. Sources are read one after
// the other, each released before the next is opened, so memory does not grow with their
// number. Cells of the target area
// that hold a value but receive no total become empty.
// Cells of `leaveAlone` (in the target area) are neither written nor emptied: their totals come
// back in keptTotals.
ConsolidateResult consolidateByPosition(SourceOpener& sources, Worksheet& target, const CellArea& area,
                                        std::span<const SourceArea> areas, std::span<const CellAddress> leaveAlone = {});

// The same with every source workbook opened through `host` for this call only.
ConsolidateResult consolidateByPosition(SpreadsheetHost& host, Worksheet& target, const CellArea& area,
                                        std::span<const SourceArea> areas);

}  // namespace sbx
