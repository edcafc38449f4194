#pragma once
// The check's findings in the windows' words: a verdict and the first finding for the check
// window's list, and the message after a run that left flagged files out.
#include <string>
#include <vector>

#include "consolidate/check/source_check.h"

namespace sbx::check_text {

inline constexpr const char* kTitle = "汇总前检查";
inline constexpr const char* kIntro = "以下文件与模板不符、重复或含有不能相加的内容。请选择如何继续：";
inline constexpr const char* kIncludeAll = "全部汇总";
inline constexpr const char* kSkipFlagged = "跳过有问题的文件";
inline constexpr const char* kCancel = "取消";
inline constexpr const char* kFileColumn = "文件";
inline constexpr const char* kVerdictColumn = "结论";
inline constexpr const char* kFindingColumn = "第一个问题";
inline constexpr const char* kAlignLabels = "按标签对齐汇总";
inline constexpr const char* kAlignLabelsTip =
    "按各行、各列的标签（去掉首尾空格，全角半角视为相同）与模板对齐后相加，插入了行、挪动了列的文件也能正确汇总；"
    "模板中没有的标签、重复的标签列为问题";

// "正常", or what the first finding is: "无法读取", "缺少工作表", "格式不符", "重复", "含非数字内容", ...
std::string verdict(const SourceCheck& source);
// The first finding in a sentence; empty when there is none.
std::string firstFinding(const SourceCheck& source, const CheckReport& report);
// Above the choice, when some flagged files cannot be read: those are left out whatever the
// answer. Empty when every file can be read.
std::string unreadableNote(const CheckReport& report);
// After a run that left files out: how many the total covers, then which were left out, one
// per line.
std::string leftOutMessage(size_t consolidated, const std::vector<std::string>& files);
// After a finished run whose record beside the summary could not be written (the viewer then
// cannot show where a total came from): the record file and why, in words.
std::string recordNotWrittenMessage(const WorkbookError& problem);
// Before a run that another run onto the same summary is writing (or whose lock cannot be
// taken): nothing was done.
std::string summaryLockedMessage(const std::string& summary, bool inUse, const std::string& reason);
// Before a run one of whose files to read is a file it would write (the summary, its record,
// its lock): nothing was done.
std::string inputAtOutputMessage(const std::string& input, const std::string& output);

}  // namespace sbx::check_text
