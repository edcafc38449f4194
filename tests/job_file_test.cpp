// The remembered-job file: what is written reads back the same (awkward names included),
// jobs are found by the template's exact worksheet names, and every kind of damage is refused
// with the line that holds it.
#include <gtest/gtest.h>

#include "job/job_file.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

using testing::TempFolder;
using testing::writeFile;

const std::filesystem::path kFile = sbx::utf8Path("方案.txt");

RememberedJobs sample() {
    RememberedJobs jobs;
    jobs.remember({"资产负债表", "利润表", " 表 3 "}, {{"利润表", {5, 3, 30, 4}}, {"资产负债表", {3, 2, 20, 8}}});
    jobs.remember({"a\tb", "c\\d", "e\nf\rg"}, {{"c\\d", {1, 1, 65536, 256}}, {"a\tb", {2, 2, 2, 2}}});
    jobs.remember({"明细"}, {{"明细", {70000, 27, 1048576, 16384}}});  // an .xlsx template's full grid
    jobs.jobs[1].unitCell = UnitCell{"e\nf\rg", {2, 3}};  // the cell naming each report's unit
    return jobs;
}

TEST(JobFile, ReadsBackWhatWasWritten) {
    const RememberedJobs jobs = sample();
    const std::string text = formatJobFile(jobs);
    EXPECT_EQ(text.substr(0, text.find('\n')), "shubuxing-jobs\t1");
    EXPECT_NE(text.find("sheet\t利润表\tc5\td30\n"), std::string::npos) << text;
    EXPECT_NE(text.find("template\ta\\tb\tc\\\\d\te\\nf\\rg\n"), std::string::npos) << text;
    EXPECT_NE(text.find("sheet\t明细\taa70000\txfd1048576\n"), std::string::npos) << text;
    EXPECT_NE(text.find("sheet\ta\\tb\tb2\tb2\nunit\te\\nf\\rg\tc2\n"), std::string::npos) << text;
    EXPECT_EQ(parseJobFile(text, kFile).jobs, jobs.jobs);
    // As an editor on Windows may save it: a byte-order mark, CR LF, comments and blank lines.
    std::string edited = "\xEF\xBB\xBF# 月报\r\n\r\n";
    for (const char c : text) edited += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(parseJobFile(edited, kFile).jobs, jobs.jobs);
}

TEST(JobFile, FindsAJobByTheTemplatesExactWorksheetNames) {
    RememberedJobs jobs = sample();
    ASSERT_NE(jobs.find({"资产负债表", "利润表", " 表 3 "}), nullptr);
    EXPECT_EQ(jobs.find({"资产负债表", "利润表", " 表 3 "})->front().worksheet, "利润表");
    EXPECT_EQ(jobs.find({"利润表", "资产负债表", " 表 3 "}), nullptr);  // another order is another template
    EXPECT_EQ(jobs.find({"资产负债表", "利润表"}), nullptr);
    EXPECT_EQ(jobs.find({"资产负债表", "利润表", "表 3"}), nullptr);
    jobs.jobs[0].unitCell = UnitCell{"利润表", {1, 2}};
    jobs.remember({"资产负债表", "利润表", " 表 3 "}, {{" 表 3 ", {1, 1, 2, 2}}});
    EXPECT_EQ(jobs.kept({"资产负债表", "利润表", " 表 3 "})->unitCell, (UnitCell{"利润表", {1, 2}}));  // a new range keeps it
    EXPECT_EQ(jobs.jobs.size(), 3u);
    EXPECT_EQ(*jobs.find({"资产负债表", "利润表", " 表 3 "}), (Job{{" 表 3 ", {1, 1, 2, 2}}}));
}

struct Damage {
    const char* text;
    int line;
    const char* why;  // part of the reason
};

class DamagedJobFiles : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedJobFiles, AreRefusedAtTheirLine) {
    try {
        parseJobFile(GetParam().text, kFile);
        FAIL() << "accepted: " << GetParam().text;
    } catch (const JobFileError& error) {
        EXPECT_EQ(error.line(), GetParam().line) << error.what();
        EXPECT_NE(error.reason().find(GetParam().why), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find("方案.txt"), std::string::npos) << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DamagedJobFiles,
    ::testing::Values(Damage{"", 0, "empty"}, Damage{"\n# only a comment\n", 0, "empty"},
                    Damage{"template\tA\n", 1, "not a job file"}, Damage{"shubuxing-jobs\t2\n", 1, "version"},
                    Damage{"shubuxing-jobs\t1\nsheet\tA\ta1\tb2\n", 2, "before any template"},
                    Damage{"shubuxing-jobs\t1\ntemplate\n", 2, "worksheet names"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\t\n", 2, "empty"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\\x\n", 2, "backslash"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tB\ta1\tb2\n", 3, "not one of the template's"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\n", 3, "first cell and the last"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\tA1\tb2\n", 3, "\"A1\" is not a cell"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\txfe2\n", 3, "\"xfe2\" is not a cell"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\tc3\tb2\n", 3, "runs backwards"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\tb2\nsheet\tA\ta1\tb2\n", 4, "already"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\ntemplate\tB\nsheet\tB\ta1\tb2\n", 2, "no sheet line"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\n", 2, "no sheet line"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\tb2\ntemplate\tA\n", 4, "already"},
                    Damage{"shubuxing-jobs\t1\nrange\tA\ta1\tb2\n", 2, "neither"},
                    Damage{"shubuxing-jobs\t1\nunit\tA\ta1\n", 2, "before any template"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\tb2\nunit\tB\ta1\n", 4, "not one of the template's"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\tb2\nunit\tA\tb0\n", 4, "\"b0\" is not a cell"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nunit\tA\ta1\nsheet\tA\ta1\tb2\nunit\tA\ta2\n", 5, "already"},
                    Damage{"shubuxing-jobs\t1\ntemplate\tA\nsheet\tA\ta1\tb2\nunit\tA\n", 4, "worksheet name and the cell"}));

TEST(JobFileOnDisk, IsReplacedWholeAndRefusedWhenItIsNoFile) {
    TempFolder folder("jobfile");
    const auto file = folder.path() / kFile;
    EXPECT_TRUE(readJobFile(file).jobs.empty());  // none yet
    writeJobFile(file, sample());
    EXPECT_EQ(readJobFile(file).jobs, sample().jobs);
    EXPECT_TRUE(std::filesystem::is_regular_file(file));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);  // no temporary left

    EXPECT_THROW(readJobFile(folder.path()), JobFileError);  // a folder
    EXPECT_THROW(writeJobFile(folder.path() / "missing" / kFile, sample()), JobFileError);
    writeFile(file, std::string(2 << 20, '#'));
    EXPECT_THROW(readJobFile(file), JobFileError);
}

}  // namespace
}  // namespace sbx
