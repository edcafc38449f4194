#pragma once
// The summary's formulas inside a chosen range (a 合计 row, a 占比 or 增长率 column of the
// template). The sum of the units' results of a ratio means nothing; the formula over the
// totals is what the summary should show. So a formula that reads only cells of the job's
// ranges (and constants) is kept, and saving computes it from the totals; one that reads
// other cells (which hold one unit's values in the template) or that cannot be computed
// here receives the sum of the units' results, as every other cell does.
#include <string>
#include <vector>

#include "job/job.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

struct RangeFormulas {
    std::vector<CellAddress> kept;  // row by row
    std::vector<std::pair<CellAddress, std::string>> summed;  // and why
};

// The formulas of `target` inside `sheet.area`, sorted by the rule above against every range of `job`.
RangeFormulas rangeFormulas(const Worksheet& target, const SheetJob& sheet, const Job& job);

}  // namespace sbx
