// Files that are not readable workbooks: each must end in a WorkbookError that names the
// file and says in plain words what is wrong, never in a crash, a hang or another exception.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <cstdlib>
#include <random>

#include "biff_builder.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/workbook_reader.h"
#include "tests/support/test_files.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;
using sbx::testing::byteVectorOf;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::xls::WorkbookReader;

namespace {

const fs::path kShared = SBX_SHARED_FIXTURES;

// Opens and reads every cell of every worksheet; returns the error, if any.
std::optional<WorkbookError> readAll(std::vector<uint8_t> bytes, const fs::path& name) {
    try {
        auto book = WorkbookReader::fromBytes(std::move(bytes), name);
        for (size_t i = 0; i < book.worksheets().size(); ++i) {
            const auto& sheet = book.cells(i);
            for (const auto& c : sheet.cells()) (void)book.valueOf(sheet, c);
        }
        return std::nullopt;
    } catch (const WorkbookError& e) {
        return e;
    }
}

struct BadFile {
    const char* file;
    WorkbookErrorKind kind;
    const char* says;
};

class SharedBadFile : public testing::TestWithParam<BadFile> {};

TEST_P(SharedBadFile, GivesAClearError) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const auto& c = GetParam();
    sbx::NativeHost host;
    try {
        host.open(kShared / c.file);
        FAIL() << c.file << " opened";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), c.kind) << e.what();
        EXPECT_NE(std::string(e.what()).find(c.file), std::string::npos) << "the message names the file: " << e.what();
        EXPECT_NE(e.reason().find(c.says), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, SharedBadFile, testing::Values(
    BadFile{"fake_html_from_excel2013.xls", WorkbookErrorKind::WrongFormat, "a web page (HTML)"},
    BadFile{"fake_xml2003_spreadsheet.xls", WorkbookErrorKind::WrongFormat, "an XML Spreadsheet 2003 file"},
    BadFile{"fake_tab_separated_text.xls", WorkbookErrorKind::WrongFormat, "a text file"},
    BadFile{"encrypted_rc4_password_password.xls", WorkbookErrorKind::Encrypted, "encrypted with a password"},
    BadFile{"encrypted_rc4_cryptoapi_password_11.xls", WorkbookErrorKind::Encrypted, "encrypted with a password"},
    BadFile{"encrypted_xor_password_abc.xls", WorkbookErrorKind::Encrypted, "encrypted with a password"}),
    [](const testing::TestParamInfo<BadFile>& p) { return "case" + std::to_string(p.index); });

// A file is read by what it holds, not by its name: an .xlsx workbook named .xls reads as
// the .xls workbook with the same data (expected values from xlrd's golden dump of that one).
TEST(RenamedFiles, AnXlsxNamedXlsReadsByItsContent) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& renamed = host.open(kShared / "fake_xlsx_renamed.xls");
    auto& original = host.open(kShared / "family_dates_1900_macexcel2016.xls");
    ASSERT_EQ(renamed.worksheetCount(), original.worksheetCount());
    int compared = 0;
    original.worksheet(1).forEachValue(sbx::CellArea{}, [&](int row, int column, const sbx::CellValue& v) {
        EXPECT_EQ(renamed.worksheet(1).cell(row, column), v) << "row " << row << " column " << column;
        ++compared;
    });
    EXPECT_GT(compared, 10);
}

TEST(DefaultPassword, WriteProtectedWorkbooksOpenWithoutAQuestion) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const char* file : {"encrypted_rc4_default_password_excel2003.xls",
                             "encrypted_rc4_cryptoapi_default_password_excel2016.xls"}) {
        const auto book = WorkbookReader::open(kShared / file);
        EXPECT_TRUE(book.wasEncrypted()) << file;
        EXPECT_GE(book.worksheets().size(), 1u) << file;
    }
}

TEST(MissingFiles, NotFoundAndFolders) {
    sbx::NativeHost host;
    try {
        host.open(fs::path(SBX_TEST_DATA) / "no_such_workbook.xls");
        FAIL();
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::FileNotFound);
    }
    try {
        host.open(fs::path(SBX_TEST_DATA));
        FAIL();
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::NotAFile);
        EXPECT_NE(e.reason().find("folder"), std::string::npos);
    }
}

TEST(SmallFiles, EmptyAndShortInputs) {
    EXPECT_EQ(readAll({}, "empty.xls")->kind(), WorkbookErrorKind::Truncated);
    EXPECT_EQ(readAll({0xD0, 0xCF, 0x11, 0xE0}, "short.xls")->kind(), WorkbookErrorKind::NotCompoundFile);
    EXPECT_EQ(readAll({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1, 0, 0}, "cut.xls")->kind(),
              WorkbookErrorKind::Truncated);
    const std::vector<uint8_t> noise{0x13, 0x88, 0x00, 0xFF, 0x01, 0x02, 0x00, 0x99};
    EXPECT_EQ(readAll(noise, "noise.xls")->kind(), WorkbookErrorKind::NotCompoundFile);
}

TEST(BrokenWorkbookStreams, ClearErrors) {
    using sbx::test::BiffBuilder;
    using sbx::test::u16s;
    auto expectError = [](BiffBuilder& b, WorkbookErrorKind kind, const char* says) {
        const auto e = readAll(b.container(), "broken.xls");
        ASSERT_TRUE(e.has_value()) << says;
        EXPECT_EQ(e->kind(), kind) << e->what();
        EXPECT_NE(e->reason().find(says), std::string::npos) << e->what();
    };
    BiffBuilder noBof;
    noBof.record(0x0042, u16s({1200}));
    expectError(noBof, WorkbookErrorKind::Corrupt, "does not start with a BOF record");

    BiffBuilder biff3;
    biff3.record(0x0209, u16s({0, 0x10}));
    expectError(biff3, WorkbookErrorKind::UnsupportedVersion, "older than Excel 95");

    BiffBuilder noEof;
    noEof.record(0x0809, u16s({0x0600, 0x0005, 0, 0, 0, 0, 0, 0}));
    expectError(noEof, WorkbookErrorKind::Truncated, "without an EOF record");

    BiffBuilder farSheet;
    farSheet.record(0x0809, u16s({0x0600, 0x0005, 0, 0, 0, 0, 0, 0}));
    farSheet.record(0x0085, {0xFF, 0xFF, 0, 0, 0, 0, 1, 0, 'S'});
    farSheet.record(0x000A, {});
    expectError(farSheet, WorkbookErrorKind::Corrupt, "beyond the end of the workbook stream");

    BiffBuilder cutRecord;
    cutRecord.record(0x0809, u16s({0x0600, 0x0005, 0, 0, 0, 0, 0, 0}));
    cutRecord.bytes().insert(cutRecord.bytes().end(), {0xFC, 0x00, 0x40, 0x00, 1, 2});
    expectError(cutRecord, WorkbookErrorKind::Truncated, "ends inside record 0x00FC");

    // A NUMBER record too short for its value.
    BiffBuilder shortCell;
    shortCell.record(0x0809, u16s({0x0600, 0x0005, 0, 0, 0, 0, 0, 0}));
    const auto sheetAt = static_cast<uint8_t>(shortCell.size() + 4 + 9 + 4);
    shortCell.record(0x0085, {sheetAt, 0, 0, 0, 0, 0, 1, 0, 'S'});
    shortCell.record(0x000A, {});
    shortCell.record(0x0809, u16s({0x0600, 0x0010, 0, 0, 0, 0, 0, 0}));
    shortCell.record(0x0203, u16s({0, 0, 15, 0}));
    shortCell.record(0x000A, {});
    expectError(shortCell, WorkbookErrorKind::Corrupt, "worksheet \"S\"");

    BiffBuilder wrongStream;
    wrongStream.record(0x0809, u16s({0x0600, 0x0005}));
    const auto e = readAll(wrongStream.container(u"WordDocument"), "letter.xls");
    ASSERT_TRUE(e.has_value());
    EXPECT_EQ(e->kind(), WorkbookErrorKind::WrongFormat);
    EXPECT_NE(e->reason().find("a Word document"), std::string::npos);
}

// Cuts and damages real workbooks; whatever comes out must be a tree of cells or a
// WorkbookError. AddressSanitizer builds turn stray reads here into failures.
TEST(DamagedRealFiles, TruncatedAtManyPointsGivesAnErrorOrFewerCells) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    for (const char* file : {"excel2003_zh_income_statement_sst_continue.xls", "libreoffice_biff5_excel95_format.xls",
                             "encrypted_rc4_cryptoapi_default_password_excel2016.xls"}) {
        const auto whole = byteVectorOf(kShared / file);
        ASSERT_FALSE(whole.empty()) << file;
        int errors = 0;
        for (size_t cut = 0; cut < whole.size(); cut += whole.size() / 37 + 1) {
            std::vector<uint8_t> part(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(cut));
            if (readAll(std::move(part), file)) ++errors;
        }
        EXPECT_GT(errors, 30) << file;
    }
}

// SBX_READER_FUZZ_ROUNDS raises the number of rounds for a longer run by hand.
int fuzzRounds() {
    const char* text = std::getenv("SBX_READER_FUZZ_ROUNDS");
    return text ? std::atoi(text) : 150;
}

class RandomDamage : public testing::TestWithParam<const char*> {};

TEST_P(RandomDamage, NeverEscapesAsAnythingButWorkbookError) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const auto whole = byteVectorOf(kShared / GetParam());
    ASSERT_FALSE(whole.empty());
    std::mt19937 random(20261207);
    for (int round = 0; round < fuzzRounds(); ++round) {
        auto damaged = whole;
        const int changes = 1 + static_cast<int>(random() % 8);
        for (int i = 0; i < changes; ++i) {
            damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
        }
        EXPECT_NO_THROW((void)readAll(std::move(damaged), "damaged.xls")) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(DamagedRealFiles, RandomDamage,
                         testing::Values("excel2000_zh_monthly_stats_report.xls", "libreoffice_biff5_excel95_format.xls",
                                         "excel2016_formulas_all_cached_result_types.xls",
                                         "encrypted_rc4_default_password_excel2003.xls", "wps_zh_price_index.xls"),
                         [](const testing::TestParamInfo<const char*>& p) { return "file" + std::to_string(p.index); });

}  // namespace
