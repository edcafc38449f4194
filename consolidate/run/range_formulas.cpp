#include "consolidate/run/range_formulas.h"

#include <algorithm>

#include "spreadsheet/worksheet_name.h"

namespace sbx {

namespace {

// Whether every cell of `area` on `worksheet` lies in one of the job's ranges. Areas beyond
// a million cells (whole columns) are taken as reading outside.
bool insideRanges(const std::string& worksheet, const CellArea& area, const Job& job) {
    constexpr long long kLargestChecked = 1 << 20;
    std::vector<CellArea> ranges;
    for (const SheetJob& s : job) {
        if (sameWorksheetName(s.worksheet, worksheet)) ranges.push_back(s.area);
    }
    for (const CellArea& r : ranges) {
        if (r.contains(area.firstRow, area.firstColumn) && r.contains(area.lastRow, area.lastColumn)) return true;
    }
    if (ranges.empty() || area.cellCount() > kLargestChecked) return false;
    for (int row = area.firstRow; row <= area.lastRow; ++row) {
        for (int column = area.firstColumn; column <= area.lastColumn; ++column) {
            if (std::none_of(ranges.begin(), ranges.end(), [&](const CellArea& r) { return r.contains(row, column); })) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

RangeFormulas rangeFormulas(const Worksheet& target, const SheetJob& sheet, const Job& job) {
    RangeFormulas out;
    for (const FormulaReading& f : target.formulasIn(sheet.area)) {
        if (f.opaque) {
            out.summed.push_back({f.cell, "its formula reads what is not known here (a name, a link, a function not computed)"});
            continue;
        }
        const auto outside = std::find_if(f.reads.begin(), f.reads.end(),
                                          [&](const auto& r) { return !insideRanges(r.first, r.second, job); });
        if (outside == f.reads.end()) {
            out.kept.push_back(f.cell);
        } else {
            out.summed.push_back({f.cell, "its formula reads " + outside->first + "!" + areaName(outside->second) +
                                              ", outside the chosen ranges"});
        }
    }
    return out;
}

}  // namespace sbx
