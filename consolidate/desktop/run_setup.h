#pragma once
// What a run from the desktop takes (the pool, the selected entries, the job, the status
// panel, the dialogs) and what it gives back.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "consolidate/desktop/post_run_steps.h"
#include "consolidate/status/run_clock.h"
#include "consolidate/run/run_request.h"
#include "consolidate/check/source_check.h"
#include "consolidate/status/status_view.h"
#include "job/job_definition.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/workspace_paths.h"

namespace sbx {

using HostFactory = std::function<std::unique_ptr<SpreadsheetHost>()>;
// The bare names of the files directly in a folder, in the order the run visits them.
using PoolLister = std::function<std::vector<std::string>(const std::filesystem::path&)>;

// What the user chose in the check window when the check flagged files.
enum class CheckChoice { IncludeAll, SkipFlagged, Cancel };
// Checks the same sources again, their rows and columns matched to the template's by their
// labels (true) or taken where they stand, and gives the new report (按标签对齐汇总).
using Recheck = std::function<const CheckReport&(bool alignLabels)>;
// Shows the check's result and asks; only called when a file was flagged. The run goes on
// with the report of the last recheck, if there was one.
using CheckReviewer = std::function<CheckChoice(const CheckReport&, const Recheck&)>;

// The workbooks directly in `folder` by the pool's rule (workbooksIn), in natural order (单位2
// before 单位10), so that every run visits them in the same order. Throws filesystem_error
// when the folder cannot be listed.
std::vector<std::string> listPoolFolder(const std::filesystem::path& folder);

struct RunSetup {
    JobDefinition& job;
    // The entries of the pool list selected when the run starts, in list order.
    std::vector<std::string> selectedEntries;
    // Entries of the pool list.
    int poolEntryCount = 0;
    WorkspacePaths paths;
    StatusView& status;
    DialogsPort& dialogs;
    PostRunSteps& postRun;
    const RunClock& clock;
    HostFactory makeHost = makeNativeHost;
    PoolLister listPool = listPoolFolder;
    // Unset: every file is taken in, unreadable ones too (the run then fails on them).
    CheckReviewer reviewCheck = {};
};

struct RunSummary {
    RunState state = RunState::IdleOrRunning;  // Finished, Failed, or stopped by a check
    std::vector<std::string> runList;          // the files consolidated, in visiting order
    std::vector<std::string> missingFiles;     // selected entries whose file is not in the pool
    RunReport report;
    CheckReport check;                         // the check before the run
    std::vector<std::string> leftOutByCheck;   // flagged files the user left out
    std::optional<WorkbookError> recordProblem;  // why the run record was not written beside the summary
    // Why the run failed or stopped (the message shown, or the engine's reason). Empty
    // otherwise.
    std::string diagnosis;
};

}  // namespace sbx
