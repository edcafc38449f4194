#include "consolidate/run/written_cells.h"

#include <algorithm>

namespace sbx {
namespace {

// Refused cells name the worksheet as the job spells it, which may differ in letter case
// from the summary's spelling.
std::string folded(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return name;
}

}  // namespace

WrittenCells::WrittenCells(const RunReport& report) {
    for (const WorksheetOutcome& outcome : report.worksheets)
        if (outcome.saved) areas_.push_back(outcome);
    for (const Skipped& item : report.skipped) {
        if (item.kind == Skipped::Kind::CellRefused) refused_.emplace(folded(item.worksheet), item.cell.row, item.cell.column);
    }
}

bool WrittenCells::refused(const std::string& worksheet, int row, int column) const {
    return refused_.contains({folded(worksheet), row, column}) &&
           std::any_of(areas_.begin(), areas_.end(), [&](const WorksheetOutcome& outcome) {
               return outcome.worksheet == worksheet && outcome.area.contains(row, column);
           });
}

bool WrittenCells::contains(const std::string& worksheet, int row, int column) const {
    for (const WorksheetOutcome& outcome : areas_) {
        if (outcome.worksheet == worksheet && outcome.area.contains(row, column)) {
            return !refused_.contains({folded(worksheet), row, column});
        }
    }
    return false;
}

}  // namespace sbx
