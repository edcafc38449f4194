// The full grid of an .xlsx worksheet (XFD1048576) through shubuxing-cli check and
// consolidate, over tools/make_grid_fixtures.py's reports: amounts beyond column IV and row
// 65536 are added up and land where openpyxl finds them; an .xls summary, whose worksheets end
// at IV65536, refuses such a range before anything is written.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <sstream>

#include "cli/consolidate_command.h"
#include "spreadsheet/spreadsheet_host.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(SBX_TEST_DATA) / "grid";
const std::string kWholeGrid = "表!a1:xfd1048576";

std::string at(const std::string& name) { return (kData / name).string(); }

// The totals of grid_1.xlsx and grid_2.xlsx, by cell.
const std::map<std::string, double> kTotals = {{"D5", 4}, {"XFD1", 6}, {"AA70000", 30}, {"XFD1048576", 300}};

#ifndef _WIN32
// "CELL\tvalue" lines of the cells as openpyxl reads them from `file`.
std::string openpyxlShows(const fs::path& file) {
    std::string command = "/usr/bin/python3 '" + (kData.parent_path().parent_path().parent_path() / "tools" /
                                                  "make_grid_fixtures.py").string() +
                          "' --show '" + file.string() + "' 表";
    for (const auto& [cell, total] : kTotals) command += " " + cell;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buffer[4096];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) text.append(buffer, n);
    return text;
}
#endif

int consolidate(const fs::path& out, const std::string& mode, const std::string& templateFile, const std::string& range,
                std::string& said) {
    std::vector<std::string> args{"--mode", mode, "--out", out.string(), "--template", at(templateFile), "--range", range,
                                  at("grid_1.xlsx"), at("grid_2.xlsx")};
    std::ostringstream stdOut, stdErr;
    const int status = cli::consolidateCommand(args, stdOut, stdErr);
    said = stdOut.str() + stdErr.str();
    return status;
}

TEST(FullGrid, TotalsBeyondIvLandWhereOtherProgramsSeeThem) {
    testing::TempFolder dir("full-grid");
    for (const char* mode : {"efficiency", "function"}) {
        const fs::path out = dir.path() / (std::string(mode) + ".xlsx");
        std::string said;
        ASSERT_EQ(consolidate(out, mode, "grid_template.xlsx", kWholeGrid, said), 0) << mode << "\n" << said;
        auto host = makeNativeHost();
        const Worksheet& sheet = host->open(out).worksheet("表");
        std::string expected;
        for (const auto& [cell, total] : kTotals) {
            const CellAddress a = *parseCellAddress(cell);
            EXPECT_EQ(sheet.cell(a.row, a.column), CellValue::number(total)) << mode << " " << cell;
            expected += cell + "\t" + std::to_string(static_cast<int>(total)) + "\n";
        }
        EXPECT_EQ(sheet.lastValueCell(), (std::pair<int, int>{1048576, 16384})) << mode;
        host->quit();
#ifndef _WIN32
        // Under Wine there is no Python to run openpyxl: the engine's own reading above stands.
        EXPECT_EQ(openpyxlShows(out), expected) << mode;
#endif
    }
}

TEST(FullGrid, AnXlsSummaryRefusesARangeBeyondIv65536BeforeWriting) {
    struct Case {
        std::string range;
        std::string named;  // in the message
    };
    const Case cases[] = {{"表!a1:iw1", "a1:iw1"}, {"表!aa70000:aa70000", "aa70000"}, {kWholeGrid, "a1:xfd1048576"}};
    testing::TempFolder dir("full-grid-xls");
    for (const Case& c : cases) {
        const fs::path out = dir.path() / "total.xls";
        std::string said;
        EXPECT_EQ(consolidate(out, "function", "grid_template.xls", c.range, said), 1) << c.range << "\n" << said;
        EXPECT_NE(said.find("the range " + c.named + " reaches beyond iv65536"), std::string::npos) << said;
        EXPECT_FALSE(fs::exists(out)) << c.range;
        EXPECT_FALSE(fs::exists(out.string() + ".run.json")) << c.range;
    }
    std::string said;
    EXPECT_EQ(consolidate(dir.path() / "total.xls", "function", "grid_template.xls", "表!a1:iv65536", said), 0) << said;
}

TEST(FullGrid, TheCheckSeesALabelAtTheLastCell) {
    std::ostringstream out, err;
    const int status = cli::checkCommand(
        {"--template", at("grid_template.xlsx"), "--range", kWholeGrid, at("grid_1.xlsx"), at("grid_label.xlsx")}, out, err);
    EXPECT_EQ(status, 1) << out.str() << err.str();
    EXPECT_NE(out.str().find("NOT_A_NUMBER"), std::string::npos) << out.str();
    EXPECT_NE(out.str().find("xfd1048576"), std::string::npos) << out.str();
}

}  // namespace
}  // namespace sbx
