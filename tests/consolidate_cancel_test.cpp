// A run cancelled between files or worksheets leaves the summary file byte for byte as it was
// before the run, in both modes and both ways of saving, and reports itself as cancelled.
#include <gtest/gtest.h>

#include <string>

#include "consolidate/run/run.h"
#include "tests/support/consolidate_pool_fixture.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;

// Cancels once `after` files are done (counted over all worksheets); never with a negative count.
class CancelAfterFiles final : public RunEvents {
public:
    explicit CancelAfterFiles(int after) : after_(after) {}
    void fileDone(int, int, const fs::path&, bool) override { ++done_; }
    void worksheetFinished(int, int, const WorksheetOutcome&) override { ++worksheets_; }
    bool cancelled() const override { return after_ >= 0 && done_ >= after_; }
    int worksheets() const { return worksheets_; }

private:
    int after_;
    int done_ = 0;
    int worksheets_ = 0;
};

struct CancelCase {
    const char* name;
    Mode mode;
    Saving saving;
    int cancelAfterFiles;  // three files per worksheet, two worksheets; -1: never
};

class CancelTest : public ::testing::TestWithParam<CancelCase> {};

TEST_P(CancelTest, SummaryStaysByteIdentical) {
    const CancelCase& c = GetParam();
    testing::TempFolder folder("cancel");
    const fs::path pool = testing::kConsolidatePool;
    RunRequest request;
    for (const char* name : {"branch_1.xls", "branch_2.xls", "branch_3.xls"}) {
        fs::copy_file(pool / name, folder.path() / name);
        request.sources.push_back(folder.path() / name);
    }
    // The desktop saves over the template itself; the command line writes another file,
    // which here exists already (an earlier month's summary, say).
    request.summary = folder.path() / "total.xls";
    fs::copy_file(pool / "branch_3.xls", request.summary);
    request.templateFile = c.saving == Saving::AfterEachWorksheet ? request.summary : request.sources.front();
    request.job = {{"收入明细", CellArea::between({4, 2}, {9, 5})}, {"成本费用", CellArea::between({4, 2}, {9, 5})}};
    request.mode = c.mode;
    request.saving = c.saving;
    const std::string summaryBefore = bytesOf(request.summary);
    const std::string sourceBefore = bytesOf(request.sources.front());

    auto host = makeNativeHost();
    CancelAfterFiles events(c.cancelAfterFiles);
    StrictDecisions decisions;
    const RunReport report = run(request, *host, events, decisions);

    EXPECT_EQ(bytesOf(request.sources.front()), sourceBefore);
    if (c.cancelAfterFiles < 0) {
        ASSERT_TRUE(report.succeeded());
        EXPECT_NE(bytesOf(request.summary), summaryBefore);  // the check above can fail
        return;
    }
    ASSERT_TRUE(report.failure.has_value());
    EXPECT_EQ(report.failure->kind, Failure::Kind::Cancelled) << report.failure->reason;
    EXPECT_FALSE(report.summarySaved);
    EXPECT_EQ(report.worksheetsSaved(), 0);
    EXPECT_EQ(bytesOf(request.summary), summaryBefore);
    // Cancelled between files: the run stops at the next file, never finishing a worksheet late.
    EXPECT_EQ(events.worksheets(), c.cancelAfterFiles / 3);
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndSaving, CancelTest,
    ::testing::Values(CancelCase{"EfficiencyEachBeforeAnyFile", Mode::Efficiency, Saving::AfterEachWorksheet, 0},
                      CancelCase{"EfficiencyEachMidFirstWorksheet", Mode::Efficiency, Saving::AfterEachWorksheet, 2},
                      CancelCase{"EfficiencyEachAfterFirstWorksheet", Mode::Efficiency, Saving::AfterEachWorksheet, 3},
                      CancelCase{"EfficiencyEachMidSecondWorksheet", Mode::Efficiency, Saving::AfterEachWorksheet, 5},
                      CancelCase{"FunctionEachMidFirstWorksheet", Mode::Function, Saving::AfterEachWorksheet, 1},
                      CancelCase{"FunctionEachAfterFirstWorksheet", Mode::Function, Saving::AfterEachWorksheet, 3},
                      CancelCase{"FunctionEachMidSecondWorksheet", Mode::Function, Saving::AfterEachWorksheet, 4},
                      CancelCase{"EfficiencyOnceAfterFirstWorksheet", Mode::Efficiency, Saving::OnceAtEnd, 3},
                      CancelCase{"FunctionOnceMidSecondWorksheet", Mode::Function, Saving::OnceAtEnd, 5},
                      CancelCase{"FunctionEachNeverCancelled", Mode::Function, Saving::AfterEachWorksheet, -1},
                      CancelCase{"EfficiencyOnceNeverCancelled", Mode::Efficiency, Saving::OnceAtEnd, -1}),
    [](const auto& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace sbx
