#pragma once
#include <algorithm>
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
    // Formulas of the summary workbook that depend on written cells but kept their old
    // results ("worksheet!B9"): the spreadsheet application recomputes them on opening.
    std::vector<std::string> staleFormulas;

    // Nothing was left out of the totals.
    bool nothingSkipped() const {
        return missingFiles.empty() && unreadableFiles.empty() && lackingWorksheet.empty() &&
               unwritableCells == 0 && unwrittenWorksheets.empty();
    }
    bool empty() const { return nothingSkipped() && staleFormulas.empty(); }

    // Notes the summary's stale formulas before it is saved; a formula stale after several
    // saves is named once.
    void noteStaleFormulas(const std::vector<StaleFormula>& formulas) {
        for (const auto& f : formulas) {
            const std::string line = describeStale(f);
            const std::string name = line.substr(0, line.find(':'));
            if (std::find(staleFormulas.begin(), staleFormulas.end(), name) == staleFormulas.end()) {
                staleFormulas.push_back(name);
            }
        }
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
