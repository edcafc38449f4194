// Array formulas and data tables are changed whole or not at all: a write to any cell of
// one is refused, by setCell, by the command-line tool and by a consolidation, and the file
// stays as it was. The fixture is LibreOffice's: {=A1:A3*2} over B1:B3 and a data table over
// E3:E5 (tools/make_formula_block_fixture.sh); Gnumeric reads the files afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "cli/set_command.h"
#include "spreadsheet/consolidate_by_position.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;
using sbx::CellValue;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::testing::TempFolder;
using sbx::testing::bytesOf;

namespace {

const fs::path kBlocks = fs::path(SBX_TEST_DATA) / "formula_blocks" / "blocks.xls";
constexpr const char* kArray = "the array formula in B1:B3";
constexpr const char* kTable = "the data table in E3:E5";

// Gnumeric's reading of a workbook's first worksheet, recomputed, as comma-separated lines.
std::string gnumericCsv(const fs::path& file, const TempFolder& temp) {
    const fs::path csv = temp.path() / "gnumeric.csv";
    const std::string command = "ssconvert --recalc '" + file.string() + "' '" + csv.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return "ssconvert failed";
    return bytesOf(csv);
}

// Comma-separated lines as rows of six fields.
std::vector<std::vector<std::string>> cellsOf(const std::string& csv) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream lines(csv);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) row.push_back(field);
        row.resize(6);
        rows.push_back(row);
    }
    return rows;
}

bool haveGnumeric() { return std::system("command -v ssconvert >/dev/null") == 0; }

TEST(FormulaBlocks, EveryCellOfAnArrayOrADataTableRefusesAWriteAndTheFileStaysAsItWas) {
    TempFolder temp{"blocks"};
    const fs::path file = temp.copy(kBlocks);
    const std::string before = bytesOf(file);
    struct Case {
        int row, column;
        const char* block;
    };
    const Case cases[] = {{1, 2, kArray}, {2, 2, kArray}, {3, 2, kArray},
                          {3, 5, kTable}, {4, 5, kTable}, {5, 5, kTable}};
    sbx::NativeHost host;
    auto& book = host.open(file);
    auto& sheet = book.worksheet(1);
    for (const Case& c : cases) {
        for (const CellValue& value : {CellValue::number(99), CellValue()}) {
            try {
                sheet.setCell(c.row, c.column, value);
                ADD_FAILURE() << "row " << c.row << ", column " << c.column << " took a write";
            } catch (const WorkbookError& e) {
                EXPECT_EQ(e.kind(), WorkbookErrorKind::CellInArray);
                EXPECT_NE(e.reason().find(c.block), std::string::npos) << e.what();
            }
        }
    }
    EXPECT_FALSE(book.isModified());
    EXPECT_EQ(sheet.cell(2, 2), CellValue::number(4));
    host.close(book, true);
    EXPECT_EQ(bytesOf(file), before);

    // The command-line tool says the same, and leaves the file alone.
    std::ostringstream err;
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "Sheet1", "e4", "7", err), 2);
    EXPECT_NE(err.str().find(kTable), std::string::npos) << err.str();
    EXPECT_EQ(bytesOf(file), before);
}

TEST(FormulaBlocks, CellsAroundTheBlocksAreWrittenAndTheBlocksStayWhole) {
    if (!haveGnumeric()) GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    TempFolder temp{"blocks"};
    const fs::path file = temp.copy(kBlocks);
    {
        sbx::NativeHost host;
        auto& book = host.open(file);
        auto& sheet = book.worksheet(1);
        sheet.setCell(1, 1, CellValue::number(10));  // an input of the array formula
        sheet.setCell(4, 2, CellValue::number(8));   // just below the array
        sheet.setCell(3, 4, CellValue::number(4));   // an input of the data table
        EXPECT_THROW(sheet.setCell(2, 2, CellValue::number(99)), WorkbookError);
        host.close(book, true);
    }
    // Gnumeric recomputes both blocks from their inputs: the array follows A1, and the data
    // table reads as Gnumeric reads it in the untouched fixture; nothing of either was replaced.
    auto expected = cellsOf(gnumericCsv(kBlocks, temp));
    ASSERT_EQ(expected.size(), 5u);
    expected[0][0] = "10";
    expected[0][1] = "20";
    expected[3][1] = "8";
    expected[2][3] = "4";
    EXPECT_EQ(cellsOf(gnumericCsv(file, temp)), expected);
}

TEST(FormulaBlocks, AConsolidationOverlappingABlockFailsWithTheReasonAndWritesNothing) {
    TempFolder temp{"blocks"};
    const fs::path file = temp.copy(kBlocks);
    const std::vector<sbx::SourceArea> source{{temp.path() / "blocks.xls", "Sheet1", sbx::CellArea{1, 1, 2, 2}}};
    struct Case {
        sbx::CellArea area;
        const char* block;
    };
    const Case cases[] = {{{3, 1, 4, 2}, kArray},   // the array's last cell
                          {{5, 4, 6, 5}, kTable}};  // the table's last cell
    for (const Case& c : cases) {
        sbx::NativeHost host;
        auto& book = host.open(file);
        try {
            sbx::consolidateByPosition(host, book.worksheet(1), c.area, source);
            ADD_FAILURE() << "the consolidation went through";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), WorkbookErrorKind::CellInArray);
            EXPECT_NE(e.reason().find(c.block), std::string::npos) << e.what();
        }
        EXPECT_FALSE(book.isModified());
    }
    // Beside the blocks it goes through.
    sbx::NativeHost host;
    auto& book = host.open(file);
    sbx::consolidateByPosition(host, book.worksheet(1), {4, 1, 5, 2}, source);
    EXPECT_EQ(book.worksheet(1).cell(5, 2), CellValue::number(4));
}

}  // namespace
