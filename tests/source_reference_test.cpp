// Reading consolidate source references: what the efficiency mode builds from pool file
// names (which may hold blanks, commas, brackets, "!" and Chinese), the quoted form, and
// references that must be refused with a reason.
#include <gtest/gtest.h>

#include <algorithm>

#include "spreadsheet/source_reference.h"
#include "spreadsheet/workbook_error.h"

using sbx::CellArea;
using sbx::readSourceReference;
using sbx::resolveSourceReference;
using sbx::sameWorksheetName;
using sbx::SourceReference;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;

namespace {

struct GoodReference {
    const char* text;
    const char* folder;
    const char* file;
    const char* sheet;
    CellArea area;
};

const GoodReference kGood[] = {
    {R"(c:\kx\[a.xls]Sheet1!R3C1:R20C8)", R"(c:\kx\)", "a.xls", "Sheet1", {3, 1, 20, 8}},
    {"/home/u/kx/[a.xls]Sheet1!R3C1:R20C8", "/home/u/kx/", "a.xls", "Sheet1", {3, 1, 20, 8}},
    {"/k/[a b, c.xls]Sheet 1, x!R1C1:R2C2", "/k/", "a b, c.xls", "Sheet 1, x", {1, 1, 2, 2}},
    {"/k/[a!b.xls]S!x!R1C1", "/k/", "a!b.xls", "S!x", {1, 1, 1, 1}},
    {"/k/汇表/[数簿 表.xls]资产负债表!R1C1:R65536C256", "/k/汇表/", "数簿 表.xls", "资产负债表", {1, 1, 65536, 256}},
    {"/k/[a[1].xls]Sheet1!R1C1", "/k/", "a[1].xls", "Sheet1", {1, 1, 1, 1}},
    {"/k/[a]b.xls]Sheet1!R2C3", "/k/", "a]b.xls", "Sheet1", {2, 3, 2, 3}},
    {"/tmp/x[1]/kx/[a.xls]S!R1C1", "/tmp/x[1]/kx/", "a.xls", "S", {1, 1, 1, 1}},
    {"/k/[Bob's.xls]S!R1C1", "/k/", "Bob's.xls", "S", {1, 1, 1, 1}},
    {R"('c:\kx\[a b.xls]Sheet 1'!R1C1)", R"(c:\kx\)", "a b.xls", "Sheet 1", {1, 1, 1, 1}},
    {"'/k/[Bob''s.xls]It''s'!R1C1:R1C2", "/k/", "Bob's.xls", "It's", {1, 1, 1, 2}},
    {"/k/[a.xls]Sheet1!r3c1:r20c8", "/k/", "a.xls", "Sheet1", {3, 1, 20, 8}},
    {"/k/[a.xls]Sheet1!R03C01:R20C8", "/k/", "a.xls", "Sheet1", {3, 1, 20, 8}},
    {"  /k/[a.xls]Sheet1!R1C1:R1C1  ", "/k/", "a.xls", "Sheet1", {1, 1, 1, 1}},
    {"/k/[a.xls]Sheet1!R7C2:R7C9", "/k/", "a.xls", "Sheet1", {7, 2, 7, 9}},
};

TEST(SourceReference, ReadsFolderFileWorksheetAndArea) {
    for (const auto& good : kGood) {
        SCOPED_TRACE(good.text);
        std::vector<SourceReference> readings;
        ASSERT_NO_THROW(readings = readSourceReference(good.text));
        ASSERT_FALSE(readings.empty());
        const SourceReference& r = readings.front();
        EXPECT_EQ(r.folder, good.folder);
        EXPECT_EQ(r.fileName, good.file);
        EXPECT_EQ(r.sheetName, good.sheet);
        EXPECT_EQ(r.area, good.area);
        EXPECT_EQ(r.file(), std::filesystem::path(std::string(good.folder) + good.file));
    }
}

struct BadReference {
    const char* text;
    const char* reason;  // a part of the message
};

const BadReference kBad[] = {
    {"", "empty"},
    {"   ", "empty"},
    {"/k/[a.xls]Sheet1", "no \"!\""},
    {"/k/[a.xls]Sheet1!A1:B2", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R1C1:R2", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R1C1:", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R1C1:R2C2x", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R1C1R2C2", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R-1C1", "is not a cell area"},
    {"/k/[a.xls]Sheet1!RC1", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R 1C1", "is not a cell area"},
    {"/k/[a.xls]Sheet1!", "is not a cell area"},
    {"/k/[a.xls]Sheet1!R0C1", "row 0 lies outside"},
    {"/k/[a.xls]Sheet1!R65537C1", "row 65537 lies outside"},
    {"/k/[a.xls]Sheet1!R99999999999999999999C1", "lies outside the rows"},
    {"/k/[a.xls]Sheet1!R1C0", "column 0 lies outside"},
    {"/k/[a.xls]Sheet1!R1C257", "column 257 lies outside"},
    {"/k/[a.xls]Sheet1!R1C1:R1C300", "column 300 lies outside"},
    {"/k/[a.xls]Sheet1!R5C1:R3C1", "below or right"},
    {"/k/[a.xls]Sheet1!R1C5:R3C1", "below or right"},
    {"[a.xls]Sheet1!R1C1", "no folder"},
    {"a.xls!R1C1", "no folder"},
    {"/k/a.xls]Sheet1!R1C1", "file name in [ ]"},
    {"/k/[a.xlsSheet1!R1C1", "\"]\" that ends the file name is missing"},
    {"/k/[a.xls]!R1C1", "worksheet name is missing"},
    {"/k/[]Sheet1!R1C1", "file name is empty"},
    {"'/k/[a.xls]Sheet1!R1C1", "quote"},
    {"'/k/[Bob's.xls]S'!R1C1", "must be doubled"},
    {"'!R1C1", "quote"},
};

TEST(SourceReference, RefusesWithTheReferenceAndTheReason) {
    for (const auto& bad : kBad) {
        SCOPED_TRACE(bad.text);
        try {
            readSourceReference(bad.text);
            ADD_FAILURE() << "accepted";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), WorkbookErrorKind::BadReference);
            EXPECT_NE(e.reason().find(bad.reason), std::string::npos) << e.reason();
            const std::string text = bad.text;
            if (text.find_first_not_of(' ') != std::string::npos) {
                EXPECT_NE(e.reason().find(text.substr(text.find_first_not_of(' '))), std::string::npos) << e.reason();
            }
        }
    }
}

TEST(SourceReference, ClosingBracketsGiveEveryReadingPreferredFirst) {
    const auto readings = readSourceReference("/k/[a]b]Sheet1!R1C1");
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].fileName, "a]b");
    EXPECT_EQ(readings[0].sheetName, "Sheet1");
    EXPECT_EQ(readings[1].fileName, "a");
    EXPECT_EQ(readings[1].sheetName, "b]Sheet1");
}

TEST(SourceReference, ResolvesBracketsByTheFileThatExists) {
    const std::string text = "/k/[a]b]c]d!R1C1";  // file a]b]c, a]b or a
    auto existing = [](std::vector<std::string> files) {
        return [files](const std::filesystem::path& p) {
            return std::find(files.begin(), files.end(), p.string()) != files.end();
        };
    };
    EXPECT_EQ(resolveSourceReference(text, existing({"/k/a]b"})).sheetName, "c]d");
    EXPECT_EQ(resolveSourceReference(text, existing({"/k/a"})).sheetName, "b]c]d");
    // None exists: the preferred reading, whose opening then reports the missing file.
    EXPECT_EQ(resolveSourceReference(text, existing({})).fileName, "a]b]c");
    try {
        resolveSourceReference(text, existing({"/k/a", "/k/a]b]c"}));
        ADD_FAILURE() << "an ambiguous reference was resolved";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.kind(), WorkbookErrorKind::BadReference);
        EXPECT_NE(e.reason().find("file \"a]b]c\" with worksheet \"d\""), std::string::npos) << e.reason();
        EXPECT_NE(e.reason().find("file \"a\" with worksheet \"b]c]d\""), std::string::npos) << e.reason();
    }
    // A reference with a single reading does not look at the disk.
    const auto single = resolveSourceReference("/k/[a.xls]S!R1C1", [](const std::filesystem::path&) -> bool {
        ADD_FAILURE() << "looked for a file";
        return false;
    });
    EXPECT_EQ(single.fileName, "a.xls");
}

TEST(SourceReference, WorksheetNamesIgnoreLetterCase) {
    struct Pair {
        const char* a;
        const char* b;
        bool same;
    };
    const Pair pairs[] = {
        {"Sheet1", "SHEET1", true},     {"Sheet1", "sheet1", true},      {"Sheet1", "Sheet2", false},
        {"Sheet1", "Sheet1 ", false},   {"Übersicht", "üBERSICHT", true}, {"Łódź", "ŁÓDŹ", true},
        {"Лист1", "лист1", true},       {"ΣΥΝΟΛΟ", "συνολο", true},      {"ＳＵＭ", "ｓｕｍ", true},
        {"资产负债表", "资产负债表", true}, {"资产负债表", "资产负债", false}, {"a×b", "a÷b", false},
        {"\xff", "\xfe", false},        {"\xff", "\xff", true},          {"", "", true},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(sameWorksheetName(p.a, p.b), p.same) << p.a << " / " << p.b;
        EXPECT_EQ(sameWorksheetName(p.b, p.a), p.same) << p.b << " / " << p.a;
    }
}

}  // namespace
