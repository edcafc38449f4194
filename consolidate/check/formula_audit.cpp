#include "consolidate/check/formula_audit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <tuple>

#include "consolidate/run/range_formulas.h"
#include "spreadsheet/worksheet_name.h"
#include "spreadsheet/xls/formula_display.h"
#include "spreadsheet/xls/formula_evaluator.h"

namespace sbx {

namespace {

using xls::formula::Area;

// A source's worksheet as the evaluator reads cells: every reference of an audited formula
// lies on that worksheet. Dates are plain numbers to a formula. The cells of the job's ranges,
// which the audited formulas read, are read once into a grid: looked up in the worksheet, a
// =SUM over a row cost a search and a value made for each of its cells, for every source.
class WorksheetCells : public xls::formula::CellSource {
public:
    WorksheetCells(const Worksheet& sheet, const std::optional<CellArea>& grid) : sheet_(sheet) {
        if (!grid) return;
        grid_ = *grid;
        values_.resize(static_cast<size_t>(grid_.cellCount()));
        sheet_.forEachValue(grid_, [&](int row, int column, const CellValue& v) { values_[grid_.positionOf(row, column)] = v; });
    }

    // The cell as the worksheet holds it.
    CellValue stored(int row, int column) const {
        if (!values_.empty() && grid_.contains(row, column)) return values_[grid_.positionOf(row, column)];
        return sheet_.cell(row, column);
    }

    CellValue value(uint32_t, uint32_t row, uint32_t column) const override {
        return asFormulaSees(stored(static_cast<int>(row) + 1, static_cast<int>(column) + 1));
    }

    void forEach(uint32_t, const Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override {
        const CellArea cells{static_cast<int>(area.firstRow) + 1, static_cast<int>(area.firstColumn) + 1,
                             static_cast<int>(area.lastRow) + 1, static_cast<int>(area.lastColumn) + 1};
        if (!values_.empty() && grid_.contains(cells.firstRow, cells.firstColumn) && grid_.contains(cells.lastRow, cells.lastColumn)) {
            // Row by row, the values only, as the worksheet visits them.
            for (int row = cells.firstRow; row <= cells.lastRow; ++row) {
                for (int column = cells.firstColumn; column <= cells.lastColumn; ++column) {
                    const CellValue& v = values_[grid_.positionOf(row, column)];
                    if (!v.isEmpty()) visit(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1), asFormulaSees(v));
                }
            }
            return;
        }
        sheet_.forEachValue(cells, [&](int row, int column, const CellValue& v) {
            visit(static_cast<uint32_t>(row - 1), static_cast<uint32_t>(column - 1), asFormulaSees(v));
        });
    }

private:
    static CellValue asFormulaSees(const CellValue& v) {
        return v.kind() == CellKind::Date ? CellValue::number(v.numberValue()) : v;
    }
    const Worksheet& sheet_;
    CellArea grid_;
    std::vector<CellValue> values_;
};

bool isNumber(const CellValue& v) { return v.kind() == CellKind::Number || v.kind() == CellKind::Date; }

// Half a unit of the last decimal `stored` shows, written the shortest way (12.5: 0.05;
// 1200: 0.5), so that a total rounded as shown passes; and never less than the last of
// the 15 digits a spreadsheet application keeps (LibreOffice stores 0.983870967741936
// for 0.9838709677419355).
double roundingAllowance(double stored) {
    const double digitsKept = std::fabs(stored) * 1e-12;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, stored).ptr;
    const std::string_view shown(text, static_cast<size_t>(end - text));
    if (shown.find_first_of("eE") != std::string_view::npos) return digitsKept;
    const size_t point = shown.find('.');
    const int decimals = point == std::string_view::npos ? 0 : static_cast<int>(shown.size() - point - 1);
    return std::max(0.5 * std::pow(10.0, -decimals), digitsKept);
}

bool readsOnlyItsWorksheet(const FormulaReading& f, const std::string& worksheet) {
    return !f.reads.empty() && std::all_of(f.reads.begin(), f.reads.end(), [&](const auto& read) {
        return sameWorksheetName(read.first, worksheet);
    });
}

}  // namespace

FormulaAudit::FormulaAudit(const Worksheet& templateSheet, const std::string& worksheet, const Job& job)
    : worksheet_(worksheet) {
    std::optional<CellArea> bounds;
    for (const SheetJob& sheet : job) {
        if (!sameWorksheetName(sheet.worksheet, worksheet)) continue;
        bounds = bounds ? CellArea{std::min(bounds->firstRow, sheet.area.firstRow), std::min(bounds->firstColumn, sheet.area.firstColumn),
                                   std::max(bounds->lastRow, sheet.area.lastRow), std::max(bounds->lastColumn, sheet.area.lastColumn)}
                        : sheet.area;
        const RangeFormulas sorted = rangeFormulas(templateSheet, sheet, job);
        for (FormulaReading& f : templateSheet.formulasIn(sheet.area)) {
            const bool kept = std::find(sorted.kept.begin(), sorted.kept.end(), f.cell) != sorted.kept.end();
            const bool hidden = std::any_of(f.tokens.begin(), f.tokens.end(),
                                            [](const xls::formula::Token& t) { return t.hidesReferences; });
            if (!kept || hidden || f.tokens.empty() || !readsOnlyItsWorksheet(f, worksheet)) continue;
            const std::string text = xls::formula::formulaDisplayText(f.tokens);
            rules_.push_back({f.cell, f.sheet, std::move(f.tokens), text});
        }
    }
    // The formulas read the job's ranges of the worksheet: a grid of those, unless it is huge
    // (whole columns), when the cells are looked up one by one.
    if (!rules_.empty() && bounds && bounds->cellCount() <= kMostGridCells) grid_ = bounds;
    std::sort(rules_.begin(), rules_.end(), [](const Rule& a, const Rule& b) {
        return std::tie(a.cell.row, a.cell.column) < std::tie(b.cell.row, b.cell.column);
    });
}

std::vector<FormulaAudit::Difference> FormulaAudit::check(const Worksheet& source) const {
    std::vector<Difference> differences;
    const WorksheetCells cells(source, grid_);
    for (const Rule& rule : rules_) {
        const CellValue stored = cells.stored(rule.cell.row, rule.cell.column);
        if (!isNumber(stored)) continue;
        xls::formula::EvaluationSite site;
        site.cell = {rule.sheet, static_cast<uint32_t>(rule.cell.row - 1), static_cast<uint32_t>(rule.cell.column - 1)};
        CellValue computed;
        try {
            computed = xls::formula::Evaluator(cells, site).evaluate(rule.tokens);
        } catch (const xls::formula::Unsupported&) {
            continue;
        }
        if (!isNumber(computed)) continue;
        const double difference = std::fabs(computed.numberValue() - stored.numberValue());
        if (!(difference > roundingAllowance(stored.numberValue()))) continue;
        differences.push_back({rule.cell, stored.numberValue(), computed.numberValue(), &rule.text});
    }
    return differences;
}

}  // namespace sbx
