#include "workspace/intake.h"

#include "workspace/file_kind.h"
#include "workspace/pool.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string copyFailure(const fs::path& from, const fs::path& to, const std::error_code& error) {
    return pool_ops_text::kCopyFailed + utf8String(from) + " → " + utf8String(to) + "\r" + error.message();
}

// Copies `source` to `target` in one step; a failure is reported and leaves `target` alone.
bool copyReported(DialogsPort& dialogs, const fs::path& source, const fs::path& target, const FileCopy& copy) {
    const std::error_code error = replaceFile(source, target, copy);
    if (error) dialogs.message(copyFailure(source, target, error));
    return !error;
}

}  // namespace

bool isInPoolFolder(const WorkspacePaths& paths, const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return sameFileOnDisk(folder, paths.poolDirectory()) ||
           sameFileOnDisk(file, paths.poolFile(utf8String(file.filename())));
}

IntakeOutcome takeInFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const fs::path& folder,
                          const std::vector<std::string>& selected, const FileCopy& copy) {
    IntakeOutcome outcome = IntakeOutcome::ChooseAgain;
    for (const std::string& name : selected) {
        if (!isPoolFileName(name)) {
            dialogs.message(intake_text::kNotXls);
            outcome = IntakeOutcome::ChooseAgain;
            continue;
        }
        const fs::path source = folder / utf8Path(name);
        if (isInPoolFolder(paths, source)) {
            dialogs.message(intake_text::kPoolFolder);
            outcome = IntakeOutcome::ChooseAgain;
            break;
        }
        // Opening a FIFO would hang the window; a folder or device is no workbook.
        if (const std::string notAFile = notAWorkbookFileText(source); !notAFile.empty()) {
            dialogs.message(notAFile);
            outcome = IntakeOutcome::ChooseAgain;
            continue;
        }
        const fs::path target = paths.poolFile(name);
        std::error_code error;
        const bool replacing = fs::exists(fs::symlink_status(target, error));
        if (replacing && !dialogs.askYesNo(pool_ops_text::overwriteQuestion(name), Risk::Destructive)) {
            outcome = IntakeOutcome::ChooseAgain;
            continue;
        }
        if (!copyReported(dialogs, source, target, copy)) {
            outcome = IntakeOutcome::ChooseAgain;
            continue;
        }
        // Listed once, at the end, whatever the list held before.
        list.removeAll(name);
        list.append(name);
        removeOtherSpellings(paths, list, name);
        // The summary workbook follows the pool copy just made, in its format; a failure here
        // leaves the file taken in and the previous summary workbook whole.
        const SummaryReplacement replaced = replaceSummaryWorkbook(paths, target, copy);
        if (replaced.copyError) dialogs.message(copyFailure(target, replaced.summary, replaced.copyError));
        for (const FileFailure& left : replaced.leftOver) dialogs.message(oldSummaryLeftText(replaced.summary, left));
        outcome = IntakeOutcome::Done;
    }
    dialogs.message(outcome == IntakeOutcome::Done ? intake_text::kAllTakenIn : intake_text::kChooseAgain);
    return outcome;
}

}  // namespace sbx
