// Every shared .xlsx fixture read through the host, cell by cell against the lists openpyxl
// wrote (tools/make_xlsx_golden.py).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/dump_format.h"
#include "spreadsheet/native_host.h"
#include "tests/support/sha256_hex.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xlsx/sheet_content.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t kHeadCells = 200;

std::string sha256(const std::string& text) { return sbx::testing::sha256Hex(text); }

std::string cellLines(const fs::path& file) {
    sbx::NativeHost host;
    auto& book = host.open(file);
    std::string out;
    for (int s = 1; s <= book.worksheetCount(); ++s) {
        auto& sheet = book.worksheet(s);
        out += "#sheet\t" + sheet.name() + "\n";
        std::vector<std::string> cells;
        sheet.forEachValue(sbx::CellArea{1, 1, sbx::xlsx::kMaxRows, sbx::xlsx::kMaxColumns},
                           [&](int row, int column, const sbx::CellValue& v) {
                               const std::string text = sbx::cli::formatCell(v);
                               if (!text.empty()) cells.push_back(sbx::cellName({row, column}, sbx::LetterCase::Upper) + "\t" + text);
                           });
        if (cells.size() > 2 * kHeadCells) {
            std::string all;
            for (const auto& c : cells) all += c + "\n";
            for (size_t i = 0; i < kHeadCells; ++i) out += cells[i] + "\n";
            out += "#cells\t" + std::to_string(cells.size()) + "\t" + sha256(all) + "\n";
        } else {
            for (const auto& c : cells) out += c + "\n";
        }
    }
    host.close(book, false);
    return out;
}

std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(XlsxReader, EverySharedFixtureReadsAsOpenpyxlReadsIt) {
    const fs::path fixtures = SBX_SHARED_XLSX_FIXTURES;
    if (!fs::is_directory(fixtures)) GTEST_SKIP() << "no shared .xlsx fixtures at " << fixtures;
    const fs::path golden = fs::path(SBX_TEST_DATA) / "xlsx_golden";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(fixtures)) {
        const fs::path file = entry.path();
        if (file.extension() != ".xlsx" && file.extension() != ".xlsm") continue;
        SCOPED_TRACE(file.filename().string());
        std::string lines;
        ASSERT_NO_THROW(lines = cellLines(file));
        const fs::path expected = golden / (file.stem().string() + ".tsv");
        if (!fs::exists(expected)) continue;  // the one file openpyxl cannot read
        EXPECT_EQ(lines, readText(expected));
        ++compared;
    }
    EXPECT_GE(compared, 39);
}

// Facts of single fixtures that the cell lists do not show.
TEST(XlsxReader, HiddenSheetsCountAndNamesIgnoreLetterCase) {
    const fs::path fixtures = SBX_SHARED_XLSX_FIXTURES;
    if (!fs::is_directory(fixtures)) GTEST_SKIP() << "no shared .xlsx fixtures at " << fixtures;
    sbx::NativeHost host;
    auto& book = host.open(fixtures / "libreoffice7_6sheets_defined_names_hidden_sheet.xlsx");
    EXPECT_EQ(book.worksheetCount(), 6);
    EXPECT_EQ(book.worksheet("SHEET6").name(), "Sheet6");
    EXPECT_THROW(book.worksheet("Sheet7"), sbx::WorkbookError);
    // Chart sheets are no worksheets: four tabs, four worksheets in tab order.
    auto& ordered = host.open(fixtures / "libreoffice_sheet_order_differs_from_ids_chart.xlsx");
    ASSERT_EQ(ordered.worksheetCount(), 4);
    EXPECT_EQ(ordered.worksheet(1).name(), "b");
    EXPECT_EQ(ordered.worksheet(4).name(), "a");
    EXPECT_FALSE(ordered.worksheet(1).isProtected());
    EXPECT_TRUE(ordered.worksheet(1).isCellLocked(1, 1));
}

}  // namespace
