// Workbooks written by the engine, opened by real applications: LibreOffice (headless, to
// CSV), Gnumeric (ssconvert, recalculating) and xlrd. Each must open every file without
// complaint, see every written value, and the spreadsheet applications must show totals
// that follow the written cells. A test skips only when its application is missing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <unistd.h>

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/shared_fixtures.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;
using sbx::testing::TempFolder;
using sbx::CellKind;
using sbx::CellValue;

namespace {

const fs::path kShared = SBX_SHARED_FIXTURES;
const fs::path kOwn = fs::path(SBX_TEST_DATA) / "writer";
const fs::path kTools = fs::path(SBX_TEST_DATA) / ".." / ".." / "tools";
constexpr const char* kPython = "/usr/bin/python3";

using Position = std::pair<int, int>;

struct WrittenFile {
    std::string stem;
    fs::path file;
    int sheet = 1;  // 1-based
    std::string sheetName;
    std::map<Position, CellValue> written;
    std::map<Position, double> totals;  // formula cells and the results they must show now
    fs::path source;
};

// Gnumeric 1.12 opens no workbook with CryptoAPI RC4 encryption, the original included.
bool gnumericCannotOpen(const WrittenFile& w) { return w.stem.find("cryptoapi") != std::string::npos; }

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command, capturing stdout and stderr together.
CommandResult run(const std::string& command) {
    CommandResult r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.output.append(buffer, n);
    r.status = ::pclose(pipe);
    return r;
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

bool onPath(const std::string& program) { return run("command -v " + program + " >/dev/null").status == 0; }

std::string longText() {
    std::string s = "长文本:";
    for (int i = 0; i < 2500; ++i) s += "汇总表";  // 7500 wide characters: the SST goes on in CONTINUE records
    return s;
}

// The block every general fixture gets: each kind of value, over existing cells and in a
// new row below the data.
void writeBlock(sbx::Worksheet& sheet, WrittenFile& out) {
    const int below = std::min(sheet.lastValueCell().first + 2, 65536);
    const std::vector<std::pair<Position, CellValue>> block = {
        {{2, 2}, CellValue::number(7)},          {{2, 3}, CellValue::text("写入 ok")},
        {{2, 4}, CellValue::boolean(true)},      {{2, 5}, CellValue::error(sbx::error_code::Div0)},
        {{3, 2}, CellValue()},                   {{3, 3}, CellValue::date(45000.25)},
        {{3, 4}, CellValue::text(longText())},   {{3, 5}, CellValue::number(-12)},
        {{below, 1}, CellValue::text("新行")},   {{below, 2}, CellValue::number(100)},
    };
    for (const auto& [at, value] : block) {
        if (sheet.isProtected() && sheet.isCellLocked(at.first, at.second)) continue;
        sheet.setCell(at.first, at.second, value);
        out.written[at] = value;
    }
}

struct WrittenSet {
    TempFolder temp{"realapps"};
    std::vector<WrittenFile> files;
};

// Writes the files once for all tests of the suite.
const WrittenSet& setup() {
    static const std::unique_ptr<WrittenSet> made = [] {
        auto s = std::make_unique<WrittenSet>();
        sbx::NativeHost host;
        auto take = [&](const fs::path& source) -> std::pair<WrittenFile, sbx::Workbook*> {
            WrittenFile w;
            w.stem = source.stem().string();
            w.source = source;
            w.file = s->temp.path() / source.filename();
            fs::copy_file(source, w.file, fs::copy_options::overwrite_existing);
            fs::permissions(w.file, fs::perms::owner_read | fs::perms::owner_write);
            auto& book = host.open(w.file);
            while (w.sheet < book.worksheetCount() && book.worksheet(w.sheet).isProtected()) ++w.sheet;
            w.sheetName = book.worksheet(w.sheet).name();
            // Gnumeric's CSV starts at the first used row and column: a text in A1 pins it.
            book.worksheet(w.sheet).setCell(1, 1, CellValue::text("起点"));
            w.written[{1, 1}] = CellValue::text("起点");
            return {w, &book};
        };

        // Totals below a block: typed text that reads as a number counts, other text not.
        for (const char* name : {"sums_libreoffice.xls", "sums_gnumeric.xls"}) {
            auto [w, book] = take(kOwn / name);
            auto& sheet = book->worksheet(w.sheet);
            const std::vector<std::pair<Position, CellValue>> block = {
                {{2, 2}, CellValue::number(100)},   {{3, 3}, CellValue::text("2.5")},
                {{4, 4}, CellValue::text("n/a")},   {{7, 1}, CellValue::boolean(false)},
                {{7, 2}, CellValue::error(sbx::error_code::NA)}, {{7, 3}, CellValue::date(45000.25)},
            };
            for (const auto& [at, value] : block) {
                sheet.setCell(at.first, at.second, value);
                w.written[at] = value;
            }
            w.written[{3, 3}] = CellValue::number(2.5);
            w.totals = {{{5, 2}, 111}, {{5, 3}, 12.5}, {{5, 4}, 9}};
            host.close(*book, true);
            s->files.push_back(std::move(w));
        }
        // The real-world workbooks, when the build names a copy of them.
        if (!sbx::testing::haveSharedFixtures()) {
            std::cout << "only the project's own workbooks are written: " << sbx::testing::kNoSharedFixtures << '\n';
            return s;
        }
        // A shared formula counting on from its first cell (A262 = A261 + 1, ...): writing
        // that first cell must move the whole run.
        {
            auto [w, book] = take(kShared / "excel2003_zh_income_statement_sst_continue.xls");
            book->worksheet(w.sheet).setCell(261, 1, CellValue::number(1000));
            w.written[{261, 1}] = CellValue::number(1000);
            for (int r = 262; r <= 268; ++r) w.totals[{r, 1}] = 1000 + (r - 261);
            writeBlock(book->worksheet(w.sheet), w);
            host.close(*book, true);
            s->files.push_back(std::move(w));
        }
        for (const char* name : {"family_dpi_c_excel2016.xls", "excel2000_zh_balance_sheet.xls",
                                 "wps_zh_5sheets_cjk_sheetnames_richtext.xls", "excel2016_formulas_all_cached_result_types.xls",
                                 "libreoffice_3sheets_150_formulas.xls", "encrypted_rc4_default_password_excel2003.xls",
                                 "encrypted_rc4_cryptoapi_default_password_excel2016.xls",
                                 "gnumeric_small_3sheets.xls", "excel2010_ja_29sheets_large.xls",
                                 "gnumeric_zh_balance_sheet_dual_stream.xls"}) {
            auto [w, book] = take(kShared / name);
            writeBlock(book->worksheet(w.sheet), w);
            host.close(*book, true);
            s->files.push_back(std::move(w));
        }
        return s;
    }();
    return *made;
}

// ---- reading CSV ---------------------------------------------------------------------

using Grid = std::map<Position, std::string>;

Grid readCsv(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Grid grid;
    int row = 1, column = 1;
    std::string field;
    bool quoted = false;
    auto flush = [&] {
        if (!field.empty()) grid[{row, column}] = field;
        field.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            flush();
            ++column;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            flush();
            ++row;
            column = 1;
        } else {
            field += c;
        }
    }
    flush();
    return grid;
}

bool sameNumber(const std::string& shown, double expected) {
    std::string plain;
    for (char c : shown) {
        if (c != ',' && c != ' ') plain += c;
    }
    char* end = nullptr;
    const double v = std::strtod(plain.c_str(), &end);
    return !plain.empty() && end == plain.c_str() + plain.size() && std::fabs(v - expected) <= 1e-9 * std::max(1.0, std::fabs(expected));
}

// Checks a CSV view of a written sheet: written values as the application shows them.
void expectShown(const WrittenFile& w, const Grid& grid, const std::string& app) {
    auto at = [&](const Position& p) {
        const auto it = grid.find(p);
        return it == grid.end() ? std::string() : it->second;
    };
    for (const auto& [p, value] : w.written) {
        const std::string shown = at(p);
        const std::string where = app + ": " + w.stem + " row " + std::to_string(p.first) + " column " + std::to_string(p.second);
        switch (value.kind()) {
            case CellKind::Empty: EXPECT_EQ(shown, "") << where; break;
            case CellKind::Number: EXPECT_TRUE(sameNumber(shown, value.numberValue())) << where << " shows " << shown; break;
            case CellKind::Text: EXPECT_EQ(shown, value.textValue()) << where; break;
            case CellKind::Boolean:  // LibreOffice's raw export writes a boolean as 1 or 0
                EXPECT_TRUE(shown == (value.booleanValue() ? "TRUE" : "FALSE") || shown == (value.booleanValue() ? "1" : "0"))
                    << where << " shows " << shown;
                break;
            case CellKind::Error: EXPECT_EQ(shown, sbx::errorText(value.errorCode())) << where; break;
            case CellKind::Date:  // shown in some date format: 2023-03-15
                EXPECT_TRUE(shown.find("15") != std::string::npos && shown.find_first_of("/-年.") != std::string::npos)
                    << where << " shows " << shown;
                break;
        }
    }
    for (const auto& [p, total] : w.totals) {
        EXPECT_TRUE(sameNumber(at(p), total)) << app << ": " << w.stem << " row " << p.first << " column " << p.second
                                              << " shows " << at(p) << ", not the new result " << total;
    }
}

// ---- the applications -----------------------------------------------------------------

TEST(RealApps, LibreOfficeOpensTheFilesAndShowsValuesAndNewTotals) {
    const std::string soffice = onPath("soffice") ? "soffice" : onPath("libreoffice") ? "libreoffice" : "";
    if (soffice.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    const WrittenSet& s = setup();
    const fs::path out = s.temp.path() / "libreoffice";
    const fs::path profile = s.temp.path() / "lo-profile";  // its own, so parallel runs do not collide
    std::string command = soffice + " -env:UserInstallation=file://" + profile.string() +
                          " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,false,false,-1'"
                          " --outdir " + quoted(out);
    for (const auto& w : s.files) command += " " + quoted(w.file);
    const CommandResult r = run(command);
    for (const auto& w : s.files) {
        const fs::path csv = out / (w.stem + "-" + w.sheetName + ".csv");
        ASSERT_TRUE(fs::exists(csv)) << w.stem << ": LibreOffice did not convert it\n" << r.output;
        expectShown(w, readCsv(csv), "LibreOffice");
    }
}

TEST(RealApps, GnumericOpensTheFilesAndShowsValuesAndRecalculatedTotals) {
    if (!onPath("ssconvert")) GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    const WrittenSet& s = setup();
    const fs::path out = s.temp.path() / "gnumeric";
    fs::create_directories(out);
    for (const auto& w : s.files) {
        if (gnumericCannotOpen(w)) {
            EXPECT_NE(run("ssconvert " + quoted(w.source) + " " + quoted(out / "original.csv")).status, 0)
                << w.stem << ": Gnumeric opens the original now; take it in again";
            continue;
        }
        const std::string pattern = (out / (w.stem + "-%n.csv")).string();
        const CommandResult r = run("ssconvert --recalc -S " + quoted(w.file) + " " + quoted(fs::path(pattern)));
        EXPECT_EQ(r.status, 0) << w.stem << ": " << r.output;
        EXPECT_EQ(r.output.find("rror"), std::string::npos) << w.stem << ": " << r.output;
        const fs::path csv = out / (w.stem + "-" + std::to_string(w.sheet - 1) + ".csv");
        ASSERT_TRUE(fs::exists(csv)) << w.stem << ": " << r.output;
        expectShown(w, readCsv(csv), "Gnumeric");
    }
}

// xlrd quotes texts as JSON: undo the escapes it uses.
std::string unjson(const std::string& quotedText) {
    std::string out;
    for (size_t i = 1; i + 1 < quotedText.size(); ++i) {
        if (quotedText[i] != '\\') {
            out += quotedText[i];
            continue;
        }
        const char e = quotedText[++i];
        if (e == 'n') out += '\n';
        else if (e == 't') out += '\t';
        else if (e == 'r') out += '\r';
        else if (e == 'u') {
            out += static_cast<char>(std::stoi(quotedText.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else out += e;
    }
    return out;
}

TEST(RealApps, XlrdReadsTheWrittenValues) {
    if (run(std::string(kPython) + " -c 'import xlrd'").status != 0) GTEST_SKIP() << "python3-xlrd is not installed";
    const WrittenSet& s = setup();
    // xlrd reads no encrypted workbook; the tool decrypts those with msoffcrypto first.
    const bool canDecrypt = run(std::string(kPython) + " -c 'import msoffcrypto'").status == 0;
    for (const auto& w : s.files) {
        if (w.stem.starts_with("encrypted") && !canDecrypt) {
            std::cout << "not checked with xlrd (python3-msoffcrypto-tool is not installed): " << w.stem << '\n';
            continue;
        }
        const CommandResult r = run(std::string(kPython) + " " + quoted(kTools / "xlrd_cells.py") + " " + quoted(w.file) + " " +
                          std::to_string(w.sheet));
        ASSERT_EQ(r.status, 0) << w.stem << ": " << r.output;
        std::map<Position, std::pair<std::string, std::string>> cells;
        std::istringstream lines(r.output);
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            std::string row, column, kind, value;
            std::getline(fields, row, '\t');
            std::getline(fields, column, '\t');
            std::getline(fields, kind, '\t');
            std::getline(fields, value);
            cells[{std::stoi(row), std::stoi(column)}] = {kind, value};
        }
        for (const auto& [p, value] : w.written) {
            const auto it = cells.find(p);
            const std::string where = w.stem + " row " + std::to_string(p.first) + " column " + std::to_string(p.second);
            if (value.isEmpty()) {
                EXPECT_TRUE(it == cells.end() || it->second.second == "\"\"") << where;
                continue;
            }
            ASSERT_NE(it, cells.end()) << where << ": xlrd sees nothing";
            const auto& [kind, shown] = it->second;
            switch (value.kind()) {
                case CellKind::Number:
                    EXPECT_TRUE(kind == "number" || kind == "date") << where;
                    EXPECT_TRUE(sameNumber(shown, value.numberValue())) << where << " " << shown;
                    break;
                case CellKind::Date:
                    EXPECT_EQ(kind, "date") << where;
                    EXPECT_TRUE(sameNumber(shown, value.numberValue())) << where << " " << shown;
                    break;
                case CellKind::Text: EXPECT_EQ(kind, "text") << where; EXPECT_EQ(unjson(shown), value.textValue()) << where; break;
                case CellKind::Boolean: EXPECT_EQ(kind, "bool") << where; EXPECT_EQ(shown, value.booleanValue() ? "1" : "0") << where; break;
                case CellKind::Error: EXPECT_EQ(kind, "error") << where; EXPECT_EQ(shown, std::to_string(value.errorCode())) << where; break;
                case CellKind::Empty: break;
            }
        }
    }
}

}  // namespace
