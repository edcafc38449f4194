#include "workspace/startup.h"

#include <filesystem>

#include "workspace/pool.h"

namespace sbx {

namespace {

constexpr char kLineBreak = '\r';

void reportCopyFailure(DialogsPort& dialogs, const WorkspacePaths& paths, const FileFailure& failure) {
    dialogs.message("无法将文件 " + failure.name + " 复制为汇总文件 " + utf8String(paths.summaryWorkbook()) +
                    kLineBreak + failure.reason);
}

void reportDeleteFailures(DialogsPort& dialogs, const std::vector<FileFailure>& failures) {
    std::string text = "以下文件无法删除,仍保留在汇表池中:";
    for (const FileFailure& failure : failures) text += kLineBreak + failure.name + " (" + failure.reason + ")";
    dialogs.message(text);
}

StartupOutcome emptyPool() {
    StartupOutcome outcome;
    outcome.state = StartupState::EmptyPool;
    outcome.hint = startup_text::kAddFilesHint;
    return outcome;
}

}  // namespace

StartupOutcome runStartup(const WorkspacePaths& paths, DialogsPort& dialogs) {
    bool poolExisted = false;
    try {
        poolExisted = ensureWorkspaceDirectories(paths);
    } catch (const std::filesystem::filesystem_error& error) {
        dialogs.message("无法建立工作目录 " + utf8String(paths.poolDirectory()) + kLineBreak + error.what());
    }

    StartupOutcome outcome;
    if (poolExisted) {
        PoolScan scan = scanPool(paths);
        for (const FileFailure& failure : scan.summaryCopyFailure) reportCopyFailure(dialogs, paths, failure);
        outcome.poolList = std::move(scan.names);
    }

    if (outcome.poolList.empty()) {
        dialogs.message(startup_text::kEmptyPool);
        return emptyPool();
    }

    outcome.state = StartupState::PoolKept;
    outcome.command2Enabled = true;
    if (dialogs.askOkCancel(startup_text::kWorkOnPool)) return outcome;
    if (!dialogs.askOkCancel(startup_text::kClearPool)) return outcome;

    // Only the pool files go: whatever else the user keeps in the folder stays.
    const std::vector<FileFailure> failures = deletePoolFiles(paths, outcome.poolList);
    std::vector<std::string> remaining;
    for (const FileFailure& failure : failures) remaining.push_back(failure.name);
    if (!failures.empty()) reportDeleteFailures(dialogs, failures);

    outcome.state = StartupState::PoolDeleted;
    outcome.poolList = std::move(remaining);
    outcome.command2Enabled = !outcome.poolList.empty();
    if (outcome.poolList.empty()) outcome.hint = startup_text::kAddFilesHint;
    return outcome;
}

}  // namespace sbx
