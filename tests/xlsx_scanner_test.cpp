// The sheetData scanner against expat: the same cells, formulas and errors, in pieces of any
// size, on hand-written parts and on every worksheet of the real-world workbooks; what it
// declines is read by expat alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/shared_strings.h"
#include "spreadsheet/xlsx/sheet_data_scanner.h"
#include "spreadsheet/xlsx/worksheet_reader.h"
#include "spreadsheet/xlsx/zip_package.h"
#include "support/shared_fixtures.h"

namespace sbx::xlsx {
namespace {

namespace fs = std::filesystem;

struct Reading {
    bool declined = false;
    std::optional<SheetContent> content;
    std::vector<FormulaCell> formulas;
    std::string error;
};

Reading readInPieces(std::string_view xml, WorksheetParsing parsing, size_t piece) {
    const CellStyles styles;
    Reading out;
    WorksheetReadOptions options{&styles, false, 10, &out.formulas};
    try {
        WorksheetReader reader(options, "xl/worksheets/sheet1.xml", parsing);
        for (size_t at = 0; at < xml.size(); at += piece) reader.feed(xml.substr(at, piece));
        out.content = reader.finish();
    } catch (const xls::FormatError& e) {
        out.error = e.what();
    } catch (const ScanDeclined&) {
        out.declined = true;
    }
    return out;
}

void expectSame(const Reading& expat, const Reading& scanned, const std::string& what) {
    ASSERT_FALSE(scanned.declined) << what;
    ASSERT_EQ(expat.content.has_value(), scanned.content.has_value()) << what << ": " << expat.error << scanned.error;
    if (expat.content) {
        EXPECT_TRUE(*expat.content == *scanned.content) << what;
        EXPECT_TRUE(expat.formulas == scanned.formulas) << what;
    } else {
        EXPECT_EQ(expat.error, scanned.error) << what;
    }
}

std::string sheet(std::string_view rows, std::string_view after = "") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" +
           std::string(rows) + "</sheetData>" + std::string(after) + "</worksheet>";
}

struct Case {
    const char* name;
    std::string xml;
    bool declined;  // the scanner leaves it to expat
};

std::vector<Case> cases() {
    return {
        {"values_of_every_kind",
         sheet("<row r=\"1\" spans=\"1:6\"><c r=\"A1\"><v>1.5</v></c><c r=\"B1\" t=\"s\"><v>3</v></c>"
               "<c r=\"C1\" t=\"b\"><v>1</v></c><c r=\"D1\" t=\"e\"><v>#DIV/0!</v></c>"
               "<c r=\"E1\" t=\"str\"><f>\"a\"&amp;\"b\"</f><v>ab</v></c><c r=\"F1\" s=\"2\"/></row>"
               "<row r=\"3\"><c r=\"A3\"><f t=\"shared\" ref=\"A3:A4\" si=\"0\">A1*2</f><v>3</v></c></row>"
               "<row r=\"4\"><c r=\"A4\"><f t=\"shared\" si=\"0\"/><v>0</v></c></row>",
               "<sheetProtection sheet=\"1\"/>"),
         false},
        {"prefixed_names_and_the_part_after_sheetData",
         "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><x:sheetData>"
         "<x:row r=\"2\"><x:c r=\"B2\"><x:v>7</x:v></x:c></x:row></x:sheetData><x:sheetProtection sheet=\"true\"/>"
         "</x:worksheet>",
         false},
        {"rich_inline_text_entities_and_character_references",
         sheet("<row r=\"1\"><c r='A1' t = 'inlineStr'><is><r><t xml:space=\"preserve\">a&amp;b </t></r>"
               "<r><rPr><b/></rPr><t>&#x4E2D;&#25991;&lt;&gt;&quot;&apos;</t></r><rPh sb=\"0\" eb=\"1\"><t>ヨミ</t></rPh></is></c>"
               "<c r=\"B1\" t=\"inlineStr\"><is><t>中文	tab\nline]x</t></is></c></row>"),
         false},
        {"cells_without_references_and_rows_out_of_order",
         sheet("<row r=\"5\"><c><v>1</v></c><c><v>2</v></c></row><row r=\"2\"><c r=\"C2\"><v>3</v></c><c><v>4</v></c></row>"),
         false},
        {"attribute_values_with_blanks_and_references",
         sheet("<row r=\"1\" x14ac:dyDescent=\"0.25\"><c r=\"A1\" s=\"&#49;\"><v> 12 </v></c></row>"), false},
        {"an_empty_sheetData", "<worksheet><sheetData/><sheetProtection sheet=\"1\"/></worksheet>", false},
        {"a_comment_in_sheetData", sheet("<row r=\"1\"><!-- note --><c r=\"A1\"><v>1</v></c></row>"), true},
        {"cdata_in_a_value", sheet("<row r=\"1\"><c r=\"A1\"><v><![CDATA[5]]></v></c></row>"), true},
        {"line_ends_of_every_kind",
         sheet("<row\r\nr=\"1\">\r\n<c r=\"A1\" t=\"inlineStr\"><is><t>a\r\nb\rc\nd&#13;</t></is></c>\r"
               "<c r=\"B1\" t=\"str\" foo=\"x\r\ny\rz\"><v>1</v></c></row>\r\n"),
         false},
        {"an_undeclared_entity", sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&nbsp;</t></is></c></row>"), true},
        {"an_unquoted_attribute", sheet("<row r=\"1\"><c r=A1><v>1</v></c></row>"), true},
        {"attributes_without_a_blank_between", sheet("<row r=\"1\"><c r=\"A1\"s=\"1\"><v>1</v></c></row>"), true},
        {"an_attribute_twice", sheet("<row r=\"1\" r=\"2\"><c><v>1</v></c></row>"), true},
        {"mismatched_end_tags", sheet("<row r=\"1\"><c r=\"A1\"><v>1</c></v></row>"), true},
        {"ill_formed_utf8", sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>\xC0\xAF</t></is></c></row>"), true},
        {"a_cdata_end_in_text", sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a]]>b</t></is></c></row>"), true},
        {"a_character_reference_to_no_character", sheet("<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>&#0;</t></is></c></row>"), true},
        {"the_part_ends_inside_sheetData", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>").substr(0, sheet("<row r=\"1\">").find("</sheetData>")), true},
        {"a_cell_the_reader_refuses", sheet("<row r=\"1\"><c r=\"A1\"><v>1</v></c><c r=\"1A\"><v>2</v></c></row>"), true},
        {"latin1_declared", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><worksheet><sheetData><row r=\"1\">"
                            "<c r=\"A1\" t=\"inlineStr\"><is><t>caf\xE9</t></is></c></row></sheetData></worksheet>",
         false},
    };
}

TEST(SheetDataScanner, ReadsAsExpatDoesInPiecesOfAnySizeOrDeclines) {
    for (const auto& c : cases()) {
        const auto expat = readInPieces(c.xml, WorksheetParsing::Expat, c.xml.size());
        const auto whole = readInPieces(c.xml, WorksheetParsing::Scanner, c.xml.size());
        EXPECT_EQ(c.declined, whole.declined) << c.name;
        for (size_t piece = 1; piece <= c.xml.size(); piece += piece < 16 ? 1 : 7) {
            const auto scanned = readInPieces(c.xml, WorksheetParsing::Scanner, piece);
            if (c.declined && scanned.declined) continue;
            expectSame(expat, scanned, std::string(c.name) + " in pieces of " + std::to_string(piece));
        }
        // readWorksheet: expat's result or expat's error, whatever the scanner did.
        const CellStyles styles;
        std::vector<FormulaCell> formulas;
        WorksheetReadOptions options{&styles, false, 10, &formulas};
        Reading combined;
        try {
            combined.content = readWorksheet(options, "xl/worksheets/sheet1.xml", [&](const auto& sink) { sink(c.xml); });
            combined.formulas = formulas;
        } catch (const xls::FormatError& e) {
            combined.error = e.what();
        }
        expectSame(expat, combined, std::string(c.name) + " by readWorksheet");
    }
}

std::vector<uint8_t> fileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every worksheet of every real-world workbook (and of ours) is scanned, not declined, and
// reads as with expat alone; so does every shared-string table.
TEST(SheetDataScanner, ReadsEveryRealWorksheetAsExpatDoes) {
    SBX_SKIP_WITHOUT_SHARED_XLSX_FIXTURES();
    std::vector<fs::path> files;
    for (const fs::path& folder : {fs::path(SBX_SHARED_XLSX_FIXTURES), fs::path(SBX_TEST_DATA) / "xlsx"}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            const auto ext = entry.path().extension();
            if (ext == ".xlsx" || ext == ".xlsm") files.push_back(entry.path());
        }
    }
    int parts = 0, tables = 0;
    for (const auto& file : files) {
        std::optional<ZipPackage> package;
        try {
            package.emplace(fileBytes(file));
        } catch (const xls::FormatError&) {
            continue;  // the damaged ones of the bad-input tests
        }
        for (const auto& name : package->names()) {
            if (name == "xl/sharedStrings.xml") {
                EXPECT_EQ(readSharedStrings(*package, name, false), readSharedStrings(*package, name, true)) << file;
                ++tables;
            }
            if (!name.starts_with("xl/worksheets/") || !name.ends_with(".xml") || name.find('/', 14) != std::string::npos) continue;
            std::string xml;
            package->stream(name, [&](std::string_view piece) { xml.append(piece); });
            const auto expat = readInPieces(xml, WorksheetParsing::Expat, 64 * 1024);
            if (!expat.content) continue;  // no cells to compare
            const std::string what = file.filename().string() + " " + name;
            expectSame(expat, readInPieces(xml, WorksheetParsing::Scanner, 64 * 1024), what);
            expectSame(expat, readInPieces(xml, WorksheetParsing::Scanner, 777), what + " in small pieces");
            ++parts;
        }
    }
    EXPECT_GT(parts, 40);
    EXPECT_GT(tables, 20);
}

}  // namespace
}  // namespace sbx::xlsx
