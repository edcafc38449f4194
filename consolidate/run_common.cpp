#include "consolidate/run_common.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

#include "consolidate/run_messages.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

std::vector<std::string> listPoolFolder(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) names.push_back(utf8String(it->path().filename()));
    }
    if (ec) {
        throw std::filesystem::filesystem_error("cannot list the pool folder", folder, ec);
    }
    std::sort(names.begin(), names.end());
    return names;
}

WorksheetTurn worksheetTurn(const JobDefinition& job, int i) {
    if (i < 0 || static_cast<size_t>(i) >= job.rangeTable.size()) {
        throw std::runtime_error("the job holds no range for worksheet " + std::to_string(i));
    }
    const auto& row = job.rangeTable[static_cast<size_t>(i)];
    WorksheetTurn turn{row[1], std::string(trimBlanks(row[2])), std::string(trimBlanks(row[3])), {}};
    turn.range = parseRange(turn.first, turn.last);
    return turn;
}

PoolCheck checkPool(const RunSetup& setup, const PoolMatch& pool) {
    if (setup.selectedEntries.empty()) {
        if (!pool.listing.empty()) setup.dialogs.message(run_text::kSelectFiles);
        return PoolCheck::EndQuietly;
    }
    if (pool.listing.empty()) return PoolCheck::EndQuietly;
    return pool.matched.empty() ? PoolCheck::NoneFound : PoolCheck::Proceed;
}

void explainWorkbookFailure(const RunSetup& setup, const std::exception& failure, int worksheetsSaved) {
    const auto* error = dynamic_cast<const WorkbookError*>(&failure);
    if (!error || error->file().empty()) return;
    if (error->kind() == WorkbookErrorKind::Unwritable && error->file() == setup.paths.summaryWorkbook()) {
        setup.dialogs.message(run_text::summaryNotSavedMessage(utf8String(error->file()), error->reason(),
                                                               error->systemError(), worksheetsSaved));
        return;
    }
    setup.dialogs.message(workbookErrorText(*error));
}

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

void finishRun(const RunSetup& setup, ConsolidationMode mode, const std::vector<std::string>& runList,
               const SkipReport& skipped) {
    setup.job.runState = RunState::Finished;
    if (const auto report = run_text::skipReportMessage(skipped); !report.empty()) setup.dialogs.message(report);

    setup.status.setHint(run_text::kHintArchive);
    if (setup.dialogs.askYesNo(run_text::kArchiveQuestion)) {
        setup.status.setHint(mode == ConsolidationMode::Efficiency ? std::string() : run_text::kHintArchiveExplained);
        try {
            setup.postRun.archive(runList);
        } catch (const std::exception&) {
            // Archiving reports its own failures; the run goes on to the export offer.
        }
    } else if (mode == ConsolidationMode::Function) {
        setup.status.disableAddFilesButton();
    }

    setup.status.setHint(run_text::kHintSummaryMade);
    if (setup.dialogs.askYesNo(run_text::kExportQuestion)) {
        setup.postRun.offerExport();
        setup.status.setHint(run_text::kHintExport);
    } else {
        setup.status.focusExitButton();
        setup.status.setHint(run_text::kHintKeptAtHome);
    }
}

}  // namespace sbx
