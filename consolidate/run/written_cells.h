#pragma once
// The cells a finished run wrote into the summary, for showing them: the area of every
// worksheet whose totals were saved, less the cells that refused their total.
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "consolidate/run/run_request.h"

namespace sbx {

class WrittenCells {
public:
    explicit WrittenCells(const RunReport& report);

    // By the worksheet's name as the summary spells it; row and column from 1.
    bool contains(const std::string& worksheet, int row, int column) const;
    // A cell of a saved area that refused its total: it still holds the template's value.
    bool refused(const std::string& worksheet, int row, int column) const;
    bool empty() const { return areas_.empty(); }
    // The first worksheet written and its area, where a look at the result starts.
    const WorksheetOutcome& first() const { return areas_.front(); }

private:
    std::vector<WorksheetOutcome> areas_;
    std::set<std::tuple<std::string, int, int>> refused_;
};

}  // namespace sbx
