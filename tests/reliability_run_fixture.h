#pragma once
// Shared by the reliability tests: a pool folder of its own per test, the outside of a run
// (recording status view and dialogs), and byte-level views of files (contents, SHA-256).
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pool_runs.h"
#include "spreadsheet/native_host.h"
#include "tests/support/consolidate_pool_fixture.h"
#include "tests/support/run_fakes.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/test_files.h"

namespace sbx::test {

namespace fs = std::filesystem;
using sbx::testing::bytesOf;

inline const fs::path kPoolFixture = sbx::testing::kConsolidatePool;
inline const std::string kIncome = "收入明细";
inline const std::string kCost = "成本费用";

inline std::string sha256Of(const fs::path& file) {
    return sbx::testing::sha256Hex(bytesOf(file));
}

// The SHA-256 of every regular file directly in `folder`, by name.
inline std::map<std::string, std::string> checksumsIn(const fs::path& folder) {
    std::map<std::string, std::string> sums;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.is_regular_file()) sums[entry.path().filename().string()] = sha256Of(entry.path());
    }
    return sums;
}

// Names of the files in `folder` (temporary files left behind by a failed save show here).
inline std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class ReliabilityRun : public ::testing::Test {
protected:
    fs::path home;
    JobDefinition job;
    RecordingStatusView status;
    RecordingDialogs dialogs;
    RecordingPostRun postRun;
    SystemRunClock clock;
    std::vector<std::string> selected;
    HostFactory makeHost = makeNativeHost;
    PoolLister listPool = listPoolFolder;

    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        home = fs::temp_directory_path() / ("sbx-reliability-" + std::string(info->test_suite_name()) + "-" +
                                            info->name() + "-" + std::to_string(::getpid()));
        fs::remove_all(home);
        fs::create_directories(home / "hz");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(home, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(home, ignored);
    }

    WorkspacePaths paths() const { return WorkspacePaths(home); }
    fs::path summary() const { return paths().summaryWorkbook(); }

    RunSetup setup() {
        return RunSetup{job,   selected, static_cast<int>(selected.size()), paths(), status, dialogs, postRun, clock,
                        makeHost, listPool};
    }

    void addRange(const std::string& sheet, const std::string& first, const std::string& last) {
        addJobRange(job, sheet, first, last);
    }

    // A fresh start for a second run in the same test.
    void resetRun() {
        job.runState = RunState::IdleOrRunning;
        job.efficiencyBlocked = false;
        dialogs.messages.clear();
        dialogs.questions.clear();
    }

    // The three LibreOffice branch workbooks in the pool, branch_3 as the summary template,
    // both worksheets b4:e9.
    void useFixturePool() {
        for (int i = 1; i <= 3; ++i) {
            const std::string name = "branch_" + std::to_string(i) + ".xls";
            fs::copy_file(kPoolFixture / name, home / name);
            selected.push_back(name);
        }
        fs::copy_file(kPoolFixture / "branch_3.xls", summary());
        addRange(kIncome, "b4", "e9");
        addRange(kCost, "b4", "e9");
    }
};

using RunMode = RunSummary (*)(const RunSetup&);
inline const std::vector<std::pair<std::string, RunMode>> kBothModes = {{"function", &runFunctionMode},
                                                                       {"efficiency", &runEfficiencyMode}};

}  // namespace sbx::test
