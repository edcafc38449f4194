#include "workspace/startup.h"

#include <filesystem>

#include "workspace/pool.h"
#include "workspace/summary_history.h"
#include "workspace/working_folder_text.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace {

constexpr char kLineBreak = '\r';

void reportReplacement(DialogsPort& dialogs, const std::string& name, const SummaryReplacement& replaced) {
    if (replaced.copyError) {
        dialogs.message("无法将文件 " + name + " 复制为汇总文件 " + utf8String(replaced.summary) + kLineBreak +
                        systemErrorText(replaced.copyError));
    }
    for (const FileFailure& failure : replaced.leftOver) dialogs.message(oldSummaryLeftText(replaced.summary, failure));
}

void reportDeleteFailures(DialogsPort& dialogs, const std::vector<FileFailure>& failures) {
    std::string text = "以下文件无法删除,仍保留在汇表池中:";
    for (const FileFailure& failure : failures) text += kLineBreak + failure.name + " (" + failure.reason + ")";
    dialogs.message(text);
}

}  // namespace

void refreshSummaryKeepingThePrevious(const WorkspacePaths& paths, DialogsPort& dialogs,
                                      const std::filesystem::path& from) {
    const KeptSummary kept = keepPreviousSummary(paths, from);
    if (!kept.failure.empty()) {
        // Nothing is lost: the previous summary stays where it is, not refreshed.
        dialogs.message(summaryNotKeptText(kept));
        return;
    }
    reportReplacement(dialogs, utf8String(from.filename()), replaceSummaryWorkbook(paths, from));
    if (kept.keptAs) dialogs.message(startup_text::kPreviousSummaryKept + utf8String(*kept.keptAs));
}

namespace {

StartupOutcome emptyPool() {
    StartupOutcome outcome;
    outcome.state = StartupState::EmptyPool;
    outcome.hint = startup_text::kAddFilesHint;
    return outcome;
}

}  // namespace

std::string startup_text::workOnPoolQuestion(const WorkspacePaths& paths) {
    return namingWorkingFolder(kWorkOnPool, paths);
}

StartupOutcome runStartup(const WorkspacePaths& paths, DialogsPort& dialogs, const FileDisposal& dispose,
                          const WorkbookProbe& readable) {
    const WorkspaceDirectories directories = ensureWorkspaceDirectories(paths);
    if (!directories.problem.empty()) dialogs.message(directories.problem);

    StartupOutcome outcome;
    if (directories.poolExisted) {
        PoolScan scan = scanPool(paths);
        for (const FileFailure& failure : scan.failures) {
            dialogs.message("无法列出汇表池 " + failure.name + kLineBreak + failure.reason);
        }
        outcome.poolList = std::move(scan.names);
        // The summary is a copy of the template (the last readable pool file unless one was
        // chosen), made after keeping the summary it replaces.
        if (!outcome.poolList.empty() && directories.summaryDirectoryReady) {
            if (const auto from = templateFor(paths, outcome.poolList, readable)) {
                refreshSummaryKeepingThePrevious(paths, dialogs, *from);
            }
        }
    }

    if (outcome.poolList.empty()) {
        dialogs.message(startup_text::kEmptyPool);
        return emptyPool();
    }

    outcome.state = StartupState::PoolKept;
    outcome.command2Enabled = true;
    if (dialogs.askOkCancel(startup_text::workOnPoolQuestion(paths), Risk::Harmless)) return outcome;
    if (!dialogs.askOkCancel(startup_text::kClearPool, Risk::Destructive)) return outcome;

    // Only the pool files go: whatever else the user keeps in the folder stays.
    const PoolDeletion deletion = deletePoolFiles(paths, outcome.poolList, dispose);
    std::vector<std::string> remaining;
    for (const FileFailure& failure : deletion.failures) remaining.push_back(failure.name);
    if (!deletion.failures.empty()) reportDeleteFailures(dialogs, deletion.failures);
    if (remaining.size() < outcome.poolList.size()) dialogs.message(disposedText(deletion.lastDisposal));

    outcome.state = StartupState::PoolDeleted;
    outcome.poolList = std::move(remaining);
    outcome.command2Enabled = !outcome.poolList.empty();
    if (outcome.poolList.empty()) outcome.hint = startup_text::kAddFilesHint;
    return outcome;
}

}  // namespace sbx
