// Written .xlsx files opened by LibreOffice and Gnumeric: the written cells show as written,
// the other cells as they were, and formulas reading written cells show new results (the
// calculation chain is gone and full calculation on load is set).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

#include "spreadsheet/native_host.h"

namespace {

namespace fs = std::filesystem;
using sbx::CellValue;

std::string run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>&1").c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
        ::pclose(pipe);
    }
    return out;
}

bool onPath(const std::string& tool) { return run("command -v " + tool).find(tool) != std::string::npos; }

// Row and column (from 1) → the text shown; simple CSV with "..." quoting.
std::map<std::pair<int, int>, std::string> readCsv(const fs::path& file) {
    std::ifstream in(file);
    std::map<std::pair<int, int>, std::string> cells;
    std::string line;
    for (int row = 1; std::getline(in, line); ++row) {
        std::string cell;
        bool quoted = false;
        int column = 1;
        for (size_t i = 0; i <= line.size(); ++i) {
            const char c = i < line.size() ? line[i] : ',';
            if (quoted) {
                if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') cell += '"', ++i;
                else if (c == '"') quoted = false;
                else cell += c;
            } else if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                if (!cell.empty()) cells[{row, column}] = cell;
                cell.clear();
                ++column;
            } else {
                cell += c;
            }
        }
    }
    return cells;
}

struct Shown {
    int row, column;
    std::string libreOffice;
    std::string gnumeric;  // its own date display; it does not read the _x005F_ escape of "_"
};

class XlsxRealApps : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = fs::temp_directory_path() / ("sbx_xlsx_realapps_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "written.xlsx";
        fs::copy_file(fs::path(SBX_TEST_DATA) / "xlsx" / "protected_formulas.xlsx", file_);
        fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
        sbx::NativeHost host;
        auto& book = host.open(file_);
        auto& free = book.worksheet("Free");
        free.setCell(1, 1, CellValue::date(45352));  // 2024-03-01
        free.setCell(2, 4, CellValue::text("_x0041_ stays"));
        free.setCell(7, 5, CellValue::number(12.5));
        free.setCell(7, 6, CellValue::boolean(true));
        free.setCell(8, 1, CellValue::text("新行"));
        book.worksheet("Form").setCell(2, 4, CellValue::number(-3));
        host.close(book, true);
    }
    static void TearDownTestSuite() { fs::remove_all(dir_); }

    static void expectShown(const fs::path& csv, const std::vector<Shown>& cells, bool gnumeric) {
        ASSERT_TRUE(fs::exists(csv)) << csv;
        const auto shown = readCsv(csv);
        for (const auto& c : cells) {
            const std::string& expected = gnumeric ? c.gnumeric : c.libreOffice;
            if (expected == "-") continue;
            const auto it = shown.find({c.row, c.column});
            EXPECT_EQ(it == shown.end() ? "" : it->second, expected) << csv.filename() << " row " << c.row << " column " << c.column;
        }
    }

    // Written cells, formulas reading one (B1 = A1+1, B2 = B1+1) with the results the save
    // computed (General format: the serial numbers), and cells kept.
    const std::vector<Shown> free_ = {{1, 1, "2024-03-01", "2024/03/01"}, {1, 2, "45353", "45353"},
                                      {2, 2, "45354", "45354"},           {2, 1, "合计", "合计"},
                                      {2, 4, "_x0041_ stays", "-"},       {7, 5, "12.5", "12.5"},
                                      {7, 6, "TRUE", "TRUE"},             {8, 1, "新行", "新行"}};
    const std::vector<Shown> form_ = {{1, 1, "1", "1"}, {1, 4, "5", "5"}, {2, 4, "-3", "-3"}, {1, 2, "2", "2"}, {1, 3, "6", "6"}};

    static fs::path dir_, file_;
};
fs::path XlsxRealApps::dir_;
fs::path XlsxRealApps::file_;

TEST_F(XlsxRealApps, LibreOfficeShowsTheWrittenCellsAndNewResults) {
    if (!onPath("soffice")) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    const std::string output = run("soffice -env:UserInstallation=file://" + (dir_ / "profile").string() +
                                   " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1'"
                                   " --outdir '" + (dir_ / "lo").string() + "' '" + file_.string() + "'");
    expectShown(dir_ / "lo" / "written-Free.csv", free_, false);
    expectShown(dir_ / "lo" / "written-Form.csv", form_, false);
}

TEST_F(XlsxRealApps, GnumericShowsTheWrittenCellsAndNewResults) {
    if (!onPath("ssconvert")) GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    const std::string output = run("ssconvert -S '" + file_.string() + "' '" + (dir_ / "gnm-%n.csv").string() + "'");
    EXPECT_EQ(output.find("rror"), std::string::npos) << output;
    expectShown(dir_ / "gnm-1.csv", free_, true);
    expectShown(dir_ / "gnm-0.csv", form_, true);
}

}  // namespace
