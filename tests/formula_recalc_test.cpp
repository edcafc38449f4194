// Saving a report template after writing its input cells: every formula that depends on them
// holds what LibreOffice computes for the same inputs, read back by the engine's own reader;
// what the engine cannot compute keeps its old result and is reported.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <set>

#include "formula_golden_files.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/xls/workbook_reader.h"

namespace {

using namespace formula_goldens;
using sbx::CellValue;

// A folder of this process's own, removed when the tests end.
class Scratch : public testing::Environment {
public:
    static fs::path dir() { return fs::temp_directory_path() / ("sbx_formula_recalc_" + std::to_string(::getpid())); }
    void TearDown() override { fs::remove_all(dir()); }
};
const auto* const kScratch = testing::AddGlobalTestEnvironment(new Scratch);

fs::path scratch(const std::string& name) {
    fs::create_directories(Scratch::dir());
    return Scratch::dir() / name;
}

TEST(FormulaRecalc, SavedTemplateHoldsTheResultsLibreOfficeComputes) {
    const fs::path saved = scratch("written.xls");
    writeTemplateCopy(saved);
    const auto reader = sbx::xls::WorkbookReader::open(saved);
    const auto left = notRecomputed();
    int compared = 0;
    for (int sheet = 1; sheet <= kSheets; ++sheet) {
        const auto expected = expectedCells(sheet);
        const auto& cells = reader.cells(static_cast<size_t>(sheet - 1));
        std::map<std::pair<int, int>, CellValue> actual;
        for (const auto& c : cells.cells()) {
            const CellValue v = reader.valueOf(cells, c);
            if (!v.isEmpty()) actual[{static_cast<int>(c.row()) + 1, static_cast<int>(c.column()) + 1}] = v;
        }
        for (const auto& [position, value] : expected) {
            if (left.contains({sheet, position.first, position.second})) continue;
            const auto it = actual.find(position);
            ASSERT_NE(it, actual.end()) << "sheet " << sheet << " row " << position.first << " column " << position.second;
            EXPECT_TRUE(sameCell(it->second, value)) << "sheet " << sheet << " row " << position.first << " column "
                                                     << position.second << ": saved " << sbx::describe(it->second)
                                                     << ", LibreOffice " << sbx::describe(value);
            ++compared;
        }
        for (const auto& [position, value] : actual) {
            EXPECT_TRUE(expected.contains(position) || left.contains({sheet, position.first, position.second}))
                << "sheet " << sheet << " row " << position.first << " column " << position.second << " holds "
                << sbx::describe(value) << " where LibreOffice shows nothing";
        }
    }
    EXPECT_GT(compared, 100);
}

TEST(FormulaRecalc, FormulasLeftToTheApplicationAreReportedAndKeepTheirOldResults) {
    const fs::path saved = scratch("reported.xls");
    const auto stale = writeTemplateCopy(saved);
    const auto left = notRecomputed();
    const char* sheetNames[] = {"明细", "汇总", "函数"};
    std::map<Cell, std::string> reported;
    for (const auto& s : stale) {
        int sheet = 0;
        for (int i = 0; i < kSheets; ++i) {
            if (s.sheet == sheetNames[i]) sheet = i + 1;
        }
        reported[{sheet, s.row, s.column}] = s.reason;
    }
    EXPECT_EQ(reported, left);
    ASSERT_FALSE(stale.empty());
    EXPECT_EQ(sbx::describeStale(stale.front()),
              "明细!B10: the function MOD is not computed here; will be recomputed by the spreadsheet application");

    const auto before = sbx::xls::WorkbookReader::open(kTemplate);
    const auto after = sbx::xls::WorkbookReader::open(saved);
    for (const auto& [cell, why] : left) {
        const auto [sheet, row, column] = cell;
        const auto index = static_cast<size_t>(sheet - 1);
        const auto* old = before.cells(index).find(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
        const auto* now = after.cells(index).find(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1));
        ASSERT_TRUE(old && now);
        EXPECT_EQ(before.valueOf(before.cells(index), *old), after.valueOf(after.cells(index), *now)) << why;
    }
}

TEST(FormulaRecalc, UnwrittenWorkbookReportsNothingAndEvaluatesToItsOwnResults) {
    auto host = sbx::makeNativeHost();
    sbx::Workbook& book = host->open(kTemplate);
    EXPECT_TRUE(book.staleFormulas().empty());
    host->quit();
}

// Formulas reaching the written cells through names (local to a sheet, "[0]!Name", of the
// workbook) and through INDIRECT and OFFSET, in both formats: each holds what LibreOffice
// computes for the new inputs, or keeps its old result and is named. .xls names are
// computed (tools/make_name_formulas.py).
TEST(FormulaRecalc, FormulasReachingWrittenCellsThroughNamesIndirectAndOffsetAreComputedOrNamed) {
    const fs::path data = fs::path(SBX_TEST_DATA) / "formulas";
    std::map<std::string, double> computed;  // Sheet2's cells, by LibreOffice
    std::ifstream tsv(data / "names_written.tsv");
    for (std::string line; std::getline(tsv, line);) {
        if (!line.empty() && line[0] != '#') computed[line.substr(0, line.find('\t'))] = std::stod(line.substr(line.find('\t') + 1));
    }
    ASSERT_EQ(computed.size(), 5u);
    const struct {
        const char* file;
        std::set<std::string> mustCompute;
    } cases[] = {{"names.xls", {"A1", "A2", "A5"}}, {"names.xlsx", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path copy = scratch(c.file);
        fs::copy_file(data / c.file, copy, fs::copy_options::overwrite_existing);
        fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
        std::map<std::string, CellValue> old;
        std::set<std::string> named;
        {
            sbx::NativeHost host;
            sbx::Workbook& book = host.open(copy);
            for (int row = 1; row <= 5; ++row) old["A" + std::to_string(row)] = book.worksheet("Sheet2").cell(row, 1);
            book.worksheet("Sheet1").setCell(2, 2, CellValue::number(787));
            book.worksheet("Sheet1").setCell(3, 2, CellValue::number(7));
            for (const auto& f : book.staleFormulas()) {
                EXPECT_EQ(f.sheet, "Sheet2") << f.reason;
                named.insert("A" + std::to_string(f.row));
            }
            host.close(book, true);
        }
        sbx::NativeHost host;
        const sbx::Worksheet& sheet = host.open(copy).worksheet("Sheet2");
        for (const auto& [cell, value] : computed) {
            const CellValue now = sheet.cell(std::stoi(cell.substr(1)), 1);
            if (named.contains(cell)) {
                EXPECT_FALSE(c.mustCompute.contains(cell)) << cell << " is named as not recomputed";
                EXPECT_EQ(now, old.at(cell)) << cell;
            } else {
                EXPECT_EQ(now, CellValue::number(value)) << cell << " is neither recomputed nor named";
            }
        }
    }
}

}  // namespace
