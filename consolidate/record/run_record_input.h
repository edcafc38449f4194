#pragma once
// What a run record is made of: the check before the run, what was done with its findings,
// the request that ran and the run's report.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <unordered_map>

#include "consolidate/run/run_request.h"
#include "consolidate/check/source_check.h"
#include "spreadsheet/path_hash.h"

namespace sbx {

// What happened to the sources the check flagged.
enum class CheckOutcome {
    NothingFlagged,
    IncludedAll,   // the user chose to add them in (全部汇总)
    LeftOut,       // the flagged sources were left out (跳过有问题的文件)
    Allowed,       // the findings were of kinds allowed on the command line
};

struct RunRecordInput {
    std::chrono::system_clock::time_point started;
    const CheckReport& check;  // over every source offered, before any was left out
    CheckOutcome outcome;
    const RunRequest& request;  // what ran: the sources left in
    const RunReport& report;
};

// The record numbers a source by its place in the check's list: that number for each file.
inline std::unordered_map<std::filesystem::path, uint32_t, PathHash> checkIndexByFile(const CheckReport& check) {
    std::unordered_map<std::filesystem::path, uint32_t, PathHash> index;
    for (size_t i = 0; i < check.sources.size(); ++i) index.emplace(check.sources[i].file, static_cast<uint32_t>(i));
    return index;
}

}  // namespace sbx
