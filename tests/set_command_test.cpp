// `shubuxing-cli set` beyond the write itself: through a link it writes the file the link
// points to and keeps the link and the file's permissions, and it names the formulas whose
// results it left to the spreadsheet application.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "cli/set_command.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;
using sbx::CellValue;
using sbx::testing::TempFolder;

namespace {

const fs::path kData = SBX_TEST_DATA;

CellValue cellOf(const fs::path& file, int row, int column) {
    sbx::NativeHost host;
    return host.open(file).worksheet(1).cell(row, column);
}

TEST(SetCommand, ThroughLinksWritesTheFileTheyPointToAndKeepsLinksAndPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    TempFolder temp{"setlink"};
    const fs::path real = temp.path() / "data" / "book.xls";
    fs::create_directories(real.parent_path());
    fs::copy_file(kData / "fixtures" / "all_cell_kinds.xls", real);
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directories(temp.path() / "links");
    // A relative link, and a link to that link from another folder.
    const fs::path first = temp.path() / "links" / "first.xls";
    const fs::path second = temp.path() / "second.xls";
    fs::create_symlink("../data/book.xls", first);
    fs::create_symlink(first, second);

    struct Case {
        fs::path link;
        double value;
    };
    for (const Case& c : {Case{first, 11}, Case{second, 22}}) {
        std::ostringstream err;
        ASSERT_EQ(sbx::cli::setCommand(c.link.string(), "Kinds", "a1", std::to_string(c.value), err), 0) << err.str();
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(c.link))) << c.link;
        EXPECT_EQ(fs::read_symlink(first), "../data/book.xls");
        EXPECT_EQ(fs::status(real).permissions(),
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(cellOf(real, 1, 1), CellValue::number(c.value));
    }
    // Nothing was left behind in any of the folders.
    for (const fs::path& folder : {temp.path(), temp.path() / "links", real.parent_path()}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
        }
    }
}

TEST(SetCommand, NamesTheFormulasWhoseResultsAreLeftToTheSpreadsheetApplication) {
    TempFolder temp{"setstale"};
    const fs::path file = temp.copy(kData / "formulas" / "report_template.xls");
    // The formulas the fixture's maker found the engine leaves alone, all depending on B2.
    std::vector<std::string> expected;
    std::ifstream notes(kData / "formulas" / "report_not_recomputed.tsv");
    for (std::string line; std::getline(notes, line);) {
        std::istringstream fields(line);
        std::string sheet, row, column, why;
        std::getline(fields, sheet, '\t');
        std::getline(fields, row, '\t');
        std::getline(fields, column, '\t');
        std::getline(fields, why);
        ASSERT_EQ(sheet, "1");
        expected.push_back("shubuxing-cli set: 明细!" + std::string(1, static_cast<char>('A' + std::stoi(column) - 1)) +
                           row + ": " + why + "; will be recomputed by the spreadsheet application");
    }
    ASSERT_EQ(expected.size(), 4u);

    std::ostringstream err;
    ASSERT_EQ(sbx::cli::setCommand(sbx::utf8String(file), "明细", "b2", "1500", err), 0) << err.str();
    std::vector<std::string> said;
    std::istringstream lines(err.str());
    for (std::string line; std::getline(lines, line);) said.push_back(line);
    std::ranges::sort(said);
    std::ranges::sort(expected);
    EXPECT_EQ(said, expected);

    // A write that no such formula depends on says nothing.
    std::ostringstream quiet;
    ASSERT_EQ(sbx::cli::setCommand(sbx::utf8String(file), "汇总", "c20", "1", quiet), 0) << quiet.str();
    EXPECT_EQ(quiet.str(), "");
}

}  // namespace
