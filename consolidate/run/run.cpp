#include "consolidate/run/run.h"

#include <algorithm>
#include <span>

#include "consolidate/run/file_digest.h"
#include "consolidate/run/range_formulas.h"
#include "consolidate/run/run_context.h"
#include "consolidate/run/summary_before_run.h"
#include "spreadsheet/cell_address.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/worksheet_name.h"

namespace sbx {

int RunReport::worksheetsSaved() const {
    return static_cast<int>(std::count_if(worksheets.begin(), worksheets.end(), [](const auto& w) { return w.saved; }));
}

long long RunReport::skippedOf(Skipped::Kind kind) const {
    return std::count_if(skipped.begin(), skipped.end(), [&](const Skipped& s) { return s.kind == kind; });
}

void RunContext::leaveOutOrStop(Skipped item, Failure::Kind failure, const WorkbookError* cause) {
    if (!decisions.goOnWithout(item, cellsWritten)) {
        Failure f{failure, item.file, item.worksheet, item.reason, std::nullopt};
        if (cause) f.error = *cause;
        stop(std::move(f));
    }
    if (item.kind == Skipped::Kind::CellRefused) ++report.refusedCells;
    report.skipped.push_back(std::move(item));
}

namespace {

// A value as the user sees it in the report: “合计”, #DIV/0!, TRUE.
std::string shownValue(const CellValue& value) {
    switch (value.kind()) {
        case CellKind::Text: return "“" + value.textValue() + "”";
        case CellKind::Error: return errorText(value.errorCode());
        case CellKind::Boolean: return value.booleanValue() ? "TRUE" : "FALSE";
        default: return describe(value);
    }
}

}  // namespace

void RunContext::noteIgnored(const std::string& worksheet, const std::vector<IgnoredValue>& positions,
                             const std::function<bool(CellAddress)>& amongNumbers) {
    constexpr long long kListed = 200;
    for (const IgnoredValue& at : positions) {
        report.ignoredValues += at.count;
        if (!amongNumbers(at.position)) continue;
        report.misplacedValues += at.count;
        if (report.skippedOf(Skipped::Kind::AddsNothing) >= kListed) continue;
        report.skipped.push_back({Skipped::Kind::AddsNothing, request.sources[at.source], worksheet, at.cell,
                                  shownValue(at.value)});
    }
}

void RunContext::stopForNotFinite(const SheetJob& sheet, CellAddress cell, const std::vector<size_t>& indexes) {
    constexpr size_t kNamed = 20;
    std::vector<std::filesystem::path> adding;
    for (const size_t i : indexes) {
        const SourceArea source{request.sources[i], sheet.worksheet, sheet.area};
        CellTotal probe;
        try {
            if (const AreaValues* held = sources.held(source)) {
                const uint64_t position = sheet.area.positionOf(cell.row, cell.column);
                for (const auto& v : held->values()) {
                    if (v.position() == position) held->addTo(probe, v);
                }
            } else {
                const OpenedSource opened = sources.open(source);
                probe.add(opened.sheet.cell(cell.row, cell.column), opened.dates1904);
            }
        } catch (const WorkbookError&) {
            // It was read a moment ago; a source that fails now is simply not named.
        }
        sources.release(source);
        if (!probe.written().isEmpty()) adding.push_back(request.sources[i]);
    }
    std::string reason = "the total of " + sheet.worksheet + "!" + cellName(cell) +
                         " is beyond the largest number a spreadsheet holds (about 1.8e308); it adds up";
    for (size_t i = 0; i < adding.size() && i < kNamed; ++i) reason += " " + utf8String(adding[i]);
    if (adding.size() > kNamed) reason += " and " + std::to_string(adding.size() - kNamed) + " more";
    stop({Failure::Kind::TotalNotFinite, request.summary, sheet.worksheet, reason, std::nullopt, cell, std::move(adding)});
}

void RunContext::checkCancelled() const {
    if (events.cancelled()) stop({Failure::Kind::Cancelled, {}, {}, "the run was cancelled", std::nullopt});
}

namespace {

Failure summaryFailure(Failure::Kind kind, const std::filesystem::path& file, const std::string& worksheet,
                       const WorkbookError& e) {
    return {kind, file, worksheet, e.reason(), e};
}

void saveSummary(RunContext& run, Workbook& summary, const std::string& worksheet) {
    try {
        for (auto& formula : summary.staleFormulas()) {
            const bool known = std::any_of(run.report.staleFormulas.begin(), run.report.staleFormulas.end(), [&](const auto& f) {
                return f.sheet == formula.sheet && f.row == formula.row && f.column == formula.column;
            });
            if (!known) run.report.staleFormulas.push_back(std::move(formula));
        }
        // A link at the summary's name is replaced, never written through; the digest ties the
        // run record to the bytes this save put on disk.
        std::string digest;
        run.host.saveAsReplacingLink(summary, run.request.summary,
                                     [&](std::span<const uint8_t> bytes) { digest = sha256Of(bytes); });
        run.report.summarySha256 = std::move(digest);
    } catch (const WorkbookError& e) {
        RunContext::stop(summaryFailure(Failure::Kind::SummaryNotSaved, run.request.summary, worksheet, e));
    }
}

// The formulas kept in the range are computed when the summary is saved; one that saving
// would leave with its old result (a function not computed here, a circular reference)
// receives the total after all, as it did before formulas were kept.
void settleKeptFormulas(RunContext& run, Workbook& summary, Worksheet& target, const SheetJob& sheet,
                        const RangeFormulas& formulas) {
    for (const auto& [cell, why] : formulas.summed) run.report.rangeFormulas.push_back({target.name(), cell, false, why});
    if (run.keptFormulas.empty()) return;
    std::vector<StaleFormula> stale;
    try {
        stale = summary.staleFormulas();
    } catch (const WorkbookError& e) {
        RunContext::stop(summaryFailure(Failure::Kind::SummaryUnusable, run.request.templateFile, sheet.worksheet, e));
    }
    for (const CellAddress& cell : run.keptFormulas) {
        const auto left = std::find_if(stale.begin(), stale.end(), [&](const StaleFormula& f) {
            return sameWorksheetName(f.sheet, target.name()) && f.row == cell.row && f.column == cell.column;
        });
        if (left == stale.end()) {
            run.report.rangeFormulas.push_back({target.name(), cell, true, {}});
            continue;
        }
        run.report.rangeFormulas.push_back({target.name(), cell, false, "its formula is not computed here: " + left->reason});
        const auto total = std::find_if(run.keptTotals.begin(), run.keptTotals.end(), [&](const auto& t) { return t.first == cell; });
        try {
            target.setCell(cell.row, cell.column, total == run.keptTotals.end() ? CellValue() : total->second);
            run.cellsWritten = true;
        } catch (const WorkbookError& e) {
            run.leaveOutOrStop({Skipped::Kind::CellRefused, run.request.templateFile, sheet.worksheet, cell,
                                "cell " + cellName(cell) + ": " + e.reason()},
                               Failure::Kind::SummaryUnusable, &e);
        }
    }
}

void runWorksheets(RunContext& run, Workbook& summary) {
    const RunRequest& request = run.request;
    const int count = static_cast<int>(request.job.size());
    for (int index = 1; index <= count; ++index) {
        run.checkCancelled();
        const SheetJob& sheet = request.job[static_cast<size_t>(index - 1)];
        run.events.worksheetStarted(index, count, sheet);
        Worksheet* target = nullptr;
        try {
            target = &summary.worksheet(sheet.worksheet);
        } catch (const WorkbookError& e) {
            RunContext::stop(summaryFailure(Failure::Kind::SummaryUnusable, request.templateFile, sheet.worksheet, e));
        }
        WorksheetOutcome outcome{target->name(), 0, false, sheet.area};
        RangeFormulas formulas;
        try {
            formulas = rangeFormulas(*target, sheet, request.job);
        } catch (const WorkbookError& e) {
            RunContext::stop(summaryFailure(Failure::Kind::SummaryUnusable, request.templateFile, sheet.worksheet, e));
        }
        run.keptFormulas = formulas.kept;
        run.keptTotals.clear();
        outcome.cellsWritten = request.mode == Mode::Efficiency ? consolidateEfficiently(run, sheet, *target)
                                                                : consolidateCellByCell(run, sheet, *target);
        settleKeptFormulas(run, summary, *target, sheet, formulas);
        run.report.cellsWritten += outcome.cellsWritten;
        run.report.worksheets.push_back(outcome);
        if (request.saving == Saving::AfterEachWorksheet) {
            saveSummary(run, summary, sheet.worksheet);
            for (auto& done : run.report.worksheets) done.saved = true;
        }
        run.events.worksheetFinished(index, count, run.report.worksheets.back());
    }
    if (request.saving == Saving::OnceAtEnd) {
        saveSummary(run, summary, {});
        for (auto& done : run.report.worksheets) done.saved = true;
    }
    run.report.summarySaved = true;
}

}  // namespace

namespace {

RunReport runWith(RunContext& context) {
    const RunRequest& request = context.request;
    SpreadsheetHost& host = context.host;
    // A cancelled run leaves the summary as it found it, also when it saved some worksheets.
    std::optional<SummaryBeforeRun> before;
    if (request.saving == Saving::AfterEachWorksheet) before.emplace(request.summary);
    Workbook* summary = nullptr;
    try {
        if (request.sources.empty()) {
            RunContext::stop({Failure::Kind::NoSources, {}, {}, "no source workbook to consolidate", std::nullopt});
        }
        try {
            summary = &host.open(request.templateFile);
        } catch (const WorkbookError& e) {
            RunContext::stop(summaryFailure(Failure::Kind::SummaryUnusable, request.templateFile, {}, e));
        }
        if (auto beyond = rangeBeyondSummary(request, summary->grid())) RunContext::stop(std::move(*beyond));
        runWorksheets(context, *summary);
    } catch (RunStopped& stopped) {
        context.report.failure = std::move(stopped.failure);
    }
    if (summary) host.close(*summary, false);
    if (before && context.report.failure && context.report.failure->kind == Failure::Kind::Cancelled &&
        context.report.worksheetsSaved() > 0) {
        if (const std::string problem = before->restore(); problem.empty()) {
            for (auto& done : context.report.worksheets) done.saved = false;
        } else {
            context.report.failure->reason += "; the summary could not be put back as it was: " + problem;
        }
    }
    for (size_t i = 0; i < request.sources.size(); ++i) {
        if (context.contributed[i]) context.report.consolidated.push_back(request.sources[i]);
    }
    return std::move(context.report);
}

}  // namespace

std::optional<Failure> rangeBeyondSummary(const RunRequest& request, SheetGrid grid) {
    for (const SheetJob& sheet : request.job) {
        if (sheet.area.validOn(grid)) continue;
        Failure f{Failure::Kind::RangeBeyondSummary, request.summary, sheet.worksheet,
                  "the range " + areaName(sheet.area) + " reaches beyond " + cellName({grid.rows, grid.columns}) +
                      ", the last cell of the summary's worksheets (" + std::to_string(grid.columns) + " columns, " +
                      std::to_string(grid.rows) + " rows); nothing was written: choose a smaller range or an .xlsx summary",
                  std::nullopt};
        f.area = sheet.area;
        return f;
    }
    return std::nullopt;
}

RunReport run(const RunRequest& request, SpreadsheetHost& host, RunEvents& events, RunDecisions& decisions) {
    RunContext context(request, host, events, decisions);
    return runWith(context);
}

RunReport run(const RunRequest& request, SpreadsheetHost& host, RunEvents& events, RunDecisions& decisions,
              SourceCache& sources) {
    RunContext context(request, host, events, decisions, &sources);
    return runWith(context);
}

}  // namespace sbx
