#pragma once
// The desktop's runs as the tests call them, and a job row entered as the range entry
// would take it (the same parser, blanks around the cell texts allowed).
#include <stdexcept>
#include <string>
#include <string_view>

#include "consolidate/desktop/pool_run.h"
#include "job/range_rules.h"

namespace sbx {

inline RunSummary runFunctionMode(const RunSetup& setup) { return runFromPool(setup, Mode::Function); }
inline RunSummary runEfficiencyMode(const RunSetup& setup) { return runFromPool(setup, Mode::Efficiency); }

inline void addJobRange(JobDefinition& job, const std::string& sheet, std::string_view first, std::string_view last) {
    const auto a = acceptedCell(first), b = acceptedCell(last);
    if (!a || !b) throw std::invalid_argument("not a range: " + std::string(first) + ":" + std::string(last));
    job.rangeTable.push_back({sheet, CellArea::between(*a, *b)});
    job.chosenSheets.push_back(sheet);
}

}  // namespace sbx
