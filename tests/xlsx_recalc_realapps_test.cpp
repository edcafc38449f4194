// Summary templates made by other writers (openpyxl, LibreOffice, Gnumeric, shared formulas as
// Excel stores them), with formulas over the written cells; the cells are written through the
// engine and saved. The results openpyxl reads from the saved file must be what Gnumeric
// computes for it, except for the formulas the program reports as not computed, which keep
// the template's results. Real workbooks with many formulas are checked the same way.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include <unistd.h>

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xlsx/sheet_content.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"
#include "tests/support/shared_fixtures.h"

namespace {

namespace fs = std::filesystem;
using sbx::CellValue;

const fs::path kTools = fs::path(SBX_TEST_DATA).parent_path().parent_path() / "tools";

struct Compared {
    std::string saved, gnumeric, template_, templateByGnumeric;
};
// By "sheet!cell".
using Listing = std::map<std::string, Compared>;

Listing oracle(const fs::path& saved, const fs::path& templateFile) {
    const std::string command = "/usr/bin/python3 '" + (kTools / "recalc_oracle.py").string() + "' '" + saved.string() +
                                "' '" + templateFile.string() + "' 2>/dev/null";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) text.append(buf, n);
        ::pclose(pipe);
    }
    Listing out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        std::string field;
        while (std::getline(parts, field, '\t')) fields.push_back(field);
        fields.resize(6);
        out[fields[0] + "!" + fields[1]] = {fields[2], fields[3], fields[4], fields[5]};
    }
    return out;
}

std::set<std::string> staleCells(sbx::Workbook& book) {
    std::set<std::string> out;
    for (const auto& f : book.staleFormulas()) out.insert(f.sheet + "!" + sbx::cellName({f.row, f.column}, sbx::LetterCase::Upper));
    return out;
}

// Every cell: the saved result is Gnumeric's, or the template's where it was left stale.
// `settledOnly`: cells whose template result Gnumeric computes differently (RAND(), results
// the template's writer left stale) are not compared.
void expectRecomputed(const Listing& listing, const std::set<std::string>& stale, const std::string& what,
                      bool settledOnly = false) {
    ASSERT_FALSE(listing.empty()) << what << ": the oracle printed nothing";
    for (const auto& [cell, v] : listing) {
        if (settledOnly && v.template_ != v.templateByGnumeric) continue;
        if (stale.count(cell)) {
            EXPECT_EQ(v.saved, v.template_) << what << " " << cell << " (stale) changed";
        } else {
            EXPECT_EQ(v.saved, v.gnumeric) << what << " " << cell;
        }
    }
}

class XlsxRecalc : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        if (!onPath()) GTEST_SKIP() << "Gnumeric's ssconvert is not installed";
        dir_ = fs::temp_directory_path() / ("sbx_xlsx_recalc_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    static bool onPath() { return std::system("command -v ssconvert >/dev/null 2>&1") == 0; }
    fs::path copy(const fs::path& source) {
        const fs::path file = dir_ / source.filename();
        fs::copy_file(source, file, fs::copy_options::overwrite_existing);
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
        return file;
    }
    fs::path dir_;
};

TEST_P(XlsxRecalc, SummaryFormulasShowWhatGnumericComputes) {
    const fs::path source = fs::path(SBX_TEST_DATA) / "xlsx" / GetParam();
    const fs::path file = copy(source);
    sbx::NativeHost host;
    auto& book = host.open(file);
    auto& data = book.worksheet("Data");
    const double inputs[3][3] = {{11.5, 20, -3}, {4, 5.25, 60}, {7, 8, 0}};
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) data.setCell(r + 2, c + 2, CellValue::number(inputs[r][c]));
    }
    data.setCell(4, 4, CellValue::date(45322));  // a date counts as its serial number
    book.worksheet("Jan").setCell(1, 1, CellValue::number(40));
    const std::set<std::string> stale = staleCells(book);
    EXPECT_EQ(stale, (std::set<std::string>{"Sum 'Q' all!B8", "Sum 'Q' all!B9"}));
    host.close(book, true);

    const Listing listing = oracle(file, source);
    expectRecomputed(listing, stale, GetParam());
    // The formulas were computed, not left as they were.
    EXPECT_EQ(listing.at("Sum 'Q' all!B4").saved, "big");
    EXPECT_EQ(listing.at("Sum 'Q' all!C3").saved, "40");
}

INSTANTIATE_TEST_SUITE_P(Writers, XlsxRecalc,
                         ::testing::Values("recalc_openpyxl.xlsx", "recalc_libreoffice.xlsx", "recalc_gnumeric.xlsx",
                                           "recalc_shared.xlsx"),
                         [](const auto& p) { return std::string(p.param).substr(7, std::string(p.param).size() - 12); });

// Real workbooks with many formulas: every number and date that is no formula result is
// written again one larger, so that the formulas over them must change.
TEST_F(XlsxRecalc, RealWorkbooksWithManyFormulasShowWhatGnumericComputes) {
    SBX_SKIP_WITHOUT_SHARED_XLSX_FIXTURES();
    for (const char* name : {"excel2013_12sheets_122k_cells_cached_str_bool_err.xlsx",
                             "libreoffice_sheet_order_differs_from_ids_chart.xlsx",
                             "excel2013_4sheets_charts_images_pivots_tables.xlsx"}) {
        const fs::path source = fs::path(SBX_SHARED_XLSX_FIXTURES) / name;
        const fs::path file = copy(source);
        sbx::NativeHost host;
        auto& book = host.open(file);
        auto& xlsx = static_cast<sbx::xlsx::XlsxWorkbook&>(book);
        size_t written = 0;
        for (size_t s = 0; s < xlsx.layout().worksheets.size(); ++s) {
            const auto& content = xlsx.content(s);
            auto& sheet = book.worksheet(static_cast<int>(s) + 1);
            for (const auto& c : content.cells) {
                if (c.formula || (c.kind != sbx::xlsx::StoredKind::Number && c.kind != sbx::xlsx::StoredKind::Date)) continue;
                try {
                    const bool date = c.kind == sbx::xlsx::StoredKind::Date;
                    sheet.setCell(sbx::xlsx::keyRow(c.key), sbx::xlsx::keyColumn(c.key),
                                  date ? CellValue::date(c.number + 1) : CellValue::number(c.number + 1));
                    ++written;
                } catch (const sbx::WorkbookError&) {
                    // a locked cell or part of an array formula
                }
            }
        }
        ASSERT_GT(written, 0u) << name;
        const std::set<std::string> stale = staleCells(book);
        host.close(book, true);
        expectRecomputed(oracle(file, source), stale, name, true);
    }
}

}  // namespace
