#include "workspace/summary_history.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "workspace/file_copy.h"
#include "workspace/local_time.h"
#include "workspace/pool_file_ops.h"
#include "workspace/workbook_format.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string stampOf(std::chrono::system_clock::time_point when) { return localTimeText(when, "%Y%m%d-%H%M%S"); }

bool allDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A name without its workbook extension, when it has one.
std::optional<std::string_view> stem(std::string_view name) {
    const std::optional<WorkbookFormat> format = formatOfPoolName(name);
    if (!format) return std::nullopt;
    return name.substr(0, name.size() - formatExtension(*format).size());
}

bool isStamp(std::string_view text) {
    return text.size() == 15 && allDigits(text.substr(0, 8)) && text[8] == '-' && allDigits(text.substr(9, 6));
}

// Where a kept summary stands in the order of keeping. Names are total-SEQUENCE-STAMP: the
// sequence is one more than the highest kept, so the order holds when the clock or the time
// zone is set back. Names of earlier versions, total-STAMP[-N], have no sequence: they come
// first, in the order of their stamps.
struct Place {
    unsigned long long sequence = 0;
    std::string stamp;
    unsigned long long sameSecond = 0;
    friend auto operator<=>(const Place&, const Place&) = default;
};

// Up to 18 digits: any sequence a folder will see, and no overflow.
std::optional<unsigned long long> numberOf(std::string_view digits) {
    if (!allDigits(digits) || digits.size() > 18) return std::nullopt;
    unsigned long long n = 0;
    for (const char c : digits) n = n * 10 + static_cast<unsigned>(c - '0');
    return n;
}

std::optional<Place> placeOf(std::string_view name) {
    if (!name.starts_with("total-")) return std::nullopt;
    const auto base = stem(name);
    if (!base) return std::nullopt;
    const std::string_view rest = base->substr(6);
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    if (dash >= 6 && isStamp(rest.substr(dash + 1))) {  // total-SEQUENCE-STAMP
        const auto sequence = numberOf(rest.substr(0, dash));
        if (!sequence) return std::nullopt;
        return Place{*sequence, std::string(rest.substr(dash + 1)), 0};
    }
    // total-STAMP or total-STAMP-N, N from 2 to 99999 (two kept within one second)
    if (!isStamp(rest.substr(0, 15))) return std::nullopt;
    if (rest.size() == 15) return Place{0, std::string(rest), 0};
    const std::string_view number = rest.substr(15);
    if (number.size() < 2 || number.size() > 6 || number[0] != '-') return std::nullopt;
    const auto n = numberOf(number.substr(1));
    if (!n) return std::nullopt;
    return Place{0, std::string(rest.substr(0, 15)), *n};
}

struct KeptFile {
    Place place;
    fs::path file;
};

std::vector<KeptFile> keptSummaries(const fs::path& folder) {
    std::vector<KeptFile> kept;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
        std::error_code kindError;
        const auto place = placeOf(utf8String(entry.path().filename()));
        if (place && entry.is_regular_file(kindError)) kept.push_back({*place, entry.path()});
    }
    std::sort(kept.begin(), kept.end(), [](const KeptFile& a, const KeptFile& b) { return a.place < b.place; });
    return kept;
}

// Drops the first in the order of keeping until `keep` are left; `justKept` stays whatever
// the order says.
void dropOldest(const fs::path& folder, std::size_t keep, const fs::path& justKept) {
    std::vector<KeptFile> kept = keptSummaries(folder);
    std::size_t left = kept.size();
    for (const KeptFile& oldest : kept) {
        if (left <= std::max<std::size_t>(keep, 1)) break;
        if (oldest.file.filename() == justKept.filename()) continue;
        std::error_code error;
        if (fs::remove(oldest.file, error)) --left;
    }
}

}  // namespace

fs::path summaryHistoryDirectory(const WorkspacePaths& paths) { return paths.summaryDirectory() / utf8Path("历史"); }

bool isKeptSummaryName(const std::string& name) { return placeOf(name).has_value(); }

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
        result.failure = "无法建立文件夹 " + utf8String(folder) + "：" + systemErrorText(error);
        return result;
    }
    // Kept under the extension it has, so that it opens as what it is.
    const std::vector<KeptFile> kept = keptSummaries(folder);
    unsigned long long sequence = kept.empty() ? 1 : kept.back().place.sequence + 1;
    const std::string stamp = stampOf(now);
    const std::string extension = utf8String(summary.extension());
    fs::path target;
    do {
        char number[24];
        std::snprintf(number, sizeof number, "%06llu", sequence++);
        target = folder / ("total-" + std::string(number) + "-" + stamp + extension);
    } while (fs::exists(fs::symlink_status(target, error)));
    if (const std::error_code copyError = replaceFile(summary, target)) {
        result.failure = "无法将 " + utf8String(summary) + " 保存为 " + utf8String(target) + "：" + systemErrorText(copyError);
        return result;
    }
    result.keptAs = target;
    dropOldest(folder, keep, target);
    return result;
}

}  // namespace sbx
