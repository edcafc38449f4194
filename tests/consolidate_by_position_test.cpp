// Consolidation by position over real workbooks copied into a scratch folder. The expected
// sums come from xlrd (data/consolidate/make_expected_sums.py), not from the engine.
// Failures must leave every target cell as it was and close the sources.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "spreadsheet/consolidate_by_position.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;
using sbx::CellArea;
using sbx::CellValue;
using sbx::consolidateByPosition;
using sbx::utf8Path;
using sbx::utf8String;
using sbx::Workbook;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::Worksheet;

namespace {

const fs::path kShared = SBX_SHARED_FIXTURES;
const fs::path kExpectedSums = fs::path(SBX_TEST_DATA) / "consolidate" / "expected_sums.txt";

// The native engine, counting how often each file is opened and how many books are open.
class CountingHost final : public sbx::SpreadsheetHost {
public:
    Workbook& open(const fs::path& file) override {
        Workbook& book = inner_.open(file);
        ++opens_[fs::weakly_canonical(file)];
        ++openNow_;
        return book;
    }
    void close(Workbook& workbook, bool save) override {
        --openNow_;
        inner_.close(workbook, save);
    }
    void quit() override { inner_.quit(); }
    void saveAs(Workbook& workbook, const fs::path& target) override { inner_.saveAs(workbook, target); }

    int opens(const fs::path& file) const {
        const auto it = opens_.find(fs::weakly_canonical(file));
        return it == opens_.end() ? 0 : it->second;
    }
    int openNow() const { return openNow_; }

private:
    sbx::NativeHost inner_;
    std::map<fs::path, int> opens_;
    int openNow_ = 0;
};

// "R3C1:R20C8" or a single cell "R3C4".
CellArea areaOf(const std::string& r1c1) {
    CellArea a;
    const int n = std::sscanf(r1c1.c_str(), "R%dC%d:R%dC%d", &a.firstRow, &a.firstColumn, &a.lastRow, &a.lastColumn);
    if (n == 2) {
        a.lastRow = a.firstRow;
        a.lastColumn = a.firstColumn;
    } else if (n != 4) {
        ADD_FAILURE() << "bad area: " << r1c1;
    }
    return a;
}

// A case of expected_sums.txt.
struct SumCase {
    struct Source {
        std::string copy, fixture, sheet, area;
    };
    struct Cell {
        int row = 0, column = 0;
        CellValue total;
    };
    std::string name, targetCopy, targetSheet, targetFixture;
    CellArea area;
    std::vector<Source> sources;
    std::vector<Cell> cells;
};

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, '\t');) out.push_back(f);
    return out;
}

std::vector<SumCase> readExpectedSums() {
    std::ifstream in(kExpectedSums);
    EXPECT_TRUE(in) << kExpectedSums;
    std::vector<SumCase> cases;
    for (std::string line; std::getline(in, line);) {
        const auto f = fields(line);
        if (f.empty() || f[0].starts_with("#")) continue;
        if (f[0] == "case" && f.size() == 6) {
            cases.push_back(SumCase{f[1], f[2], f[3], f[5], areaOf(f[4]), {}, {}});
        } else if (f[0] == "source" && f.size() == 5 && !cases.empty()) {
            cases.back().sources.push_back({f[1], f[2], f[3], f[4]});
        } else if (f[0] == "cell" && f.size() == 4 && !cases.empty()) {
            SumCase::Cell cell{std::stoi(f[1]), std::stoi(f[2]), CellValue()};
            if (f[3].starts_with("date:")) {
                cell.total = CellValue::date(std::strtod(f[3].c_str() + 5, nullptr));
            } else if (f[3] != "empty") {
                cell.total = CellValue::number(std::strtod(f[3].c_str(), nullptr));
            }
            cases.back().cells.push_back(cell);
        } else if (f[0] != "end") {
            ADD_FAILURE() << "unreadable line in the expected sums: " << line;
        }
    }
    return cases;
}

class ConsolidateTest : public ::testing::Test {
protected:
    void SetUp() override {
        SBX_SKIP_WITHOUT_SHARED_FIXTURES();
        scratch_ = fs::temp_directory_path() /
                   ("sbx_consolidate_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                    "_" + std::to_string(std::random_device()()));
        fs::create_directories(scratch_);
    }
    void TearDown() override {
        if (!scratch_.empty()) fs::remove_all(scratch_);
    }

    // Copies a shared fixture to `copy`, a path inside the scratch folder.
    fs::path place(const std::string& fixture, const std::string& copy) {
        const fs::path to = scratch_ / utf8Path(copy);
        fs::create_directories(to.parent_path());
        fs::copy_file(kShared / fixture, to, fs::copy_options::overwrite_existing);
        // Writable, as TempFolder::copy makes its copies: Windows deletes no read-only file.
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
        return to;
    }
    // A source: a copy in the scratch folder, a worksheet, an area in R1C1 form.
    sbx::SourceArea reference(const std::string& copy, const std::string& sheet, const std::string& area) const {
        return {scratch_ / utf8Path(copy), sheet, areaOf(area)};
    }

    fs::path scratch_;
};

std::map<std::pair<int, int>, CellValue> snapshot(const Worksheet& sheet, const CellArea& area) {
    std::map<std::pair<int, int>, CellValue> cells;
    for (int r = area.firstRow; r <= area.lastRow; ++r) {
        for (int c = area.firstColumn; c <= area.lastColumn; ++c) cells[{r, c}] = sheet.cell(r, c);
    }
    return cells;
}

CellArea grown(const CellArea& a, int by) {
    return {std::max(1, a.firstRow - by), std::max(1, a.firstColumn - by), std::min(65536, a.lastRow + by),
            std::min(256, a.lastColumn + by)};
}

TEST_F(ConsolidateTest, SumsAgreeWithXlrdCellByCell) {
    const auto cases = readExpectedSums();
    ASSERT_GE(cases.size(), 9u);
    for (const SumCase& sc : cases) {
        SCOPED_TRACE(sc.name);
        fs::remove_all(scratch_);
        const fs::path targetFile = place(sc.targetFixture, sc.targetCopy);
        std::vector<sbx::SourceArea> sources;
        for (const auto& s : sc.sources) {
            if (s.copy != sc.targetCopy) place(s.fixture, s.copy);
            sources.push_back(reference(s.copy, s.sheet, s.area));
        }

        CountingHost host;
        Worksheet& target = host.open(targetFile).worksheet(sc.targetSheet);
        const CellArea around = grown(sc.area, 3);
        const auto before = snapshot(target, around);

        ASSERT_NO_THROW(consolidateByPosition(host, target, sc.area, sources));

        ASSERT_EQ(sc.cells.size(), static_cast<size_t>(sc.area.rows() * sc.area.columns()));
        for (const auto& cell : sc.cells) {
            const CellValue got = target.cell(cell.row, cell.column);
            EXPECT_EQ(got, cell.total) << "row " << cell.row << ", column " << cell.column << ": "
                                       << sbx::describe(got) << " instead of " << sbx::describe(cell.total);
        }
        for (const auto& [at, value] : before) {
            if (!sc.area.contains(at.first, at.second)) {
                EXPECT_EQ(target.cell(at.first, at.second), value) << "outside the area: " << at.first << "," << at.second;
            }
        }
        // Each source file once, and only the target still open.
        for (const auto& s : sc.sources) {
            const int byTest = s.copy == sc.targetCopy ? 1 : 0;
            EXPECT_EQ(host.opens(scratch_ / utf8Path(s.copy)), 1 + byTest) << s.copy;
        }
        EXPECT_EQ(host.openNow(), 1);
    }
}

// Ten sources holding 0.1 make 1 exactly, as the function mode's totals do (plain addition
// would leave 0.9999999999999999 in the summary).
TEST_F(ConsolidateTest, TotalsOfManySourcesDoNotDrift) {
    const fs::path source = place("family_dpi_a_macexcel2016.xls", "a.xls");
    fs::permissions(source, fs::perms::owner_write, fs::perm_options::add);
    {
        sbx::NativeHost writer;
        Workbook& book = writer.open(source);
        book.worksheet("Sheet2").setCell(1, 1, CellValue::number(0.1));
        writer.close(book, true);
    }
    const fs::path targetFile = place("family_dpi_c_excel2016.xls", "hz/total.xls");
    const auto host = sbx::makeNativeHost();
    Worksheet& target = host->open(targetFile).worksheet("Sheet2");
    const std::vector<sbx::SourceArea> sources(10, reference("a.xls", "Sheet2", "R1C1:R1C1"));
    consolidateByPosition(*host, target, CellArea{1, 1, 1, 1}, sources);
    EXPECT_EQ(target.cell(1, 1), CellValue::number(1.0));
}

// Every failure: the expected kind, a message naming what failed, no target cell changed,
// the sources closed.
class ConsolidateFailureTest : public ConsolidateTest {
protected:
    void expectRefused(const std::string& fixture, const std::string& sheet, const CellArea& area,
                       const std::vector<sbx::SourceArea>& sources, WorkbookErrorKind kind, const std::string& mentioned) {
        CountingHost host;
        Workbook& book = host.open(place(fixture, "hz/total.xls"));
        Worksheet& target = book.worksheet(sheet);
        const auto before = snapshot(target, area);
        try {
            consolidateByPosition(host, target, area, sources);
            ADD_FAILURE() << "consolidation did not fail";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), kind) << e.what();
            EXPECT_NE(std::string(e.what()).find(mentioned), std::string::npos) << e.what();
        }
        EXPECT_EQ(snapshot(target, area), before);
        EXPECT_FALSE(book.isModified());
        EXPECT_EQ(host.openNow(), 1);
    }
};

TEST_F(ConsolidateFailureTest, UnresolvableSourcesChangeNothing) {
    place("family_dpi_a_macexcel2016.xls", "a.xls");
    place("family_dpi_c_excel2016.xls", "c.xls");
    const std::string dpi = "family_dpi_c_excel2016.xls";
    const CellArea all{1, 1, 4, 8};
    const auto a = reference("a.xls", "Sheet1", "R1C1:R4C8");
    const auto c = reference("c.xls", "Sheet1", "R1C1:R4C8");

    expectRefused(dpi, "Sheet1", all, {a, c, reference("missing.xls", "Sheet1", "R1C1:R4C8")},
                  WorkbookErrorKind::FileNotFound, "missing.xls");
    expectRefused(dpi, "Sheet1", all, {a, c, reference("c.xls", "Sheet9", "R1C1:R4C8")}, WorkbookErrorKind::SheetNotFound,
                  "no worksheet named \"Sheet9\"");
    expectRefused(dpi, "Sheet1", all, {a, reference("c.xls", "Sheet1", "R1C1:R4C7")}, WorkbookErrorKind::CellOutOfRange,
                  "differs in size");
    // Not a workbook at all: the open error, naming the file.
    place("fake_html_from_excel2013.xls", "web page.xls");
    expectRefused(dpi, "Sheet1", all, {a, reference("web page.xls", "Sheet1", "R1C1:R4C8")}, WorkbookErrorKind::WrongFormat,
                  "web page.xls");
}

TEST_F(ConsolidateFailureTest, LockedCellsOfAProtectedTargetChangeNothing) {
    place("family_dpi_a_macexcel2016.xls", "a.xls");
    // All numbers; the first target cells are unlocked, a later one is locked.
    const auto a = reference("a.xls", "Sheet2", "R1C1:R2C3");
    expectRefused("macexcel2008_protected_sheet_unlocked_cell.xls", "Sheet1", {4, 1, 5, 3}, {a},
                  WorkbookErrorKind::CellLocked, "is protected and its cell b4 is locked");
    expectRefused("excel2000_ko_protected_sheets_vba.xls", "2270-170-2", {7, 9, 8, 11}, {a},
                  WorkbookErrorKind::CellLocked, "cell k7 is locked");
    // Excel 95 workbooks are only read.
    expectRefused("family_numfmt_biff5_cp1252_macexcel.xls", "Implied", {1, 1, 2, 3}, {a},
                  WorkbookErrorKind::WriteUnsupported, "Excel 95");
}

TEST_F(ConsolidateTest, UnlockedCellOfAProtectedTargetTakesTheSum) {
    const fs::path targetFile = place("macexcel2008_protected_sheet_unlocked_cell.xls", "hz/total.xls");
    place("family_dpi_a_macexcel2016.xls", "a.xls");
    CountingHost host;
    Worksheet& target = host.open(targetFile).worksheet("Sheet1");
    ASSERT_TRUE(target.isProtected());
    ASSERT_FALSE(target.isCellLocked(4, 1));
    const std::vector<sbx::SourceArea> sources{reference("a.xls", "Sheet1", "R3C4"), reference("a.xls", "Sheet2", "R2C3:R2C3")};
    consolidateByPosition(host, target, {4, 1, 4, 1}, sources);
    EXPECT_EQ(target.cell(4, 1), CellValue::number(15.83 + 66.0));
}

// Times of day and durations add up, calendar dates keep the latest, in .xlsx and .xls sources
// alike, into summaries of both formats; the summary cells keep their time formats. The
// expected serials are openpyxl's and xlrd's readings (tools/make_time_pool.py).
TEST(ConsolidateTimes, TimesAndDurationsAddUpAndDatesKeepTheLatest) {
    const fs::path pool = fs::path(SBX_TEST_DATA) / "fixtures" / "time_pool";
    std::map<std::string, std::pair<std::string, double>> expected;  // cell → kind, serial
    std::ifstream tsv(pool / "expected_totals.tsv");
    for (std::string line; std::getline(tsv, line);) {
        const auto f = fields(line);
        if (f.size() == 3 && !f[0].starts_with("#")) expected[f[0]] = {f[1], std::stod(f[2])};
    }
    ASSERT_EQ(expected.size(), 8u);
    const fs::path scratch = fs::temp_directory_path() / ("sbx_time_pool_" + std::to_string(std::random_device()()));
    fs::create_directories(scratch);
    std::vector<sbx::SourceArea> sources;
    for (const char* name : {"sheet_1.xlsx", "sheet_2.xlsx", "sheet_3.xls"}) {
        sources.push_back({pool / name, "工时", CellArea{2, 2, 9, 2}});
    }
    for (const char* summaryFrom : {"sheet_2.xlsx", "sheet_3.xls"}) {
        SCOPED_TRACE(summaryFrom);
        const fs::path summary = scratch / (std::string("total") + fs::path(summaryFrom).extension().string());
        fs::copy_file(pool / summaryFrom, summary, fs::copy_options::overwrite_existing);
        fs::permissions(summary, fs::perms::owner_write, fs::perm_options::add);
        {
            sbx::NativeHost host;
            Workbook& book = host.open(summary);
            consolidateByPosition(host, book.worksheet("工时"), CellArea{2, 2, 9, 2}, sources);
            host.close(book, true);
        }
        sbx::NativeHost host;
        const Worksheet& sheet = host.open(summary).worksheet("工时");
        for (int row = 2; row <= 9; ++row) {
            const auto& [kind, serial] = expected.at("B" + std::to_string(row));
            const CellValue got = sheet.cell(row, 2);
            EXPECT_EQ(got.kind(), sbx::CellKind::Date) << "B" << row << ": " << sbx::describe(got);
            EXPECT_EQ(got.isTimeOnly(), kind == "sum") << "B" << row << ": the summary cell's format";
            EXPECT_NEAR(got.numberValue(), serial, 1e-9) << "B" << row;
        }
    }
    fs::remove_all(scratch);
}

}  // namespace
