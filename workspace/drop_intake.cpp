#include "workspace/drop_intake.h"

#include <algorithm>
#include <system_error>

#include "spreadsheet/utf8_path.h"
#include "workspace/file_kind.h"
#include "workspace/intake.h"
#include "workspace/natural_order.h"
#include "workspace/pool.h"
#include "workspace/startup.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kNotAWorkbook = "不是汇表池所收的表格文件";
constexpr const char* kFromThePool = "已在工作目录中";
constexpr const char* kPoolFolderItself = "这是工作目录本身";
constexpr const char* kNoWorkbooks = "文件夹中没有表格文件";
constexpr const char* kNotReplaced = "同名文件未覆盖";
constexpr size_t kNamesListed = 10;

std::string nameOf(const fs::path& path) {
    const fs::path name = path.filename().empty() ? path.parent_path().filename() : path.filename();
    return utf8String(name);
}

// A system's text on one line of the report.
std::string oneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

}  // namespace

std::vector<fs::path> droppedWorkbooks(const WorkspacePaths& paths, const std::vector<fs::path>& dropped,
                                       DropIntake& intake) {
    std::vector<fs::path> files;
    for (const fs::path& path : dropped) {
        std::error_code error;
        if (!fs::is_directory(path, error)) {
            files.push_back(path);
            continue;
        }
        if (sameFileOnDisk(path, paths.poolDirectory())) {
            intake.refused.push_back({nameOf(path), kPoolFolderItself});
            continue;
        }
        std::error_code unlisted;  // a folder listed in part gives what was listed
        const std::vector<fs::path> inside = workbooksIn(path, unlisted);
        if (inside.empty()) intake.refused.push_back({nameOf(path), kNoWorkbooks});
        files.insert(files.end(), inside.begin(), inside.end());
    }
    return files;
}

DropIntake takeInDropped(const WorkspacePaths& paths, DialogsPort& dialogs, PoolListPort& list,
                         const std::vector<fs::path>& dropped, const IntakeTools& tools) {
    using Result = OneFileIntake::Result;
    DropIntake intake;
    const std::vector<fs::path> files = droppedWorkbooks(paths, dropped, intake);
    OverwriteQuestion overwrite(dialogs, poolFilesNamedLike(paths, files));
    for (const fs::path& source : files) {
        const OneFileIntake one = takeInOneFile(paths, overwrite, list, source, tools);
        switch (one.result) {
        case Result::NotAPoolName: intake.refused.push_back({nameOf(source), kNotAWorkbook}); continue;
        case Result::InPoolFolder: intake.refused.push_back({one.name, kFromThePool}); continue;
        case Result::NotAFile: intake.refused.push_back({one.name, oneLine(one.notAFile)}); continue;
        case Result::NotReplaced: intake.refused.push_back({one.name, kNotReplaced}); continue;
        case Result::CopyFailed:
            intake.refused.push_back({one.name, oneLine(pool_ops_text::kCopyFailed + systemErrorText(one.copyError))});
            continue;
        case Result::Taken: break;
        }
        intake.taken.push_back(one.name);
        // The last file taken in settles what the summary is a copy of.
        intake.notATemplate = one.notATemplate.empty() ? std::string() : oneLine(notATemplateText(one.name, one.notATemplate));
        if (!one.kept.failure.empty()) intake.summaryKept = summaryNotKeptText(one.kept);
        if (one.kept.keptAs) intake.summaryKept = startup_text::kPreviousSummaryKept + utf8String(*one.kept.keptAs);
        // Should the summary's copy fail, the previous one stays whole and the report says so.
        if (one.summary.copyError) {
            intake.refused.push_back({utf8String(one.summary.summary.filename()),
                                      oneLine(pool_ops_text::kCopyFailed + systemErrorText(one.summary.copyError))});
        }
        for (const FileFailure& left : one.summary.leftOver) {
            intake.refused.push_back({left.name, oneLine(oldSummaryLeftText(one.summary.summary, left))});
        }
    }
    dialogs.message(dropReportMessage(intake));
    return intake;
}

std::string dropReportMessage(const DropIntake& intake) {
    auto listed = [](std::string& text, size_t count, auto&& line) {
        for (size_t i = 0; i < count && i < kNamesListed; ++i) text += "\r" + line(i);
        if (count > kNamesListed) text += "\r……等 " + std::to_string(count) + " 个";
    };
    std::string text = intake.taken.empty() ? std::string("没有添加任何文件。")
                                            : "已添加 " + std::to_string(intake.taken.size()) + " 个文件：";
    listed(text, intake.taken.size(), [&](size_t i) { return intake.taken[i]; });
    if (!intake.refused.empty()) {
        text += "\r未添加 " + std::to_string(intake.refused.size()) + " 个：";
        listed(text, intake.refused.size(),
               [&](size_t i) { return intake.refused[i].name + "：" + intake.refused[i].why; });
    }
    if (!intake.notATemplate.empty()) text += "\r" + intake.notATemplate + "；汇总文件没有更换。";
    if (!intake.summaryKept.empty()) text += "\r" + intake.summaryKept;
    return text;
}

}  // namespace sbx
