#pragma once
// What a consolidation run takes and what it gives back.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "consolidate/post_run_steps.h"
#include "consolidate/run_clock.h"
#include "consolidate/status_view.h"
#include "job/job_definition.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/workspace_paths.h"

namespace sbx {

using HostFactory = std::function<std::unique_ptr<SpreadsheetHost>()>;
// The bare names of the files directly in a folder, in the order the run visits them.
using PoolLister = std::function<std::vector<std::string>(const std::filesystem::path&)>;

// Files directly in `folder` (any extension, no folders), sorted by name so that every run
// visits them in the same order.
std::vector<std::string> listPoolFolder(const std::filesystem::path& folder);

struct RunSetup {
    JobDefinition& job;
    // The entries of the pool list selected when the run starts, in list order.
    std::vector<std::string> selectedEntries;
    // Entries of the pool list (Label4).
    int poolEntryCount = 0;
    WorkspacePaths paths;
    StatusView& status;
    DialogsPort& dialogs;
    PostRunSteps& postRun;
    const RunClock& clock;
    HostFactory makeHost = makeNativeHost;
    PoolLister listPool = listPoolFolder;
};

// What a run had to leave out, told to the user in one message at its end.
struct SkipReport {
    std::vector<std::string> missingFiles;      // selected entries whose file is not in the pool
    std::vector<std::string> unreadableFiles;   // "[worksheet] file": could not be opened or read
    std::vector<std::string> lackingWorksheet;  // "[worksheet] file": the file lacks the worksheet
    long long unwritableCells = 0;              // summary cells that refused their total
    std::vector<std::string> firstUnwritable;   // the first few of them, "worksheet!b4"
    std::vector<std::string> unwrittenWorksheets; // worksheets whose totals could not be written or saved

    bool empty() const {
        return missingFiles.empty() && unreadableFiles.empty() && lackingWorksheet.empty() &&
               unwritableCells == 0 && unwrittenWorksheets.empty();
    }
};

struct RunSummary {
    RunState state = RunState::IdleOrRunning;  // Finished, Failed, or stopped by a check
    std::vector<std::string> runList;          // the files consolidated, in visiting order
    int worksheetsDone = 0;                    // worksheets written and saved
    long long cellsRead = 0;                   // source cell positions read (function mode)
    long long cellsWritten = 0;                // summary cells that took a total
    long long rangeCells = 0;                  // cells of the ranges of the worksheets done
    SkipReport skipped;
    // Why the run failed or stopped (the message shown, or the failing operation's own error
    // text); for a finished function-mode run, the error of the first worksheet that could
    // not be written. Empty otherwise.
    std::string diagnosis;
};

}  // namespace sbx
