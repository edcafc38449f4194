// Every formula of real workbooks, computed by the evaluator against the values the workbook
// holds, must give the result the application that saved it computed.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "spreadsheet/xls/formula_cells.h"
#include "spreadsheet/xls/formula_evaluator.h"
#include "spreadsheet/xls/formula_workbook_cells.h"
#include "tests/support/shared_fixtures.h"

namespace sbx::xls::formula {
namespace {

struct Agreement {
    int agree = 0;
    int unsupported = 0;
    std::vector<std::string> disagreements;
    std::map<std::string, int> reasons;
};

bool sameResult(const CellValue& computed, const CellValue& cached) {
    if (computed.kind() == CellKind::Number && cached.kind() == CellKind::Number) {
        const double a = computed.numberValue();
        const double b = cached.numberValue();
        return a == b || std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
    }
    return computed == cached;
}

// Quattro Pro has no boolean values: it stores TRUE() as 1 and FALSE() as 0.
bool writerConvention(const std::filesystem::path& file, const CellValue& computed, const CellValue& cached) {
    return file.filename() == "quattro_pro_biff8.xls" && computed.kind() == CellKind::Boolean &&
           cached.kind() == CellKind::Number && cached.numberValue() == computed.numberValue();
}

Agreement evaluateAll(const std::filesystem::path& file) {
    const WorkbookReader reader = WorkbookReader::open(file);
    const WorkbookEdits none;
    WorkbookCells cells(reader, none);
    Agreement out;
    for (const FormulaCell& f : readFormulaCells(reader)) {
        std::ostringstream where;
        where << reader.worksheets()[f.sheet].name << " row " << f.row + 1 << " column " << f.column + 1;
        if (!f.undecodable.empty()) {
            ++out.unsupported;
            ++out.reasons[f.undecodable];
            continue;
        }
        try {
            const CellValue v =
                Evaluator(cells, EvaluationSite{{f.sheet, f.row, f.column}, f.arrayFormula, f.arrayArea}).evaluate(f.tokens);
            if (sameResult(v, f.cached) || writerConvention(file, v, f.cached)) {
                ++out.agree;
            } else {
                out.disagreements.push_back(where.str() + ": computed " + describe(v) + ", cached " + describe(f.cached));
            }
        } catch (const Unsupported& e) {
            ++out.unsupported;
            ++out.reasons[e.what()];
        }
    }
    return out;
}

void report(const std::string& name, const Agreement& a) {
    std::cout << name << ": " << a.agree << " agree, " << a.disagreements.size() << " disagree, " << a.unsupported
              << " not computed\n";
    for (const auto& [reason, count] : a.reasons) std::cout << "    not computed: " << reason << " x" << count << "\n";
    for (const auto& d : a.disagreements) std::cout << "    DISAGREE " << d << "\n";
}

class FixtureFormulas : public ::testing::TestWithParam<const char*> {};

TEST_P(FixtureFormulas, ComputedResultsMatchTheCachedOnes) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const std::filesystem::path file = std::filesystem::path(SBX_SHARED_FIXTURES) / GetParam();
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "shared fixture missing: " << file;
    const Agreement a = evaluateAll(file);
    report(GetParam(), a);
    EXPECT_GT(a.agree, 0);
    EXPECT_TRUE(a.disagreements.empty()) << a.disagreements.size() << " formulas disagree; first: " << a.disagreements.front();
}

INSTANTIATE_TEST_SUITE_P(SharedFixtures, FixtureFormulas,
                         ::testing::Values("libreoffice_3sheets_150_formulas.xls",
                                         "excel2000_zhtw_biweekly_report_40sheets.xls",
                                         "excel2016_formulas_all_cached_result_types.xls",
                                         "softmaker_planmaker_inline_arrays.xls"));

// The report template LibreOffice computed (tests/data/formulas): everything but the unknown
// function and the circular pair is computed, and agrees.
TEST(FixtureFormulas, ReportTemplateAgreesWithLibreOffice) {
    const Agreement a = evaluateAll(std::filesystem::path(SBX_TEST_DATA) / "formulas" / "report_template.xls");
    report("report_template.xls", a);
    EXPECT_TRUE(a.disagreements.empty()) << a.disagreements.front();
    EXPECT_EQ(a.unsupported, 1);  // MOD
    EXPECT_GE(a.agree, 80);
}

// The rest of the shared workbooks: whatever formulas they hold must agree too.
TEST(FixtureFormulas, NoSharedWorkbookDisagrees) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    const std::filesystem::path folder(SBX_SHARED_FIXTURES);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".xls") continue;
        Agreement a;
        try {
            a = evaluateAll(entry.path());
        } catch (const std::exception&) {
            continue;  // not a workbook the reader opens
        }
        if (a.agree + a.unsupported + static_cast<int>(a.disagreements.size()) == 0) continue;
        ++files;
        report(entry.path().filename().string(), a);
        EXPECT_TRUE(a.disagreements.empty()) << entry.path().filename() << ": " << a.disagreements.front();
    }
    EXPECT_GE(files, 4);
}

}  // namespace
}  // namespace sbx::xls::formula
