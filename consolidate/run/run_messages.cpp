#include "consolidate/run/run_messages.h"

#include <algorithm>
#include <vector>

#include "spreadsheet/ascii_case.h"
#include "spreadsheet/utf8_path.h"
#include "workspace/workbook_error_text.h"

namespace sbx::run_text {

namespace {

constexpr size_t kNamesShown = 5;

// "N 个：a、b、c" with at most kNamesShown names, then "等".
std::string countAndNames(long long count, const std::vector<std::string>& names) {
    std::string text = std::to_string(count) + " 个：";
    for (size_t i = 0; i < names.size() && i < kNamesShown; ++i) {
        if (i > 0) text += "、";
        text += names[i];
    }
    if (static_cast<long long>(std::min(names.size(), kNamesShown)) < count) text += " 等";
    return text;
}

}  // namespace

std::string cancelledMessage(const std::string& putBackFailed) {
    if (putBackFailed.empty()) return "汇表已取消。\r汇总文件保持汇表开始前的样子，没有写入任何结果。";
    return "汇表已取消，但汇总文件未能恢复为汇表开始前的样子：\r" + putBackFailed + "\r请在再次汇表前检查汇总文件。";
}

std::string functionConfirmQuestion() {
    return "这种模式速度慢，而且会占用大量的系统资源\r除非万不得一建议尽量少用为妙，确定继续？";
}

std::string worksheetMismatchMessage(const std::string& path) {
    return "注意：表格文件:\r" + path + "\r格式不够统一或者工作表名称不一，注意查看!";
}

std::string efficiencyFailureMessage(const std::string& path) {
    return "出现未知错误,系统异常中断!\r\r初步侦测:\r可能是汇表池中表格文件:\r" + path +
           "\r格式不够统一，请修整先！\r或者该表格文件有写保护,建议启用[功能]模式！";
}

std::string worksheetNotFoundMessage(const std::string& worksheet, const std::string& path) {
    return "工作簿中没有工作表“" + worksheet + "”：\r" + path;
}

std::string summaryNotSavedMessage(const WorkbookError& cause, int worksheetsSaved) {
    std::string text = "汇总文件未能保存：\r" + utf8String(cause.file()) + "\r原因：" + workbookErrorReason(cause);
    if (worksheetsSaved == 0) return text + "\r汇总文件仍是汇表前的内容。";
    return text + "\r汇总文件中只有前 " + std::to_string(worksheetsSaved) + " 个工作表是本次汇总的结果。";
}

namespace {

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& name : names) text += (text.empty() ? "“" : "、“") + name + "”";
    return text;
}

}  // namespace

std::string incompleteSummaryMessage(const IncompleteSummary& summary) {
    return "汇总文件只完成了一部分：\r已写入本次合计的工作表：" + joined(summary.withTotals) +
           "\r没有本次合计的工作表：" + joined(summary.withoutTotals) +
           "\r（其中仍是汇表前的数值，不是合计）\r请排除问题后重新汇表。";
}

std::string incompleteSummaryLine(const IncompleteSummary& summary) {
    return "汇总文件不完整：只有 " + joined(summary.withTotals) + " 有本次合计，" + joined(summary.withoutTotals) +
           " 没有";
}

std::string incompleteSummaryQuestion(const IncompleteSummary& summary, const std::string& action) {
    return "汇总文件不完整：只有 " + joined(summary.withTotals) + " 写入了本次合计，" + joined(summary.withoutTotals) +
           " 仍是汇表前的数值。\r是否仍要" + action + "？";
}

std::string functionFailureMessage(const std::string& path) {
    return "出现未知错误,系统异常结束!\r\r初步侦断:\r可能是汇表池中表格文件:\r" + path + "\r格式不够统一，注意查看!";
}

std::string totalNotFiniteMessage(const Failure& failure) {
    std::vector<std::string> files;
    for (const auto& file : failure.sources) files.push_back(utf8String(file.filename()));
    return "汇总单元格 " + failure.worksheet + "!" + cellName(failure.cell) +
           " 的合计超出了电子表格能存放的最大数值，汇总未能完成，汇总文件中没有写入这个工作表的结果。\r参与该合计的文件 " +
           countAndNames(static_cast<long long>(files.size()), files) + "\r请检查这些文件中该单元格的数值。";
}

std::string skipReportMessage(const RunReport& report, const std::vector<std::string>& missingFiles) {
    std::vector<std::string> unreadable, lacking, refused, ignored, stale, kept, summed;
    for (const RangeFormula& f : report.rangeFormulas) {
        std::string cell = cellName(f.cell);
        for (char& c : cell) c = asciiUpper(c);
        (f.kept ? kept : summed).push_back(f.worksheet + "!" + cell);
    }
    for (const Skipped& item : report.skipped) {
        const std::string file = utf8String(item.file.filename());
        switch (item.kind) {
            case Skipped::Kind::SourceUnreadable: unreadable.push_back("[" + item.worksheet + "] " + file); break;
            case Skipped::Kind::WorksheetMissing: lacking.push_back("[" + item.worksheet + "] " + file); break;
            case Skipped::Kind::CellRefused:
                refused.push_back(item.worksheet + "!" + cellName(item.cell) + " " + kStillTemplateValue);
                break;
            case Skipped::Kind::AddsNothing:
                ignored.push_back(file + " " + item.worksheet + "!" + cellName(item.cell) + " " + item.reason);
                break;
        }
    }
    for (const auto& f : report.staleFormulas) {
        const std::string line = describeStale(f);
        stale.push_back(line.substr(0, line.find(':')));
    }
    const bool nothingLeftOut = missingFiles.empty() && unreadable.empty() && lacking.empty() && refused.empty();
    if (nothingLeftOut && ignored.empty() && stale.empty() && kept.empty() && summed.empty()) return std::string();
    std::string text = nothingLeftOut ? "汇总已完成。" : "汇总已完成，但以下内容未能汇入：";
    auto line = [&](const std::string& what, long long count, const std::vector<std::string>& names) {
        if (count > 0) text += "\r" + what + countAndNames(count, names);
    };
    line("汇表池中找不到的文件 ", static_cast<long long>(missingFiles.size()), missingFiles);
    line("无法读取的文件 ", static_cast<long long>(unreadable.size()), unreadable);
    line("缺少该工作表的文件 ", static_cast<long long>(lacking.size()), lacking);
    line("拒绝写入的汇总单元格 ", report.refusedCells, refused);
    line("应为数字却不是数字、未计入合计的单元格 ", report.misplacedValues, ignored);
    line("汇总文件中将由电子表格程序打开时重新计算的公式 ", static_cast<long long>(stale.size()), stale);
    line("汇总区域内保留、按合计重新计算的公式 ", static_cast<long long>(kept.size()), kept);
    line("汇总区域内读取区域以外单元格或无法计算、已填入各单位结果之和的公式 ", static_cast<long long>(summed.size()), summed);
    return text;
}

}  // namespace sbx::run_text
