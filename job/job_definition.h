#pragma once
// The program-wide job and run state: which worksheets take part, the range of each, and
// how the last run ended. The windows of the job steps fill it; the runs read it. This is
// the one piece of shared mutable state of the program, owned by the main window and
// passed by reference to whoever needs it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "job/job.h"

namespace sbx {

enum class RunState : int { IdleOrRunning = 0, Failed = 1, Finished = 2 };

// A summary that a failed run left with the totals of only some of its worksheets: the
// others hold what they held before (the template's own figures, or an earlier run's).
struct IncompleteSummary {
    std::vector<std::string> withTotals;     // worksheets saved with this run's totals, in job order
    std::vector<std::string> withoutTotals;  // the job's other worksheets
    bool incomplete() const { return !withTotals.empty() && !withoutTotals.empty(); }
};

struct JobDefinition {
    // Worksheets of the summary workbook, in workbook order, by their real names (the blank
    // rule of padBlankEdgedName is only how the windows show them).
    std::vector<std::string> sheetNames;

    // The worksheets ticked at the last accepted worksheet selection, in workbook order.
    std::vector<std::string> chosenSheets;

    // The job accepted by the range entry: each chosen worksheet and its cell area, in order.
    Job rangeTable;
    int sheetCount() const { return static_cast<int>(rangeTable.size()); }

    // The job remembered for this summary workbook's worksheet names (方案), offered in the
    // worksheet selection and the range entry; empty when none is kept.
    Job remembered;
    // With a roster: the template cell that names each report's unit; none matches reports
    // by their file names. Kept with the job in 方案.txt.
    std::optional<UnitCell> unitCell;

    bool jobReady = false;

    // How the last run ended; a failed efficiency run blocks that mode for the program's life.
    RunState runState = RunState::IdleOrRunning;
    bool efficiencyBlocked = false;
    // Set by a failed run that saved some worksheets; cleared when the next run starts and
    // when the summary is replaced.
    IncompleteSummary incompleteSummary;
    // Directory files visited by the current run (wide: no pool size can overflow it).
    long long runFileCount = 0;
    // The splash window was closed by a key or a click before its time ran out.
    bool splashDismissed = false;
};

}  // namespace sbx
