#include "workspace/archive.h"

#include <cctype>
#include <optional>
#include <system_error>

#include "spreadsheet/file_moves.h"
#include "workspace/pool_file_ops.h"
#include "workspace/typed_name.h"
#include "workspace/workbook_error_text.h"
#include "workspace/workbook_format.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

// Why a file stayed where it was, in the user's words; empty when it moved.
std::string moveWithoutReplacing(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    if (!fs::is_regular_file(from, ec)) return "汇表池中已没有这个文件";
    if (fs::exists(fs::symlink_status(to, ec))) return "文件夹中已有同名文件";
    // A hard link never replaces an existing name, so a file that appeared since the check
    // above is not lost; where links are not supported, a rename has to do.
    fs::create_hard_link(from, to, ec);
    if (!ec) {
        ec = deleteFile(from);
        if (!ec) return std::string();
        deleteFile(to);
        return "无法从汇表池中移走（" + systemErrorText(ec) + "）";
    }
    if (ec == std::errc::file_exists) return "文件夹中已有同名文件";
    ec = moveFileReplacing(from, to);
    if (ec) return "无法移动（" + systemErrorText(ec) + "）";
    return std::string();
}

// Case B, Yes: the namesake in the folder goes first (a file only, never a folder).
std::string replaceNamesake(const fs::path& target) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(target, ec);
    if (!fs::exists(status)) return std::string();
    if (fs::is_directory(status)) return "文件夹中有同名的子文件夹";
    ec = deleteFile(target);
    if (ec) return "文件夹中的同名文件无法删除（" + systemErrorText(ec) + "）";
    return std::string();
}

// The folder P lies directly in the pool, also when the name is a link to elsewhere.
bool liesInPool(const fs::path& pool, const fs::path& folder) {
    std::error_code ec1, ec2;
    const fs::path parent = fs::weakly_canonical(pool, ec1);
    const fs::path resolved = fs::weakly_canonical(folder, ec2);
    return !ec1 && !ec2 && resolved.parent_path() == parent;
}

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Whether `folder` is the summary folder: by name in any letter case (one folder on a
// case-blind disk), or by what it resolves to (a link).
bool isSummaryFolder(const WorkspacePaths& paths, const std::string& name, const fs::path& folder) {
    if (lowerAscii(trimTypedName(name)) == lowerAscii(utf8String(paths.summaryDirectory().filename()))) return true;
    std::error_code e1, e2;
    const fs::path resolved = fs::weakly_canonical(folder, e1);
    const fs::path summary = fs::weakly_canonical(paths.summaryDirectory(), e2);
    return sameFileOnDisk(folder, paths.summaryDirectory()) || (!e1 && !e2 && resolved == summary);
}

// Empty when the run's files may go into `folder`; else the message that says why not.
std::string whyNotAnArchiveFolder(const WorkspacePaths& paths, const std::string& name, const fs::path& folder) {
    if (trimTypedName(name).empty()) return archive_text::kNoFolderName;
    if (const std::optional<std::string> why = screenTypedName(name)) {
        return "“" + name + "”不能作为文件夹名：" + *why;
    }
    if (isSummaryFolder(paths, name, folder)) {
        return "“" + name + "”是汇总文件所在的文件夹（" + utf8String(paths.summaryDirectory()) +
               "），不能用来存放原文件，请换一个名称。";
    }
    if (!liesInPool(paths.poolDirectory(), folder)) return "“" + name + "”指向汇表池以外的地方，不能用来存放原文件。";
    return {};
}

std::string failureMessage(const std::vector<std::string>& failures) {
    std::string text = "以下 " + std::to_string(failures.size()) + " 个文件未能移入文件夹，仍留在汇表池中：";
    for (const auto& line : failures) text += "\r" + line;
    return text;
}

}  // namespace

std::string markedName(const std::string& file) {
    // The file keeps its own extension: a workbook of one format never gets the other's name.
    const std::string extension(formatExtension(formatOfPoolName(file).value_or(WorkbookFormat::Xls)));
    const std::string stem =
        file.size() >= extension.size() ? file.substr(0, file.size() - extension.size()) : std::string();
    return archive_text::kMarkPrefix + stem + extension;
}

std::string archiveClosingMessage(ArchiveCase kind, int moved, const WorkspacePaths& paths, const std::string& name) {
    const std::string prefix = paths.poolPrefix();
    const std::string separator = prefix.empty() ? std::string("/") : prefix.substr(prefix.size() - 1);
    const std::string where = " [ " + prefix + name + separator + " ] 目录下";
    const std::string count = std::to_string(moved);
    switch (kind) {
        case ArchiveCase::Overwrite:
            return "清理完毕,共计 " + count + " 个子文件已被移至:" + where + "！";
        case ArchiveCase::Mark:
            return "清理完毕,共计" + count + "个子文件已被移至:" + where + "\r其中同名文件被标记“new_”以示区别！";
        case ArchiveCase::NewFolder:
        case ArchiveCase::NoFolder:
            break;
    }
    return "清理完毕,共计" + count + "个子文件已被移至:" + where + "！";
}

ArchiveResult archiveRunFiles(const WorkspacePaths& paths, const std::vector<std::string>& runList,
                              DialogsPort& dialogs) {
    ArchiveResult result;
    // An empty title: the box carries the application's title.
    const std::string name = dialogs.inputBox(archive_text::kFolderPrompt, "", "").value_or(std::string());
    result.folderName = name;
    const fs::path folder = paths.poolDirectory() / utf8Path(name);
    if (const std::string why = whyNotAnArchiveFolder(paths, name, folder); !why.empty()) {
        dialogs.message(why);
        return result;
    }

    std::error_code ec;
    if (fs::is_directory(folder, ec)) {
        result.kind = dialogs.askYesNo(archive_text::kFolderExistsQuestion, Risk::Destructive) ? ArchiveCase::Overwrite
                                                                             : ArchiveCase::Mark;
    } else {
        fs::create_directory(folder, ec);
        if (ec) {
            dialogs.message("无法建立文件夹 " + utf8String(folder) + "（" + systemErrorText(ec) + "），文件仍留在汇表池中。");
            return result;
        }
        result.kind = ArchiveCase::NewFolder;
    }

    for (auto it = runList.rbegin(); it != runList.rend(); ++it) {
        const std::string& file = *it;
        const fs::path from = paths.poolFile(file);
        std::string why;
        if (result.kind == ArchiveCase::Mark) {
            why = moveWithoutReplacing(from, folder / utf8Path(markedName(file)));
        } else {
            const fs::path to = folder / utf8Path(file);
            if (result.kind == ArchiveCase::Overwrite && fs::is_regular_file(from, ec)) why = replaceNamesake(to);
            if (why.empty()) why = moveWithoutReplacing(from, to);
        }
        if (why.empty()) {
            ++result.moved;
        } else {
            result.failures.push_back(file + "：" + why);
            if (fs::is_regular_file(from, ec)) result.stillInPool.push_back(file);
        }
    }

    if (!result.failures.empty()) dialogs.message(failureMessage(result.failures));
    dialogs.message(archiveClosingMessage(result.kind, result.moved, paths, name));
    return result;
}

}  // namespace sbx
