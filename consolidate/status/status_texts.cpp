#include "consolidate/status/status_texts.h"

#include <algorithm>

#include "spreadsheet/cell_address.h"

namespace sbx {

long long roundedShare(long long scale, long long done, long long total) {
    if (total <= 0) return 0;
    // Counters stay far below 2^63 / 100 (that many cells cannot be read in a lifetime).
    const long long numerator = scale * done;
    long long q = numerator / total;
    const long long twiceRest = 2 * (numerator % total);
    if (twiceRest > total || (twiceRest == total && q % 2 != 0)) ++q;
    return q;
}

std::string progressBar(long long done, long long total) {
    return std::string(static_cast<size_t>(std::max(0LL, roundedShare(20, done, total))), '|');
}

std::string paddedProgressBar(long long done, long long total) {
    const auto n = static_cast<size_t>(std::clamp(roundedShare(20, done, total), 0LL, 20LL));
    return std::string(n, '|') + std::string(20 - n, ' ');
}

std::string percentText(long long done, long long total) {
    return std::to_string(roundedShare(100, done, total)) + "%";
}

std::string cellText(int column, int row, bool last) {
    if (last) return "------完毕------";
    return "单元格:\r[" + columnLetters(column) + "," + std::to_string(row) + "]";
}

std::string durationText(long long seconds) {
    seconds = std::max(0LL, seconds);
    const long long h = seconds / 3600, m = seconds % 3600 / 60, s = seconds % 60;
    if (h > 0) return std::to_string(h) + " 小时 " + std::to_string(m) + " 分 " + std::to_string(s) + " 秒";
    if (m > 0) return std::to_string(m) + " 分 " + std::to_string(s) + " 秒";
    return std::to_string(s) + " 秒";
}

std::string aboutText(long long seconds) {
    auto roundedTo = [](long long value, long long step) { return (value + step / 2) / step * step; };
    if (seconds < 5) return "即将完成";
    if (const long long s = roundedTo(seconds, 5); s < 60) return "约 " + std::to_string(s) + " 秒";
    if (const long long s = roundedTo(seconds, 10); s < 3600) {
        const std::string minutes = "约 " + std::to_string(s / 60) + " 分";
        return s % 60 == 0 ? minutes : minutes + " " + std::to_string(s % 60) + " 秒";
    }
    const long long s = roundedTo(seconds, 60);
    const std::string hours = "约 " + std::to_string(s / 3600) + " 小时";
    return s % 3600 == 0 ? hours : hours + " " + std::to_string(s % 3600 / 60) + " 分";
}

std::string runTimeText(const RunTimeProgress& p) {
    std::string files = "文件 " + std::to_string(p.filesDone) + "/" + std::to_string(p.files);
    if (p.worksheets > 1) files += "（工作表 " + std::to_string(p.worksheet) + "/" + std::to_string(p.worksheets) + "）";
    std::string time = "已用 " + durationText(p.elapsedSeconds);
    if (!p.secondsLeft) return files + "\n" + time + "，正在估算剩余时间";
    const std::string left = aboutText(*p.secondsLeft);
    return files + "\n" + time + (*p.secondsLeft < 5 ? "，" + left : "，还需" + left);
}

std::string progressCaption(int worksheet, int worksheets, const std::string& elapsed) {
    if (worksheet == worksheets) return "-----工作完毕,用时" + elapsed + "-----";
    return "总进程：" + std::to_string(worksheet) + "/" + std::to_string(worksheets) + "  用时" + elapsed;
}

}  // namespace sbx
