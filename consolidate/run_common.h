#pragma once
// Pieces both runs share: matching the pool folder with the selected entries, and the
// questions after a finished run.
#include <exception>
#include <string>
#include <vector>

#include "consolidate/range_bounds.h"
#include "consolidate/run_setup.h"

namespace sbx {

struct PoolMatch {
    std::vector<std::string> listing;   // every file of the pool folder, in visiting order
    std::vector<std::string> matched;   // the selected ones present, in visiting order
    std::vector<std::string> missing;   // selected entries with no file, in list order
};

PoolMatch matchPool(std::vector<std::string> listing, const std::vector<std::string>& selected);

// Worksheet i of the job as a run takes it: its name and its range, blanks trimmed.
struct WorksheetTurn {
    std::string sheet;
    std::string first;
    std::string last;
    ParsedRange range;
};

// Throws std::runtime_error when the job holds no row i.
WorksheetTurn worksheetTurn(const JobDefinition& job, int i);

// What the pool allows for a worksheet's turn, checked before anything is read.
enum class PoolCheck {
    Proceed,    // some selected files are there
    EndQuietly, // no selection (the user is told when the pool has files) or an empty pool
    NoneFound,  // files are selected, but none of them is in the pool: the run fails
};

PoolCheck checkPool(const RunSetup& setup, const PoolMatch& pool);

// After a run's failure message, which can only guess at the cause: the precise reason when
// the failure came from a workbook. A summary that could not be saved is named with how many
// worksheets already hold new totals; a file that could not be read, with what is wrong with it.
void explainWorkbookFailure(const RunSetup& setup, const std::exception& failure, int worksheetsSaved);

enum class ConsolidationMode { Efficiency, Function };

// The end of a finished run: the report of what was left out, the archiving question (Yes:
// hand over to archiving) and the export question (Yes: hand over to the export offer).
void finishRun(const RunSetup& setup, ConsolidationMode mode, const std::vector<std::string>& runList,
               const SkipReport& skipped);

}  // namespace sbx
