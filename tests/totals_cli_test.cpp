// Totals a plain reader of stored values gets wrong, through shubuxing-cli check and
// consolidate over tools/make_totals_fixtures.py's sources: formulas stored without results,
// totals beyond the largest double, NaN and infinities in sources. Expected values are those
// LibreOffice shows for the same files (tests/data/totals/expected.tsv).
#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/consolidate_command.h"
#include "consolidate/record/json_value.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/xls/formula_value.h"
#include "tests/support/comma_locale.h"
#include "tests/support/test_files.h"

namespace sbx {

void PrintTo(const CellValue& v, std::ostream* out) { *out << describe(v); }

namespace {

namespace fs = std::filesystem;

const fs::path kData = fs::path(SBX_TEST_DATA) / "totals";
const std::string kRange = "表!b2:d4";

std::string at(const std::string& name) { return (kData / name).string(); }

// expected.tsv: the value LibreOffice shows at each cell of 表!b2:d4 of a source.
std::map<std::string, double> shownBy(const std::string& file) {
    std::ifstream in(kData / "expected.tsv");
    std::map<std::string, double> values;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, cell, text;
        std::getline(fields, name, '\t');
        std::getline(fields, cell, '\t');
        std::getline(fields, text, '\t');
        double value = 0;  // from_chars: stod follows the locale, and one test runs under a decimal comma
        if (name == file && std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc()) values[cell] = value;
    }
    return values;
}

struct Outcome {
    int status = 0;
    std::string said;  // stdout and stderr
    std::map<std::string, CellValue> totals;  // 表!b2:d4 of OUT, by cell name
    std::string record;
};

Outcome consolidate(const fs::path& out, const std::string& mode, const std::vector<std::string>& files,
                    const std::string& allow = {}, const std::string& templateFile = "plain.xls",
                    const std::string& range = kRange) {
    fs::remove(out);
    fs::remove(out.string() + ".run.json");
    std::vector<std::string> args{"--mode", mode, "--out", out.string(), "--template", at(templateFile), "--range", range};
    if (!allow.empty()) args.insert(args.end(), {"--allow", allow});
    for (const auto& f : files) args.push_back(at(f));
    std::ostringstream stdOut, stdErr;
    Outcome o;
    o.status = cli::consolidateCommand(args, stdOut, stdErr);
    o.said = stdOut.str() + stdErr.str();
    if (fs::exists(out)) {
        auto host = makeNativeHost();
        Worksheet& sheet = host->open(out).worksheet("表");
        for (int row = 2; row <= 5; ++row) {
            for (int column = 2; column <= 5; ++column) o.totals[cellName({row, column})] = sheet.cell(row, column);
        }
        host->quit();
    }
    o.record = testing::bytesOf(out.string() + ".run.json");
    return o;
}

int check(const std::vector<std::string>& files, std::string& said) {
    std::vector<std::string> args{"--template", at("plain.xls"), "--range", kRange};
    for (const auto& f : files) args.push_back(at(f));
    std::ostringstream out, err;
    const int status = cli::checkCommand(args, out, err);
    said = out.str() + err.str();
    return status;
}

const std::vector<std::string> kModes{"efficiency", "function"};

// 1e308 twice is beyond a double: the run fails naming the cell and both sources, OUT is not
// written, and nothing says "inf".
TEST(TotalsCliTest, ATotalBeyondTheLargestNumberFailsTheRunNamingCellAndSources) {
    testing::TempFolder dir("totals-huge");
    for (const auto& mode : kModes) {
        const Outcome o = consolidate(dir.path() / "total.xls", mode, {"huge_a.xls", "huge_b.xlsx"});
        EXPECT_EQ(o.status, 1) << mode << "\n" << o.said;
        EXPECT_NE(o.said.find("表!b2"), std::string::npos) << mode << "\n" << o.said;
        EXPECT_NE(o.said.find("huge_a.xls"), std::string::npos) << mode << "\n" << o.said;
        EXPECT_NE(o.said.find("huge_b.xlsx"), std::string::npos) << mode << "\n" << o.said;
        EXPECT_FALSE(fs::exists(dir.path() / "total.xls")) << mode;
    }
}

// A NaN and an infinity in a source add nothing: the check flags their cells, and once
// allowed the run adds the other sources and its record stays JSON.
TEST(TotalsCliTest, NaNAndInfinityInASourceAreFlaggedAndAddNothing) {
    std::string said;
    EXPECT_EQ(check({"plain.xls", "nan.xls"}, said), 1) << said;
    EXPECT_NE(said.find("nan.xls: NOT_A_NUMBER 表!b3"), std::string::npos) << said;
    EXPECT_NE(said.find("2 cells: b3 c3"), std::string::npos) << said;

    testing::TempFolder dir("totals-nan");
    const auto plain = shownBy("plain.xls");
    for (const auto& mode : kModes) {
        EXPECT_EQ(consolidate(dir.path() / "total.xls", mode, {"plain.xls", "nan.xls"}).status, 1) << mode;
        const Outcome o = consolidate(dir.path() / "total.xls", mode, {"plain.xls", "nan.xls"}, "NOT_A_NUMBER");
        ASSERT_EQ(o.status, 0) << mode << "\n" << o.said;
        for (const auto& [cell, value] : plain) {
            const double expected = value + (cell == "b2" ? 1 : 0);  // nan.xls holds 1 at b2
            EXPECT_EQ(o.totals.at(cell), CellValue::number(expected)) << mode << " " << cell;
        }
        EXPECT_NO_THROW(JsonValue::parse(o.record)) << mode << "\n" << o.record;
        EXPECT_NE(o.record.find(R"({"number": "NaN"})"), std::string::npos) << mode;
        EXPECT_NE(o.record.find(R"({"number": "Infinity"})"), std::string::npos) << mode;
    }
}

// Formulas written without their results (openpyxl's <f> without <v>, xlwt's empty texts)
// are computed as LibreOffice computes them on opening: both sources add up to twice what it
// shows, in both modes and with a summary of either format.
TEST(TotalsCliTest, FormulasStoredWithoutResultsAddWhatTheyCompute) {
    std::string said;
    EXPECT_EQ(check({"formulas.xlsx", "formulas.xls"}, said), 0) << said;
    testing::TempFolder dir("totals-formulas");
    const auto xlsx = shownBy("formulas.xlsx");
    const auto xls = shownBy("formulas.xls");
    ASSERT_EQ(xlsx.size(), 8u);
    for (const auto& mode : kModes) {
        for (const std::string summary : {"formulas.xls", "formulas.xlsx"}) {
            const Outcome o = consolidate(dir.path() / ("total" + fs::path(summary).extension().string()), mode,
                                          {"formulas.xlsx", "formulas.xls"}, {}, summary);
            ASSERT_EQ(o.status, 0) << mode << "\n" << o.said;
            for (const auto& [cell, total] : o.totals) {
                const double expected = (xlsx.count(cell) ? xlsx.at(cell) : 0) + (xls.count(cell) ? xls.at(cell) : 0);
                EXPECT_EQ(total, expected == 0 ? CellValue() : CellValue::number(expected)) << mode << " " << summary << " " << cell;
            }
        }
    }
}

// What the engine cannot compute (SQRT, a link to another workbook) is flagged NO_RESULT with
// its cells and reason; allowed, the run adds the rest and the record lists the finding.
TEST(TotalsCliTest, FormulasWithoutResultsThatCannotBeComputedAreFlagged) {
    const struct {
        const char* file;
        const char* line;  // what check says of it
    } cases[] = {
        {"no_result.xlsx", "no_result.xlsx: NO_RESULT 表!c2: the file holds the formula without its result, which is "
                           "not computed here either (the function SQRT is not computed here), so it adds nothing (2 cells: c2 c3)"},
        {"no_result.xls", "no_result.xls: NO_RESULT 表!c2: the file holds the formula without its result, which is "
                          "not computed here either (the function SQRT is not computed here), so it adds nothing\n"},
    };
    testing::TempFolder dir("totals-no-result");
    for (const auto& c : cases) {
        std::string said;
        EXPECT_EQ(check({"plain.xls", c.file}, said), 1) << said;
        EXPECT_NE(said.find(c.line), std::string::npos) << said;
        EXPECT_EQ(consolidate(dir.path() / "total.xls", "efficiency", {"plain.xls", c.file}).status, 1) << c.file;
        const Outcome o = consolidate(dir.path() / "total.xls", "function", {"plain.xls", c.file}, "NO_RESULT");
        ASSERT_EQ(o.status, 0) << c.file << "\n" << o.said;
        EXPECT_EQ(o.totals.at("b2"), CellValue::number(1.25 + 16)) << c.file;
        EXPECT_EQ(o.totals.at("c2"), CellValue::number(2)) << c.file;
        EXPECT_EQ(o.totals.at("d4"), CellValue::number(9 + 3)) << c.file;
        EXPECT_NE(o.record.find(R"("kind": "NO_RESULT", "worksheet": "表", "cell": "c2")"), std::string::npos) << o.record;
    }
}

// Under a decimal-comma locale (a desktop session in German) formula constants (=B3*1.5),
// ROUND and numbers turned into text are the same as anywhere: the formulas computed on
// opening give what LibreOffice shows.
TEST(TotalsCliTest, FormulasComputeTheSameUnderADecimalCommaLocale) {
    testing::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << comma.why();
    EXPECT_EQ(xls::formula::numberText(1234.5), "1234.5");
    EXPECT_EQ(xls::formula::numberText(1.5e-20), "1.5E-20");
    testing::TempFolder dir("totals-comma");
    const auto xlsx = shownBy("formulas.xlsx");
    for (const auto& mode : kModes) {
        const Outcome o = consolidate(dir.path() / "total.xlsx", mode, {"formulas.xlsx"}, {}, "formulas.xlsx");
        ASSERT_EQ(o.status, 0) << mode << "\n" << o.said;
        for (const auto& [cell, value] : xlsx) EXPECT_EQ(o.totals.at(cell), CellValue::number(value)) << mode << " " << cell;
        EXPECT_NO_THROW(JsonValue::parse(o.record)) << mode;
    }
}

// A summary formula inside the range that reads only the ranges (a 合计 row, a 占比 column)
// keeps its formula, computed from the totals; one that reads a cell outside them receives
// the sum of the units' results. Both modes, both summary formats; the values are those
// LibreOffice computes from the totals (expected_shares.tsv).
TEST(TotalsCliTest, FormulasInsideTheRangeOverTheRangesAreComputedFromTheTotals) {
    std::map<std::string, double> expected;
    std::ifstream in(kData / "expected_shares.tsv");
    for (std::string cell, text; in >> cell >> text;) {
        if (cell != "#") std::from_chars(text.data(), text.data() + text.size(), expected[cell]);
        if (cell == "#") std::getline(in, text);
    }
    ASSERT_EQ(expected.size(), 16u);
    testing::TempFolder dir("totals-shares");
    for (const auto& mode : kModes) {
        for (const std::string summary : {"share_1.xlsx", "share_3.xls"}) {
            const Outcome o = consolidate(dir.path() / ("total" + fs::path(summary).extension().string()), mode,
                                          {"share_1.xlsx", "share_2.xlsx", "share_3.xls"}, {}, summary, "表!b2:e5");
            ASSERT_EQ(o.status, 0) << mode << " " << summary << "\n" << o.said;
            for (const auto& [cell, value] : expected) {
                ASSERT_EQ(o.totals.at(cell).kind(), CellKind::Number) << mode << " " << summary << " " << cell;
                EXPECT_NEAR(o.totals.at(cell).numberValue(), value, 1e-12 * value) << mode << " " << summary << " " << cell;
            }
            EXPECT_NE(o.said.find("表!d2 keeps its formula, computed from the totals"), std::string::npos) << o.said;
            EXPECT_NE(o.said.find("表!e2 holds the sum of the sources: its formula reads 其他!a1, outside the chosen ranges"),
                      std::string::npos) << o.said;
            EXPECT_NE(o.record.find(R"({"worksheet": "表", "cell": "b5", "kept": true})"), std::string::npos) << o.record;
            EXPECT_NO_THROW(JsonValue::parse(o.record));
        }
    }
}

}  // namespace
}  // namespace sbx
