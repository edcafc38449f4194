// The workbook reader on record layouts that matter and that real files show only by
// chance: strings split across CONTINUE records, formula results, duplicate and embedded
// records, protection. Real files are covered by the golden dump test.
#include <gtest/gtest.h>

#include <filesystem>

#include "biff_builder.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;
using sbx::CellKind;
using sbx::CellValue;
using sbx::test::cat;
using sbx::test::latin1String;
using sbx::test::put16;
using sbx::test::put32;
using sbx::test::putF64;
using sbx::test::u16s;
using sbx::test::Records;

namespace {

const fs::path kShared = SBX_SHARED_FIXTURES;

std::vector<uint8_t> xf(uint16_t formatId, bool locked) { return sbx::test::xfBody(formatId, locked); }

std::vector<uint8_t> cellHeader(uint16_t row, uint16_t col, uint16_t xfIndex = 0) {
    return sbx::test::cellHeader(row, col, xfIndex);
}

std::vector<uint8_t> number(uint16_t row, uint16_t col, double v, uint16_t xfIndex = 0) {
    return sbx::test::numberBody(row, col, v, xfIndex);
}

// A formula record whose cached result is tagged (string, boolean, error, empty).
std::vector<uint8_t> formulaResult(uint16_t row, uint16_t col, uint8_t type, uint8_t value) {
    auto b = cellHeader(row, col);
    b.insert(b.end(), {type, 0, value, 0, 0, 0, 0xFF, 0xFF});
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0});  // flags, chn, empty formula
    return b;
}

std::vector<uint8_t> utf16(const std::u16string& s) {
    std::vector<uint8_t> b;
    for (char16_t c : s) put16(b, static_cast<uint16_t>(c));
    return b;
}

// One worksheet "Sheet1" after the given globals.
std::vector<uint8_t> workbook(const Records& globals, const Records& sheet) {
    return sbx::test::oneSheetWorkbook(globals, sheet);
}

// A workbook read from memory, with the host that holds it.
struct Built {
    sbx::NativeHost host;
    sbx::NativeWorkbook* book = nullptr;
    sbx::Worksheet& worksheet(int i) { return book->worksheet(i); }
};

std::unique_ptr<Built> open(std::vector<uint8_t> bytes) {
    auto built = std::make_unique<Built>();
    built->book = &built->host.adopt(sbx::xls::WorkbookReader::fromBytes(std::move(bytes), "built.xls"));
    return built;
}

TEST(SharedStrings, StringSplitAcrossContinueChangesWidth) {
    // "AB汇总" starts 8-bit in the SST record and goes on 16-bit in a CONTINUE record, which
    // restates the width in its first byte; "合计" follows whole in the CONTINUE record.
    std::vector<uint8_t> sst;
    put32(sst, 2);
    put32(sst, 2);
    sst = cat({sst, u16s({4}), {0x00, 'A', 'B'}});
    auto cont = cat({{0x01}, utf16(u"汇总"), u16s({2}), {0x01}, utf16(u"合计")});
    auto book = open(workbook({{0x00FC, sst}, {0x003C, cont}},
                              {{0x00FD, cat({cellHeader(0, 0), {0, 0, 0, 0}})},
                               {0x00FD, cat({cellHeader(0, 1), {1, 0, 0, 0}})}}));
    auto& sheet = book->worksheet(1);
    EXPECT_EQ(sheet.cell(1, 1), CellValue::text("AB汇总"));
    EXPECT_EQ(sheet.cell(1, 2), CellValue::text("合计"));
}

TEST(SharedStrings, RichTextRunsAndPhoneticBlockAreSkippedAcrossRecords) {
    // String 1 has 2 formatting runs and a 6-byte phonetic block, both cut by a CONTINUE
    // record (which has no width byte there, since no characters are split).
    std::vector<uint8_t> sst;
    put32(sst, 2);
    put32(sst, 2);
    sst = cat({sst, u16s({3}), {0x0C}, u16s({2}), {6, 0, 0, 0}, {'a', 'b', 'c'}, {1, 0, 0, 0, 2}});
    auto cont = cat({{0, 0, 0}, {9, 9, 9, 9, 9, 9}, latin1String("next")});
    auto book = open(workbook({{0x00FC, sst}, {0x003C, cont}},
                              {{0x00FD, cat({cellHeader(0, 0), {0, 0, 0, 0}})},
                               {0x00FD, cat({cellHeader(1, 0), {1, 0, 0, 0}})}}));
    EXPECT_EQ(book->worksheet(1).cell(1, 1), CellValue::text("abc"));
    EXPECT_EQ(book->worksheet(1).cell(2, 1), CellValue::text("next"));
}

TEST(SharedStrings, StatedCountAboveStoredStringsKeepsWhatIsThere) {
    std::vector<uint8_t> sst;
    put32(sst, 7668);
    put32(sst, 7668);
    sst = cat({sst, latin1String("only")});
    auto book = open(workbook({{0x00FC, sst}}, {{0x00FD, cat({cellHeader(0, 0), {0, 0, 0, 0}})},
                                                {0x00FD, cat({cellHeader(0, 1), {5, 0, 0, 0}})}}));
    EXPECT_EQ(book->worksheet(1).cell(1, 1), CellValue::text("only"));
    EXPECT_EQ(book->worksheet(1).cell(1, 2), CellValue());  // the table lacks string 5
}

TEST(Cells, FormulaCachedResultsOfEveryKind) {
    auto longText = std::string(10, 'x');
    auto book = open(workbook({}, {
        {0x0006, formulaResult(0, 0, 0, 0)},            // string: in the STRING record
        {0x0207, cat({u16s({5}), {0}, {'h', 'e'}})},     // ... split by a CONTINUE record
        {0x003C, cat({{1}, utf16(u"llo")})},
        {0x0006, formulaResult(1, 0, 1, 1)},            // TRUE
        {0x0006, formulaResult(2, 0, 2, 0x07)},         // #DIV/0!
        {0x0006, formulaResult(3, 0, 3, 0)},            // empty string
    }));
    auto& sheet = book->worksheet(1);
    EXPECT_EQ(sheet.cell(1, 1), CellValue::text("hello"));
    EXPECT_EQ(sheet.cell(2, 1), CellValue::boolean(true));
    EXPECT_EQ(sheet.cell(3, 1), CellValue::error(sbx::error_code::Div0));
    EXPECT_EQ(sheet.cell(4, 1), CellValue::text(""));
}

TEST(Cells, RkNumbersInEveryEncoding) {
    std::vector<uint8_t> mulrk = cellHeader(0, 0);
    mulrk.resize(4);  // MULRK: row, first column, then (xf, rk) pairs
    auto rk = [&](uint32_t v) { put16(mulrk, 0); put32(mulrk, v); };
    rk((123u << 2) | 0x02);                     // integer
    rk((static_cast<uint32_t>(-1234) << 2) | 0x03);  // integer / 100
    rk(0x3FF00000u);                            // 1.0 as the top of a double
    rk(0x40590000u | 0x01);                     // 100.0 / 100
    put16(mulrk, 3);
    auto book = open(workbook({}, {{0x00BD, mulrk}}));
    auto& sheet = book->worksheet(1);
    EXPECT_EQ(sheet.cell(1, 1), CellValue::number(123));
    EXPECT_EQ(sheet.cell(1, 2), CellValue::number(-12.34));
    EXPECT_EQ(sheet.cell(1, 3), CellValue::number(1.0));
    EXPECT_EQ(sheet.cell(1, 4), CellValue::number(1.0));
}

TEST(Cells, LaterRecordForACellWinsAndOrderDoesNotMatter) {
    auto book = open(workbook({}, {{0x0203, number(5, 2, 1.0)}, {0x0203, number(0, 0, 7.0)},
                                   {0x0203, number(5, 2, 2.0)}}));
    auto& sheet = book->worksheet(1);
    EXPECT_EQ(sheet.cell(6, 3), CellValue::number(2.0));
    EXPECT_EQ(sheet.cell(1, 1), CellValue::number(7.0));
    EXPECT_EQ(sheet.lastValueCell(), std::make_pair(6, 3));
}

TEST(Cells, EmbeddedChartRecordsAreNotCells) {
    auto book = open(workbook({}, {{0x0203, number(0, 0, 1.0)},
                                   {0x0809, sbx::test::bofBody(0x0020)},
                                   {0x0203, number(0, 1, 99.0)},  // inside the chart
                                   {0x000A, {}},
                                   {0x0203, number(0, 2, 3.0)}}));
    auto& sheet = book->worksheet(1);
    EXPECT_EQ(sheet.cell(1, 2), CellValue());
    EXPECT_EQ(sheet.cell(1, 3), CellValue::number(3.0));
}

TEST(Cells, DateFormatsMakeDatesAndThe1904SystemShiftsThem) {
    auto format = [](uint16_t id, const std::string& code) { return cat({u16s({id}), latin1String(code)}); };
    const Records globals = {{0x041E, format(164, "yyyy\"年\"m\"月\"d\"日\"")},
                             {0x041E, format(165, "0.00\"d\"")},
                             {0x00E0, xf(0, true)}, {0x00E0, xf(14, true)}, {0x00E0, xf(164, true)},
                             {0x00E0, xf(165, true)}, {0x00E0, xf(31, true)}};
    const Records cells = {{0x0203, number(0, 0, 45322.0, 0)}, {0x0203, number(0, 1, 45322.0, 1)},
                           {0x0203, number(0, 2, 45322.5, 2)}, {0x0203, number(0, 3, 45322.0, 3)},
                           {0x0203, number(0, 4, 45322.0, 4)}};
    auto book1900 = open(workbook(globals, cells));
    auto& s = book1900->worksheet(1);
    EXPECT_EQ(s.cell(1, 1), CellValue::number(45322.0));
    EXPECT_EQ(s.cell(1, 2), CellValue::date(45322.0));
    EXPECT_EQ(s.cell(1, 3), CellValue::date(45322.5));
    EXPECT_EQ(s.cell(1, 4), CellValue::number(45322.0));  // "d" in quotes is literal text
    EXPECT_EQ(s.cell(1, 5), CellValue::date(45322.0));    // East Asian built-in 31

    Records globals1904 = globals;
    globals1904.push_back({0x0022, u16s({1})});
    auto book1904 = open(workbook(globals1904, cells));
    EXPECT_EQ(book1904->worksheet(1).cell(1, 2), CellValue::date(45322.0 + 1462.0));
    EXPECT_EQ(book1904->worksheet(1).cell(1, 1), CellValue::number(45322.0));
}

TEST(Cells, PositionsOutsideTheSheetAreRefused) {
    auto book = open(workbook({}, {{0x0203, number(0, 0, 1.0)}}));
    auto& sheet = book->worksheet(1);
    for (auto [row, col] : {std::pair{0, 1}, {1, 0}, {65537, 1}, {1, 257}}) {
        EXPECT_THROW(sheet.cell(row, col), sbx::WorkbookError) << row << "," << col;
    }
    EXPECT_NO_THROW(sheet.cell(65536, 256));
}

TEST(Protection, LockedFlagComesFromCellThenRowThenColumnThenDefault) {
    Records globals;
    for (int i = 0; i < 16; ++i) globals.push_back({0x00E0, xf(0, true)});
    globals.push_back({0x00E0, xf(0, false)});  // 16: unlocked
    auto row = cat({u16s({4, 0, 0, 0x00FF, 0, 0}), u16s({0x0080, 16})});  // row 5 formatted
    auto colinfo = u16s({2, 3, 0x0900, 16, 0, 0});                          // columns C:D
    auto book = open(workbook(globals, {{0x0012, u16s({1})}, {0x0208, row}, {0x007D, colinfo},
                                        {0x0201, cellHeader(0, 0, 16)}, {0x0203, number(4, 2, 1.0, 15)}}));
    auto& sheet = book->worksheet(1);
    EXPECT_TRUE(sheet.isProtected());
    EXPECT_FALSE(sheet.isCellLocked(1, 1));  // its own format
    EXPECT_TRUE(sheet.isCellLocked(1, 2));   // default format 15
    EXPECT_FALSE(sheet.isCellLocked(5, 2));  // the row's format
    EXPECT_TRUE(sheet.isCellLocked(5, 3));   // its own format beats the row's
    EXPECT_FALSE(sheet.isCellLocked(9, 4));  // the column's format
}

TEST(RealFiles, ProtectedSheetWithOneUnlockedCell) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& sheet = host.open(kShared / "macexcel2008_protected_sheet_unlocked_cell.xls").worksheet(1);
    EXPECT_TRUE(sheet.isProtected());
    EXPECT_FALSE(sheet.isCellLocked(4, 1));
    EXPECT_EQ(sheet.cell(4, 1), CellValue::text("OMG this field is unprotected!"));
    EXPECT_TRUE(sheet.isCellLocked(1, 1));
}

TEST(RealFiles, HiddenSheetsCountAndChartSheetsDoNot) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const auto reader =
        sbx::xls::WorkbookReader::open(kShared / "excel2016_visible_hidden_veryhidden_chart_vba.xls");
    ASSERT_EQ(reader.worksheets().size(), 3u);
    EXPECT_EQ(reader.worksheets()[1].visibility, sbx::xls::SheetVisibility::Hidden);
    EXPECT_EQ(reader.worksheets()[2].visibility, sbx::xls::SheetVisibility::VeryHidden);
}

TEST(RealFiles, SameSerialsIn1900And1904WorkbooksAre1462DaysApart) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& s1900 = host.open(kShared / "family_dates_1900_macexcel2016.xls").worksheet(1);
    auto& s1904 = host.open(kShared / "family_dates_1904_macexcel2016.xls").worksheet(1);
    int dates = 0;
    s1900.forEachValue({}, [&](int row, int col, const CellValue& v) {
        const CellValue other = s1904.cell(row, col);
        ASSERT_EQ(v.kind(), other.kind()) << row << "," << col;
        if (v.kind() == CellKind::Date) {
            EXPECT_DOUBLE_EQ(other.numberValue() - v.numberValue(), 1462.0);
            ++dates;
        }
    });
    EXPECT_GT(dates, 0);
}

TEST(RealFiles, ForEachValueAgreesWithCellByCellReading) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& sheet = host.open(kShared / "excel2003_zh_income_statement_sst_continue.xls").worksheet(1);
    const sbx::CellArea area{3, 2, 40, 6};
    int visited = 0;
    sheet.forEachValue(area, [&](int row, int col, const CellValue& v) {
        EXPECT_TRUE(row >= 3 && row <= 40 && col >= 2 && col <= 6);
        EXPECT_EQ(v, sheet.cell(row, col));
        ++visited;
    });
    int nonEmpty = 0;
    for (int r = 3; r <= 40; ++r) {
        for (int c = 2; c <= 6; ++c) nonEmpty += sheet.cell(r, c).isEmpty() ? 0 : 1;
    }
    EXPECT_EQ(visited, nonEmpty);
    EXPECT_GT(visited, 50);
}

TEST(RealFiles, WorksheetLookupByNameIgnoresLetterCase) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& book = host.open(kShared / "family_dpi_a_macexcel2016.xls");
    EXPECT_EQ(book.worksheet("sheet2").name(), "Sheet2");
    EXPECT_THROW(book.worksheet("Sheet 2"), sbx::WorkbookError);
    EXPECT_THROW(book.worksheet(3), sbx::WorkbookError);
}

}  // namespace
