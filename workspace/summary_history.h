#pragma once
// The summaries that start-up replaced: before the start-up copy overwrites the summary
// workbook, the previous one is kept in <pool>/hz/历史/total-000042-YYYYMMDD-HHMMSS.xls (or
// .xlsx, .xlsm: its own extension), the last few of them, so that a summary that was never
// exported is not lost. The number counts up from the highest kept: it, not the local time,
// orders them, so a clock or time zone set back never makes a new copy look like the oldest.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "workspace/workspace_paths.h"

namespace sbx {

inline constexpr std::size_t kKeptSummaries = 20;

// <pool>/hz/历史
std::filesystem::path summaryHistoryDirectory(const WorkspacePaths& paths);

// Whether `name` is one of the kept summaries' names: total-NNNNNN-YYYYMMDD-HHMMSS.xls (.xlsx,
// .xlsm; six digits or more), or as earlier versions named them, total-YYYYMMDD-HHMMSS.xls, with
// "-N" before the extension when two were kept within one second (those count as the oldest).
bool isKeptSummaryName(const std::string& name);

struct KeptSummary {
    std::optional<std::filesystem::path> keptAs;  // where the previous summary now lies
    std::string failure;                          // why it could not be kept; empty when fine
};

// For the user: the previous summary could not be kept, so the summary was not replaced.
std::string summaryNotKeptText(const KeptSummary& kept);

// Keeps the summary workbook before `replacement` takes its place: only when there is one
// (a regular file) and its bytes differ from `replacement`'s. Afterwards only the last `keep`
// kept summaries stay, the one just kept always among them; other files are never touched.
KeptSummary keepPreviousSummary(const WorkspacePaths& paths, const std::filesystem::path& replacement,
                                std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
                                std::size_t keep = kKeptSummaries);

}  // namespace sbx
