// Excel 2.1-4.0 streams: what their cells read as is checked against xlrd by the golden dumps
// (tests/data/old_biff); here, damaged streams, what is only in a workbook's structure, and
// the refusal to write.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

#include "spreadsheet/consolidate_by_position.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/old_biff_reader.h"
#include "tests/biff_builder.h"

namespace fs = std::filesystem;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::test::BiffBuilder;
using sbx::test::cat;
using sbx::test::u16s;
using Bytes = std::vector<uint8_t>;

namespace {

const fs::path kOldBiff = fs::path(SBX_TEST_DATA) / "old_biff";

Bytes bof4(uint16_t type) { return u16s({0, type, 0x10D3}); }
Bytes label4(uint16_t row, uint16_t col, const std::string& text) {
    Bytes b = u16s({row, col, 0, static_cast<uint16_t>(text.size())});
    b.insert(b.end(), text.begin(), text.end());
    return b;
}
Bytes sheetHeader(uint32_t size, const std::string& name) {
    Bytes b{static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
            static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(name.size())};
    b.insert(b.end(), name.begin(), name.end());
    return b;
}

// A BIFF4 worksheet stream with one label.
Bytes worksheet4(const std::string& text, uint16_t type = 0x0010) {
    BiffBuilder b;
    b.record(0x0409, bof4(type)).record(0x0204, label4(0, 0, text)).record(0x000A, {});
    return b.bytes();
}

// An Excel 4.0 workbook: globals, and each (name, stream) behind a SHEETHDR record.
Bytes workbook4(const std::vector<std::pair<std::string, Bytes>>& sheets, bool withEof = true) {
    BiffBuilder b;
    b.record(0x0409, bof4(0x0100));
    for (const auto& [name, stream] : sheets) {
        b.record(0x008F, sheetHeader(static_cast<uint32_t>(stream.size()), name));
        b.bytes().insert(b.bytes().end(), stream.begin(), stream.end());
    }
    if (withEof) b.record(0x000A, {});
    return b.bytes();
}

std::optional<WorkbookError> readError(Bytes bytes) {
    try {
        sbx::NativeHost host;
        auto& book = host.adopt(sbx::xls::WorkbookReader::fromBytes(std::move(bytes), "old.xls"));
        for (int i = 1; i <= book.worksheetCount(); ++i) book.worksheet(i).lastValueCell();
    } catch (const WorkbookError& e) {
        return e;
    }
    return std::nullopt;
}

struct BadStream {
    const char* what;
    Bytes bytes;
    WorkbookErrorKind kind;
    const char* says;
};

std::vector<BadStream> badStreams() {
    auto biff4 = [](std::initializer_list<std::pair<uint16_t, Bytes>> records, bool eof = true) {
        BiffBuilder b;
        b.record(0x0409, bof4(0x0010));
        for (const auto& [type, body] : records) b.record(type, body);
        if (eof) b.record(0x000A, {});
        return b.bytes();
    };
    Bytes cutHeader = biff4({});
    cutHeader.resize(cutHeader.size() - 2);
    Bytes cutBody = biff4({{0x0203, cat({u16s({0, 0, 0}), Bytes(8, 0)})}}, false);
    cutBody.resize(cutBody.size() - 3);
    Bytes longLabel = label4(0, 0, "abc");
    longLabel[6] = 40;  // says 40 bytes, holds 3
    BiffBuilder biff2Short;
    biff2Short.record(0x0009, {0x07, 0x00, 0x10});
    BiffBuilder workspace3;
    workspace3.record(0x0209, u16s({0, 0x0100, 0})).record(0x000A, {});
    BiffBuilder biff2Integer;
    biff2Integer.record(0x0009, u16s({7, 0x0010})).record(0x0002, {0, 0, 0, 0, 0x40, 0, 0, 5}).record(0x000A, {});
    Bytes noSheetEof = worksheet4("x");
    noSheetEof.resize(noSheetEof.size() - 4);
    return {
        {"record header cut off", cutHeader, WorkbookErrorKind::Truncated, "ends inside a record header"},
        {"record body cut off", cutBody, WorkbookErrorKind::Truncated, "ends inside record 0x0203"},
        {"no EOF record", biff4({{0x0201, u16s({0, 0, 0})}}, false), WorkbookErrorKind::Truncated,
         "without an EOF record"},
        {"label longer than its record", biff4({{0x0204, longLabel}}), WorkbookErrorKind::Corrupt,
         "shorter than its contents require"},
        {"NUMBER without its value", biff4({{0x0203, u16s({0, 0, 0, 1})}}), WorkbookErrorKind::Corrupt,
         "shorter than its contents require"},
        {"BIFF2 INTEGER cut short", biff2Integer.bytes(), WorkbookErrorKind::Corrupt,
         "shorter than its contents require"},
        {"FORMULA without its result", biff4({{0x0406, u16s({0, 0, 0, 0, 0})}}), WorkbookErrorKind::Corrupt,
         "shorter than its contents require"},
        {"BOF record too short", biff2Short.bytes(), WorkbookErrorKind::Corrupt, "BOF record is too short"},
        {"encrypted", biff4({{0x002F, u16s({1, 2})}}), WorkbookErrorKind::Encrypted, "encrypted with a password"},
        {"a chart file", worksheet4("c", 0x0020), WorkbookErrorKind::WrongFormat, "Excel 4.0 chart"},
        {"a macro sheet", worksheet4("m", 0x0040), WorkbookErrorKind::WrongFormat, "macro sheet"},
        {"an Excel 3.0 workspace", workspace3.bytes(), WorkbookErrorKind::WrongFormat, "workspace"},
        {"workbook without EOF", workbook4({{"A", worksheet4("a")}}, false), WorkbookErrorKind::Truncated,
         "workbook globals end without an EOF record"},
        {"worksheet cut short in a workbook", workbook4({{"Cut", noSheetEof}}), WorkbookErrorKind::Truncated,
         "worksheet \"Cut\": the worksheet ends without an EOF record"},
        {"SHEETHDR size beyond the file",
         [] {
             BiffBuilder b;
             b.record(0x0409, bof4(0x0100)).record(0x008F, sheetHeader(5000, "Far"));
             return b.bytes();
         }(),
         WorkbookErrorKind::Truncated, "worksheet \"Far\" runs 5000 bytes"},
        {"worksheet in a workbook not starting with BOF",
         workbook4({{"Odd", [] {
                         BiffBuilder b;
                         b.record(0x0204, label4(0, 0, "x")).record(0x000A, {});
                         return b.bytes();
                     }()}}),
         WorkbookErrorKind::Corrupt, "does not start with an Excel 2.1-4.0 BOF record"},
    };
}

TEST(OldBiffDamage, EveryFaultIsAClearErrorNamingTheFile) {
    for (const BadStream& c : badStreams()) {
        const auto e = readError(c.bytes);
        ASSERT_TRUE(e.has_value()) << c.what << ": read without complaint";
        EXPECT_EQ(e->kind(), c.kind) << c.what << ": " << e->what();
        EXPECT_NE(e->reason().find(c.says), std::string::npos) << c.what << ": " << e->what();
        EXPECT_NE(std::string(e->what()).find("old.xls"), std::string::npos) << c.what << ": " << e->what();
    }
}

TEST(OldBiffDamage, EveryCutOfAFileIsAnError) {
    // The EOF record comes last, so no cut reads as a complete file.
    for (const char* name : {"biff2_cells.xls", "biff4w_two_sheets.xls"}) {
        const auto reader = sbx::xls::WorkbookReader::open(kOldBiff / name);
        const Bytes whole(reader.workbookStream().begin(), reader.workbookStream().end());
        for (size_t size = 0; size < whole.size(); ++size) {
            const auto e = readError(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
            EXPECT_TRUE(e.has_value()) << name << " cut to " << size << " bytes read without complaint";
        }
    }
}

TEST(OldBiffWorkbook, KeepsWorksheetsInOrderAndLeavesChartsOut) {
    auto reader = sbx::xls::WorkbookReader::fromBytes(
        workbook4({{"First", worksheet4("one")}, {"Chart", worksheet4("", 0x0020)}, {"Second", worksheet4("two")}}),
        "book.xlw");
    sbx::NativeHost host;
    auto& book = host.adopt(std::move(reader));
    ASSERT_EQ(book.worksheetCount(), 2);
    EXPECT_EQ(book.worksheet(1).name(), "First");
    EXPECT_EQ(book.worksheet(2).name(), "Second");
    EXPECT_EQ(book.worksheet("second").cell(1, 1), sbx::CellValue::text("two"));
}

TEST(OldBiffWriting, RefusedWithTheReadOnlyMessage) {
    for (const char* name : {"biff2_cells.xls", "biff3_cyrillic_1904.xls", "biff4_chinese_cp936.xls",
                             "biff4w_two_sheets.xls"}) {
        sbx::NativeHost host;
        auto& book = host.open(kOldBiff / name);
        try {
            book.worksheet(1).setCell(1, 1, sbx::CellValue::number(1));
            ADD_FAILURE() << name << " took a write";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), WorkbookErrorKind::WriteUnsupported) << name;
            EXPECT_EQ(e.reason(), "Excel 2.1-4.0 workbooks are read only; save the template in a newer format");
            EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
        }
        EXPECT_FALSE(book.isModified()) << name;
    }
}

// Old files as consolidation sources into a newer template: the sums of what xlrd read
// (the goldens), position by position.
TEST(OldBiffSources, ConsolidateIntoANewerTemplate) {
    const fs::path scratch = fs::temp_directory_path() / ("sbx_old_biff_" + std::to_string(std::random_device()()));
    fs::create_directories(scratch);
    const fs::path target = scratch / "total.xls";
    fs::copy_file(fs::path(SBX_TEST_DATA) / "fixtures" / "all_cell_kinds.xls", target);
    struct Source {
        const char* file;
        const char* sheet;
        int sheetIndex;
    };
    const Source sources[] = {{"biff3_cyrillic_1904.xls", "Sheet1", 1},
                              {"biff4_chinese_cp936.xls", "Sheet1", 1},
                              {"biff4w_two_sheets.xls", "Summary", 1},
                              {"biff2_cells.xls", "Sheet1", 1}};
    std::vector<sbx::SourceArea> references;
    std::vector<double> expected(5, 0.0);
    for (const Source& s : sources) {
        fs::copy_file(kOldBiff / s.file, scratch / s.file);
        references.push_back({scratch / s.file, s.sheet, sbx::CellArea{2, 1, 2, 5}});
        const fs::path golden = fs::path(SBX_TEST_DATA) / "golden" / fs::path(s.file).stem() /
                                (std::to_string(s.sheetIndex) + ".tsv");
        std::ifstream in(golden);
        std::string line;
        std::getline(in, line);
        ASSERT_TRUE(std::getline(in, line)) << golden;
        std::istringstream fields(line);
        std::string field;
        for (size_t column = 0; column < expected.size() && std::getline(fields, field, '\t'); ++column) {
            char* end = nullptr;
            const double v = std::strtod(field.c_str(), &end);
            if (!field.empty() && *end == '\0') expected[column] += v;
        }
    }
    {
        sbx::NativeHost host;
        auto& book = host.open(target);
        consolidateByPosition(host, book.worksheet("Kinds"), {10, 1, 10, 5}, references);
        host.close(book, true);
    }
    sbx::NativeHost reread;
    auto& sheet = reread.open(target).worksheet("Kinds");
    for (int column = 1; column <= 5; ++column) {
        const auto v = sheet.cell(10, column);
        ASSERT_EQ(v.kind(), sbx::CellKind::Number) << "column " << column;
        EXPECT_DOUBLE_EQ(v.numberValue(), expected[static_cast<size_t>(column - 1)]) << "column " << column;
    }
    reread.quit();
    fs::remove_all(scratch);
}

}  // namespace
