#include "workspace/intake.h"

#include <algorithm>

#include "spreadsheet/utf8_path.h"
#include "workspace/file_kind.h"
#include "workspace/pool.h"
#include "workspace/startup.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string copyFailure(const fs::path& from, const fs::path& to, const std::error_code& error) {
    return pool_ops_text::kCopyFailed + utf8String(from) + " → " + utf8String(to) + "\r" + systemErrorText(error);
}

// Whether the summary workbook holds the bytes of a listed pool file: the copy start-up or
// intake made, which no run has written since. The last listed is the likely one.
bool isCopyOfAListedFile(const WorkspacePaths& paths, const std::vector<std::string>& listed) {
    const fs::path summary = paths.summaryWorkbook();
    // The file the summary was last copied from settles it at once in the usual case, without
    // reading every report of the same size in a large pool.
    const fs::path madeFrom = readTemplateNote(paths).madeFrom;
    if (!madeFrom.empty() && madeFrom.parent_path() == paths.poolDirectory() &&
        std::find(listed.begin(), listed.end(), utf8String(madeFrom.filename())) != listed.end() &&
        sameFileContents(summary, madeFrom)) {
        return true;
    }
    return std::any_of(listed.rbegin(), listed.rend(),
                       [&](const std::string& name) { return sameFileContents(summary, paths.poolFile(name)); });
}

}  // namespace

bool OverwriteQuestion::mayReplace(const std::string& name) {
    if (forAll_) return *forAll_;
    const std::size_t left = left_;
    if (left_ > 0) --left_;
    if (left <= 1) return dialogs_.askYesNo(pool_ops_text::overwriteQuestion(name), Risk::Destructive);
    switch (dialogs_.askYesNoForAll(pool_ops_text::overwriteQuestion(name))) {
        case ForAllAnswer::Yes: return true;
        case ForAllAnswer::No: return false;
        case ForAllAnswer::YesToAll: forAll_ = true; return true;
        case ForAllAnswer::NoToAll: forAll_ = false; return false;
    }
    return false;
}

std::size_t poolFilesNamedLike(const WorkspacePaths& paths, const std::vector<fs::path>& files) {
    return static_cast<std::size_t>(std::count_if(files.begin(), files.end(), [&](const fs::path& file) {
        const std::string name = utf8String(file.filename());
        std::error_code error;
        return isPoolFileName(name) && fs::exists(fs::symlink_status(paths.poolFile(name), error));
    }));
}

bool isInPoolFolder(const WorkspacePaths& paths, const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    return sameFileOnDisk(folder, paths.poolDirectory()) ||
           sameFileOnDisk(file, paths.poolFile(utf8String(file.filename())));
}

OneFileIntake takeInOneFile(const WorkspacePaths& paths, OverwriteQuestion& overwrite, PoolListPort& list,
                            const fs::path& source, const IntakeTools& tools) {
    OneFileIntake one;
    one.name = utf8String(source.filename());
    if (!isPoolFileName(one.name)) {
        one.result = OneFileIntake::Result::NotAPoolName;
        return one;
    }
    if (isInPoolFolder(paths, source)) {
        one.result = OneFileIntake::Result::InPoolFolder;
        return one;
    }
    // Opening a FIFO would hang the window; a folder or device is no workbook.
    one.notAFile = notAWorkbookFileText(source);
    if (!one.notAFile.empty()) {
        one.result = OneFileIntake::Result::NotAFile;
        return one;
    }
    one.target = paths.poolFile(one.name);
    const bool summaryIsAPlainCopy = isCopyOfAListedFile(paths, list.names());
    std::error_code error;
    if (fs::exists(fs::symlink_status(one.target, error)) && !overwrite.mayReplace(one.name)) {
        one.result = OneFileIntake::Result::NotReplaced;
        return one;
    }
    one.copyError = replaceFile(source, one.target, tools.copy);
    if (one.copyError) {
        one.result = OneFileIntake::Result::CopyFailed;
        return one;
    }
    // Listed once, at the end, whatever the list held before.
    list.removeAll(one.name);
    list.append(one.name);
    removeOtherSpellings(paths, list, one.name);
    // The summary workbook follows the pool copy just made, in its format, unless the user
    // chose its template; a failure here leaves the file taken in and the previous summary
    // workbook whole.
    if (!readTemplateNote(paths).chosen.empty()) return one;
    one.notATemplate = tools.screen(one.target);
    if (!one.notATemplate.empty()) return one;
    if (!summaryIsAPlainCopy) {
        one.kept = keepPreviousSummary(paths, one.target);
        if (!one.kept.failure.empty()) return one;
    }
    one.summary = replaceSummaryWorkbook(paths, one.target, tools.copy);
    return one;
}

IntakeOutcome takeInFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const fs::path& folder,
                          const std::vector<std::string>& selected, const IntakeTools& tools) {
    using Result = OneFileIntake::Result;
    IntakeOutcome outcome = IntakeOutcome::ChooseAgain;
    std::vector<fs::path> offered;
    for (const std::string& name : selected) offered.push_back(folder / utf8Path(name));
    OverwriteQuestion overwrite(dialogs, poolFilesNamedLike(paths, offered));
    for (const std::string& name : selected) {
        if (!isPoolFileName(name)) {
            dialogs.message(intake_text::kNotXls);
            outcome = IntakeOutcome::ChooseAgain;
            continue;
        }
        const fs::path source = folder / utf8Path(name);
        const OneFileIntake one = takeInOneFile(paths, overwrite, list, source, tools);
        outcome = one.result == Result::Taken ? IntakeOutcome::Done : IntakeOutcome::ChooseAgain;
        if (one.result == Result::InPoolFolder) {
            dialogs.message(intake_text::kPoolFolder);
            break;
        }
        if (one.result == Result::NotAFile) dialogs.message(one.notAFile);
        if (one.result == Result::CopyFailed) dialogs.message(copyFailure(source, one.target, one.copyError));
        if (one.result != Result::Taken) continue;
        if (!one.notATemplate.empty()) dialogs.message(notATemplateText(one.name, one.notATemplate) + intake_text::kTakenButNotTemplate);
        if (!one.kept.failure.empty()) dialogs.message(summaryNotKeptText(one.kept));
        if (one.kept.keptAs) dialogs.message(startup_text::kPreviousSummaryKept + utf8String(*one.kept.keptAs));
        if (one.summary.copyError) dialogs.message(copyFailure(one.target, one.summary.summary, one.summary.copyError));
        for (const FileFailure& left : one.summary.leftOver) dialogs.message(oldSummaryLeftText(one.summary.summary, left));
    }
    dialogs.message(outcome == IntakeOutcome::Done ? intake_text::kAllTakenIn : intake_text::kChooseAgain);
    return outcome;
}

}  // namespace sbx
