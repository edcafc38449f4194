// Cells written into .xlsx templates and saved: openpyxl, an independent reader, must find the
// written cells as written and every other cell as it was; entries that were not changed stay
// byte for byte; protected, array and shared-formula cells refuse writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <stdexcept>

#include <unistd.h>

#include "cli/dump_format.h"
#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xlsx/sheet_content.h"
#include "spreadsheet/xlsx/xlsx_saver.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"
#include "spreadsheet/xlsx/zip_package.h"

namespace {

namespace fs = std::filesystem;
using sbx::CellValue;
using Cells = std::map<std::string, std::map<std::string, std::string>>;  // sheet → reference → text

fs::path shared(const std::string& name) { return fs::path(SBX_SHARED_XLSX_FIXTURES) / name; }
fs::path own(const std::string& name) { return fs::path(SBX_TEST_DATA) / "xlsx" / name; }

Cells ownCells(sbx::Workbook& book);

#ifdef _WIN32
// Windows (the tests run under Wine) has no Python: the saved file is opened afresh by this
// program's own reader, which still finds what the save wrote to the disk; openpyxl reads the
// same saves on Linux.
Cells savedCells(const fs::path& file) {
    sbx::NativeHost host;
    auto& book = host.open(file);
    Cells cells = ownCells(book);
    host.close(book, false);
    return cells;
}
#else
// openpyxl's reading of a saved file.
Cells parseLines(const std::string& text) {
    Cells out;
    std::string sheet;
    size_t begin = 0;
    while (begin < text.size()) {
        size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(begin, end - begin);
        begin = end + 1;
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        if (line.starts_with("#sheet\t")) {
            sheet = line.substr(tab + 1);
            out[sheet];
        } else {
            out[sheet][line.substr(0, tab)] = line.substr(tab + 1);
        }
    }
    return out;
}

Cells savedCells(const fs::path& file) {
    const fs::path script = fs::path(SBX_TEST_DATA).parent_path().parent_path() / "tools" / "make_xlsx_golden.py";
    const std::string command = "/usr/bin/python3 '" + script.string() + "' --print '" + file.string() + "' 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::string text;
    char buf[65536];
    size_t n;
    if (!pipe) throw std::runtime_error("cannot start " + command);
    while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) text.append(buf, n);
    return parseLines(text);
}
#endif

Cells ownCells(sbx::Workbook& book) {
    Cells out;
    for (int s = 1; s <= book.worksheetCount(); ++s) {
        auto& sheet = book.worksheet(s);
        auto& cells = out[sheet.name()];
        sheet.forEachValue(sbx::CellArea{1, 1, sbx::xlsx::kMaxRows, sbx::xlsx::kMaxColumns},
                           [&](int row, int column, const CellValue& v) {
                               const std::string text = sbx::cli::formatCell(v);
                               if (!text.empty()) cells[sbx::cellName({row, column}, sbx::LetterCase::Upper)] = text;
                           });
    }
    return out;
}

struct Write {
    int sheet;  // position
    int row, column;
    CellValue value;
    std::string expected;  // as openpyxl shows it afterwards; "" for no value
};

// A formula over written cells and its new result, as openpyxl shows it.
struct Result {
    std::string sheet, cell, expected;
};

struct WriteCase {
    std::string name;
    fs::path templateFile;
    std::vector<Write> writes;
    std::vector<Result> results = {};
};

class XlsxWriter : public ::testing::TestWithParam<WriteCase> {
protected:
    void SetUp() override {
        if (!fs::exists(GetParam().templateFile)) GTEST_SKIP() << "no template " << GetParam().templateFile;
        dir_ = fs::temp_directory_path() / ("sbx_xlsx_writer_" + GetParam().name + "_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / GetParam().templateFile.filename();
        fs::copy_file(GetParam().templateFile, file_);
        fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_, file_;
};

TEST_P(XlsxWriter, WrittenCellsReadBackInOpenpyxlAndTheRestIsKept) {
    const auto& c = GetParam();
    sbx::NativeHost host;
    auto& book = host.open(file_);
    Cells expected = ownCells(book);
    std::set<std::string> writtenParts;
    for (const auto& w : c.writes) {
        auto& sheet = book.worksheet(w.sheet);
        ASSERT_NO_THROW(sheet.setCell(w.row, w.column, w.value)) << describe(w.value);
        auto& cells = expected[sheet.name()];
        const std::string ref = sbx::cellName({w.row, w.column}, sbx::LetterCase::Upper);
        if (w.expected.empty()) cells.erase(ref);
        else cells[ref] = w.expected;
        writtenParts.insert(static_cast<sbx::xlsx::XlsxWorkbook&>(book).layout().worksheets[w.sheet - 1].part);
    }
    for (const auto& r : c.results) expected[r.sheet][r.cell] = r.expected;
    host.close(book, true);

    EXPECT_EQ(savedCells(file_), expected);

    // Entries that the save has no reason to touch are stored as they were.
    const sbx::xlsx::ZipPackage before(sbx::xlsx::readFileBytes(c.templateFile));
    const sbx::xlsx::ZipPackage after(sbx::xlsx::readFileBytes(file_));
    for (const auto& name : before.names()) {
        if (writtenParts.count(name) || name.ends_with("workbook.xml") || name.ends_with(".rels") ||
            name == "[Content_Types].xml" || name.ends_with("styles.xml") || name.ends_with("calcChain.xml") ||
            name.ends_with("/")) {
            continue;
        }
        ASSERT_TRUE(after.has(name)) << name;
        EXPECT_EQ(before.read(name), after.read(name)) << name;
    }
}

std::vector<WriteCase> writeCases() {
    return {
        {"excel_shared_strings", shared("family_export_a_excel2007_resave.xlsx"),
         {{1, 2, 2, CellValue::number(99.5), "99.5"},
          {1, 3, 3, CellValue::text("新的 <文本> & \"引号\""), "新的 <文本> & \"引号\""},
          {1, 9, 6, CellValue::boolean(true), "TRUE"},
          {1, 4, 5, CellValue::error(sbx::error_code::NA), "#N/A"},
          {1, 5, 1, CellValue(), ""},
          {1, 7, 2, CellValue::text("0042"), "42"}}},
        {"bom_uppercase_part", shared("minimal_generator_uppercase_part_inline_strings.xlsx"),
         {{1, 1, 1, CellValue::text("tab\there"), "tab\\there"}, {1, 3, 26, CellValue::number(-1e-7), "-1e-07"}}},
        {"cells_without_references", shared("unknown_generator_bom_cells_without_refs.xlsx"),
         {{1, 2, 2, CellValue::number(7), "7"}, {1, 3, 1, CellValue::text("x"), "x"}}},
        {"prefixed_namespaces", shared("openpyxl_old_prefixed_namespaces.xlsx"),
         {{1, 2, 2, CellValue::number(3), "3"}, {1, 40, 1, CellValue::text("end"), "end"}}},
        {"date_system_1904", shared("macexcel2008_1904_datetime_thumbnail.xlsx"),
         {{1, 1, 1, CellValue::date(45001), "2023-03-16"}, {1, 2, 1, CellValue::date(45000.5), "2023-03-15T12:00:00"}}},
        {"own_template", own("protected_formulas.xlsx"),
         {{1, 1, 4, CellValue::number(7), "7"},
          {2, 1, 1, CellValue::date(45322), "2024-01-31"},
          {2, 5, 3, CellValue::boolean(false), "FALSE"},
          {2, 6, 1, CellValue::date(1.25), "1900-01-01T06:00:00"},
          {2, 2, 4, CellValue::text("line\nbreak"), "line\\nbreak"}},
         // B1 =A1+1 and B2 =B1+1 over the date 2024-01-31 (serial 45322).
         {{"Free", "B1", "45323"}, {"Free", "B2", "45324"}}},
        // New rows go into <sheetData>, not into the <xdr:row> of the control anchors after it.
        {"form_controls_after_sheet_data", own("form_controls.xlsx"),
         {{1, 5, 2, CellValue::number(55), "55"},
          {1, 4, 2, CellValue::number(4), "4"},
          {1, 2, 2, CellValue::number(7), "7"},
          {1, 9, 1, CellValue::text("合计"), "合计"}}},
        // The formulas see a date as the workbook's serial: 43860 in the 1904 system.
        {"date_system_1904_formulas", own("recalc_1904.xlsx"),
         {{1, 1, 1, CellValue::date(45322), "2024-01-31"}},
         {{"Data", "B1", "43861"}, {"Data", "B2", "87722"}}},
    };
}

INSTANTIATE_TEST_SUITE_P(Templates, XlsxWriter, ::testing::ValuesIn(writeCases()),
                         [](const auto& p) { return p.param.name; });

class XlsxWriterRules : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sbx_xlsx_writer_rules_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        file_ = dir_ / "t.xlsx";
        fs::copy_file(own("protected_formulas.xlsx"), file_);
        fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_, file_;
};

TEST_F(XlsxWriterRules, LockedArrayAndSharedFormulaCellsRefuseWrites) {
    sbx::NativeHost host;
    auto& book = host.open(file_);
    auto& form = book.worksheet("form");
    EXPECT_TRUE(form.isProtected());
    EXPECT_TRUE(form.isCellLocked(1, 1));
    EXPECT_FALSE(form.isCellLocked(2, 4));
    struct Refused {
        int row, column;
    };
    for (const auto& r : {Refused{1, 1}, Refused{1, 5}, Refused{2, 5}, Refused{30, 30}}) {
        try {
            form.setCell(r.row, r.column, CellValue::number(1));
            ADD_FAILURE() << "row " << r.row << " column " << r.column << " took the write";
        } catch (const sbx::WorkbookError& e) {
            EXPECT_EQ(e.kind(), sbx::WorkbookErrorKind::CellLocked) << e.what();
        }
    }
    EXPECT_FALSE(book.isModified());
    // An unlocked cell of the protected sheet takes the write.
    form.setCell(2, 4, CellValue::number(8));
    EXPECT_EQ(form.cell(2, 4), CellValue::number(8));
}

TEST_F(XlsxWriterRules, FormulasReadingWrittenCellsAreComputedOrReportedAndFullCalculationIsSet) {
    sbx::NativeHost host;
    auto& book = host.open(file_);
    book.worksheet("Free").setCell(1, 1, CellValue::date(45000));
    EXPECT_TRUE(book.staleFormulas().empty());
    host.close(book, true);
    const sbx::xlsx::ZipPackage saved(sbx::xlsx::readFileBytes(file_));
    EXPECT_NE(saved.read("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
}

TEST(XlsxWriterStale, FormulasThatCannotBeComputedKeepTheirResultsAndAreReported) {
    const fs::path file = fs::temp_directory_path() / ("sbx_xlsx_stale_" + std::to_string(::getpid()) + ".xlsx");
    fs::copy_file(own("recalc_libreoffice.xlsx"), file, fs::copy_options::overwrite_existing);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    sbx::NativeHost host;
    auto& book = host.open(file);
    book.worksheet("Data").setCell(2, 2, CellValue::number(100));
    std::vector<std::string> stale;
    for (const auto& f : book.staleFormulas()) stale.push_back(sbx::describeStale(f));
    EXPECT_EQ(stale, (std::vector<std::string>{
                         "Sum 'Q' all!B8: the function MEDIAN is not computed here; " + std::string(sbx::kLeftToApplication),
                         "Sum 'Q' all!B9: depends on Sum 'Q' all!B8, which is not recomputed; " +
                             std::string(sbx::kLeftToApplication)}));
    host.close(book, true);
    const auto cells = savedCells(file);
    // Data!B2:D2 1 2 3 before; MEDIAN of 1..9 multiples was 3, B9 =B8+1.
    EXPECT_EQ(cells.at("Data").at("E2"), "105");
    EXPECT_EQ(cells.at("Sum 'Q' all").at("B8"), "3");
    EXPECT_EQ(cells.at("Sum 'Q' all").at("B9"), "4");
    // The summary sheet took no writes, only new results: without the results and their
    // types, its part is the template's byte for byte.
    const std::regex results("<v>[^<]*</v>| t=\"[a-z]+\"");
    const std::string part = "xl/worksheets/sheet4.xml";
    const std::string before = sbx::xlsx::ZipPackage(sbx::xlsx::readFileBytes(own("recalc_libreoffice.xlsx"))).read(part);
    const std::string after = sbx::xlsx::ZipPackage(sbx::xlsx::readFileBytes(file)).read(part);
    EXPECT_NE(before, after);
    EXPECT_EQ(std::regex_replace(before, results, ""), std::regex_replace(after, results, ""));
    fs::remove(file);
}

TEST(XlsxWriterChain, CalculationChainGoesWithItsTypeAndRelationship) {
    const fs::path source = shared("macexcel2016_large_80k_rows_240k_formulas.xlsx");
    if (!fs::exists(source)) GTEST_SKIP() << "no shared .xlsx fixtures";
    const fs::path file = fs::temp_directory_path() / ("sbx_xlsx_chain_" + std::to_string(::getpid()) + ".xlsx");
    fs::copy_file(source, file, fs::copy_options::overwrite_existing);
    fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
    sbx::NativeHost host;
    auto& book = host.open(file);
    book.worksheet(1).setCell(2, 1, CellValue::text("changed"));
    EXPECT_FALSE(book.staleFormulas().empty());
    host.close(book, true);
    const sbx::xlsx::ZipPackage saved(sbx::xlsx::readFileBytes(file));
    EXPECT_FALSE(saved.has("xl/calcChain.xml"));
    EXPECT_EQ(saved.read("[Content_Types].xml").find("calcChain"), std::string::npos);
    EXPECT_EQ(saved.read("xl/_rels/workbook.xml.rels").find("calcChain"), std::string::npos);
    EXPECT_NE(saved.read("xl/workbook.xml").find("fullCalcOnLoad=\"1\""), std::string::npos);
    auto& again = host.open(file);
    EXPECT_EQ(again.worksheet(1).cell(2, 1), CellValue::text("changed"));
    EXPECT_EQ(again.worksheet(1).lastValueCell(), (std::pair<int, int>{80000, 3}));
    fs::remove(file);
}

}  // namespace
