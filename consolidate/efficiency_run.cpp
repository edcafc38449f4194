#include "consolidate/efficiency_run.h"

#include <stdexcept>
#include <unordered_map>

#include "consolidate/range_bounds.h"
#include "consolidate/run_common.h"
#include "consolidate/run_messages.h"
#include "consolidate/status_texts.h"

namespace sbx {

std::string areaSuffix(int firstRow, int firstColumn, int lastRow, int lastColumn) {
    return "!R" + std::to_string(firstRow) + "C" + std::to_string(firstColumn) + ":R" + std::to_string(lastRow) +
           "C" + std::to_string(lastColumn);
}

namespace {

class EfficiencyRun {
public:
    explicit EfficiencyRun(const RunSetup& setup) : s_(setup), job_(setup.job) {}

    RunSummary run() {
        s_.status.setHint(run_text::kHintEfficiency);
        s_.status.openEfficiencyPanel();
        job_.runFileCount = 0;
        job_.runState = RunState::IdleOrRunning;
        PoolMatch pool;
        try {
            host_ = s_.makeHost();
            pool = matchPool(s_.listPool(s_.paths.poolDirectory()), s_.selectedEntries);
        } catch (const std::exception& e) {
            return fail(e.what());
        }

        bool stopped = false;
        try {
            const int n = job_.sheetCount;
            for (int i = 1; i <= n && !stopped; ++i) {
                const TimeOfDay start = s_.clock.now();
                const WorksheetTurn turn = worksheetTurn(job_, i);
                const std::string& sheet = turn.sheet;
                const ParsedRange& range = turn.range;
                if (!range.valid) {
                    stop(run_text::rangeMessage(sheet, turn.first, turn.last));
                    stopped = true;
                    break;
                }
                const PoolCheck poolCheck = checkPool(s_, pool);
                if (poolCheck == PoolCheck::EndQuietly) break;
                if (poolCheck == PoolCheck::NoneFound) {
                    currentPath_ = s_.paths.poolPrefix() + s_.selectedEntries.front();
                    return fail("none of the selected files is in the pool folder " + s_.paths.poolPrefix());
                }

                const RangeBounds& b = range.bounds;
                const std::string suffix = areaSuffix(b.firstRow, b.firstColumn, b.lastRow, b.lastColumn);
                const auto selected = static_cast<long long>(s_.selectedEntries.size());
                std::vector<std::string> sources;
                long long done = 0;
                for (const auto& name : pool.matched) {
                    currentPath_ = s_.paths.poolPrefix() + name;
                    s_.status.showConsolidating(sheet, name);
                    if (!holdsWorksheet(name, sheet)) {
                        stop(run_text::worksheetMismatchMessage(currentPath_));
                        stopped = true;
                        break;
                    }
                    sources.push_back(s_.paths.poolPrefix() + "[" + name + "]" + sheet + suffix);
                    ++done;
                    s_.status.showConsolidationProgress(done, selected);
                }
                job_.runFileCount += static_cast<long long>(pool.listing.size());
                if (stopped) break;

                Workbook& summary = host_->open(s_.paths.summaryWorkbook());
                Worksheet& target = summary.worksheet(sheet);
                target.activate();
                host_->selectRange(turn.first + ":" + turn.last);
                host_->consolidateSelection(sources);
                if (i == n) {
                    for (const auto& name : pool.matched) {
                        out_.runList.push_back(name);
                        s_.status.addToRunList(name);
                    }
                    s_.status.showListCounts(s_.poolEntryCount, static_cast<int>(out_.runList.size()));
                }
                elapsed_.add(start, s_.clock.now());
                s_.status.setProgressCaption(progressCaption(i, n, elapsed_.text()));
                out_.skipped.noteStaleFormulas(summary.staleFormulas());
                host_->close(summary, true);
                ++out_.worksheetsDone;
                out_.cellsWritten += b.cellCount();
                out_.rangeCells += b.cellCount();
            }
        } catch (const std::exception& e) {
            return fail(e.what(), &e);
        }

        host_->quit();
        s_.status.closeEfficiencyPanel();
        if (stopped) return out_;
        if (job_.runFileCount == 0) return fail("the run consolidated no file");
        out_.state = RunState::Finished;
        out_.skipped.missingFiles = pool.missing;
        finishRun(s_, ConsolidationMode::Efficiency, out_.runList, out_.skipped);
        return out_;
    }

private:
    // Exact, case-sensitive: a worksheet named with other letter cases counts as lacking.
    // The names of a file are read once per run.
    bool holdsWorksheet(const std::string& file, const std::string& sheet) {
        auto it = sheetNames_.find(file);
        if (it == sheetNames_.end()) {
            Workbook& book = host_->open(s_.paths.poolFile(file));
            std::vector<std::string> names;
            for (int k = 1; k <= book.worksheetCount(); ++k) names.push_back(book.worksheet(k).name());
            host_->close(book, false);
            it = sheetNames_.emplace(file, std::move(names)).first;
        }
        for (const auto& name : it->second) {
            if (name == sheet) return true;
        }
        return false;
    }

    // A check stopped the run: its message, no diagnosis, the host ended; runState stays 0.
    void stop(const std::string& message) {
        s_.dialogs.message(message);
        out_.diagnosis = message;
    }

    // `cause`: the exception behind the failure, explained after the message when it came
    // from a workbook.
    RunSummary fail(const std::string& why, const std::exception* cause = nullptr) {
        if (job_.runState != RunState::IdleOrRunning) return out_;
        job_.runState = RunState::Failed;
        s_.dialogs.message(run_text::efficiencyFailureMessage(currentPath_));
        if (cause) explainWorkbookFailure(s_, *cause, out_.worksheetsDone);
        if (host_) host_->quit();
        s_.status.hideStatusPanel();
        s_.status.focusStartButton();
        job_.efficiencyBlocked = true;
        out_.state = RunState::Failed;
        out_.diagnosis = why;
        return out_;
    }

    const RunSetup& s_;
    JobDefinition& job_;
    RunSummary out_;
    std::unique_ptr<SpreadsheetHost> host_;
    std::string currentPath_;
    ElapsedTime elapsed_;
    std::unordered_map<std::string, std::vector<std::string>> sheetNames_;
};

}  // namespace

RunSummary runEfficiencyMode(const RunSetup& setup) { return EfficiencyRun(setup).run(); }

}  // namespace sbx
