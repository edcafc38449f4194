#include "consolidate/check/check_texts.h"

#include <cctype>

#include "spreadsheet/ascii_case.h"
#include "spreadsheet/utf8_path.h"
#include "workspace/workbook_error_text.h"

namespace sbx::check_text {

namespace {

std::string upperCell(CellAddress cell) {
    std::string name = cellName(cell);
    for (char& c : name) c = asciiUpper(c);
    return name;
}

}  // namespace

std::string verdict(const SourceCheck& source) {
    if (source.findings.empty()) return "正常";
    switch (source.findings.front().kind) {
        case FindingKind::Unreadable: return "无法读取";
        case FindingKind::MissingWorksheet: return "缺少工作表";
        case FindingKind::Layout: return "格式不符";
        case FindingKind::Duplicate: return "重复";
        case FindingKind::NotANumber: return "含非数字内容";
        case FindingKind::NoResult: return "公式无结果";
        case FindingKind::Audit: return "表内不平";
        case FindingKind::SameUnit: return "同一单位重复上报";
        case FindingKind::UnmatchedLabel: return "标签对不上";
    }
    return {};
}

std::string firstFinding(const SourceCheck& source, const CheckReport& report) {
    if (source.findings.empty()) return {};
    const Finding& f = source.findings.front();
    const std::string at = f.worksheet + "!" + upperCell(f.cell);
    std::string text;
    switch (f.kind) {
        case FindingKind::Unreadable: text = workbookErrorKindText(f.error); break;
        case FindingKind::MissingWorksheet: text = "缺少工作表“" + f.worksheet + "”"; break;
        case FindingKind::Layout: text = at + "：模板为" + f.templateValue + "，此文件为" + f.sourceValue; break;
        case FindingKind::Duplicate:
            text = "与 " + utf8String(report.sources[*f.duplicateOf].file.filename()) +
                   (f.sameBytes ? " 完全相同" : " 各区域的数值相同");
            break;
        case FindingKind::NotANumber:
            text = at + " 的 " + f.sourceValue + " 不能相加";
            if (f.count > 1) text += "（共 " + std::to_string(f.count) + " 处）";
            break;
        case FindingKind::NoResult:
            text = at + " 的公式没有保存结果，本程序也无法计算，不能相加";
            if (f.count > 1) text += "（共 " + std::to_string(f.count) + " 处）";
            break;
        case FindingKind::SameUnit:
            text = f.reason + " 已由 " + utf8String(report.sources[*f.duplicateOf].file.filename()) + " 上报";
            break;
        case FindingKind::Audit:
            text = at + " 填的是 " + f.sourceValue + "，按模板公式 " + f.reason + " 应为 " + f.templateValue;
            if (f.count > 1) text += "（共 " + std::to_string(f.count) + " 处）";
            break;
        case FindingKind::UnmatchedLabel:
            if (f.labelTimes == 0) {
                text = at + " 所在的一行（列）有数值而没有标签，不能相加";
            } else if (f.templateTimes == 0) {
                text = at + " 的标签 " + f.sourceValue + " 模板中没有，这一行（列）不能相加";
            } else {
                text = at + " 的标签 " + f.sourceValue + " 出现 " + std::to_string(f.labelTimes) + " 次，模板中为 " +
                       std::to_string(f.templateTimes) + " 次，不能相加";
            }
            if (f.count > 1) text += "（共 " + std::to_string(f.count) + " 处）";
            break;
    }
    if (source.findings.size() > 1) text += "；另有 " + std::to_string(source.findings.size() - 1) + " 项";
    return text;
}

std::string unreadableNote(const CheckReport& report) {
    const auto unreadable = report.unreadable();
    if (unreadable.empty()) return {};
    std::string text = "其中 " + std::to_string(unreadable.size()) + " 个文件无法读取，无论选择哪一项都不参加汇总：";
    for (size_t i = 0; i < unreadable.size(); ++i) {
        text += (i == 0 ? "" : "、") + utf8String(report.sources[unreadable[i]].file.filename());
    }
    return text;
}

std::string leftOutMessage(size_t consolidated, const std::vector<std::string>& files) {
    std::string text = "汇总表是 " + std::to_string(consolidated) + " 个文件的合计；以下 " + std::to_string(files.size()) +
                       " 个文件检查有问题，未参加汇总：";
    for (const auto& file : files) text += "\n" + file;
    return text;
}

std::string recordNotWrittenMessage(const WorkbookError& problem) {
    return "汇总表已保存，但本次汇表的运行记录未能写入：\r" + utf8String(problem.file()) + "\r原因：" +
           workbookErrorReason(problem) + "\r查看汇总数的来源要用到这份记录。";
}

std::string summaryLockedMessage(const std::string& summary, bool inUse, const std::string& reason) {
    if (inUse) return "汇总表正在由另一次汇表写入：\r" + summary + "\r请等那次汇表结束后再开始汇表。";
    return "无法锁定汇总表，本次没有汇表：\r" + summary + "\r原因：" + reason;
}

std::string inputAtOutputMessage(const std::string& input, const std::string& output) {
    return "文件 " + input + " 正是汇表要写入的文件：\r" + output + "\r汇表会覆盖它，所以本次没有汇表。";
}

}  // namespace sbx::check_text
