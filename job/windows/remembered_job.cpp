#include "job/windows/remembered_job.h"

#include <vector>

#include "job/job_file.h"
#include "spreadsheet/utf8_path.h"

namespace sbx {
namespace {

std::vector<std::string> templateSheets(const JobDefinition& job) {
    return {job.sheetNames.begin() + 1, job.sheetNames.end()};  // element 0 is unused
}

}  // namespace

std::filesystem::path jobFileOf(const WorkspacePaths& paths) { return paths.poolDirectory() / utf8Path(kJobFileName); }

void offerRememberedJob(const JobWindowContext& context) {
    JobDefinition& job = context.job;
    job.remembered.clear();
    try {
        const RememberedJobs kept = readJobFile(jobFileOf(context.paths));
        if (const Job* found = kept.find(templateSheets(job))) job.remembered = *found;
    } catch (const JobFileError& error) {
        context.dialogs.message("方案文件无法使用，本次不预先填写，文件保持原样：\r" + std::string(error.what()));
    }
}

void rememberAcceptedJob(const JobWindowContext& context) {
    const JobDefinition& job = context.job;
    if (job.sheetNames.size() <= 1) return;  // no summary workbook was read: no template to keep it for
    const std::filesystem::path file = jobFileOf(context.paths);
    try {
        RememberedJobs kept = readJobFile(file);
        kept.remember(templateSheets(job), job.rangeTable);
        writeJobFile(file, kept);
    } catch (const JobFileError& error) {
        context.dialogs.message("本次方案未能保存，方案文件保持原样：\r" + std::string(error.what()));
    }
}

}  // namespace sbx
