// Export of the summary workbook: the save dialog's settings, a new target, an existing one
// (Yes replaces it, No leaves it alone), cancelling, and copies that fail, each reported
// without harm to what was at the target.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/scripted_dialogs.h"
#include "workspace/export.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::ScriptedDialogs;
using testing::bytesOf;
using testing::writeFile;

class ExportTest : public ::testing::Test {
protected:
    fs::path root;
    fs::path out;  // where the user exports to
    ScriptedDialogs dialogs;
    const std::string summary = std::string("summary\0bytes\xff", 14);

    void SetUp() override {
        root = fs::temp_directory_path() /
               ("sbx-export-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        out = root / "导出";
        fs::create_directories(out);
        writeFile(paths().summaryWorkbook(), summary);
    }
    void TearDown() override { fs::remove_all(root); }

    WorkspacePaths paths() const { return WorkspacePaths(root / "kx"); }
    ExportResult exportNow() { return exportSummary(paths(), dialogs); }
    size_t filesIn(const fs::path& folder) const {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
        return n;
    }
};

TEST_F(ExportTest, NewTargetGetsAByteForByteCopy) {
    dialogs.expectSaveFile(out / "汇总.xls");
    const ExportResult result = exportNow();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.outcome, ExportOutcome::Copied);
    EXPECT_EQ(bytesOf(out / "汇总.xls"), summary);
    EXPECT_EQ(bytesOf(paths().summaryWorkbook()), summary);  // stays where it is

    const auto& request = dialogs.transcript().at(0).saveRequest;
    EXPECT_EQ(request.title, "导出汇总EXCELL表格...");
    EXPECT_EQ(request.filter, "*.xls");
    EXPECT_EQ(request.defaultSuffix, "xls");
}

TEST_F(ExportTest, ExportingTwiceGivesTwoIdenticalCopies) {
    dialogs.expectSaveFile(out / "one.xls").expectSaveFile(root / "two.xls");
    exportNow();
    exportNow();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(out / "one.xls"), bytesOf(root / "two.xls"));
}

TEST_F(ExportTest, ANameWithoutExtensionGetsXls) {
    dialogs.expectSaveFile(out / "report");
    EXPECT_EQ(exportNow().target, out / "report.xls");
    EXPECT_EQ(bytesOf(out / "report.xls"), summary);
    EXPECT_FALSE(fs::exists(out / "report"));
}

TEST_F(ExportTest, ExistingTargetYesReplacesIt) {
    writeFile(out / "old.xls", "the old export");
    dialogs.expectSaveFile(out / "old.xls").expectYesNo("该文件已经在目标目录中存在，请\r注意核对，是否覆盖？", true, sbx::Risk::Destructive);
    EXPECT_EQ(exportNow().outcome, ExportOutcome::Copied);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(out / "old.xls"), summary);
    EXPECT_EQ(filesIn(out), 1u);  // no partial copy left beside it
}

TEST_F(ExportTest, ExistingTargetNoLeavesItAlone) {
    writeFile(out / "old.xls", "the old export");
    dialogs.expectSaveFile(out / "old.xls").expectYesNo(export_text::kOverwriteQuestion, false, sbx::Risk::Destructive);
    EXPECT_EQ(exportNow().outcome, ExportOutcome::Declined);
    EXPECT_EQ(dialogs.problems(), "");  // and no further message
    EXPECT_EQ(bytesOf(out / "old.xls"), "the old export");
}

TEST_F(ExportTest, CancelCopiesNothing) {
    dialogs.expectSaveFile(std::nullopt);
    EXPECT_EQ(exportNow().outcome, ExportOutcome::Cancelled);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(filesIn(out), 0u);
}

TEST_F(ExportTest, AFailingCopyIsReported) {
    const fs::path target = out / "no such folder" / "x.xls";
    dialogs.expectSaveFile(target).expectMessageContaining("汇总文件未能导出到:\r" + utf8String(target) + "\r原因：");
    const ExportResult result = exportNow();
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(result.outcome, ExportOutcome::Failed);
    EXPECT_FALSE(result.error.empty());
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(ExportTest, AFailingReplacementLeavesTheOldFileWhole) {
    writeFile(out / "old.xls", "the old export");
    fs::remove(paths().summaryWorkbook());  // nothing to copy: the copy fails
    dialogs.expectSaveFile(out / "old.xls")
        .expectYesNo(export_text::kOverwriteQuestion, true, sbx::Risk::Destructive)
        .expectMessageContaining("汇总文件未能导出到:");
    EXPECT_EQ(exportNow().outcome, ExportOutcome::Failed);
    EXPECT_EQ(dialogs.problems(), "");
    EXPECT_EQ(bytesOf(out / "old.xls"), "the old export");
    EXPECT_EQ(filesIn(out), 1u);
}

// An .xlsx or .xlsm summary is offered and saved under its own extension; a name typed with
// another workbook format's extension gets the summary's instead.
TEST_F(ExportTest, TheDialogAndTheTargetFollowTheSummarysFormat) {
    struct Case {
        WorkbookFormat format;
        const char* typed;
        const char* saved;
    };
    const Case cases[] = {
        {WorkbookFormat::Xlsx, "report", "report.xlsx"},     {WorkbookFormat::Xlsx, "report.xlsx", "report.xlsx"},
        {WorkbookFormat::Xlsx, "report.xls", "report.xlsx"}, {WorkbookFormat::Xlsx, "report.XLS", "report.xlsx"},
        {WorkbookFormat::Xlsx, "2024.05", "2024.05"},        {WorkbookFormat::Xlsm, "report.xlsx", "report.xlsm"},
        {WorkbookFormat::Xls, "report.xlsx", "report.xls"},  {WorkbookFormat::Xls, "report.XLS", "report.XLS"},
    };
    fs::remove(paths().summaryWorkbook());
    for (const Case& c : cases) {
        const std::string extension(formatExtension(c.format));
        const std::string content = summary + extension;
        writeFile(paths().summaryWorkbook(c.format), content);
        ScriptedDialogs fresh;
        fresh.expectSaveFile(out / c.typed);
        const ExportResult result = exportSummary(paths(), fresh);
        EXPECT_EQ(fresh.problems(), "") << c.typed;
        EXPECT_EQ(result.outcome, ExportOutcome::Copied) << c.typed;
        EXPECT_EQ(result.target, out / c.saved) << c.typed;
        EXPECT_EQ(bytesOf(out / c.saved), content) << c.typed;
        const auto& request = fresh.transcript().at(0).saveRequest;
        EXPECT_EQ(request.filter, "*" + extension);
        EXPECT_EQ(request.defaultSuffix, extension.substr(1));
        fs::remove(out / c.saved);
        fs::remove(paths().summaryWorkbook(c.format));
    }
}

TEST_F(ExportTest, ACopyThatMayNotReplaceNeverDoes) {
    writeFile(out / "late.xls", "appeared after the question");
    EXPECT_THROW(copySummaryTo(paths(), out / "late.xls", false), fs::filesystem_error);
    EXPECT_EQ(bytesOf(out / "late.xls"), "appeared after the question");
}

}  // namespace
}  // namespace sbx
