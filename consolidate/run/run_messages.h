#pragma once
// The messages and hint texts of the two runs, exactly as the user sees them. A line break
// inside a message is a carriage return.
#include <string>

#include <vector>

#include "consolidate/run/run_request.h"
#include "job/job_definition.h"

namespace sbx::run_text {

inline const std::string kSelectFiles = "请选择所需汇入的表格文件！";
inline const std::string kArchiveQuestion = "汇总完毕,是否将原文件从工作目录中移除?";
inline const std::string kExportQuestion = "是否将生成的汇总文件导出?";

inline const std::string kHintEfficiency = "效率型,速度快,整体性强,原理简单";
inline const std::string kHintFunctionConfirm = "功能型虽然速度有些慢,但他可是万能的,请再次确认!";
inline const std::string kHintFunction = "功能型,克服了表格中有单元格保护而不能正确汇总的问题!";
inline const std::string kHintWelcome = "欢迎使用数簿星";
inline const std::string kHintArchive = "文件清理是为下次汇表而将当前文件移除工作目录";
inline const std::string kHintArchiveExplained = "清理移除是指将文件转移至在目录C:\\KX\\下新建的一个文件夹中";
inline const std::string kHintSummaryMade = "汇总完毕,汇总文件已经生成";
inline const std::string kHintExport = "通过点击[导出文件]来将新生成的汇总文件导出到任意地方";
inline const std::string kHintCancelled = "汇表已取消,汇总文件未变,可再次点击[开 始 汇 表]";
inline const std::string kHintKeptAtHome = "汇总保存在默认目录C:\\KX\\HZ\\下";
// After each summary cell that refused its total, in the run's report.
inline const std::string kStillTemplateValue = "仍是模板中的数值";

std::string functionConfirmQuestion();
// A run the user cancelled: the summary workbook is as it was before the run, or (with
// `putBackFailed` saying why) it could not be put back.
std::string cancelledMessage(const std::string& putBackFailed = {});
// Efficiency mode: a selected file lacks the worksheet.
std::string worksheetMismatchMessage(const std::string& path);
std::string efficiencyFailureMessage(const std::string& path);
std::string functionFailureMessage(const std::string& path);
// After the failure message of a run stopped by a file that lacks a worksheet: which one.
std::string worksheetNotFoundMessage(const std::string& worksheet, const std::string& path);

// After the failure message of a run that could not save the summary workbook: which file,
// why in the user's words, and how much of the summary holds new totals.
std::string summaryNotSavedMessage(const WorkbookError& cause, int worksheetsSaved);
// The last message of a failed run that saved some worksheets: which hold this run's totals
// and which do not.
std::string incompleteSummaryMessage(const IncompleteSummary& summary);
// The same in one line, as the main window shows it until the next run.
std::string incompleteSummaryLine(const IncompleteSummary& summary);
// Before 查看结果 or 导出文件 (`action`: "查看", "导出") of such a summary (Yes and No).
std::string incompleteSummaryQuestion(const IncompleteSummary& summary, const std::string& action);
// A total that added up beyond the largest number a spreadsheet holds (Failure::Kind::TotalNotFinite).
std::string totalNotFiniteMessage(const Failure& failure);
// What a finished run left out (and the selected entries whose files were not in the pool),
// and the formulas left to the spreadsheet application; empty when there is nothing to tell.
std::string skipReportMessage(const RunReport& report, const std::vector<std::string>& missingFiles);

}  // namespace sbx::run_text
