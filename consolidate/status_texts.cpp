#include "consolidate/status_texts.h"

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

std::string progressCaption(int worksheet, int worksheets, const std::string& elapsed) {
    if (worksheet == worksheets) return "-----工作完毕,用时" + elapsed + "-----";
    return "总进程：" + std::to_string(worksheet) + "/" + std::to_string(worksheets) + "  用时" + elapsed;
}

}  // namespace sbx
