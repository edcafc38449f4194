#include "workspace/pool_file_ops.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <exception>
#include <fstream>
#include <random>

#include "spreadsheet/atomic_file.h"
#include "spreadsheet/file_moves.h"
#include "spreadsheet/utf8_path.h"
#include "workspace/file_copy.h"
#include "workspace/file_kind.h"
#include "workspace/local_time.h"
#include "workspace/pool.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"
#include "workspace/workbook_format.h"

namespace sbx {

namespace fs = std::filesystem;

namespace pool_ops_text {
std::string overwriteQuestion(const std::string& name) { return "目标目录下有" + name + "同名文件，是否覆盖?"; }
std::string deleteQuestion(const std::string& name) { return "确信要删除文件：" + name + "吗？"; }
std::string deleteSeveralQuestion(std::size_t count) { return "确信要删除选定的 " + std::to_string(count) + " 个文件吗？"; }
}  // namespace pool_ops_text

namespace {

std::string failureText(const char* what, const std::string& name, const std::error_code& error) {
    return what + name + "\r" + systemErrorText(error);
}

bool fileExists(const fs::path& file) {
    std::error_code error;
    return fs::exists(fs::symlink_status(file, error));
}


std::string modifiedText(fs::file_time_type when) {
    const auto system = std::chrono::file_clock::to_sys(when);
    return localTimeText(std::chrono::time_point_cast<std::chrono::system_clock::duration>(system), "%Y-%m-%d %H:%M:%S");
}

std::string worksheetLine(const fs::path& file, const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost) {
    try {
        auto host = makeHost();
        Workbook& book = host->open(file);
        std::string names;
        for (int k = 1; k <= book.worksheetCount(); ++k) {
            if (k > 1) names += "、";
            names += book.worksheet(k).name();
        }
        const int count = book.worksheetCount();
        host->close(book, false);
        host->quit();
        return "工作表：" + std::to_string(count) + " 个（" + names + "）";
    } catch (const WorkbookError& error) {
        return "工作表：无法读取（" + workbookErrorKindText(error.kind()) + "）";
    } catch (const std::exception& error) {
        return std::string("工作表：无法读取（") + error.what() + "）";
    }
}

}  // namespace

void VectorPoolList::removeAll(const std::string& name) { std::erase(names_, name); }




void reconcilePoolList(const WorkspacePaths& paths, PoolListPort& list, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        std::error_code error;
        const bool isFile = fs::is_regular_file(paths.poolFile(name), error) && isPoolFileName(name);
        const std::vector<std::string> listed = list.names();
        const bool isListed = std::find(listed.begin(), listed.end(), name) != listed.end();
        if (isFile && !isListed) list.append(name);
        if (!isFile && isListed) list.removeAll(name);
    }
}

void removeOtherSpellings(const WorkspacePaths& paths, PoolListPort& list, const std::string& name) {
    const fs::path file = paths.poolFile(name);
    for (const std::string& listed : list.names()) {
        if (listed != name && sameFileOnDisk(paths.poolFile(listed), file)) list.removeAll(listed);
    }
}

namespace {

// "十中队.xls", "十中队.XLSX" → "十中队": a workbook ending typed out of habit, in any letter case.
std::string withoutWorkbookEnding(const std::string& typed) {
    std::string lower = typed;
    for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    const std::optional<WorkbookFormat> format = formatOfPoolName(lower);
    return format ? typed.substr(0, typed.size() - formatExtension(*format).size()) : typed;
}

}  // namespace

bool renamePoolFile(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const std::string& oldName) {
    const std::string extension(formatExtension(formatOfPoolName(oldName).value_or(WorkbookFormat::Xls)));
    // The box starts with the current name, to be changed rather than typed anew.
    const std::string oldStem = oldName.substr(0, oldName.size() - std::min(oldName.size(), extension.size()));
    const std::optional<std::string> answer = dialogs.inputBox(pool_ops_text::kRenamePrompt, "", oldStem);
    if (!answer) return false;
    const std::string stem = withoutWorkbookEnding(trimTypedName(*answer));
    if (stem.empty()) return false;
    // The extension of the file's own format is appended, so that it stays a workbook of
    // that format; one typed anyway (十中队.xls) is not doubled.
    if (const std::optional<std::string> why = screenTypedName(stem, extension.size())) {
        dialogs.message("“" + stem + "”不能作为文件名：" + *why);
        return false;
    }
    const std::string newName = stem + extension;
    if (newName == oldName) return false;

    const fs::path from = paths.poolFile(oldName);
    const fs::path to = paths.poolFile(newName);
    // Another spelling of the same file (letter case on a case-blind disk) is no other file.
    if (fileExists(to) && !sameFileOnDisk(from, to) && !dialogs.askYesNo(pool_ops_text::overwriteQuestion(newName), Risk::Destructive)) {
        return false;
    }
    const std::error_code error = moveFileReplacing(from, to);
    if (error) {
        dialogs.message(failureText(pool_ops_text::kRenameFailed, oldName + " → " + newName, error));
        reconcilePoolList(paths, list, {oldName, newName});
        return false;
    }
    list.removeAll(newName);
    list.append(newName);
    list.removeAll(oldName);
    removeOtherSpellings(paths, list, newName);
    // The template's note names pool files by name: it follows, so that the main window and
    // later messages do not name a file that is gone.
    if (!followRenamedPoolFile(paths, from, to)) {
        dialogs.message("汇总模板的记录未能随改名更新：" + utf8String(templateNoteFile(paths)));
    }
    return true;
}

bool deletePoolFile(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list, const std::string& name,
                    const FileDisposal& dispose) {
    if (!dialogs.askOkCancel(pool_ops_text::deleteQuestion(name), Risk::Destructive)) return false;
    const Disposal disposal = disposePoolFile(paths, name, dispose);
    if (disposal.error) {
        dialogs.message(failureText(pool_ops_text::kDeleteFailed, name, disposal.error));
        reconcilePoolList(paths, list, {name});
        return false;
    }
    list.removeAll(name);
    dialogs.message(disposedText(disposal));
    return true;
}

std::size_t deleteSeveralPoolFiles(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                            const std::vector<std::string>& names, const FileDisposal& dispose) {
    if (names.size() == 1) return deletePoolFile(paths, dialogs, list, names.front(), dispose) ? 1 : 0;
    if (names.empty() || !dialogs.askOkCancel(pool_ops_text::deleteSeveralQuestion(names.size()), Risk::Destructive)) return 0;
    const PoolDeletion deletion = deletePoolFiles(paths, names, dispose);
    std::string failures;
    for (const FileFailure& failure : deletion.failures) failures += "\r" + failure.name + "：" + failure.reason;
    for (const std::string& name : names) {
        const bool stayed = std::any_of(deletion.failures.begin(), deletion.failures.end(),
                                        [&name](const FileFailure& failure) { return failure.name == name; });
        if (!stayed) list.removeAll(name);
    }
    const std::size_t gone = names.size() - deletion.failures.size();
    reconcilePoolList(paths, list, names);
    std::string text = gone > 0 ? disposedText(deletion.lastDisposal) : std::string();
    if (!failures.empty()) text += (text.empty() ? "" : "\r") + std::string(pool_ops_text::kDeleteFailed) + failures;
    dialogs.message(text);
    return gone;
}

std::string describePoolFile(const WorkspacePaths& paths, const std::string& name,
                             const std::function<std::unique_ptr<SpreadsheetHost>()>& makeHost) {
    const fs::path file = paths.poolFile(name);
    std::string text = "文件：" + name;
    std::error_code error;
    // A FIFO would block the reading of its worksheets; a missing file says so below.
    if (fs::exists(fs::status(file, error)) && !isRegularWorkbookFile(file)) return text + "\r" + notAWorkbookFileText(file);
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) return text + "\r无法读取文件属性：" + systemErrorText(error);
    const fs::file_time_type changed = fs::last_write_time(file, error);
    text += "\r大小：" + std::to_string(size) + " 字节";
    text += "\r修改时间：" + (error ? "无法读取（" + systemErrorText(error) + "）" : modifiedText(changed));
    return text + "\r" + worksheetLine(file, makeHost);
}

}  // namespace sbx
