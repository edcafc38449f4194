// The writer on layouts that matter: the shared string table across CONTINUE records,
// RK numbers, what a written cell becomes (typed numbers, dates, empties), formulas that
// lean on a replaced cell, row blocks, protection, and the all-or-nothing save.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <csignal>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "biff_builder.h"
#include "cli/set_command.h"
#include "spreadsheet/atomic_file.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/temporary_files.h"
#include "spreadsheet/typed_number.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/cell_records.h"
#include "spreadsheet/xls/shared_strings.h"
#include "spreadsheet/xls/sst_builder.h"
#include "spreadsheet/xls/text_encoding.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "spreadsheet/xls/workbook_writer.h"
#include "written_stream_check.h"
#include "tests/support/test_files.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;
using sbx::testing::TempFolder;
using sbx::testing::byteVectorOf;
using sbx::CellKind;
using sbx::CellValue;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::test::cat;
using sbx::test::le16;
using sbx::test::le32;
using sbx::test::put16;
using sbx::test::put32;
using sbx::test::putF64;
using sbx::test::u16s;
using sbx::test::Records;

namespace {

const fs::path kShared = SBX_SHARED_FIXTURES;

// ---- building small workbooks ------------------------------------------------------

std::vector<uint8_t> xf(uint16_t formatId) { return sbx::test::xfBody(formatId); }
std::vector<uint8_t> cellHeader(uint16_t row, uint16_t col, uint16_t xfIndex = 15) {
    return sbx::test::cellHeader(row, col, xfIndex);
}
std::vector<uint8_t> number(uint16_t row, uint16_t col, double v, uint16_t xfIndex = 15) {
    return sbx::test::numberBody(row, col, v, xfIndex);
}

constexpr uint16_t kTextXf = 16;  // format 49, "@"
constexpr uint16_t kDateXf = 17;  // format 14
constexpr uint16_t kPlainXf = 18; // General, not the default 15

// One worksheet "Sheet1"; 19 XF records: 0-15 General, then text, date, General.
std::vector<uint8_t> workbook(const Records& sheet, const Records& extraGlobals = {}) {
    Records globals;
    for (int i = 0; i < 16; ++i) globals.emplace_back(0x00E0, xf(0));
    globals.emplace_back(0x00E0, xf(49));
    globals.emplace_back(0x00E0, xf(14));
    globals.emplace_back(0x00E0, xf(0));
    globals.insert(globals.end(), extraGlobals.begin(), extraGlobals.end());
    Records records{{0x0200, std::vector<uint8_t>(14, 0)}};  // DIMENSIONS
    records.insert(records.end(), sheet.begin(), sheet.end());
    records.emplace_back(0x023E, std::vector<uint8_t>(18, 0));  // WINDOW2
    return sbx::test::oneSheetWorkbook(globals, records);
}

// Writes a built workbook to a file, applies `writes` through the host and saves.
struct Saved {
    TempFolder folder{"writer"};
    fs::path file;
};
std::unique_ptr<Saved> saveWith(const std::vector<uint8_t>& bytes,
                                const std::vector<std::tuple<int, int, CellValue>>& writes) {
    auto saved = std::make_unique<Saved>();
    saved->file = saved->folder.write("book.xls", bytes);
    sbx::NativeHost host;
    auto& book = host.open(saved->file);
    for (const auto& [r, c, v] : writes) book.worksheet(1).setCell(r, c, v);
    host.close(book, true);
    return saved;
}

struct StreamRecord {
    uint16_t type;
    size_t offset;
    std::vector<uint8_t> body;
};
std::vector<StreamRecord> recordsOf(std::span<const uint8_t> s) {
    std::vector<StreamRecord> out;
    for (size_t pos = 0; pos + 4 <= s.size();) {
        const size_t n = le16(s.data() + pos + 2);
        out.push_back({le16(s.data() + pos), pos, std::vector<uint8_t>(s.begin() + static_cast<long>(pos + 4),
                                                                       s.begin() + static_cast<long>(pos + 4 + n))});
        pos += 4 + n;
    }
    return out;
}

// ---- shared strings -----------------------------------------------------------------

std::u16string repeated(std::u16string_view unit, size_t times) {
    std::u16string s;
    for (size_t i = 0; i < times; ++i) s += unit;
    return s;
}

TEST(SstBuilder, LongTablesSplitIntoRecordsThatReadBackWithAnExactIndex) {
    auto table = sbx::xls::SstBuilder::parse({});
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) texts.push_back("item " + std::to_string(i));
    texts.push_back(std::string(9000, 'x'));                                 // longer than one record, 8-bit
    texts.push_back(sbx::xls::utf16ToUtf8(repeated(u"合计", 5000)));            // 20000 bytes of 16-bit characters
    texts.push_back(sbx::xls::utf16ToUtf8(u"abc" + repeated(u"é", 9000)));   // 8-bit (Latin-1) but long
    for (const auto& t : texts) table.indexOf(t);
    EXPECT_EQ(table.indexOf("item 7"), 7u) << "a text already in the table is not added again";

    sbx::xls::BiffOutput out;
    out.u32(0);  // something before the table, so positions are not relative by chance
    table.writeSst(out, 1000);
    const size_t extSstAt = out.size();
    table.writeExtSst(out);

    const auto records = recordsOf(std::span<const uint8_t>(out.bytes()).subspan(4));
    std::vector<std::span<const uint8_t>> segments;
    for (const auto& r : records) {
        EXPECT_LE(r.body.size(), 8224u);
        if (r.type == 0x00FC || r.type == 0x003C) segments.push_back(r.body);
    }
    ASSERT_GT(segments.size(), 3u);
    EXPECT_EQ(sbx::xls::readSharedStrings(segments), texts);

    // EXTSST: every bucket's first string starts at the stated position, and the stated
    // offset from its record's header leads back to an SST or CONTINUE header.
    const uint8_t* ext = out.bytes().data() + extSstAt + 4;
    const uint16_t perBucket = le16(ext);
    const size_t buckets = (le16(out.bytes().data() + extSstAt + 2) - 2) / 8;
    EXPECT_EQ(buckets, (texts.size() + perBucket - 1) / perBucket);
    for (size_t k = 0; k < buckets; ++k) {
        const size_t at = le32(ext + 2 + 8 * k) - 1000;
        const size_t header = at - le16(ext + 6 + 8 * k);
        const uint16_t type = le16(out.bytes().data() + header);
        EXPECT_TRUE(type == 0x00FC || type == 0x003C);
        const auto expected = sbx::xls::utf8ToUtf16(texts[k * perBucket]).size();
        EXPECT_EQ(le16(out.bytes().data() + at), expected) << "bucket " << k;
    }
}

TEST(SstBuilder, FormattingRunsAndPhoneticBlocksAreKeptAndNotReusedForPlainText) {
    std::vector<uint8_t> sst;
    put32(sst, 2);
    put32(sst, 1);
    sst = cat({sst, u16s({3}), {0x0C}, u16s({2}), {6, 0, 0, 0}, {'a', 'b', 'c'}, {1, 0, 2, 0, 2, 0, 3, 0},
               {9, 8, 7, 6, 5, 4}});
    auto table = sbx::xls::SstBuilder::parse({sst});
    EXPECT_EQ(table.indexOf("abc"), 1u) << "the rich \"abc\" keeps its formatting; plain text gets its own entry";
    sbx::xls::BiffOutput out;
    table.writeSst(out, 0);
    const std::vector<uint8_t> body(out.bytes().begin() + 4, out.bytes().end());
    const std::vector<uint8_t> rich(sst.begin() + 8, sst.end());
    EXPECT_TRUE(std::search(body.begin(), body.end(), rich.begin(), rich.end()) != body.end());
    EXPECT_EQ(le32(body.data() + 4), 2u) << "two different entries";
}

// ---- numbers ------------------------------------------------------------------------

double decodeRk(uint32_t rk) {
    double v = (rk & 2) ? static_cast<double>(static_cast<int32_t>(rk) >> 2)
                        : std::bit_cast<double>(static_cast<uint64_t>(rk & ~3u) << 32);
    return (rk & 1) ? v / 100 : v;
}

TEST(CellRecords, RkOnlyWhereItHoldsTheNumberExactly) {
    for (double v : {0.0, 7.0, -3.0, 536870911.0, -536870912.0, 12.34, -0.07, 0.5, 1.5e10, 1e-3, 0.25}) {
        const auto rk = sbx::xls::exactRk(v);
        if (rk) {
            EXPECT_EQ(decodeRk(*rk), v) << v;
        }
    }
    EXPECT_TRUE(sbx::xls::exactRk(12.34));
    EXPECT_TRUE(sbx::xls::exactRk(7.0));
    EXPECT_FALSE(sbx::xls::exactRk(536870912.5));
    EXPECT_FALSE(sbx::xls::exactRk(0.1 + 0.2));
    EXPECT_FALSE(sbx::xls::exactRk(1e300));
    EXPECT_FALSE(sbx::xls::exactRk(std::nan("")));
    EXPECT_EQ(le16(sbx::xls::numberRecord(0, 0, 15, 0.1 + 0.2).data()), 0x0203) << "NUMBER when RK would round";
}

TEST(TypedNumber, ReadsWhatTypingWouldTakeAsANumber) {
    EXPECT_EQ(sbx::parseTypedNumber("  -1,234.5e2 "), -123450.0);
    EXPECT_EQ(sbx::parseTypedNumber("+.5"), 0.5);
    EXPECT_EQ(sbx::parseTypedNumber("1,234,567"), 1234567.0);
    EXPECT_EQ(sbx::parseTypedNumber("007"), 7.0);
    EXPECT_EQ(sbx::parseTypedNumber("3."), 3.0);
    for (const char* text : {"", " ", ".", "-", "1,23", "1234,567", ",123", "12a", "1e", "1.2.3", "1 2", "0x10", "inf", "nan", "1e999"}) {
        EXPECT_FALSE(sbx::parseTypedNumber(text)) << text;
    }
}

// ---- what a written cell becomes ----------------------------------------------------

TEST(WrittenCells, TypedNumbersDatesAndEmptiesFollowTheCellFormat) {
    const auto bytes = workbook({{0x0203, number(0, 0, 1, kTextXf)},
                                 {0x0203, number(1, 0, 2, kPlainXf)},
                                 {0x0203, number(2, 0, 3)},
                                 {0x0203, number(3, 0, 4)},
                                 {0x0203, number(4, 0, 40000, kDateXf)}});
    const auto saved = saveWith(bytes, {{1, 1, CellValue::text("12.5")},  // Text format: stays text
                                        {1, 2, CellValue::text(" 1,250 ")},
                                        {2, 1, CellValue()},              // keeps its format
                                        {3, 1, CellValue()},              // default format: gone
                                        {4, 1, CellValue::date(45000.5)},
                                        {5, 1, CellValue::date(45001)}});
    sbx::NativeHost host;
    auto& book = host.open(saved->file);
    auto& sheet = book.worksheet(1);
    EXPECT_EQ(sheet.cell(1, 1), CellValue::text("12.5"));
    EXPECT_EQ(sheet.cell(1, 2), CellValue::number(1250));
    EXPECT_EQ(sheet.cell(4, 1), CellValue::date(45000.5));
    EXPECT_EQ(sheet.cell(5, 1), CellValue::date(45001));

    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    const auto& cells = reader.cells(0);
    ASSERT_NE(cells.find(1, 0), nullptr);
    EXPECT_EQ(cells.find(1, 0)->kind, sbx::xls::StoredKind::Blank);
    EXPECT_EQ(cells.find(1, 0)->xf, kPlainXf);
    EXPECT_EQ(cells.find(2, 0), nullptr);
    const uint16_t dateXf = cells.find(3, 0)->xf;
    EXPECT_GT(dateXf, kPlainXf) << "a new format, copied from the cell's own, with a date";
    EXPECT_EQ(reader.format(dateXf).formatId, 14);
    EXPECT_EQ(cells.find(4, 0)->xf, kDateXf) << "a date cell keeps its format";
    EXPECT_EQ(sbx::test::checkWrittenStream(reader.workbookStream()), "");
}

// A custom format whose code is "@" is a text format like the built-in one; a code with an
// "@" section among others only shows text and lets typed numbers be numbers.
TEST(WrittenCells, ACustomTextFormatKeepsTypedNumbersAsText) {
    auto format = [](uint16_t id, const std::string& code) { return cat({u16s({id}), sbx::test::latin1String(code)}); };
    const Records globals = {{0x041E, format(164, " @ ")}, {0x00E0, xf(164)},       // XF 19
                             {0x041E, format(165, "0;-0;0;@")}, {0x00E0, xf(165)}}; // XF 20
    const auto bytes = workbook({{0x0203, number(0, 0, 1, 19)}, {0x0203, number(1, 0, 2, 20)}}, globals);
    const auto saved = saveWith(bytes, {{1, 1, CellValue::text("0123")}, {2, 1, CellValue::text("0123")}});
    sbx::NativeHost host;
    auto& sheet = host.open(saved->file).worksheet(1);
    EXPECT_EQ(sheet.cell(1, 1), CellValue::text("0123"));
    EXPECT_EQ(sheet.cell(2, 1), CellValue::number(123));
}

TEST(WrittenCells, NumbersInA1904WorkbookAreStoredInItsDateSystem) {
    const auto bytes = workbook({{0x0203, number(0, 0, 1, kDateXf)}}, {{0x0022, u16s({1})}});
    const auto saved = saveWith(bytes, {{1, 1, CellValue::date(45000)}});
    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    EXPECT_EQ(reader.cells(0).find(0, 0)->number, 45000 - sbx::kDate1904Offset);
}

TEST(WrittenCells, ManyRowsMakeBlocksOf32RowsWithIndexAndDimensions) {
    Records sheet;
    sheet.push_back({0x020B, std::vector<uint8_t>(16, 0)});
    sheet.push_back({0x0055, u16s({8})});
    const auto bytes = workbook(sheet);
    std::vector<std::tuple<int, int, CellValue>> writes;
    for (int r = 1; r <= 100; ++r) writes.emplace_back(r * 3, 2 + r % 5, CellValue::number(r));
    const auto saved = saveWith(bytes, writes);
    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    EXPECT_EQ(sbx::test::checkWrittenStream(reader.workbookStream()), "");
    const auto records = recordsOf(reader.workbookStream());
    size_t dbCells = 0, rows = 0;
    for (const auto& r : records) {
        dbCells += r.type == 0x00D7;
        rows += r.type == 0x0208;
        if (r.type == 0x0200) {
            // Rows 3..300 and columns B..F, counted from 0, each end one past.
            EXPECT_EQ(le32(r.body.data()), 2u);
            EXPECT_EQ(le32(r.body.data() + 4), 300u);
            EXPECT_EQ(le16(r.body.data() + 8), 1u);
            EXPECT_EQ(le16(r.body.data() + 10), 6u);
        }
        if (r.type == 0x020B) {
            EXPECT_EQ(r.body.size(), 16u + 4 * 10);
        }
    }
    EXPECT_EQ(rows, 100u);
    EXPECT_EQ(dbCells, 10u) << "rows 3..300 fall into blocks 0..9 of 32 rows";
    sbx::NativeHost host;
    auto& book = host.open(saved->file);
    for (int r = 1; r <= 100; ++r) EXPECT_EQ(book.worksheet(1).cell(r * 3, 2 + r % 5), CellValue::number(r));
}

TEST(WrittenCells, AWriteInsideAMulrkRunSplitsItAndKeepsItsNeighbours) {
    std::vector<uint8_t> mulrk = u16s({0, 1});
    for (uint32_t v : {10u, 20u, 30u}) {
        put16(mulrk, 15);
        put32(mulrk, (v << 2) | 2);
    }
    put16(mulrk, 3);
    const auto saved = saveWith(workbook({{0x00BD, mulrk}}), {{1, 3, CellValue::text("mid")}});
    sbx::NativeHost host;
    auto& sheet = host.open(saved->file).worksheet(1);
    EXPECT_EQ(sheet.cell(1, 2), CellValue::number(10));
    EXPECT_EQ(sheet.cell(1, 3), CellValue::text("mid"));
    EXPECT_EQ(sheet.cell(1, 4), CellValue::number(30));
}

// ---- formulas that lean on a replaced cell -------------------------------------------

// A FORMULA body with a cached number and the given tokens.
std::vector<uint8_t> formula(uint16_t row, uint16_t col, double cached, const std::vector<uint8_t>& tokens, uint16_t flags = 0) {
    auto b = number(row, col, cached);
    put16(b, flags);
    put32(b, 0);
    put16(b, static_cast<uint16_t>(tokens.size()));
    b.insert(b.end(), tokens.begin(), tokens.end());
    return b;
}
std::vector<uint8_t> ptgExp(uint16_t row, uint16_t col) { return cat({{0x01}, u16s({row, col})}); }

TEST(FormulaAnchors, CellsOfASharedFormulaGetTheirOwnWhenItsFirstCellIsWritten) {
    // C1:C3 = B1..B3 * 2 as one shared formula anchored in C1: ptgRefN (row +0, column -1).
    const std::vector<uint8_t> shared = cat({{0x2C}, u16s({0x0000, 0xC0FF}), {0x1E}, u16s({2}), {0x05}});
    const auto shrfmla = cat({u16s({0, 2}), {2, 2, 0, 3}, u16s({static_cast<uint16_t>(shared.size())}), shared});
    Records sheet;
    for (uint16_t r = 0; r < 3; ++r) sheet.push_back({0x0203, number(r, 1, r + 1.0)});
    sheet.push_back({0x0006, formula(0, 2, 2, ptgExp(0, 2), 0x0008)});
    sheet.push_back({0x04BC, shrfmla});
    sheet.push_back({0x0006, formula(1, 2, 4, ptgExp(0, 2), 0x0008)});
    sheet.push_back({0x0006, formula(2, 2, 6, ptgExp(0, 2), 0x0008)});
    const auto saved = saveWith(workbook(sheet), {{1, 3, CellValue::number(99)}});

    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    int formulas = 0;
    for (const auto& r : recordsOf(reader.workbookStream())) {
        EXPECT_NE(r.type, 0x04BC) << "no SHRFMLA without its first cell";
        if (r.type != 0x0006) continue;
        ++formulas;
        const uint16_t row = le16(r.body.data());
        EXPECT_EQ(le16(r.body.data() + 14) & 0x0008, 0) << "no longer shared";
        ASSERT_EQ(le16(r.body.data() + 20), shared.size());
        EXPECT_EQ(r.body[22], 0x24) << "ptgRef";
        EXPECT_EQ(le16(r.body.data() + 23), row) << "the same row";
        EXPECT_EQ(le16(r.body.data() + 25), 0xC001) << "column B, both relative";
    }
    EXPECT_EQ(formulas, 2);
    sbx::NativeHost host;
    auto& s = host.open(saved->file).worksheet(1);
    EXPECT_EQ(s.cell(1, 3), CellValue::number(99));
    EXPECT_EQ(s.cell(2, 3), CellValue::number(4));
    EXPECT_EQ(s.cell(3, 3), CellValue::number(6));
}

// An array formula over more than one cell is changed whole or not at all, as in the
// spreadsheet application; one of a single cell is replaced like any formula.
TEST(FormulaAnchors, ArrayFormulasOfSeveralCellsRefuseWritesAndThoseOfOneCellTakeThem) {
    const std::vector<uint8_t> tokens = {0x1E, 1, 0};
    auto arrayOver = [&](uint16_t lastRow) {
        return cat({u16s({0, lastRow}), {2, 2}, u16s({0}), {0, 0, 0, 0}, u16s({3}), tokens});
    };
    Records twoCells;
    twoCells.push_back({0x0006, formula(0, 2, 1, ptgExp(0, 2))});
    twoCells.push_back({0x0221, arrayOver(1)});
    twoCells.push_back({0x0006, formula(1, 2, 1, ptgExp(0, 2))});
    for (const int row : {1, 2}) {
        try {
            saveWith(workbook(twoCells), {{row, 3, CellValue::text("x")}});
            ADD_FAILURE() << "row " << row << " took the write";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), WorkbookErrorKind::CellInArray);
        }
    }

    const auto saved = saveWith(workbook({{0x0006, formula(0, 2, 1, ptgExp(0, 2))}, {0x0221, arrayOver(0)}}),
                                {{1, 3, CellValue::text("x")}});
    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    for (const auto& r : recordsOf(reader.workbookStream())) {
        EXPECT_NE(r.type, 0x0006);
        EXPECT_NE(r.type, 0x0221);
    }
    sbx::NativeHost host;
    EXPECT_EQ(host.open(saved->file).worksheet(1).cell(1, 3), CellValue::text("x"));
}

TEST(FormulaAnchors, AFormulaWithATextResultGoesWithItsStringRecord) {
    auto f = cellHeader(0, 0);
    f.insert(f.end(), {0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0});
    const auto saved = saveWith(workbook({{0x0006, f}, {0x0207, cat({u16s({2}), {0, 'h', 'i'}})}}),
                                {{1, 1, CellValue::number(3)}, {1, 2, CellValue::boolean(true)}});
    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    for (const auto& r : recordsOf(reader.workbookStream())) EXPECT_NE(r.type, 0x0207);
    sbx::NativeHost host;
    auto& s = host.open(saved->file).worksheet(1);
    EXPECT_EQ(s.cell(1, 1), CellValue::number(3));
    EXPECT_EQ(s.cell(1, 2), CellValue::boolean(true));
}

// ---- recalculation, protection, encryption --------------------------------------------

TEST(SavedWorkbooks, AskForRecalculationOnOpening) {
    const auto saved = saveWith(workbook({}), {{1, 1, CellValue::number(1)}});
    const auto reader = sbx::xls::WorkbookReader::open(saved->file);
    int recalcIds = 0;
    for (const auto& r : recordsOf(reader.workbookStream())) {
        if (r.type != 0x01C1) continue;
        ++recalcIds;
        EXPECT_EQ(le32(r.body.data() + 4), 0u) << "engine 0 is older than every application's";
    }
    EXPECT_EQ(recalcIds, 1);
}

// A dual-stream file (Excel 95 "Book" beside the "Workbook" stream) loses the Excel 95 copy,
// which would still hold the old values; the other streams stay.
TEST(SavedWorkbooks, DropTheStaleExcel95CopyOfADualStreamFile) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "gnumeric_zh_balance_sheet_dual_stream.xls");
    const auto before = sbx::xls::CompoundFile::parse(byteVectorOf(file));
    ASSERT_NE(before.root().child(u"Book"), nullptr);
    {
        sbx::NativeHost host;
        auto& book = host.open(file);
        book.worksheet(1).setCell(5, 3, CellValue::number(4321));
        host.close(book, true);
    }
    const auto after = sbx::xls::CompoundFile::parse(byteVectorOf(file));
    EXPECT_EQ(after.root().child(u"Book"), nullptr);
    ASSERT_NE(after.root().child(u"Workbook"), nullptr);
    EXPECT_EQ(after.root().children.size(), before.root().children.size() - 1);
    sbx::NativeHost host;
    EXPECT_EQ(host.open(file).worksheet(1).cell(5, 3), CellValue::number(4321));
}

// Finds a cell of a protected sheet with the given lock state within A1:Z60.
std::pair<int, int> findCell(sbx::Worksheet& sheet, bool locked) {
    for (int r = 1; r <= 60; ++r) {
        for (int c = 1; c <= 26; ++c) {
            if (sheet.isCellLocked(r, c) == locked) return {r, c};
        }
    }
    return {0, 0};
}

TEST(Protection, UnlockedCellsTakeWritesAndLockedCellsChangeNothing) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const char* name : {"macexcel2008_protected_sheet_unlocked_cell.xls", "excel2000_ko_protected_sheets_vba.xls"}) {
        SCOPED_TRACE(name);
        TempFolder temp{"writer"};
        const fs::path file = temp.copy(kShared / name);
        const auto original = byteVectorOf(file);
        sbx::NativeHost host;
        auto* book = &host.open(file);
        int sheetIndex = 1;
        while (sheetIndex < book->worksheetCount() && !book->worksheet(sheetIndex).isProtected()) ++sheetIndex;
        auto* sheet = &book->worksheet(sheetIndex);
        ASSERT_TRUE(sheet->isProtected());
        const auto [lockedRow, lockedColumn] = findCell(*sheet, true);
        ASSERT_GT(lockedRow, 0);
        try {
            sheet->setCell(lockedRow, lockedColumn, CellValue::number(1));
            ADD_FAILURE() << "a locked cell took a write";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), WorkbookErrorKind::CellLocked);
        }
        host.close(*book, true);
        EXPECT_EQ(byteVectorOf(file), original) << "nothing written, nothing saved";

        book = &host.open(file);
        sheet = &book->worksheet(sheetIndex);
        const auto [row, column] = findCell(*sheet, false);
        ASSERT_GT(row, 0) << "the fixture has unlocked cells";
        sheet->setCell(row, column, CellValue::text("unlocked"));
        host.close(*book, true);

        const auto reader = sbx::xls::WorkbookReader::open(file);
        EXPECT_TRUE(reader.cells(static_cast<size_t>(sheetIndex - 1)).isProtected()) << "the sheet stays protected";
        auto& again = host.open(file);
        EXPECT_EQ(again.worksheet(sheetIndex).cell(row, column), CellValue::text("unlocked"));
        // The macro storage and document properties are carried over whole.
        const auto before = sbx::xls::CompoundFile::parse(original);
        for (const auto& child : before.root().children) {
            if (child.name == u"Workbook") continue;
            const auto* kept = reader.container().root().child(child.name);
            ASSERT_NE(kept, nullptr);
            EXPECT_EQ(kept->data, child.data);
            EXPECT_EQ(kept->children.size(), child.children.size());
        }
    }
}

TEST(Encryption, WorkbooksWithTheDefaultPasswordAreEncryptedAgain) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const char* name : {"encrypted_rc4_cryptoapi_default_password_excel2016.xls", "encrypted_rc4_default_password_excel2003.xls"}) {
        SCOPED_TRACE(name);
        TempFolder temp{"writer"};
        const fs::path file = temp.copy(kShared / name);
        const auto original = sbx::xls::CompoundFile::parse(byteVectorOf(file));
        sbx::NativeHost host;
        auto& book = host.open(file);
        int n = 1;  // the first sheet without protection
        while (n < book.worksheetCount() && book.worksheet(n).isProtected()) ++n;
        const auto before = book.worksheet(n).cell(1, 1);
        book.worksheet(n).setCell(2, 2, CellValue::number(123));
        book.worksheet(n).setCell(3, 2, CellValue::text("加密"));
        host.close(book, true);

        // Encrypted on disk: the plain text of the new string is nowhere in the stream.
        const auto saved = sbx::xls::CompoundFile::parse(byteVectorOf(file));
        const auto& raw = saved.root().child(u"Workbook")->data;
        const std::vector<uint8_t> plain = {0xA0, 0x52, 0xC6, 0x5B};  // 加密 in UTF-16LE
        EXPECT_EQ(std::search(raw.begin(), raw.end(), plain.begin(), plain.end()), raw.end());
        EXPECT_EQ(recordsOf(raw).at(1).body, recordsOf(original.root().child(u"Workbook")->data).at(1).body)
            << "the same FILEPASS record right after BOF";

        const auto reader = sbx::xls::WorkbookReader::open(file);
        EXPECT_TRUE(reader.wasEncrypted());
        EXPECT_EQ(sbx::test::checkWrittenStream(reader.workbookStream()), "");
        auto& again = host.open(file);
        EXPECT_EQ(again.worksheet(n).cell(2, 2), CellValue::number(123));
        EXPECT_EQ(again.worksheet(n).cell(3, 2), CellValue::text("加密"));
        EXPECT_EQ(again.worksheet(n).cell(1, 1), before);
    }
}

// ---- saving all or nothing ------------------------------------------------------------

struct FailingSave {
    TempFolder temp{"writer"};
    fs::path file;
    std::vector<uint8_t> original;
    sbx::NativeHost host;
    sbx::NativeWorkbook* book = nullptr;

    FailingSave() {
        file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
        original = byteVectorOf(file);
        book = &static_cast<sbx::NativeWorkbook&>(host.open(file));
        book->worksheet(1).setCell(1, 1, CellValue::number(5));
    }
    // Saves with `steps`; returns the error.
    WorkbookError save(const sbx::FileWriteSteps& steps) {
        try {
            sbx::xls::saveWorkbook(book->reader(), book->edits(), file, steps);
        } catch (const WorkbookError& e) {
            return e;
        }
        ADD_FAILURE() << "the save did not fail";
        return WorkbookError(WorkbookErrorKind::Corrupt, {}, "");
    }
    void expectOldFileAlone() {
        EXPECT_EQ(byteVectorOf(file), original);
        EXPECT_EQ(temp.entries(), 1u) << "no temporary file is left behind";
    }
};

TEST(AtomicSave, AWriteFailingHalfWayLeavesTheOldFileAndNoTemporaryFile) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    FailingSave s;
    auto steps = sbx::FileWriteSteps::system();
    size_t written = 0;
    steps.write = [&, systemWrite = steps.write](int fd, const uint8_t* data, size_t size) -> long {
        if (written > 0) {
            errno = ENOSPC;
            return -1;
        }
        const long n = systemWrite(fd, data, size / 2);  // half of it, then the disk is full
        written += static_cast<size_t>(n);
        return n;
    };
    const auto e = s.save(steps);
    EXPECT_EQ(e.kind(), WorkbookErrorKind::Unwritable);
    EXPECT_EQ(e.file(), s.file);
    EXPECT_NE(e.reason().find(std::strerror(ENOSPC)), std::string::npos) << e.reason();
    EXPECT_GT(written, 0u);
    s.expectOldFileAlone();
}

TEST(AtomicSave, AFailedFlushOrRenameLeavesTheOldFile) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    {
        FailingSave s;
        auto steps = sbx::FileWriteSteps::system();
        steps.sync = [](int) { errno = EIO; return -1; };
        EXPECT_NE(s.save(steps).reason().find("flushed"), std::string::npos);
        s.expectOldFileAlone();
    }
    {
        FailingSave s;
        auto steps = sbx::FileWriteSteps::system();
        steps.rename = [](const fs::path&, const fs::path&) { errno = EXDEV; return -1; };
        EXPECT_NE(s.save(steps).reason().find(std::strerror(EXDEV)), std::string::npos);
        s.expectOldFileAlone();
    }
}

TEST(AtomicSave, AReadOnlyFileGivesAClearError) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    const auto original = byteVectorOf(file);
    sbx::NativeHost host;
    auto& book = host.open(file);
    book.worksheet(1).setCell(1, 1, CellValue::number(5));
    fs::permissions(file, fs::perms::owner_read);
    try {
        host.close(book, true);
        ADD_FAILURE() << "a read-only file was replaced";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::Unwritable);
        EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
    EXPECT_EQ(byteVectorOf(file), original);
}

TEST(AtomicSave, AReadOnlyFolderGivesAClearError) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows folders have no write permission bits to take away";
#else
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: folder permissions do not bind";
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    const auto original = byteVectorOf(file);
    sbx::NativeHost host;
    auto& again = host.open(file);
    again.worksheet(1).setCell(1, 1, CellValue::number(5));
    fs::permissions(temp.path(), fs::perms::owner_read | fs::perms::owner_exec);
    try {
        host.close(again, true);
        ADD_FAILURE() << "a file in a read-only folder was replaced";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::Unwritable);
        EXPECT_NE(e.reason().find(std::strerror(EACCES)), std::string::npos) << e.reason();
    }
    fs::permissions(temp.path(), fs::perms::owner_all);
    EXPECT_EQ(byteVectorOf(file), original);
#endif
}

TEST(AtomicSave, AMissingFolderIsNamedInTheError) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    sbx::NativeHost host;
    auto& book = static_cast<sbx::NativeWorkbook&>(host.open(file));
    book.worksheet(1).setCell(1, 1, CellValue::number(5));
    const fs::path elsewhere = temp.path() / "gone" / "book.xls";
    try {
        sbx::xls::saveWorkbook(book.reader(), book.edits(), elsewhere);
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.file(), elsewhere);
        EXPECT_NE(e.reason().find(std::strerror(ENOENT)), std::string::npos) << e.reason();
        EXPECT_EQ(e.systemError(), ENOENT);
    }
}

// The summary is saved while the run record is written beside it: a process stopped by a
// signal meanwhile leaves neither temporary file behind.
TEST(AtomicSave, ASignalRemovesEveryTemporaryFileBeingWritten) {
#ifdef _WIN32
    GTEST_SKIP() << "no fork() or signals on Windows (console events remove the files there)";
#else
    TempFolder temp{"signal"};
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sbx::removeTemporaryFilesOnSignals();
        sbx::FileReplacement summary(temp.path() / "total.xls");
        sbx::FileReplacement record(temp.path() / "total.xls.run.json");
        const std::string_view part = "half of it";
        summary.write(std::span(&part, 1));
        record.write(std::span(&part, 1));
        const char go = 1;
        (void)!::write(ready[1], &go, 1);
        ::pause();
        ::_exit(0);
    }
    char go = 0;
    ASSERT_EQ(::read(ready[0], &go, 1), 1);
    EXPECT_EQ(temp.entries(), 2u);  // both temporary files
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_EQ(temp.entries(), 0u);
    ::close(ready[0]);
    ::close(ready[1]);
#endif
}

// The system's refusal of the final rename (here: a folder stands at the file's name) comes
// through with its errno, and nothing of the new file stays behind.
TEST(AtomicSave, ARefusedRenameCarriesTheSystemError) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    sbx::NativeHost host;
    auto& book = static_cast<sbx::NativeWorkbook&>(host.open(file));
    book.worksheet(1).setCell(1, 1, CellValue::number(5));
    const fs::path folder = temp.path() / "total.xls";
    fs::create_directories(folder / "inside");
    try {
        sbx::xls::saveWorkbook(book.reader(), book.edits(), folder);
        ADD_FAILURE() << "saved over a folder";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::Unwritable);
        EXPECT_TRUE(e.systemError() == EISDIR || e.systemError() == ENOTEMPTY || e.systemError() == EEXIST)
            << e.systemError() << ": " << e.reason();
        EXPECT_NE(e.reason().find(std::strerror(e.systemError())), std::string::npos) << e.reason();
    }
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    EXPECT_EQ(temp.entries(), 2u) << "no temporary file left";
}

// A symbolic link at the target: followed when the user saves through it, replaced as itself
// when it may have been planted by someone else (the summary, the run record), so that the file
// it points to is never written.
TEST(AtomicSave, ALinkAtTheTargetIsFollowedOrReplacedAsAsked) {
#ifdef _WIN32
    GTEST_SKIP() << "on Windows only an administrator (or developer mode) makes symbolic links, and "
                    "MinGW's std::filesystem neither makes nor sees them";
#endif
    const struct {
        const char* name;
        sbx::LinkAtTarget link;
        bool dangling;
    } cases[] = {{"followed", sbx::LinkAtTarget::Follow, false},
                 {"replaced", sbx::LinkAtTarget::Replace, false},
                 {"replaced, pointing nowhere", sbx::LinkAtTarget::Replace, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder temp{"link-at-target"};
        const fs::path victim = temp.path() / "victim.txt", target = temp.path() / "total.xls.run.json";
        if (!c.dangling) sbx::testing::writeFile(victim, "someone else's file");
        fs::create_symlink(victim, target);
        const std::string_view text = "the new record";
        sbx::replaceFileAtomically(target, std::span(&text, 1), sbx::FileWriteSteps::system(), c.link);
        if (c.link == sbx::LinkAtTarget::Follow) {
            EXPECT_TRUE(fs::is_symlink(fs::symlink_status(target)));
            EXPECT_EQ(sbx::testing::bytesOf(victim), text);
        } else {
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target)));
            EXPECT_EQ(sbx::testing::bytesOf(target), text);
            EXPECT_EQ(fs::exists(victim), !c.dangling);
            if (!c.dangling) {
                EXPECT_EQ(sbx::testing::bytesOf(victim), "someone else's file");
            }
        }
        EXPECT_EQ(temp.entries(), c.dangling ? 1u : 2u) << "no temporary file left";
    }
}

// Flushing a copy made by other means: read-only copies too; a missing file says so.
TEST(AtomicSave, FlushingACopyWorksForReadOnlyFilesAndNamesAMissingOne) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path copy = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    EXPECT_EQ(sbx::flushFileToDisk(copy), 0);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(sbx::flushFileToDisk(copy), 0);
    EXPECT_EQ(sbx::flushFileToDisk(temp.path() / "missing.xls"), ENOENT);
}

// ---- the command line -------------------------------------------------------------------

TEST(SetCommand, WritesOneValueAndSaysWhyItCannot) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    TempFolder temp{"writer"};
    const fs::path file = temp.copy(kShared / "family_dpi_a_macexcel2016.xls");
    std::ostringstream err;
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "Sheet1", "c2", "3.25", err), 0);
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "sheet1", "D2", "TRUE", err), 0);
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "Sheet1", "a1", "", err), 0);
    EXPECT_EQ(err.str(), "");
    sbx::NativeHost host;
    auto& sheet = host.open(file).worksheet("Sheet1");
    EXPECT_EQ(sheet.cell(2, 3), CellValue::number(3.25));
    EXPECT_EQ(sheet.cell(2, 4), CellValue::boolean(true));
    EXPECT_EQ(sheet.cell(1, 1), CellValue());

    const auto before = byteVectorOf(file);
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "NoSuchSheet", "a1", "1", err), 2);
    EXPECT_NE(err.str().find("NoSuchSheet"), std::string::npos);
    EXPECT_EQ(sbx::cli::setCommand(file.string(), "Sheet1", "a0", "1", err), 2);
    EXPECT_NE(err.str().find("a0"), std::string::npos);
    EXPECT_EQ(byteVectorOf(file), before);
}

}  // namespace
