// shubuxing-cli check, consolidate after its check, and trace: exit statuses over the
// report family of tools/make_check_fixtures.py, the record beside OUT, trace's totals.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
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

// A record that cannot be written (here: a folder stands at its name) is not left describing
// the summary before, and the user is told; the folder, not a record, is left alone.
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
    fs::create_directory(record);
    args.push_back(f("unit_c.xls"));
    std::ostringstream out2, err2;
    EXPECT_EQ(cli::consolidateCommand(args, out2, err2), 0) << err2.str();
    EXPECT_TRUE(fs::is_directory(record));
    EXPECT_NE(err2.str().find("the run record was not written"), std::string::npos) << err2.str();
}

// The files a run writes beside OUT (OUT, OUT.run.json, OUT.lock) are never among the files
// it reads, whatever their spelling, and a link that another user of a shared folder planted
// at one of their names is never written through.
TEST(CheckCliTest, FilesBesideOutAreNeverInputsNorWrittenThroughLinks) {
    enum class Plant { SourceAsRecord, TemplateAsRecord, HardLinkAsRecord, SourceAsLock, LinkAsRecord, LinkAsOut, LinkAsLock };
    const struct {
        const char* what;
        Plant plant;
        int status;
    } cases[] = {{"a source named OUT.run.json", Plant::SourceAsRecord, 2},
                 {"the template named OUT.run.json", Plant::TemplateAsRecord, 2},
                 {"a source hard-linked at OUT.run.json", Plant::HardLinkAsRecord, 2},
                 {"a source named OUT.lock", Plant::SourceAsLock, 2},
                 {"a link planted at OUT.run.json", Plant::LinkAsRecord, 0},
                 {"a link planted at OUT", Plant::LinkAsOut, 0},
                 {"a link planted at OUT.lock", Plant::LinkAsLock, 1}};
    for (const auto& c : cases) {
#ifdef _WIN32
        // On Windows only an administrator (or developer mode) makes symbolic links, and MinGW's
        // std::filesystem neither makes nor sees them: the planted files that are no links remain.
        if (c.plant == Plant::LinkAsRecord || c.plant == Plant::LinkAsOut || c.plant == Plant::LinkAsLock) continue;
#endif
        SCOPED_TRACE(c.what);
        testing::TempFolder dir("beside-out");
        const fs::path summary = dir.path() / "total.xls", record = summary.string() + ".run.json",
                       lock = summary.string() + ".lock", victim = dir.path() / "victim.xls", b = dir.path() / "b.xls";
        fs::copy_file(f("unit_c.xls"), victim);
        fs::copy_file(f("unit_b.xls"), b);
        fs::path templateFile = f("template.xls"), second = b;
        switch (c.plant) {
            case Plant::SourceAsRecord:
                fs::rename(b, record);
                second = record;
                break;
            case Plant::TemplateAsRecord:
                fs::copy_file(templateFile, record);
                templateFile = record;
                break;
            case Plant::HardLinkAsRecord: fs::create_hard_link(b, record); break;
            case Plant::SourceAsLock:
                fs::rename(b, lock);
                second = lock;
                break;
            case Plant::LinkAsRecord: fs::create_symlink(victim, record); break;
            case Plant::LinkAsOut: fs::create_symlink(victim, summary); break;
            case Plant::LinkAsLock: fs::create_symlink(victim, lock); break;
        }
        const std::string inputs = testing::bytesOf(second) + testing::bytesOf(templateFile), victimBytes = testing::bytesOf(victim);
        std::ostringstream out, err;
        EXPECT_EQ(cli::consolidateCommand({"--mode", "function", "--out", summary.string(), "--template", templateFile.string(),
                                           "--range", "收入明细!b4:d11", f("unit_a.xls"), second.string()},
                                          out, err),
                  c.status)
            << err.str();
        EXPECT_EQ(testing::bytesOf(second) + testing::bytesOf(templateFile), inputs);
        EXPECT_EQ(testing::bytesOf(victim), victimBytes);
        if (c.status == 0) {
            // The links were replaced by the files themselves.
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(summary)));
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(record)));
            EXPECT_FALSE(fs::exists(fs::symlink_status(lock))) << "the lock goes with the run";
        } else {
            EXPECT_NE(err.str().find(c.status == 2 ? "never overwritten" : "symbolic link"), std::string::npos) << err.str();
            if (c.plant != Plant::LinkAsOut) {
                EXPECT_FALSE(fs::exists(fs::symlink_status(summary)));
            }
        }
    }
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

// The template's 合计 row and 小计 column, evaluated on each report's own figures: a total
// typed wrong is flagged with the template's formula and both values, a total rounded as
// shown is not. Expected cells and values from tools/make_audit_fixtures.py (Python over the
// same figures), for reports saved by LibreOffice in both formats.
TEST(CheckCliTest, TheTemplatesFormulasAuditEachReport) {
    const fs::path audit = fs::path(SBX_TEST_DATA) / "audit";
    std::ifstream tsv(audit / "expected.tsv");
    std::string line, header;
    std::getline(tsv, header);
    std::vector<std::vector<std::string>> expected;
    while (std::getline(tsv, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        expected.push_back(fields);
    }
    ASSERT_EQ(expected.size(), 3u) << "the fixture has one report with three wrong totals";
    const auto& first = expected.front();  // row by row, as the finding lists its cells
    std::string cells;
    for (const auto& e : expected) cells += " " + std::string(1, static_cast<char>(std::tolower(e[1][0]))) + e[1].substr(1);
    const std::string finding = "AUDIT 费用!" + std::string(1, static_cast<char>(std::tolower(first[1][0]))) +
                                first[1].substr(1) + ": the file holds " + first[2] + ", the template's formula " +
                                first[4] + " gives " + first[3] + " on its values (3 cells:" + cells + ")";
    for (const std::string ending : {".xls", ".xlsx"}) {
        std::vector<std::string> args{"--template", (audit / ("template" + ending)).string(), "--range", "费用!b3:e7"};
        for (const char* report : {"typed_ok", "typed_wrong", "rounded", "formulas", "template"}) {
            args.push_back((audit / (report + ending)).string());
        }
        std::ostringstream out, err;
        EXPECT_EQ(cli::checkCommand(args, out, err), 1) << ending << "\n" << out.str() << err.str();
        const std::string shown = out.str();
        EXPECT_NE(shown.find(finding), std::string::npos) << ending << "\n" << shown;
        EXPECT_EQ(shown.find("AUDIT"), shown.rfind("AUDIT")) << "one report only\n" << shown;
        args.insert(args.begin(), {"--allow", "AUDIT"});
        std::ostringstream allowedOut, allowedErr;
        EXPECT_EQ(cli::checkCommand(args, allowedOut, allowedErr), 0) << ending << "\n" << allowedOut.str();
    }
}

}  // namespace
}  // namespace sbx
