// The summary and its run record as a pair, as users meet them: a run killed between the
// summary's rename and the record's, and two runs started onto one summary at once. The
// record beside the summary never shows sources for totals that are not the summary's.
#include <gtest/gtest.h>

#include <sstream>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "cli/consolidate_command.h"
#include "consolidate/check/check_texts.h"
#include "consolidate/record/json_value.h"
#include "consolidate/record/run_record_reader.h"
#include "spreadsheet/utf8_path.h"
#include "tests/reliability_run_fixture.h"

namespace sbx::test {
namespace {

#ifdef _WIN32
// Both cases stop a run part-way in a child made with fork(), which Windows does not have.
constexpr const char* kNoFork = "the run is killed, or held half-way, in a child process made with fork(), "
                                "which Windows does not have";
TEST(RecordPair, ARunKilledBetweenTheSummaryAndItsRecordLeavesNoRecordThatMisleads) { GTEST_SKIP() << kNoFork; }
TEST(RecordPair, ASecondRunOntoTheSameSummaryIsRefusedWhileTheFirstWrites) { GTEST_SKIP() << kNoFork; }
#else

constexpr CellAddress kB4{4, 2};

class RecordPair : public ReliabilityRun {
protected:
    fs::path record() const { return home / "hz" / "total.xls.run.json"; }

    void SetUp() override {
        ReliabilityRun::SetUp();
        useFixturePool();
    }

    // A host whose every rename of the summary first calls `atSummary` (in a forked child).
    HostFactory hostCalling(std::function<void(bool renamed)> atSummary) {
        return [this, atSummary] {
            FileWriteSteps steps = FileWriteSteps::system();
            steps.rename = [this, atSummary, rename = steps.rename](const fs::path& from, const fs::path& to) {
                if (to != summary()) return rename(from, to);
                atSummary(false);
                const int result = rename(from, to);
                atSummary(true);
                return result;
            };
            return std::make_unique<NativeHost>(steps);
        };
    }

    // Runs `run` in a child process whose host is `factory`; returns its wait status.
    int statusOfChildRun(RunMode run, HostFactory factory) {
        const pid_t child = ::fork();
        if (child == 0) {
            makeHost = std::move(factory);
            resetRun();
            ::_exit(run(setup()).state == RunState::Finished ? 0 : 3);
        }
        int waitStatus = 0;
        ::waitpid(child, &waitStatus, 0);
        return waitStatus;
    }
};

// Killed right after the summary took its new place and before the record took its: the old
// record, beside a new summary, says it is out of date instead of naming the old sources.
TEST_F(RecordPair, ARunKilledBetweenTheSummaryAndItsRecordLeavesNoRecordThatMisleads) {
    for (const auto& [modeName, run] : kBothModes) {
        SCOPED_TRACE(modeName);
        fs::copy_file(kPoolFixture / "branch_2.xls", home / "branch_2.xls", fs::copy_options::overwrite_existing);
        fs::copy_file(kPoolFixture / "branch_3.xls", summary(), fs::copy_options::overwrite_existing);
        resetRun();
        ASSERT_EQ(run(setup()).state, RunState::Finished);
        const std::string summaryBefore = bytesOf(summary()), recordBefore = bytesOf(record());
        ASSERT_TRUE(contributionsFromRecord(summary(), kIncome, kB4));

        // branch_2 sent again with other amounts; the run is killed at its first save.
        fs::copy_file(kPoolFixture / "branch_1.xls", home / "branch_2.xls", fs::copy_options::overwrite_existing);
        const int ended = statusOfChildRun(run, hostCalling([](bool renamed) {
            if (renamed) ::raise(SIGKILL);
        }));
        ASSERT_TRUE(WIFSIGNALED(ended) && WTERMSIG(ended) == SIGKILL) << ended;
        ASSERT_NE(bytesOf(summary()), summaryBefore);
        ASSERT_EQ(bytesOf(record()), recordBefore);
        try {
            contributionsFromRecord(summary(), kIncome, kB4);
            ADD_FAILURE() << "the record of the run before was shown for the new summary";
        } catch (const RecordOutOfDate& e) {
            EXPECT_EQ(e.why(), RecordOutOfDate::Why::SummaryChanged);
        }

        // The next run puts a matching pair back.
        resetRun();
        ASSERT_EQ(run(setup()).state, RunState::Finished);
        EXPECT_TRUE(contributionsFromRecord(summary(), kIncome, kB4));
    }
}

// While one run writes the summary, a second one onto it, from the command line or from the
// windows, is refused at once and writes nothing; the first finishes with its own record.
TEST_F(RecordPair, ASecondRunOntoTheSameSummaryIsRefusedWhileTheFirstWrites) {
    int saving[2], goOn[2];
    ASSERT_EQ(::pipe(saving), 0);
    ASSERT_EQ(::pipe(goOn), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        makeHost = hostCalling([&](bool renamed) {
            char c = 's';
            if (!renamed && (::write(saving[1], &c, 1) != 1 || ::read(goOn[0], &c, 1) != 1)) ::_exit(4);
        });
        resetRun();
        ::_exit(runEfficiencyMode(setup()).state == RunState::Finished ? 0 : 3);
    }
    char c = 0;
    ASSERT_EQ(::read(saving[0], &c, 1), 1);  // the first run is about to put its summary in place
    const std::string summaryNow = bytesOf(summary());

    std::ostringstream out, err;
    EXPECT_EQ(cli::consolidateCommand({"--mode", "efficiency", "--out", summary().string(), "--range", kIncome + "!b4:e9",
                                       (home / "branch_1.xls").string(), (home / "branch_2.xls").string()},
                                      out, err),
              1);
    EXPECT_NE(err.str().find("another run is writing this summary now"), std::string::npos) << err.str();
    resetRun();
    runFunctionMode(setup());
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{check_text::summaryLockedMessage(utf8String(summary()), true, "")});
    EXPECT_EQ(bytesOf(summary()), summaryNow);

    ASSERT_EQ(::write(goOn[1], "gogo", 4), 4);  // one for each worksheet's save
    int waitStatus = 0;
    ASSERT_EQ(::waitpid(child, &waitStatus, 0), child);
    EXPECT_TRUE(WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0) << waitStatus;
    for (const int fd : {saving[0], saving[1], goOn[0], goOn[1]}) ::close(fd);
    EXPECT_EQ(JsonValue::parse(bytesOf(record()))["summary sha256"].string(), sha256Of(summary()));
    EXPECT_EQ(namesIn(home / "hz"), (std::vector<std::string>{"total.xls", "total.xls.run.json"})) << "the lock went with the run";

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::consolidateCommand({"--mode", "efficiency", "--out", summary().string(), "--range", kIncome + "!b4:e9",
                                       (home / "branch_1.xls").string(), (home / "branch_2.xls").string()},
                                      out2, err2),
              0)
        << err2.str();
}

#endif

}  // namespace
}  // namespace sbx::test
