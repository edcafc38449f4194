#include "consolidate/function_run.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_set>

#include "consolidate/accumulation.h"
#include "consolidate/accumulator_grid.h"
#include "consolidate/range_bounds.h"
#include "consolidate/run_common.h"
#include "consolidate/run_messages.h"
#include "consolidate/source_cache.h"
#include "consolidate/status_texts.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

bool confirmFunctionMode(StatusView& status, DialogsPort& dialogs) {
    status.setHint(run_text::kHintFunctionConfirm);
    if (!dialogs.askYesNo(run_text::functionConfirmQuestion())) {
        status.setHint(run_text::kHintWelcome);
        return false;
    }
    status.setHint(run_text::kHintFunction);
    return true;
}

namespace {

constexpr size_t kUnwritableNamed = 5;

CellArea areaOf(const RangeBounds& b) { return CellArea{b.firstRow, b.firstColumn, b.lastRow, b.lastColumn}; }

class FunctionRun {
public:
    explicit FunctionRun(const RunSetup& setup) : s_(setup), job_(setup.job) {}

    RunSummary run() {
        s_.status.openFunctionPanel();
        job_.runFileCount = 0;
        job_.runState = RunState::IdleOrRunning;
        PoolMatch pool;
        try {
            host_ = s_.makeHost();
            sources_ = std::make_unique<SourceCache>(*host_);
            pool = matchPool(s_.listPool(s_.paths.poolDirectory()), s_.selectedEntries);
        } catch (const std::exception& e) {
            return fail(e.what());
        }

        try {
            const int n = job_.sheetCount;
            for (int i = 1; i <= n; ++i) {
                const TimeOfDay start = s_.clock.now();
                const WorksheetTurn turn = worksheetTurn(job_, i);
                const std::string& sheet = turn.sheet;
                const ParsedRange& range = turn.range;
                if (!range.valid) {
                    const std::string message = run_text::rangeMessage(sheet, turn.first, turn.last);
                    s_.dialogs.message(message);
                    out_.diagnosis = message;
                    break;
                }
                const PoolCheck poolCheck = checkPool(s_, pool);
                if (poolCheck == PoolCheck::EndQuietly) break;
                if (poolCheck == PoolCheck::NoneFound) {
                    currentPath_ = s_.paths.poolPrefix() + s_.selectedEntries.front();
                    return fail("none of the selected files is in the pool folder " + s_.paths.poolPrefix());
                }

                const RangeBounds& bounds = range.bounds;
                AccumulatorGrid grid(bounds);
                s_.status.resetWriteProgress();
                const long long overallTotal = static_cast<long long>(s_.selectedEntries.size()) * bounds.cellCount();
                long long overallRead = 0;
                for (const auto& name : pool.matched) {
                    currentPath_ = s_.paths.poolPrefix() + name;
                    if (readSource(name, sheet, grid, overallRead, overallTotal)) contributed_.insert(name);
                    if (i == n && contributed_.contains(name)) {
                        out_.runList.push_back(name);
                        s_.status.addToRunList(name);
                        s_.status.showListCounts(s_.poolEntryCount, static_cast<int>(out_.runList.size()));
                    }
                }
                job_.runFileCount += static_cast<long long>(pool.listing.size());
                writeTotals(sheet, grid);
                elapsed_.add(start, s_.clock.now());
                s_.status.setProgressCaption(progressCaption(i, n, elapsed_.text()));
            }
        } catch (const std::exception& e) {
            if (!lenient_) {
                return fail(e.what(), &e);
            }
            out_.diagnosis = e.what();
        }

        sources_.reset();
        host_->quit();
        s_.status.closeFunctionPanel();
        if (job_.runFileCount == 0) return fail(out_.diagnosis.empty() ? "the run read no file" : out_.diagnosis);
        out_.state = RunState::Finished;
        out_.skipped.missingFiles = pool.missing;
        finishRun(s_, ConsolidationMode::Function, out_.runList, out_.skipped);
        return out_;
    }

private:
    // One source pass: every value of the range added into the grid. False when the file
    // was skipped (lenient); in the strict regime a failure goes up to the failure path.
    bool readSource(const std::string& name, const std::string& sheet, AccumulatorGrid& grid, long long& overallRead,
                    long long overallTotal) {
        s_.status.showReading(sheet, name);
        const RangeBounds& b = grid.bounds();
        const long long cells = b.cellCount();
        const long long base = overallRead;
        overallRead = base + cells;
        try {
            Worksheet& source = sources_->worksheet(s_.paths.poolFile(name), sheet);
            if (!b.onSheet()) {
                throw WorkbookError(WorkbookErrorKind::CellOutOfRange, s_.paths.poolFile(name),
                                    "the range of worksheet \"" + sheet + "\" lies outside the sheet (columns a to iv, "
                                    "rows 1 to 65536; column letters are lower case)");
            }
            const int columns = b.columns();
            source.forEachValue(areaOf(b), [&](int row, int column, const CellValue& v) {
                grid.add(column, row, v);
                const long long at = static_cast<long long>(row - b.firstRow) * columns + (column - b.firstColumn) + 1;
                s_.status.showOverallReadProgress(base + at, overallTotal);
                s_.status.showFileReadProgress(at, cells);
                s_.status.showReadCell(column, row, false);
            });
            s_.status.showOverallReadProgress(base + cells, overallTotal);
            s_.status.showFileReadProgress(cells, cells);
            s_.status.showReadCell(b.lastColumn, b.lastRow, true);
            out_.cellsRead += cells;
            sources_->release(s_.paths.poolFile(name));
            return true;
        } catch (const std::exception& e) {
            sources_->release(s_.paths.poolFile(name));
            if (!lenient_) throw;
            const auto* error = dynamic_cast<const WorkbookError*>(&e);
            auto& list = error && error->kind() == WorkbookErrorKind::SheetNotFound ? out_.skipped.lackingWorksheet
                                                                                  : out_.skipped.unreadableFiles;
            list.push_back("[" + sheet + "] " + name);
            return false;
        }
    }

    // The write pass. Cells that hold nothing in the summary and received no total already
    // show what the total would write (nothing), so only the others are written.
    void writeTotals(const std::string& sheet, const AccumulatorGrid& grid) {
        const RangeBounds& b = grid.bounds();
        Workbook* summary = nullptr;
        try {
            summary = &host_->open(s_.paths.summaryWorkbook());
            Worksheet& target = summary->worksheet(sheet);
            lenient_ = true;  // from the first cell write on
            if (!b.onSheet()) {
                throw WorkbookError(WorkbookErrorKind::CellOutOfRange, s_.paths.summaryWorkbook(),
                                    "the range of worksheet \"" + sheet + "\" lies outside the sheet");
            }
            std::vector<uint64_t> keys;  // column-major: column in the high half
            auto key = [](int column, int row) { return static_cast<uint64_t>(column) << 32 | static_cast<uint32_t>(row); };
            grid.forEachTotal([&](int column, int row, const CellValue&) { keys.push_back(key(column, row)); });
            target.forEachValue(areaOf(b), [&](int row, int column, const CellValue&) { keys.push_back(key(column, row)); });
            std::sort(keys.begin(), keys.end());
            keys.erase(std::unique(keys.begin(), keys.end()), keys.end());

            const long long cells = b.cellCount();
            const int rows = b.rows();
            for (const uint64_t k : keys) {
                const int column = static_cast<int>(k >> 32);
                const int row = static_cast<int>(k & 0xFFFFFFFFu);
                try {
                    target.setCell(row, column, valueToWrite(grid.total(column, row)));
                    ++out_.cellsWritten;
                } catch (const std::exception&) {
                    if (out_.skipped.firstUnwritable.size() < kUnwritableNamed) {
                        out_.skipped.firstUnwritable.push_back(sheet + "!" + columnName(column) + std::to_string(row));
                    }
                    ++out_.skipped.unwritableCells;
                }
                const long long at = static_cast<long long>(column - b.firstColumn) * rows + (row - b.firstRow) + 1;
                s_.status.showWriteProgress(at, cells);
                s_.status.showWrittenCell(column, row, false);
            }
            s_.status.showWriteProgress(cells, cells);
            s_.status.showWrittenCell(b.lastColumn, b.lastRow, true);
            Workbook* saving = summary;
            summary = nullptr;
            out_.skipped.noteStaleFormulas(saving->staleFormulas());
            host_->close(*saving, true);
            ++out_.worksheetsDone;
            out_.rangeCells += cells;
        } catch (const std::exception& e) {
            if (summary) host_->close(*summary, false);
            if (!lenient_) throw;
            out_.skipped.unwrittenWorksheets.push_back(sheet);
            if (out_.diagnosis.empty()) out_.diagnosis = e.what();
        }
    }

    // `cause`: the exception behind the failure, explained after the message when it came
    // from a workbook.
    RunSummary fail(const std::string& why, const std::exception* cause = nullptr) {
        if (job_.runState != RunState::IdleOrRunning) return out_;
        job_.runState = RunState::Failed;
        s_.dialogs.message(run_text::functionFailureMessage(currentPath_));
        if (cause) explainWorkbookFailure(s_, *cause, out_.worksheetsDone);
        sources_.reset();
        if (host_) host_->quit();
        s_.status.hideStatusPanel();
        s_.status.disableJobButtons();
        s_.status.focusExitButton();
        out_.state = RunState::Failed;
        out_.diagnosis = why;
        return out_;
    }

    const RunSetup& s_;
    JobDefinition& job_;
    RunSummary out_;
    std::unique_ptr<SpreadsheetHost> host_;
    std::unique_ptr<SourceCache> sources_;
    bool lenient_ = false;
    std::string currentPath_;
    ElapsedTime elapsed_;
    std::unordered_set<std::string> contributed_;
};

}  // namespace

RunSummary runFunctionMode(const RunSetup& setup) { return FunctionRun(setup).run(); }

}  // namespace sbx
