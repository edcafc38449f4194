#include "job/windows/remembered_job.h"

#include <algorithm>
#include <vector>

#include "job/job_file.h"
#include "spreadsheet/utf8_path.h"
#include "workspace/workbook_error_text.h"

namespace sbx {
namespace {

std::vector<std::string> templateSheets(const JobDefinition& job) {
    return job.sheetNames;
}

}  // namespace

std::string jobFileErrorText(const JobFileError& error) {
    std::string why;
    switch (error.kind()) {
        case JobFileError::Kind::Unreadable: why = "无法读取方案文件"; break;
        case JobFileError::Kind::NotAFile: why = "方案文件的位置上不是文件（是文件夹、管道或设备）"; break;
        case JobFileError::Kind::TooLarge: why = "方案文件过大（超过 1 MB），不是本程序的方案文件"; break;
        case JobFileError::Kind::Damaged:
            why = error.line() > 0 ? "方案文件第 " + std::to_string(error.line()) + " 行已损坏" : "方案文件已损坏";
            break;
        case JobFileError::Kind::Unwritable: why = "无法保存方案文件"; break;
    }
    if (error.systemError() != 0) why += "：" + systemErrorText(std::error_code(error.systemError(), std::generic_category()));
    return why + "：\r" + utf8String(error.file());
}

std::filesystem::path jobFileOf(const WorkspacePaths& paths) { return paths.poolDirectory() / utf8Path(kJobFileName); }

void offerRememberedJob(const JobWindowContext& context) {
    JobDefinition& job = context.job;
    job.remembered.clear();
    // A unit cell chosen before any job was kept waits for the first one, on its template.
    const std::vector<std::string> sheets = templateSheets(job);
    if (job.unitCell && std::find(sheets.begin(), sheets.end(), job.unitCell->worksheet) == sheets.end()) {
        job.unitCell.reset();
    }
    try {
        const RememberedJobs kept = readJobFile(jobFileOf(context.paths));
        if (const RememberedJob* found = kept.kept(templateSheets(job))) {
            job.remembered = found->job;
            job.unitCell = found->unitCell;
        }
    } catch (const JobFileError& error) {
        context.dialogs.message("方案文件无法使用，本次不预先填写，文件保持原样：\r" + jobFileErrorText(error));
    }
}

bool rememberUnitCell(const JobDefinition& job, const WorkspacePaths& paths, DialogsPort& dialogs) {
    const std::filesystem::path file = jobFileOf(paths);
    try {
        RememberedJobs kept = readJobFile(file);
        auto found = std::find_if(kept.jobs.begin(), kept.jobs.end(),
                                  [&](const RememberedJob& j) { return j.templateSheets == templateSheets(job); });
        if (job.sheetNames.empty() || found == kept.jobs.end()) {
            dialogs.message("单位名称单元格已指定，将在“环 境 设 定”确定汇总区间时随方案一起保存。");
            return false;
        }
        found->unitCell = job.unitCell;
        writeJobFile(file, kept);
        return true;
    } catch (const JobFileError& error) {
        dialogs.message("单位名称单元格未能保存，方案文件保持原样：\r" + jobFileErrorText(error));
        return false;
    }
}

void rememberAcceptedJob(const JobWindowContext& context) {
    const JobDefinition& job = context.job;
    if (job.sheetNames.empty()) return;  // no summary workbook was read: no template to keep it for
    const std::filesystem::path file = jobFileOf(context.paths);
    try {
        RememberedJobs kept = readJobFile(file);
        kept.remember(templateSheets(job), job.rangeTable);
        for (RememberedJob& each : kept.jobs) {
            if (each.templateSheets == templateSheets(job)) each.unitCell = job.unitCell;
        }
        writeJobFile(file, kept);
    } catch (const JobFileError& error) {
        context.dialogs.message("本次方案未能保存，方案文件保持原样：\r" + jobFileErrorText(error));
    }
}

}  // namespace sbx
