// Label alignment: which labels are the same, where a range's labels stand, and which of a
// source's rows and columns land where (in memory); then the command line over
// LibreOffice-saved reports of tools/make_align_fixtures.py, whose totals and unmatched
// labels were worked out in Python over openpyxl and xlrd.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "cli/consolidate_command.h"
#include "consolidate/check/label_alignment.h"
#include "consolidate/record/run_record_reader.h"
#include "tests/support/memory_host.h"
#include "tests/support/test_files.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

TEST(LabelAlignmentTest, LabelsCompareAfterTrimmingAndWidthFoldingOnly) {
    struct Case {
        CellValue a, b;
        bool same;
    };
    const std::vector<Case> cases{
        {CellValue::text("ＩＴ服务"), CellValue::text("IT服务"), true},
        {CellValue::text("\xE3\x80\x80差旅 "), CellValue::text("差旅"), true},  // ideographic space, blank
        {CellValue::text("\xC2\xA0工资\t"), CellValue::text("工资"), true},    // no-break space, tab
        {CellValue::text("（一）收入"), CellValue::text("(一)收入"), true},
        {CellValue::text("工 资"), CellValue::text("工资"), false},  // inside a label, a blank counts
        {CellValue::text("it服务"), CellValue::text("IT服务"), false},  // letter case is not guessed
        {CellValue::text("①"), CellValue::text("1"), false},
        {CellValue::text("2024"), CellValue::number(2024), true},  // a year typed as a number or a text
        {CellValue::number(0.1), CellValue::text("0.1"), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(labelKey(c.a) == labelKey(c.b), c.same) << labelKey(c.a) << " | " << labelKey(c.b);
    }
    for (const CellValue& none : {CellValue(), CellValue::text(" \xE3\x80\x80 "), CellValue::boolean(true), CellValue::error(7)}) {
        EXPECT_EQ(labelKey(none), "") << static_cast<int>(none.kind());
    }
}

using Cells = std::vector<std::tuple<int, int, CellValue>>;

CellValue t(const char* text) { return CellValue::text(text); }
CellValue n(double x) { return CellValue::number(x); }

// A table with labels in column a (rows 2..) and row 1 (columns b..): rows as given, each
// row's amounts 10*its number + its column.
Cells table(const std::vector<const char*>& rows, const std::vector<const char*>& columns) {
    Cells cells;
    for (size_t c = 0; c < columns.size(); ++c) cells.emplace_back(1, 2 + static_cast<int>(c), t(columns[c]));
    for (size_t r = 0; r < rows.size(); ++r) {
        const int row = 2 + static_cast<int>(r);
        if (rows[r][0] != '\0') cells.emplace_back(row, 1, t(rows[r]));
        for (size_t c = 0; c < columns.size(); ++c) cells.emplace_back(row, 2 + static_cast<int>(c), n(10.0 * row + static_cast<double>(c)));
    }
    return cells;
}

TEST(LabelAlignmentTest, WhereTheLabelsStandAndWhatLandsWhere) {
    struct Case {
        const char* what;
        Cells templateCells;
        CellArea area;
        Cells sourceCells;
        int labelColumn, labelRow;
        std::vector<int> rows, columns;
        std::vector<std::string> unmatched;  // cells
        bool inPlace;
    };
    const std::vector<const char*> items{"甲", "乙", "丙"};
    const std::vector<const char*> months{"一月", "二月"};
    Cells blankForm{{1, 1, t("项目")}, {1, 2, t("一月")}, {1, 3, t("二月")}, {2, 1, t("甲")}, {3, 1, t("乙")}};
    Cells codes = table(items, months);  // column b turned into row codes (行次): the labels stay in a
    for (auto& [row, column, v] : codes) {
        if (column == 2 && row > 1) v = n(row - 1);
    }
    const std::vector<Case> cases{
        {"the same layout", table(items, months), {2, 2, 4, 3}, table(items, months), 1, 1, {2, 3, 4}, {2, 3}, {}, true},
        {"a row deleted, the rest moved up", table(items, months), {2, 2, 4, 3}, table({"甲", "丙"}, months), 1, 1,
         {2, 0, 3}, {2, 3}, {}, false},
        {"a row inserted and the columns swapped", table(items, months), {2, 2, 4, 3},
         table({"甲", "", "乙", "丙"}, {"二月", "一月"}), 1, 1, {2, 4, 5}, {3, 2}, {"a3"}, false},
        {"an empty row inserted", table(items, months), {2, 2, 4, 3},
         Cells{{1, 2, t("一月")}, {1, 3, t("二月")}, {2, 1, t("甲")}, {4, 1, t("乙")}, {5, 1, t("丙")}, {4, 2, n(1)}}, 1, 1,
         {2, 4, 5}, {2, 3}, {}, false},
        {"a label twice and one unknown", table(items, months), {2, 2, 4, 3}, table({"甲", "乙", "乙", "丁", "丙"}, months), 1,
         1, {2, 0, 6}, {2, 3}, {"a3", "a4", "a5"}, false},
        {"a label the template holds twice, matched in order", table({"甲", "乙", "甲"}, months), {2, 2, 4, 3},
         table({"乙", "甲", "甲"}, months), 1, 1, {3, 2, 4}, {2, 3}, {}, false},
        {"labels chosen with the amounts, in a blank form", blankForm, {1, 1, 3, 3}, table({"乙", "甲"}, months), 1, 1,
         {1, 3, 2}, {1, 2, 3}, {}, false},
        {"row codes in the range's first column", codes, {2, 2, 4, 3}, table({"乙", "甲", "丙"}, months), 1, 1, {3, 2, 4},
         {2, 3}, {}, false},
        {"no labels: added in place", Cells{{2, 2, n(1)}}, {2, 2, 3, 3}, Cells{{2, 2, n(2)}}, 0, 0, {2, 3}, {2, 3}, {}, true},
    };
    for (const Case& c : cases) {
        test::MemoryFiles files;
        test::MemoryBook book;
        auto& templateSheet = book.add("表");
        for (const auto& [row, column, v] : c.templateCells) templateSheet.set(row, column, v);
        files.put("t.xls", book);
        test::MemoryBook other;
        auto& sourceSheet = other.add("表");
        for (const auto& [row, column, v] : c.sourceCells) sourceSheet.set(row, column, v);
        files.put("s.xls", other);
        test::MemoryHost host(files);
        const RangeLabels labels = rangeLabels(host.open("t.xls").worksheet("表"), c.area);
        EXPECT_EQ(labels.labelColumn, c.labelColumn) << c.what;
        EXPECT_EQ(labels.labelRow, c.labelRow) << c.what;
        const Worksheet& source = host.open("s.xls").worksheet("表");
        const AreaAlignment a = alignArea(labels, source);
        EXPECT_EQ(a.rows, c.rows) << c.what;
        EXPECT_EQ(a.columns, c.columns) << c.what;
        std::vector<std::string> unmatched;
        for (const UnmatchedLabel& u : a.unmatched) unmatched.push_back(cellName(u.cell));
        EXPECT_EQ(unmatched, c.unmatched) << c.what;
        EXPECT_EQ(a.inPlace, c.inPlace) << c.what;
        // Every value that lands is the source's value of the cell it came from.
        const AreaValues values = alignedValues(source, a, false);
        values.forEach([&](const AreaValues::Held& v, int row, int column) {
            const CellAddress from = a.sourceCell({row, column});
            EXPECT_EQ(values.value(v), source.cell(from.row, from.column)) << c.what << " " << cellName({row, column});
        });
    }
}

std::vector<std::vector<std::string>> readTsv(const fs::path& file) {
    std::ifstream in(file);
    std::vector<std::vector<std::string>> rows;
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        rows.push_back(fields);
    }
    return rows;
}

TEST(AlignCliTest, ShiftedReportsAddUpByTheirLabels) {
    const fs::path data = fs::path(SBX_TEST_DATA) / "align";
    const auto totals = readTsv(data / "totals.tsv");
    const auto unmatched = readTsv(data / "unmatched.tsv");
    const auto audit = readTsv(data / "audit.tsv");
    ASSERT_EQ(totals.size(), 21u);
    ASSERT_EQ(unmatched.size(), 2u);
    ASSERT_EQ(audit.size(), 1u);
    testing::TempFolder dir("align-cli");
    for (const std::string ending : {".xlsx", ".xls"}) {
        std::vector<std::string> args{"--template", (data / ("template" + ending)).string(), "--range", "收支!b4:c9",
                                      "--range", "人员!a2:d5"};
        for (const char* report : {"template", "in_place", "shifted", "moved_column", "extra_label", "twice"}) {
            args.push_back((data / (report + ending)).string());
        }
        // Off by default: the shifted reports are layout findings.
        std::ostringstream plain, plainErr;
        EXPECT_EQ(cli::checkCommand(args, plain, plainErr), 1);
        for (const char* report : {"shifted", "moved_column", "extra_label", "twice"}) {
            EXPECT_NE(plain.str().find(report + ending + ": LAYOUT"), std::string::npos) << report << "\n" << plain.str();
        }
        // Aligned: only the labels that cannot be matched, where Python found them, and the
        // typed 合计 that the template's formula does not give on the figures as they land.
        args.insert(args.begin(), {"--align", "labels"});
        std::ostringstream out, err;
        EXPECT_EQ(cli::checkCommand(args, out, err), 1) << out.str() << err.str();
        for (const auto& u : unmatched) {
            const std::string& cells = u[2];
            const std::string first = u[0] + ending + ": UNMATCHED_LABEL " + u[1] + "!" + cells.substr(0, cells.find(' '));
            EXPECT_NE(out.str().find(first), std::string::npos) << first << "\n" << out.str();
            const auto count = std::count(cells.begin(), cells.end(), ' ') + 1;
            if (count > 1) {
                const std::string all = "(" + std::to_string(count) + " cells: " + cells + ")";
                EXPECT_NE(out.str().find(all), std::string::npos) << all << "\n" << out.str();
            }
        }
        for (const auto& a : audit) {
            const std::string cells = a[1];
            const std::string line = a[0] + ending + ": AUDIT 收支!" + cells.substr(0, cells.find(' '));
            EXPECT_NE(out.str().find(line), std::string::npos) << line << "\n" << out.str();
        }
        const std::string shown = out.str();
        EXPECT_EQ(static_cast<size_t>(std::count(shown.begin(), shown.end(), '\n')), unmatched.size() + audit.size()) << shown;

        for (const char* mode : {"efficiency", "function"}) {
            const fs::path summary = dir.path() / (std::string(mode) + ending);
            std::vector<std::string> run{"--mode", mode, "--out", summary.string(), "--allow", "UNMATCHED_LABEL,AUDIT"};
            run.insert(run.end(), args.begin(), args.end());
            std::ostringstream runOut, runErr;
            ASSERT_EQ(cli::consolidateCommand(run, runOut, runErr), 0) << runErr.str();
            auto host = makeNativeHost();
            Workbook& book = host->open(summary);
            for (const auto& row : totals) {
                const CellAddress cell = *parseCellAddress(row[1]);
                const CellValue v = book.worksheet(row[0]).cell(cell.row, cell.column);
                EXPECT_EQ(v, CellValue::number(std::stod(row[2]))) << mode << ending << " " << row[0] << "!" << row[1];
            }
            host->close(book, false);
            // 查看来源: the shifted report's 房租 stood in its row 7, the moved column's 本月 in c.
            const auto from = contributionsFromRecord(summary, "收支", {5, 2});
            ASSERT_TRUE(from);
            std::map<std::string, std::string> cells;
            for (const RecordedContribution& c : from->from) cells[fs::path(c.file).stem().string()] = c.cell;
            EXPECT_EQ(cells["shifted"], "b7") << mode << ending;
            EXPECT_EQ(cells["moved_column"], "c5") << mode << ending;
            EXPECT_EQ(cells["in_place"], "") << mode << ending;
        }
    }
    std::ostringstream out, err;
    EXPECT_EQ(cli::checkCommand({"--align", "rows", "--range", "收支!b4:c9", (data / "template.xls").string()}, out, err), 2);
    EXPECT_NE(err.str().find("--align: \"rows\" is not a way of aligning"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace sbx
