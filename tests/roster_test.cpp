// Who has reported: the roster read from text, reports matched to units by file name or by
// the cell that names the unit, and the command line's check with --roster.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/consolidate_command.h"
#include "consolidate/check/roster.h"
#include "job/job_file.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

TEST(RosterTest, ATextRosterListsEachUnitOnceWithoutBlanks) {
    testing::TempFolder dir("roster-text");
    const fs::path file = dir.path() / utf8Path("应报单位.txt");
    // A BOM, Windows line ends, blank lines, an ideographic space, a unit twice.
    testing::writeFile(file, "\xEF\xBB\xBF东城区\r\n\r\n  西城区 \r\n\xE3\x80\x80朝阳区\n东城区\n");
    auto host = makeNativeHost();
    EXPECT_EQ(readRoster(file, *host).units, (std::vector<std::string>{"东城区", "西城区", "朝阳区"}));
    testing::writeFile(file, "\n \n");
    EXPECT_THROW(readRoster(file, *host), WorkbookError) << "a roster of no unit";
    EXPECT_THROW(readRoster(dir.path() / "none.txt", *host), WorkbookError);
    // A workbook: the texts of its first worksheet's first column (here a report's labels).
    const Roster fromBook = readRoster(fs::path(SBX_TEST_DATA) / "check" / "template.xls", *host);
    ASSERT_GE(fromBook.units.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(fromBook.units.begin(), fromBook.units.begin() + 4),
              (std::vector<std::string>{"2026年收入明细表", "单位：元", "项目", "主营业务收入"}));
}

TEST(RosterTest, ReportsAreMatchedToTheLongestUnitTheirKeyNames) {
    const Roster roster{{"东城区", "东城区二街道", "西城区", "海淀区"}};
    struct Case {
        const char* what;
        std::vector<std::string> keys;
        bool cells;
        std::vector<std::string> unitOf, missing;
        std::vector<size_t> unknown;
    };
    const std::vector<Case> cases{
        {"file names", {"2026年11月东城区", "东城区二街道报表", "西城区", "总表副本"}, false,
         {"东城区", "东城区二街道", "西城区", ""}, {"海淀区"}, {3}},
        {"a unit twice", {"西城区", "西城区(改)"}, false, {"西城区", "西城区"}, {"东城区", "东城区二街道", "海淀区"}, {}},
        {"unit cells must equal the name", {" 海淀区 ", "海淀区分局", ""}, true, {"海淀区", "", ""},
         {"东城区", "东城区二街道", "西城区"}, {1, 2}},
    };
    for (const Case& c : cases) {
        const RosterStatus status = matchRoster(roster, c.keys, c.cells);
        EXPECT_EQ(status.unitOf, c.unitOf) << c.what;
        EXPECT_EQ(status.missing, c.missing) << c.what;
        EXPECT_EQ(status.unknown, c.unknown) << c.what;
        EXPECT_EQ(status.expected, 4u) << c.what;
        EXPECT_EQ(status.reported.size() + status.missing.size(), 4u) << c.what;
    }
}

// Reports of tools/make_check_fixtures.py under their units' names: one missing, one of no
// unit, one unit twice.
TEST(RosterTest, CheckWithARosterCountsReportsAndFlagsAUnitTwice) {
    const fs::path family = fs::path(SBX_TEST_DATA) / "check";
    testing::TempFolder dir("roster-check");
    const std::vector<std::pair<const char*, const char*>> copies{
        {"unit_a.xls", "东城区.xls"}, {"unit_b.xls", "西城区.xls"}, {"resent.xls", "西城区(第二版).xls"},
        {"unit_c.xls", "总表副本.xls"}};
    const fs::path roster = dir.path() / utf8Path("名单.txt");
    std::vector<std::string> args{"--template", utf8String(family / "template.xls"), "--range", "收入明细!b4:d11",
                                  "--allow", "DUPLICATE", "--roster", utf8String(roster)};
    for (const auto& [from, to] : copies) {
        fs::copy_file(family / from, dir.path() / utf8Path(to));
        args.push_back(utf8String(dir.path() / utf8Path(to)));
    }
    testing::writeFile(roster, "东城区\n西城区\n海淀区\n");
    std::ostringstream out, err;
    EXPECT_EQ(cli::checkCommand(args, out, err), 1) << out.str() << err.str();
    const std::string shown = out.str();
    for (const char* line : {"已报 2 / 应报 3\n", "未报：海淀区\n", "不在名单中：总表副本.xls\n",
                             "SAME_UNIT: a second report of 西城区, after "}) {
        EXPECT_NE(shown.find(line), std::string::npos) << line << "\n" << shown;
    }
    args.insert(args.begin(), {"--allow", "SAME_UNIT"});
    std::ostringstream allowedOut, allowedErr;
    EXPECT_EQ(cli::checkCommand(args, allowedOut, allowedErr), 0) << allowedOut.str();
    std::vector<std::string> missingRoster = args;
    for (auto& a : missingRoster) {
        if (a == utf8String(roster)) a = utf8String(dir.path() / utf8Path("名单不在.txt"));
    }
    std::ostringstream badOut, badErr;
    EXPECT_EQ(cli::checkCommand(missingRoster, badOut, badErr), 2) << badErr.str();
}

// The unit cell kept with the job (方案.txt's unit line, as the desktop writes it) matches
// the reports by the text of that cell when --job runs them with a roster.
TEST(RosterTest, AJobFilesUnitCellMatchesTheReportsByThatCell) {
    const fs::path family = fs::path(SBX_TEST_DATA) / "check";
    testing::TempFolder dir("roster-job");
    RememberedJob kept;
    auto host = makeNativeHost();
    Workbook& book = host->open(family / "template.xls");
    for (int k = 1; k <= book.worksheetCount(); ++k) kept.templateSheets.push_back(book.worksheet(k).name());
    host->close(book, false);
    kept.job = {{"收入明细", CellArea{4, 2, 11, 4}}};
    kept.unitCell = UnitCell{"收入明细", {2, 1}};  // a2: "填报单位：乙公司" in unit_b and resent
    const fs::path jobFile = dir.path() / utf8Path(kJobFileName);
    writeJobFile(jobFile, RememberedJobs{{kept}});
    const fs::path roster = dir.path() / utf8Path("名单.txt");
    testing::writeFile(roster, "填报单位：乙公司\n丙公司\n");
    std::vector<std::string> args{"--template", utf8String(family / "template.xls"), "--job", utf8String(jobFile),
                                  "--allow", "DUPLICATE", "--roster", utf8String(roster)};
    for (const auto& [from, to] : {std::pair{"unit_b.xls", "x.xls"}, {"resent.xls", "y.xls"}, {"unit_a.xls", "z.xls"}}) {
        fs::copy_file(family / from, dir.path() / to);
        args.push_back(utf8String(dir.path() / to));
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::checkCommand(args, out, err), 1) << out.str() << err.str();
    for (const char* line : {"已报 1 / 应报 2\n", "未报：丙公司\n", "不在名单中：z.xls\n", "SAME_UNIT"}) {
        EXPECT_NE(out.str().find(line), std::string::npos) << line << "\n" << out.str() << err.str();
    }
}

}  // namespace
}  // namespace sbx
