#pragma once
// Pieces both runs share: matching the pool folder with the selected entries, and the
// questions after a finished run.
#include <string>
#include <vector>

#include "consolidate/run_setup.h"

namespace sbx {

struct PoolMatch {
    std::vector<std::string> listing;   // every file of the pool folder, in visiting order
    std::vector<std::string> matched;   // the selected ones present, in visiting order
    std::vector<std::string> missing;   // selected entries with no file, in list order
};

PoolMatch matchPool(std::vector<std::string> listing, const std::vector<std::string>& selected);

enum class ConsolidationMode { Efficiency, Function };

// The end of a finished run: the report of what was left out, the archiving question (Yes:
// hand over to archiving) and the export question (Yes: hand over to the export offer).
void finishRun(const RunSetup& setup, ConsolidationMode mode, const std::vector<std::string>& runList,
               const SkipReport& skipped);

}  // namespace sbx
