// Damaged, hostile and foreign packages: each is refused with a WorkbookError that names the
// file and says what is wrong, never a crash; nothing is written outside the package.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/compound_file.h"
#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"
#include "spreadsheet/xlsx/zip_package.h"

namespace {

namespace fs = std::filesystem;
using sbx::WorkbookErrorKind;
using Bytes = std::vector<uint8_t>;

Bytes templateBytes() { return sbx::xlsx::readFileBytes(fs::path(SBX_TEST_DATA) / "xlsx" / "protected_formulas.xlsx"); }

Bytes changed(const std::map<std::string, std::string>& replaced, const std::vector<std::string>& removed = {}) {
    return sbx::xlsx::ZipPackage(templateBytes()).rebuilt(replaced, removed);
}

// The central directory entry of `name` claims `size` bytes once inflated.
Bytes withDeclaredSize(Bytes bytes, const std::string& name, uint32_t size) {
    for (size_t i = 0; i + 46 < bytes.size(); ++i) {
        if (std::memcmp(&bytes[i], "PK\x01\x02", 4) != 0) continue;
        const size_t nameLength = bytes[i + 28] | (bytes[i + 29] << 8);
        if (std::string(reinterpret_cast<const char*>(&bytes[i + 46]), nameLength) != name) continue;
        for (int k = 0; k < 4; ++k) bytes[i + 24 + k] = static_cast<uint8_t>(size >> (8 * k));
    }
    return bytes;
}

Bytes encryptedContainer(bool withPackage) {
    sbx::xls::CompoundFile container;
    sbx::xls::CfbNode info;
    info.name = u"EncryptionInfo";
    info.data = {4, 0, 4, 0, 0x40, 0, 0, 0};
    container.root().children.push_back(info);
    if (withPackage) {
        sbx::xls::CfbNode package;
        package.name = u"EncryptedPackage";
        package.data.assign(4096, 0x5A);
        container.root().children.push_back(package);
    }
    return container.serialize();
}

struct BadPackage {
    std::string name;
    std::function<Bytes()> make;
    WorkbookErrorKind kind;
    std::string reason;  // a part of the message
};

class XlsxBadInput : public ::testing::TestWithParam<BadPackage> {};

TEST_P(XlsxBadInput, IsRefusedWithAClearError) {
    const auto& c = GetParam();
    const fs::path dir = fs::temp_directory_path() / ("sbx_xlsx_bad_" + c.name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "bad.xlsx";
    const Bytes bytes = c.make();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    sbx::NativeHost host;
    try {
        // Opening reads the package; the first worksheet is read on first use. A sheet that
        // cannot be read is left out, and named when a job asks for it.
        auto& book = host.open(file);
        for (int s = 1; s <= book.worksheetCount(); ++s) book.worksheet(s).lastValueCell();
        book.worksheet("Free").lastValueCell();
        ADD_FAILURE() << "opened without an error";
    } catch (const sbx::WorkbookError& e) {
        EXPECT_EQ(e.kind(), c.kind) << e.what();
        EXPECT_EQ(e.file(), file);
        EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Packages, XlsxBadInput,
    ::testing::Values(
        BadPackage{"empty", [] { return Bytes(); }, WorkbookErrorKind::Truncated, "empty"},
        BadPackage{"truncated",
                   [] {
                       Bytes b = templateBytes();
                       b.resize(b.size() / 2);
                       return b;
                   },
                   WorkbookErrorKind::Corrupt, "damaged"},
        BadPackage{"zip_signature_then_junk",
                   [] {
                       Bytes b(3000, 0x41);
                       std::memcpy(b.data(), "PK\x03\x04", 4);
                       return b;
                   },
                   WorkbookErrorKind::Corrupt, "zip"},
        BadPackage{"no_workbook_part", [] { return changed({}, {"xl/workbook.xml"}); }, WorkbookErrorKind::Corrupt,
                   "no workbook part"},
        BadPackage{"malformed_workbook_part", [] { return changed({{"xl/workbook.xml", "<workbook><sheets>"}}); },
                   WorkbookErrorKind::Corrupt, "xl/workbook.xml is not well-formed XML"},
        BadPackage{"missing_worksheet_part", [] { return changed({}, {"xl/worksheets/sheet2.xml"}); },
                   WorkbookErrorKind::SheetNotFound,
                   "the worksheet \"Free\" cannot be read (the package lacks its part xl/worksheets/sheet2.xml)"},
        // An old macro sheet listed with r:id="", which openpyxl and LibreOffice pass over.
        BadPackage{"sheet_without_relationship",
                   [] {
                       std::string workbook = sbx::xlsx::ZipPackage(templateBytes()).read("xl/workbook.xml");
                       workbook.replace(workbook.find("r:id=\"rId2\""), 11, "r:id=\"\"");
                       return changed({{"xl/workbook.xml", workbook}});
                   },
                   WorkbookErrorKind::SheetNotFound, "the worksheet \"Free\" cannot be read (the sheet has no relationship \"\""},
        BadPackage{"malformed_worksheet_part",
                   [] { return changed({{"xl/worksheets/sheet1.xml", "<worksheet><sheetData><row><c><v>1</c>"}}); },
                   WorkbookErrorKind::Corrupt, "xl/worksheets/sheet1.xml is not well-formed XML"},
        BadPackage{"cell_beyond_the_sheet",
                   [] {
                       return changed({{"xl/worksheets/sheet1.xml",
                                        "<worksheet><sheetData><row r=\"1\"><c r=\"XFE1\"><v>1</v></c></row></sheetData></worksheet>"}});
                   },
                   WorkbookErrorKind::Corrupt, "XFE1"},
        // Nesting is refused at once, in the cells (read by the scanner, then by expat) and in
        // the parts read whole.
        BadPackage{"nested_deep_in_a_cell",
                   [] {
                       constexpr int kDepth = 200000;
                       std::string part = "<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>";
                       for (int i = 0; i < kDepth; ++i) part += "<r>";
                       for (int i = 0; i < kDepth; ++i) part += "</r>";
                       return changed({{"xl/worksheets/sheet1.xml", part + "</is></c></row></sheetData></worksheet>"}});
                   },
                   WorkbookErrorKind::Corrupt, "the part xl/worksheets/sheet1.xml nests its XML elements more than 512 deep"},
        BadPackage{"nested_deep_in_the_styles",
                   [] {
                       std::string part = "<styleSheet>";
                       for (int i = 0; i < 600; ++i) part += "<x>";
                       return changed({{"xl/styles.xml", part}});
                   },
                   WorkbookErrorKind::Corrupt, "the part xl/styles.xml nests its XML elements more than 512 deep"},
        BadPackage{"entity_expansion",
                   [] {
                       return changed({{"xl/worksheets/sheet1.xml",
                                        "<!DOCTYPE w [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]>"
                                        "<worksheet><sheetData/></worksheet>"}});
                   },
                   WorkbookErrorKind::Corrupt, "document type"},
        BadPackage{"declared_size_of_a_bomb",
                   [] { return withDeclaredSize(templateBytes(), "xl/worksheets/sheet1.xml", 0xFFFFFF00u); },
                   WorkbookErrorKind::Corrupt, "zip bomb"},
        BadPackage{"encrypted_xlsx", [] { return encryptedContainer(true); }, WorkbookErrorKind::Encrypted,
                   "encrypted with a password"},
        BadPackage{"encryption_info_only", [] { return encryptedContainer(false); }, WorkbookErrorKind::Encrypted,
                   "encrypted with a password"},
        BadPackage{"opendocument",
                   [] {
                       return sbx::xlsx::ZipPackage(templateBytes())
                           .rebuilt({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"}},
                                    {"[Content_Types].xml"});
                   },
                   WorkbookErrorKind::WrongFormat, "OpenDocument"}),
    [](const auto& p) { return p.param.name; });

// Inflating stops at the limits, whatever the entry declares.
TEST(XlsxInflateLimits, APartInflatingBeyondTheLimitsIsRefusedWhileStreaming) {
    const std::string spaces(8 << 20, ' ');
    const sbx::xlsx::ZipPackage package(changed({{"xl/worksheets/sheet1.xml", spaces}}));
    struct Limit {
        sbx::xlsx::InflateLimits limits;
        bool refused;
    };
    for (const auto& l : {Limit{{1 << 20, 1 << 30, 1000}, true}, Limit{{1 << 30, 1 << 20, 100}, true},
                          Limit{{1 << 30, 1 << 20, 100000}, false}}) {
        size_t seen = 0;
        try {
            package.stream("xl/worksheets/sheet1.xml", [&](std::string_view piece) { seen += piece.size(); }, l.limits);
            EXPECT_FALSE(l.refused);
            EXPECT_EQ(seen, spaces.size());
        } catch (const sbx::xls::FormatError& e) {
            EXPECT_TRUE(l.refused) << e.what();
            EXPECT_NE(std::string(e.what()).find("zip bomb"), std::string::npos);
            EXPECT_LE(seen, (size_t{2} << 20));  // stopped early
        }
    }
}

// Entry names that climb out of the package are names like any other: reading and saving
// never create a file from them.
TEST(XlsxEntryNames, TraversalNamesStayInsideThePackage) {
    const fs::path dir = fs::temp_directory_path() / ("sbx_xlsx_traversal_" + std::to_string(::getpid())) / "inner";
    fs::remove_all(dir.parent_path());
    fs::create_directories(dir);
    const fs::path file = dir / "t.xlsx";
    const Bytes bytes = changed({{"../evil.txt", "x"}, {"/tmp/sbx_xlsx_abs_evil.txt", "y"}, {"xl/../../evil2.txt", "z"}});
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    {
        sbx::NativeHost host;
        auto& book = host.open(file);
        book.worksheet("Free").setCell(9, 9, sbx::CellValue::number(1));
        host.close(book, true);
    }
    EXPECT_FALSE(fs::exists(dir.parent_path() / "evil.txt"));
    EXPECT_FALSE(fs::exists(dir.parent_path() / "evil2.txt"));
    EXPECT_FALSE(fs::exists("/tmp/sbx_xlsx_abs_evil.txt"));
    const sbx::xlsx::ZipPackage saved(sbx::xlsx::readFileBytes(file));
    EXPECT_EQ(saved.read("../evil.txt"), "x");
    sbx::NativeHost host;
    EXPECT_EQ(host.open(file).worksheet("Free").cell(9, 9), sbx::CellValue::number(1));
    fs::remove_all(dir.parent_path());
}

}  // namespace
