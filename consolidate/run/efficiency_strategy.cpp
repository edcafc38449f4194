// Efficiency mode: one consolidation writes every total of the area at once, all or nothing.
// A source that cannot give its part is left out only when the decisions allow it; the
// consolidation then starts again without it.
#include <algorithm>
#include <vector>

#include "consolidate/run/run_context.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

// The run's open sources, telling the events which file is being taken in.
class ReportingSources final : public SourceOpener {
public:
    ReportingSources(RunContext& run, const std::vector<size_t>& indexes) : run_(run), indexes_(indexes) {}

    // Asked first for every source (consolidateByPosition), so the file's start is told here.
    const AreaValues* held(const SourceArea& source) override {
        run_.checkCancelled();
        run_.events.fileStarted(position_ + 1, count(), source.file);
        return run_.sources.held(source);
    }
    OpenedSource open(const SourceArea& source) override { return run_.sources.open(source); }
    void release(const SourceArea& source) override {
        run_.sources.release(source);
        run_.events.fileDone(++position_, count(), source.file, true);
    }

private:
    int count() const { return static_cast<int>(indexes_.size()); }

    RunContext& run_;
    const std::vector<size_t>& indexes_;
    int position_ = 0;
};

// Faults of the summary's side, whatever file they name (the template may be a source too).
bool refusedByTarget(const WorkbookError& e) {
    return e.kind() == WorkbookErrorKind::CellLocked || e.kind() == WorkbookErrorKind::CellInArray ||
           e.kind() == WorkbookErrorKind::WriteUnsupported;
}

}  // namespace

long long consolidateEfficiently(RunContext& run, const SheetJob& sheet, Worksheet& target) {
    const auto& files = run.request.sources;
    std::vector<size_t> indexes;  // the sources taking part
    for (size_t i = 0; i < files.size(); ++i) indexes.push_back(i);

    for (;;) {
        if (indexes.empty()) return 0;
        std::vector<SourceArea> areas;
        for (const size_t i : indexes) areas.push_back({files[i], sheet.worksheet, sheet.area});
        ReportingSources sources(run, indexes);
        ConsolidateResult result;
        try {
            result = consolidateByPosition(sources, target, sheet.area, areas, run.keptFormulas);
        } catch (const TotalNotFinite& e) {
            run.stopForNotFinite(sheet, e.cell(), indexes);
        } catch (const WorkbookError& e) {
            const auto source = std::find(files.begin(), files.end(), e.file());
            if (e.file().empty() || source == files.end() || refusedByTarget(e)) {
                RunContext::stop({Failure::Kind::SummaryUnusable, run.request.templateFile, sheet.worksheet, e.reason(), e});
            }
            const bool missing = e.kind() == WorkbookErrorKind::SheetNotFound;
            run.leaveOutOrStop({missing ? Skipped::Kind::WorksheetMissing : Skipped::Kind::SourceUnreadable, e.file(),
                                sheet.worksheet, {}, e.reason()},
                               missing ? Failure::Kind::WorksheetMissing : Failure::Kind::SourceUnreadable, &e);
            std::erase(indexes, static_cast<size_t>(source - files.begin()));
            continue;
        }
        run.cellsWritten = run.cellsWritten || result.cellsWritten > 0;
        run.keptTotals = std::move(result.keptTotals);
        for (const size_t i : indexes) run.contributed[i] = true;
        run.report.cellsRead += sheet.area.cellCount() * static_cast<long long>(areas.size());
        for (IgnoredValue& ignored : result.ignored) ignored.source = indexes[ignored.source];
        run.noteIgnored(sheet.worksheet, result.ignored, [&](CellAddress at) {
            const CellKind kind = target.cell(at.row, at.column).kind();
            return kind == CellKind::Number || kind == CellKind::Date;
        });
        return result.cellsWritten;
    }
}

}  // namespace sbx
