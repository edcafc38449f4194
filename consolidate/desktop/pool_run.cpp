#include "consolidate/desktop/pool_run.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <system_error>
#include <unordered_set>

#include "consolidate/check/check_texts.h"
#include "consolidate/run/run.h"
#include "consolidate/record/run_outputs.h"
#include "consolidate/record/run_record.h"
#include "consolidate/run/run_messages.h"
#include "consolidate/status/status_view_events.h"
#include "consolidate/run/summary_lock.h"
#include "job/range_rules.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/worksheet_name.h"
#include "workspace/natural_order.h"
#include "workspace/pool.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"
#include "workspace/working_folder_text.h"

namespace sbx {

std::vector<std::string> listPoolFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::vector<std::string> names;
    for (const std::filesystem::path& file : workbooksIn(folder, error)) names.push_back(utf8String(file.filename()));
    if (error) throw std::filesystem::filesystem_error("cannot list the pool folder", folder, error);
    return names;
}

bool confirmFunctionMode(StatusView& status, DialogsPort& dialogs) {
    status.setHint(run_text::kHintFunctionConfirm);
    if (!dialogs.askYesNo(run_text::functionConfirmQuestion(), Risk::Harmless)) {
        status.setHint(run_text::kHintWelcome);
        return false;
    }
    status.setHint(run_text::kHintFunction);
    return true;
}

namespace {

// The selected entries found in the pool folder, in the folder's order, and those missing.
struct PoolMatch {
    std::vector<std::string> listing;
    std::vector<std::string> matched;
    std::vector<std::string> missing;
};

PoolMatch matchPool(std::vector<std::string> listing, const std::vector<std::string>& selected) {
    PoolMatch match;
    const std::unordered_set<std::string> wanted(selected.begin(), selected.end());
    const std::unordered_set<std::string> present(listing.begin(), listing.end());
    for (const auto& name : listing) {
        if (wanted.contains(name)) match.matched.push_back(name);
    }
    std::unordered_set<std::string> reported;
    for (const auto& name : selected) {
        if (!present.contains(name) && reported.insert(name).second) match.missing.push_back(name);
    }
    match.listing = std::move(listing);
    return match;
}

// Efficiency mode never goes on without a part. Function mode is strict until its first
// cell write and lenient after it; a summary cell that refuses its total is always passed over.
class DesktopDecisions final : public RunDecisions {
public:
    explicit DesktopDecisions(Mode mode) : mode_(mode) {}
    bool goOnWithout(const Skipped& item, bool cellsWritten) override {
        if (mode_ == Mode::Efficiency) return false;
        return item.kind == Skipped::Kind::CellRefused || cellsWritten;
    }

private:
    Mode mode_;
};

class PoolRun {
public:
    PoolRun(const RunSetup& setup, Mode mode) : s_(setup), job_(setup.job), mode_(mode) {}

    RunSummary run() {
        if (mode_ == Mode::Efficiency) {
            s_.status.setHint(run_text::kHintEfficiency);
            s_.status.openEfficiencyPanel();
        } else {
            s_.status.openFunctionPanel();
        }
        job_.runFileCount = 0;
        job_.runState = RunState::IdleOrRunning;
        job_.incompleteSummary = {};

        PoolMatch pool;
        std::unique_ptr<SpreadsheetHost> host;
        try {
            host = s_.makeHost();
            pool = matchPool(s_.listPool(s_.paths.poolDirectory()), s_.selectedEntries);
        } catch (const std::exception& e) {
            return fail(e.what());
        }
        out_.missingFiles = pool.missing;
        if (s_.selectedEntries.empty() || pool.listing.empty()) {
            if (s_.selectedEntries.empty() && !pool.listing.empty()) s_.dialogs.message(run_text::kSelectFiles);
            closePanel();
            return fail("no pool file was selected");
        }
        if (pool.matched.empty()) {
            currentPath_ = s_.paths.poolPrefix() + s_.selectedEntries.front();
            return fail("none of the selected files is in the pool folder " + s_.paths.poolPrefix());
        }

        RunRequest request;
        for (const auto& name : pool.matched) request.sources.push_back(s_.paths.poolFile(name));
        // Looked for once: the run writes this file whatever appears beside it meanwhile.
        summary_ = s_.paths.summaryWorkbook();
        request.templateFile = request.summary = summary_;
        request.job = job_.rangeTable;
        request.mode = mode_;
        request.saving = Saving::AfterEachWorksheet;

        // One run per summary, and never one that would write over a file it reads.
        if (const auto clash = inputAtOutput(request)) {
            return refuse(check_text::inputAtOutputMessage(utf8String(clash->input), utf8String(clash->output)));
        }
        SummaryLock::Attempt lock = SummaryLock::take(request.summary);
        if (!lock.lock) {
            return refuse(check_text::summaryLockedMessage(utf8String(request.summary), lock.inUse, lock.reason));
        }

        // The check and the run share the opened sources; they are closed before the host quits.
        std::optional<SourceCache> sources(std::in_place, *host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes);
        auto lists = listCellsForRecord(*sources, request.summary, request.sources.size());
        const auto startedAt = std::chrono::system_clock::now();
        const auto outcome = checkBeforeRun(request, sources, lists, *host);
        if (!outcome) {
            sources.reset();
            host->quit();
            closePanel();
            s_.status.setHint(run_text::kHintWelcome);
            out_.diagnosis = "the run was cancelled after the check";
            return out_;
        }
        if (request.sources.empty()) {
            sources.reset();
            host->quit();
            return fail("every selected file was left out after the check");
        }

        StatusViewEvents events(s_.status, s_.clock, mode_, static_cast<long long>(s_.selectedEntries.size()));
        DesktopDecisions decisions(mode_);
        RunRecordWriter record(startedAt, out_.check, *outcome, request, {*sources, lists.get()});
        out_.report = sbx::run(request, *host, events, decisions, *sources);
        // A record that could not be written is removed (the viewer then has no contributions to
        // show); a finished run says so.
        out_.recordProblem = record.finish(out_.report);
        lock.lock.reset();  // the summary and its record are in place
        sources.reset();
        lists.reset();
        host->quit();
        const RunReport& report = out_.report;
        job_.runFileCount = static_cast<long long>(pool.listing.size()) * static_cast<long long>(report.worksheets.size());
        currentPath_ = events.currentFile().empty() ? std::string() : s_.paths.poolPrefix() + events.currentFile();

        if (report.failure && report.failure->kind == Failure::Kind::Cancelled) return cancelled();
        if (report.failure) {
            const Failure& f = *report.failure;
            if (f.kind == Failure::Kind::SourceUnreadable || f.kind == Failure::Kind::WorksheetMissing) {
                currentPath_ = utf8String(f.file);
            }
            if (mode_ == Mode::Efficiency && f.kind == Failure::Kind::WorksheetMissing) return stop();
            if (f.kind == Failure::Kind::TotalNotFinite) return fail(f.reason, nullptr, {}, run_text::totalNotFiniteMessage(f));
            if (f.kind == Failure::Kind::RangeBeyondSummary) {
                return fail(f.reason, nullptr, {}, rangeBeyondXlsMessage(f.worksheet, f.area));
            }
            return fail(f.error ? std::string(f.error->what()) : f.reason, f.error ? &*f.error : nullptr, f.worksheet);
        }
        closePanel();
        if (job_.runFileCount == 0) return fail("the run consolidated no file");

        for (const auto& file : report.consolidated) out_.runList.push_back(utf8String(file.filename()));
        std::vector<std::string> shown = out_.runList;  // in the pool list's order
        sortNaturally(shown);
        for (const auto& name : shown) s_.status.addToRunList(name);
        s_.status.showListCounts(s_.poolEntryCount, static_cast<int>(out_.runList.size()));
        out_.state = RunState::Finished;
        finish();
        return out_;
    }

private:
    // The check before the run; flagged files are shown and the user decides. Nullopt: cancelled.
    // A file that cannot be read or lacks a worksheet alone does not open the check window:
    // the run meets it as before (each mode's message and rule); the window lists it when
    // it opens for other findings.
    std::optional<CheckOutcome> checkBeforeRun(RunRequest& request, std::optional<SourceCache>& sources,
                                               std::unique_ptr<RecordCellLists>& lists, SpreadsheetHost& host) {
        CheckRequest check{request.sources, request.templateFile, request.job};
        check.roster = workingFolderRoster(host);
        if (check.roster) check.unitCell = job_.unitCell;
        out_.check = checkSources(check, *sources);
        // Aligned or not, the values the run adds and the record lists are those the last check
        // held: each check starts from a cache and lists of its own.
        const Recheck recheck = [&](bool alignLabels) -> const CheckReport& {
            check.alignLabels = alignLabels;
            lists.reset();
            sources.reset();
            sources.emplace(host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes);
            lists = listCellsForRecord(*sources, request.summary, request.sources.size());
            out_.check = checkSources(check, *sources);
            return out_.check;
        };
        AllowedFindings runHandles;
        runHandles.allow(FindingKind::Unreadable);
        runHandles.allow(FindingKind::MissingWorksheet);
        if (out_.check.flagged(runHandles).empty()) {
            return out_.check.flagged().empty() ? CheckOutcome::NothingFlagged : CheckOutcome::IncludedAll;
        }
        if (!s_.reviewCheck) return CheckOutcome::IncludedAll;
        const CheckChoice choice = s_.reviewCheck(out_.check, recheck);
        if (choice == CheckChoice::Cancel) return std::nullopt;
        // 全部汇总 still leaves out what cannot be read: taking it in would only fail the run.
        const auto leftOut = choice == CheckChoice::IncludeAll ? out_.check.unreadable() : out_.check.flagged();
        if (leftOut.empty()) return CheckOutcome::IncludedAll;
        std::vector<std::filesystem::path> kept;
        for (size_t i = 0, next = 0; i < request.sources.size(); ++i) {
            if (next < leftOut.size() && leftOut[next] == i) {
                out_.leftOutByCheck.push_back(utf8String(request.sources[i].filename()));
                ++next;
            } else {
                kept.push_back(request.sources[i]);
            }
        }
        request.sources = std::move(kept);
        return CheckOutcome::LeftOut;
    }

    // Refused before anything was read or written: the message, and the main window as before.
    RunSummary refuse(const std::string& message) {
        closePanel();
        s_.dialogs.message(message);
        s_.status.setHint(run_text::kHintWelcome);
        out_.diagnosis = message;
        return out_;
    }

    void closePanel() {
        if (mode_ == Mode::Efficiency) {
            s_.status.closeEfficiencyPanel();
        } else {
            s_.status.closeFunctionPanel();
        }
    }

    // Efficiency mode: a selected file lacks the worksheet. Its message, no diagnosis;
    // runState stays 0.
    RunSummary stop() {
        closePanel();
        const std::string message = run_text::worksheetMismatchMessage(currentPath_);
        s_.dialogs.message(message);
        tellIncompleteSummary();
        out_.diagnosis = message;
        return out_;
    }

    // A run that ends without finishing may have saved some worksheets: the last message names
    // those and the others, and the main window keeps it in view until the next run.
    void tellIncompleteSummary() {
        IncompleteSummary summary;
        for (const SheetJob& sheet : job_.rangeTable) {
            const bool saved = std::any_of(out_.report.worksheets.begin(), out_.report.worksheets.end(),
                                           [&](const WorksheetOutcome& w) { return w.saved && sameWorksheetName(w.worksheet, sheet.worksheet); });
            auto& names = saved ? summary.withTotals : summary.withoutTotals;
            if (std::find(names.begin(), names.end(), sheet.worksheet) == names.end()) names.push_back(sheet.worksheet);
        }
        if (!summary.incomplete()) return;
        s_.dialogs.message(run_text::incompleteSummaryMessage(summary));
        job_.incompleteSummary = std::move(summary);
    }

    // Cancelled by the user: the core has put the summary back as it was. The panel goes and
    // the user is told; runState stays 0, so that the next run can start at once.
    RunSummary cancelled() {
        s_.status.hideStatusPanel();
        const bool putBack = out_.report.worksheetsSaved() == 0;
        const std::string message = run_text::cancelledMessage(putBack ? std::string() : out_.report.failure->reason);
        s_.dialogs.message(message);
        s_.status.setHint(run_text::kHintCancelled);
        s_.status.focusStartButton();
        out_.diagnosis = message;
        return out_;
    }

    // The failure path: the mode's message, then the precise reason when the failure came
    // from a workbook (the summary that could not be saved, or the file that could not be read).
    // `message`, when given, says what went wrong in place of the mode's message.
    RunSummary fail(const std::string& why, const WorkbookError* cause = nullptr, const std::string& worksheet = {},
                    const std::string& message = {}) {
        if (job_.runState != RunState::IdleOrRunning) return out_;
        job_.runState = RunState::Failed;
        if (!message.empty()) {
            s_.dialogs.message(message);
        } else {
            s_.dialogs.message(mode_ == Mode::Efficiency ? run_text::efficiencyFailureMessage(currentPath_)
                                                         : run_text::functionFailureMessage(currentPath_));
        }
        if (cause && !cause->file().empty()) {
            if (cause->kind() == WorkbookErrorKind::Unwritable && cause->file() == summary_) {
                s_.dialogs.message(run_text::summaryNotSavedMessage(*cause, out_.report.worksheetsSaved()));
            } else if (cause->kind() == WorkbookErrorKind::SheetNotFound && !worksheet.empty()) {
                s_.dialogs.message(run_text::worksheetNotFoundMessage(worksheet, utf8String(cause->file())));
            } else if (!summary_.empty() && cause->file() == summary_) {
                // The summary is a unit's copy: that unit's file is named too.
                s_.dialogs.message(workbookErrorText(*cause) + summaryMadeFromText(s_.paths));
            } else {
                s_.dialogs.message(workbookErrorText(*cause));
            }
        }
        tellIncompleteSummary();
        s_.status.hideStatusPanel();
        if (mode_ == Mode::Efficiency) {
            s_.status.focusStartButton();
            job_.efficiencyBlocked = true;
        } else {
            s_.status.disableJobButtons();
            s_.status.focusExitButton();
        }
        out_.state = RunState::Failed;
        out_.diagnosis = why;
        return out_;
    }

    // The units expected, when the working folder keeps a roster; one that cannot be read is
    // said and the run goes on without it.
    std::optional<Roster> workingFolderRoster(SpreadsheetHost& host) {
        const std::filesystem::path file = s_.paths.poolDirectory() / utf8Path(kRosterFileName);
        std::error_code missing;
        if (!std::filesystem::exists(file, missing)) return std::nullopt;
        try {
            return readRoster(file, host);
        } catch (const WorkbookError& e) {
            s_.dialogs.message("应报名单 " + utf8String(file) + " 无法读取，本次不核对上报单位：" +
                               workbookErrorText(e));
            return std::nullopt;
        }
    }

    // A finished run: who has reported, what was left out, the archiving question, the export question.
    void finish() {
        job_.runState = RunState::Finished;
        if (out_.check.roster) {
            std::vector<std::filesystem::path> files;
            for (const SourceCheck& source : out_.check.sources) files.push_back(source.file);
            std::string text = reportedCountText(*out_.check.roster);
            for (const std::string& line : rosterLines(*out_.check.roster, files)) text += "\r" + line;
            s_.dialogs.message(text);
        }
        if (!out_.leftOutByCheck.empty()) {
            s_.dialogs.message(check_text::leftOutMessage(out_.runList.size(), out_.leftOutByCheck));
        }
        if (out_.recordProblem) s_.dialogs.message(check_text::recordNotWrittenMessage(*out_.recordProblem));
        if (const auto report = run_text::skipReportMessage(out_.report, out_.missingFiles); !report.empty()) {
            s_.dialogs.message(report);
        }
        s_.status.setHint(run_text::kHintArchive);
        if (s_.dialogs.askYesNo(run_text::kArchiveQuestion, Risk::Destructive)) {
            s_.status.setHint(mode_ == Mode::Efficiency ? std::string()
                                                        : namingWorkingFolder(run_text::kHintArchiveExplained, s_.paths));
            try {
                s_.postRun.archive(out_.runList);
            } catch (const std::exception&) {
                // Archiving reports its own failures; the run goes on to the export offer.
            }
        } else if (mode_ == Mode::Function) {
            s_.status.disableAddFilesButton();
        }
        s_.status.setHint(run_text::kHintSummaryMade);
        if (s_.dialogs.askYesNo(run_text::kExportQuestion, Risk::Harmless)) {
            s_.postRun.offerExport();
            s_.status.setHint(run_text::kHintExport);
        } else {
            s_.status.focusExitButton();
            s_.status.setHint(namingWorkingFolder(run_text::kHintKeptAtHome, s_.paths));
        }
    }

    const RunSetup& s_;
    JobDefinition& job_;
    Mode mode_;
    RunSummary out_;
    std::string currentPath_;
    std::filesystem::path summary_;  // the summary workbook of this run, once it is known
};

}  // namespace

RunSummary runFromPool(const RunSetup& setup, Mode mode) { return PoolRun(setup, mode).run(); }

}  // namespace sbx
