// shubuxing-cli check, consolidate after its check, and trace: exit statuses over the
// report family of tools/make_check_fixtures.py, the record beside OUT, trace's totals.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/consolidate_command.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

const fs::path kFamily = fs::path(SBX_TEST_DATA) / "check";

std::string f(const std::string& name) { return (kFamily / name).string(); }

struct Case {
    const char* what;
    std::vector<std::string> files;
    std::string allow;  // empty: no --allow
    int check;          // exit status of check
    int consolidate;    // of consolidate (OUT written when 0)
};

TEST(CheckCliTest, ExitStatusFollowsFindingsAndAllow) {
    const std::vector<Case> cases{
        {"good reports", {"unit_a.xls", "unit_b.xls", "unit_c.xls"}, "", 0, 0},
        {"an inserted row", {"unit_a.xls", "inserted_row.xls"}, "", 1, 1},
        {"an inserted row, layout allowed", {"unit_a.xls", "inserted_row.xls"}, "layout", 0, 0},
        {"a duplicate, layout allowed", {"unit_a.xls", "duplicate.xls"}, "LAYOUT", 1, 1},
        {"a duplicate allowed", {"unit_a.xls", "resent.xls", "unit_b.xls"}, "DUPLICATE,LAYOUT", 0, 0},
        {"a text amount allowed", {"unit_b.xls", "text_in_amount.xls"}, "NOT_A_NUMBER", 0, 0},
        {"a damaged file allowed still fails the run", {"unit_a.xls", "damaged.xls"}, "UNREADABLE", 0, 1},
        {"an unknown kind", {"unit_a.xls"}, "LAYOUT,TYPO", 2, 2},
    };
    testing::TempFolder dir("check-cli");
    for (const Case& c : cases) {
        std::vector<std::string> args{"--template", f("template.xls"), "--range", "收入明细!b4:d11", "--range",
                                      "支出!b2:c6"};
        if (!c.allow.empty()) args.insert(args.end(), {"--allow", c.allow});
        for (const auto& file : c.files) args.push_back(f(file));
        std::ostringstream out, err;
        EXPECT_EQ(cli::checkCommand(args, out, err), c.check) << c.what << "\n" << out.str() << err.str();

        const fs::path summary = dir.path() / "total.xls";
        fs::remove(summary);
        fs::remove(summary.string() + ".run.json");
        args.insert(args.begin(), {"--mode", "function", "--out", summary.string()});
        std::ostringstream runOut, runErr;
        const int status = cli::consolidateCommand(args, runOut, runErr);
        EXPECT_EQ(status, c.consolidate) << c.what << "\n" << runErr.str();
        EXPECT_EQ(fs::exists(summary), status == 0) << c.what;
        EXPECT_EQ(fs::exists(summary.string() + ".run.json"), status == 0) << c.what;
    }
}

// The command line saves OUT once, at the end: a run that fails (a source that turned
// unreadable, allowed past the check) leaves OUT and the record of the run before as they
// were, the one describing the other.
TEST(CheckCliTest, AFailedRunLeavesOutAndItsRecordAsTheyWere) {
    testing::TempFolder dir("check-cli-failed");
    const fs::path summary = dir.path() / "total.xls";
    const fs::path record = summary.string() + ".run.json";
    auto consolidate = [&](const std::string& last) {
        std::ostringstream out, err;
        return cli::consolidateCommand({"--mode", "efficiency", "--out", summary.string(), "--allow", "UNREADABLE",
                                        "--template", f("template.xls"), "--range", "收入明细!b4:d11", f("unit_a.xls"), last},
                                       out, err);
    };
    ASSERT_EQ(consolidate(f("unit_b.xls")), 0);
    const std::string before = testing::bytesOf(summary) + testing::bytesOf(record);
    EXPECT_EQ(consolidate(f("damaged.xls")), 1);
    EXPECT_EQ(testing::bytesOf(summary) + testing::bytesOf(record), before);
}

// A record that cannot be written (here: its name leads into a folder that is not there) is
// not left describing the summary before: it is taken away, and the user is told.
TEST(CheckCliTest, ARecordThatCannotBeWrittenLeavesNoStaleOne) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    testing::TempFolder dir("check-cli-record");
    const fs::path summary = dir.path() / "total.xls";
    const fs::path record = summary.string() + ".run.json";
    std::vector<std::string> args{"--mode", "function", "--out", summary.string(), "--template", f("template.xls"),
                                  "--range", "收入明细!b4:d11", f("unit_a.xls"), f("unit_b.xls")};
    std::ostringstream out, err;
    ASSERT_EQ(cli::consolidateCommand(args, out, err), 0) << err.str();
    fs::remove(record);
    fs::create_symlink(dir.path() / "gone" / "total.xls.run.json", record);
    args.push_back(f("unit_c.xls"));
    std::ostringstream out2, err2;
    EXPECT_EQ(cli::consolidateCommand(args, out2, err2), 0) << err2.str();
    EXPECT_EQ(fs::symlink_status(record).type(), fs::file_type::not_found);
    EXPECT_NE(err2.str().find("the run record was not written"), std::string::npos) << err2.str();
}

TEST(CheckCliTest, PrintsOneLinePerFinding) {
    std::ostringstream out, err;
    cli::checkCommand({"--template", f("template.xls"), "--range", "收入明细!b4:d11", f("unit_a.xls"),
                       f("inserted_row.xls"), f("moved_label.xls")},
                      out, err);
    EXPECT_EQ(out.str(), f("inserted_row.xls") +
                             ": LAYOUT 收入明细!a6: the template has “投资收益”, this file “新增项目”\n" +
                             f("moved_label.xls") + ": LAYOUT 收入明细!a9: the template has “利息收入”, this file (empty)\n");
}

TEST(TraceCliTest, ListsEachSourcesValueAndTheTotal) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::traceCommand({"--range", "收入明细!c5", f("unit_a.xls"), f("unit_c.xls"), f("text_in_amount.xls")},
                                out, err),
              0)
        << err.str();
    // unit_a 1011.25, unit_c and text_in_amount the text "1200" (xlrd): 3411.25.
    EXPECT_EQ(out.str(), "收入明细!c5\n  " + f("unit_a.xls") + "\t1011.25\n  " + f("unit_c.xls") + "\t“1200”\n  " +
                             f("text_in_amount.xls") + "\t“1200”\n  total\t3411.25\n");

    std::ostringstream out2, err2;
    EXPECT_EQ(cli::traceCommand({"--range", "收入明细!c7", f("text_in_amount.xls"), f("damaged.xls")}, out2, err2), 1);
    EXPECT_NE(out2.str().find("“见附表”  (adds nothing)"), std::string::npos) << out2.str();
    EXPECT_NE(out2.str().find("(not read)"), std::string::npos) << out2.str();
    std::ostringstream out3, err3;
    EXPECT_EQ(cli::traceCommand({"--range", "收入明细", f("unit_a.xls")}, out3, err3), 2);
}

}  // namespace
}  // namespace sbx
