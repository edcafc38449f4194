#include "workspace/summary_history.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <tuple>
#include <vector>

#include "workspace/file_copy.h"
#include "workspace/local_time.h"
#include "workspace/pool_file_ops.h"
#include "workspace/workbook_format.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string stampOf(std::chrono::system_clock::time_point when) { return localTimeText(when, "%Y%m%d-%H%M%S"); }

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// What stands between the time stamp and the extension of a kept summary's name: "" or "-N".
std::string_view numberPart(std::string_view name) {
    const std::optional<WorkbookFormat> format = formatOfPoolName(name);
    const std::size_t extension = format ? formatExtension(*format).size() : 0;
    if (name.size() < 21 + extension) return {};
    return name.substr(21, name.size() - 21 - extension);
}

// The order of kept summaries: time stamp, then the number added within one second.
std::tuple<std::string, int> ageOf(const std::string& name) {
    const std::string stamp = name.substr(6, 15);
    const std::string_view rest = numberPart(name);
    return {stamp, rest.empty() ? 0 : std::stoi(std::string(rest.substr(1)))};
}

void dropOldest(const fs::path& folder, std::size_t keep) {
    std::vector<std::string> kept;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        const std::string name = utf8String(entry.path().filename());
        std::error_code kindError;
        if (isKeptSummaryName(name) && entry.is_regular_file(kindError)) kept.push_back(name);
    }
    if (kept.size() <= keep) return;
    std::sort(kept.begin(), kept.end(), [](const std::string& a, const std::string& b) { return ageOf(a) < ageOf(b); });
    for (std::size_t i = 0; i + keep < kept.size(); ++i) fs::remove(folder / utf8Path(kept[i]), error);
}

}  // namespace

fs::path summaryHistoryDirectory(const WorkspacePaths& paths) { return paths.summaryDirectory() / utf8Path("历史"); }

bool isKeptSummaryName(const std::string& name) {
    // total-YYYYMMDD-HHMMSS[-N].xls, .xlsx or .xlsm
    if (name.size() < 25 || !name.starts_with("total-") || !formatOfPoolName(name)) return false;
    const std::string_view text(name);
    if (!allDigits(text.substr(6, 8)) || text[14] != '-' || !allDigits(text.substr(15, 6))) return false;
    const std::string_view rest = numberPart(text);
    return rest.empty() || (rest.size() >= 2 && rest.size() <= 6 && rest[0] == '-' && allDigits(rest.substr(1)));
}

std::string summaryNotKeptText(const KeptSummary& kept) {
    return "上次的汇总文件无法保存，汇总文件未更新：" + kept.failure;
}

KeptSummary keepPreviousSummary(const WorkspacePaths& paths, const fs::path& replacement,
                                std::chrono::system_clock::time_point now, std::size_t keep) {
    KeptSummary result;
    const fs::path summary = paths.summaryWorkbook();
    std::error_code error;
    if (!fs::is_regular_file(fs::symlink_status(summary, error)) || sameFileContents(summary, replacement)) return result;

    const fs::path folder = summaryHistoryDirectory(paths);
    fs::create_directories(folder, error);
    if (error) {
        result.failure = "无法建立文件夹 " + utf8String(folder) + "：" + error.message();
        return result;
    }
    // Kept under the extension it has, so that it opens as what it is.
    const std::string stamp = stampOf(now);
    const std::string extension = utf8String(summary.extension());
    fs::path target = folder / ("total-" + stamp + extension);
    for (int n = 2; fs::exists(fs::symlink_status(target, error)) && n < 100000; ++n) {
        target = folder / ("total-" + stamp + "-" + std::to_string(n) + extension);
    }
    if (const std::error_code copyError = replaceFile(summary, target)) {
        result.failure = "无法将 " + utf8String(summary) + " 保存为 " + utf8String(target) + "：" + copyError.message();
        return result;
    }
    result.keptAs = target;
    dropOldest(folder, keep);
    return result;
}

}  // namespace sbx
