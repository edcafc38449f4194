// How long a run still needs: the estimate from how much is done and when (nothing until
// there is enough to go by, following a pace that changes, never negative), its texts, and
// what the status panel is given during a run with a clock the test sets.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "consolidate/status/status_texts.h"
#include "consolidate/status/status_view_events.h"
#include "consolidate/status/time_left.h"
#include "tests/support/run_fakes.h"

namespace sbx {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

struct Pace {
    double unitsPerSecond;
    int seconds;  // updates once a second for this long
};

struct EstimateCase {
    const char* name;
    double total;
    std::vector<Pace> paces;
    std::optional<long long> low;  // nullopt: no estimate yet
    long long high;
};

class TimeLeftTest : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(TimeLeftTest, Estimate) {
    const EstimateCase& c = GetParam();
    TimeLeftEstimate estimate;
    double done = 0;
    int second = 0;
    for (const Pace& pace : c.paces) {
        for (int i = 0; i < pace.seconds; ++i) {
            done += pace.unitsPerSecond;
            estimate.update(done, c.total, milliseconds(++second * 1000));
        }
    }
    const auto left = estimate.timeLeft();
    if (!c.low) {
        EXPECT_FALSE(left.has_value()) << left->count();
        return;
    }
    ASSERT_TRUE(left.has_value());
    EXPECT_GE(left->count(), *c.low);
    EXPECT_LE(left->count(), c.high);
}

INSTANTIATE_TEST_SUITE_P(
    Paces, TimeLeftTest,
    ::testing::Values(
        EstimateCase{"TooLittleDone", 100, {{0.2, 10}}, std::nullopt, 0},
        EstimateCase{"TooEarly", 10, {{2.5, 2}}, std::nullopt, 0},
        EstimateCase{"SteadyPace", 100, {{1, 20}}, 80, 80},
        // The files grow: the recent pace counts, not the run's average (which would say 22 s).
        EstimateCase{"PaceDrops", 100, {{5, 10}, {0.5, 30}}, 65, 75},
        EstimateCase{"PaceRises", 200, {{0.5, 30}, {5, 25}}, 11, 13},
        // Nothing moved lately (one large file): the run's average still gives an estimate.
        EstimateCase{"StalledLately", 20, {{1, 10}, {0, 30}}, 39, 41},
        EstimateCase{"AllDone", 10, {{1, 10}}, 0, 0},
        EstimateCase{"MoreThanTheTotalIsNeverNegative", 10, {{2, 10}}, 0, 0}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(RunTimeTexts, DurationsAndEstimates) {
    const std::pair<long long, const char*> durations[] = {
        {0, "0 秒"}, {45, "45 秒"}, {65, "1 分 5 秒"}, {3603, "1 小时 0 分 3 秒"}, {-2, "0 秒"}};
    for (const auto& [s, text] : durations) EXPECT_EQ(durationText(s), text) << s;
    const std::pair<long long, const char*> estimates[] = {
        {-3, "即将完成"},       {4, "即将完成"},           {7, "约 5 秒"},         {8, "约 10 秒"},
        {57, "约 55 秒"},       {58, "约 1 分"},           {80, "约 1 分 20 秒"},  {84, "约 1 分 20 秒"},
        {3594, "约 59 分 50 秒"}, {3596, "约 1 小时"},       {3900, "约 1 小时 5 分"}};
    for (const auto& [s, text] : estimates) EXPECT_EQ(aboutText(s), text) << s;

    EXPECT_EQ(runTimeText({4, 6, 2, 2, 65, 80}), "文件 4/6（工作表 2/2）\n已用 1 分 5 秒，还需约 1 分 20 秒");
    EXPECT_EQ(runTimeText({1, 3, 1, 1, 2, std::nullopt}), "文件 1/3\n已用 2 秒，正在估算剩余时间");
    EXPECT_EQ(runTimeText({3, 3, 1, 1, 30, 0}), "文件 3/3\n已用 30 秒，即将完成");
}

// Two worksheets of three files, each file taking ten seconds on the steady clock.
TEST(RunTimeEvents, FilesDoneElapsedAndTimeLeftReachThePanel) {
    test::RecordingStatusView status;
    test::ScriptedClock clock;
    StatusViewEvents events(status, clock, Mode::Efficiency, 3);
    const SheetJob sheet{"收入明细", CellArea::between({4, 2}, {9, 5})};
    clock.steady = {milliseconds(5000)};  // the run starts at 5 s
    long long at = 5000;
    for (int w = 1; w <= 2; ++w) {
        events.worksheetStarted(w, 2, sheet);
        for (int f = 1; f <= 3; ++f) {
            clock.steady = {milliseconds(at)};
            events.fileStarted(f, 3, "a.xls");
            at += 10000;
            clock.steady = {milliseconds(at)};
            events.fileDone(f, 3, "a.xls", true);
        }
        events.worksheetFinished(w, 2, {});
    }
    ASSERT_FALSE(status.runTimes.empty());
    const RunTimeProgress& first = status.runTimes.front();
    EXPECT_EQ(first.filesDone, 0);
    EXPECT_EQ(first.files, 3);  // three files, read for each of two worksheets
    EXPECT_FALSE(first.secondsLeft.has_value());
    // After the fourth file read (the first of worksheet 2): 40 s taken, two reads of ten
    // seconds left.
    const RunTimeProgress& fourth = status.runTimes[7];
    EXPECT_EQ(fourth.filesDone, 1);
    EXPECT_EQ(fourth.worksheet, 2);
    EXPECT_EQ(fourth.elapsedSeconds, 40);
    EXPECT_EQ(fourth.secondsLeft, 20);
    EXPECT_EQ(status.runTimes.back().filesDone, 3);
    EXPECT_EQ(status.runTimes.back().secondsLeft, 0);

    status.cancelAt = 2;
    EXPECT_FALSE(events.cancelled());
    EXPECT_TRUE(events.cancelled());
}

}  // namespace
}  // namespace sbx
