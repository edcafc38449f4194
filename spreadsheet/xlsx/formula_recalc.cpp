#include "spreadsheet/xlsx/formula_recalc.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include "spreadsheet/xls/formula_recalc.h"
#include "spreadsheet/xlsx/formula_text.h"

namespace sbx::xlsx {

namespace formula = xls::formula;

namespace {

constexpr size_t kMaxTextResult = 32767;  // what a cell holds in the spreadsheet applications
constexpr int64_t kMaxArrayCells = 4096;  // each cell computes the whole array again

// The cells as formulas see them: what the worksheets hold, the written cells over them, and
// the results computed so far. Dates are the workbook's own serial numbers.
class XlsxCells final : public formula::RecalcCells {
public:
    explicit XlsxCells(const XlsxWorkbook& book) : book_(book), sheets_(book.layout().worksheets.size()) {}

    CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const override {
        const auto& cells = cellsOf(sheet);
        const auto it = cells.find(cellKey(static_cast<int>(row) + 1, static_cast<int>(column) + 1));
        return it == cells.end() ? CellValue() : it->second;
    }

    void forEach(uint32_t sheet, const formula::Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override {
        const auto& cells = cellsOf(sheet);
        const int firstRow = static_cast<int>(area.firstRow) + 1, lastRow = static_cast<int>(area.lastRow) + 1;
        const int firstColumn = static_cast<int>(area.firstColumn) + 1, lastColumn = static_cast<int>(area.lastColumn) + 1;
        auto it = cells.lower_bound(cellKey(firstRow, firstColumn));
        while (it != cells.end()) {
            const int r = keyRow(it->first), c = keyColumn(it->first);
            if (r > lastRow) break;
            if (c < firstColumn) {
                it = cells.lower_bound(cellKey(r, firstColumn));
            } else if (c > lastColumn) {
                if (r >= lastRow) break;
                it = cells.lower_bound(cellKey(r + 1, firstColumn));
            } else {
                visit(static_cast<uint32_t>(r - 1), static_cast<uint32_t>(c - 1), it->second);
                ++it;
            }
        }
    }

    void set(uint32_t sheet, uint32_t row, uint32_t column, const CellValue& v) override {
        cellsOf(sheet);
        (*sheets_[sheet])[cellKey(static_cast<int>(row) + 1, static_cast<int>(column) + 1)] = v;
    }

    // A stored or written value as a formula sees it.
    CellValue plain(const CellValue& v) const {
        if (v.kind() != CellKind::Date) return v;
        return CellValue::number(book_.uses1904Dates() ? v.numberValue() - kDate1904Offset : v.numberValue());
    }

private:
    const std::map<uint64_t, CellValue>& cellsOf(uint32_t index) const {
        static const std::map<uint64_t, CellValue> none;
        if (index >= sheets_.size()) return none;
        auto& slot = sheets_[index];
        if (!slot) {
            std::map<uint64_t, CellValue> cells;
            const SheetContent& content = book_.content(index);
            for (const StoredCell& c : content.cells) {
                if (c.kind != StoredKind::Blank) cells.emplace_hint(cells.end(), c.key, plain(book_.valueOf(content, c)));
            }
            if (const auto it = book_.edits().find(index); it != book_.edits().end()) {
                for (const auto& [key, v] : it->second) {
                    if (v.isEmpty()) cells.erase(key);
                    else cells[key] = plain(v);
                }
            }
            slot = std::move(cells);
        }
        return *slot;
    }

    const XlsxWorkbook& book_;
    mutable std::vector<std::optional<std::map<uint64_t, CellValue>>> sheets_;
};

formula::Area zeroBased(uint32_t sheet, const Area& a) {
    return {sheet, sheet, static_cast<uint32_t>(a.firstRow - 1), static_cast<uint32_t>(a.lastRow - 1),
            static_cast<uint32_t>(a.firstColumn - 1), static_cast<uint32_t>(a.lastColumn - 1)};
}

bool hasFormulas(const SheetContent& content) {
    return std::any_of(content.cells.begin(), content.cells.end(), [](const StoredCell& c) { return c.formula; });
}

// Every formula of the workbook as the evaluator takes it, but those of written cells (they
// are no longer formulas) and what-if tables (they hold no text).
std::vector<formula::FormulaCell> collectFormulas(const XlsxWorkbook& book, const std::vector<std::string>& names) {
    const auto& worksheets = book.layout().worksheets;
    std::vector<formula::FormulaCell> formulas;
    for (size_t s = 0; s < worksheets.size(); ++s) {
        if (book.isRead(s) && !hasFormulas(book.content(s))) continue;  // its part is not read again
        const auto sheet = static_cast<uint32_t>(s);
        const auto edits = book.edits().find(s);
        // The cells of a shared formula read its text once, at its first cell, and move it.
        std::map<uint64_t, ParsedFormula> shared;
        auto tokensOf = [&](const FormulaCell& f) {
            if (f.masterRow) {
                auto it = shared.find(cellKey(f.masterRow, f.masterColumn));
                if (it == shared.end()) {
                    const FormulaTextSite at{sheet, f.masterRow, f.masterColumn, f.masterRow, f.masterColumn};
                    it = shared.emplace(cellKey(f.masterRow, f.masterColumn), parseMovableFormulaText(f.text, at, names)).first;
                }
                if (auto moved = movedTokens(it->second, f.row - f.masterRow, f.column - f.masterColumn)) return std::move(*moved);
            }
            const FormulaTextSite site{sheet, f.row, f.column, f.masterRow ? f.masterRow : f.row,
                                       f.masterRow ? f.masterColumn : f.column};
            return parseFormulaText(f.text, site, names);
        };
        auto isWritten = [&](int row, int column) {
            return edits != book.edits().end() && edits->second.count(cellKey(row, column)) > 0;
        };
        for (const FormulaCell& f : book.formulas(s)) {
            // A what-if table holds no text; a written cell is no longer a formula.
            if (f.dataTable || isWritten(f.row, f.column)) continue;
            formula::FormulaCell cell;
            cell.sheet = sheet;
            cell.tokens = tokensOf(f);
            if (f.arrayArea.firstRow == 0) {
                cell.row = static_cast<uint32_t>(f.row - 1);
                cell.column = static_cast<uint32_t>(f.column - 1);
                formulas.push_back(std::move(cell));
                continue;
            }
            // Every cell of an array formula shows its own element of the one result.
            cell.arrayFormula = true;
            cell.arrayArea = zeroBased(sheet, f.arrayArea);
            if (static_cast<int64_t>(cell.arrayArea.rows()) * cell.arrayArea.columns() > kMaxArrayCells) {
                cell.row = cell.arrayArea.firstRow;
                cell.column = cell.arrayArea.firstColumn;
                cell.undecodable = "an array formula over more than " + std::to_string(kMaxArrayCells) + " cells";
                formulas.push_back(std::move(cell));
                continue;
            }
            for (int r = f.arrayArea.firstRow; r <= f.arrayArea.lastRow; ++r) {
                for (int c = f.arrayArea.firstColumn; c <= f.arrayArea.lastColumn; ++c) {
                    formula::FormulaCell member = cell;
                    member.row = static_cast<uint32_t>(r - 1);
                    member.column = static_cast<uint32_t>(c - 1);
                    formulas.push_back(std::move(member));
                }
            }
        }
    }
    return formulas;
}

std::vector<std::string> sheetNames(const XlsxWorkbook& book) {
    std::vector<std::string> names;
    for (const auto& w : book.layout().worksheets) names.push_back(w.name);
    return names;
}

}  // namespace

namespace {

XlsxRecalculation recalculateWrites(const XlsxWorkbook& book);

}  // namespace

// The results computed on opening (formulas stored without one) are saved too, so that
// scripts reading stored results see them; those of written cells are values now.
XlsxRecalculation recalculateFormulas(const XlsxWorkbook& book) {
    XlsxRecalculation out = recalculateWrites(book);
    if (book.edits().empty()) return out;
    for (const auto& [sheet, results] : book.openingResults()) {
        const auto edits = book.edits().find(sheet);
        for (const auto& [key, value] : results) {
            const bool written = edits != book.edits().end() && edits->second.count(key) > 0;
            // Named copies: clang 14 cannot capture structured bindings in a lambda.
            const std::string& sheetName = book.layout().worksheets[sheet].name;
            const auto cell = key;
            const bool stale = std::any_of(out.stale.begin(), out.stale.end(), [&](const StaleFormula& f) {
                return f.sheet == sheetName && cellKey(f.row, f.column) == cell;
            });
            if (!written && !stale) out.results[sheet].emplace(key, value);
        }
    }
    return out;
}

namespace {

XlsxRecalculation recalculateWrites(const XlsxWorkbook& book) {
    XlsxRecalculation out;
    std::vector<formula::CellPlace> written;
    for (const auto& [sheet, edits] : book.edits()) {
        for (const auto& e : edits) {
            written.push_back({static_cast<uint32_t>(sheet), static_cast<uint32_t>(keyRow(e.first) - 1),
                               static_cast<uint32_t>(keyColumn(e.first) - 1)});
        }
    }
    if (written.empty()) return out;

    const auto& worksheets = book.layout().worksheets;
    XlsxCells cells(book);
    // The old results stay in the parts as they are: `cached` is not needed.
    const std::vector<formula::FormulaCell> formulas = collectFormulas(book, sheetNames(book));
    if (formulas.empty()) return out;
    auto place = [&](const formula::FormulaCell& f) {
        return worksheets[f.sheet].name + "!" + cellName({static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1}, LetterCase::Upper);
    };
    const auto outcomes = formula::recomputeDependents(formulas, written, cells, worksheets.size(),
                                                       formula::RecalcLimits{kMaxColumns, kMaxTextResult}, place);
    std::vector<std::pair<uint32_t, StaleFormula>> stale;
    for (const auto& o : outcomes) {
        const formula::FormulaCell& f = formulas[o.formula];
        const int row = static_cast<int>(f.row) + 1, column = static_cast<int>(f.column) + 1;
        if (o.keepCached) {
            stale.push_back({f.sheet, {worksheets[f.sheet].name, row, column, o.reason}});
        } else {
            out.results[f.sheet][cellKey(row, column)] = o.result;
        }
    }
    // Array formulas list their cells together: the report goes by sheet and cell.
    std::stable_sort(stale.begin(), stale.end(), [](const auto& a, const auto& b) {
        return std::tie(a.first, a.second.row, a.second.column) < std::tie(b.first, b.second.row, b.second.column);
    });
    for (auto& s : stale) out.stale.push_back(std::move(s.second));
    return out;
}

}  // namespace

std::vector<formula::FormulaCell> formulaCells(const XlsxWorkbook& book) { return collectFormulas(book, sheetNames(book)); }

XlsxOpeningResults computeOnOpening(const XlsxWorkbook& book) {
    XlsxOpeningResults out;
    const auto& worksheets = book.layout().worksheets;
    const std::vector<formula::FormulaCell> formulas = collectFormulas(book, sheetNames(book));
    std::vector<size_t> withoutResult;
    for (size_t i = 0; i < formulas.size(); ++i) {
        const formula::FormulaCell& f = formulas[i];
        const StoredCell* stored = book.content(f.sheet).find(static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1);
        if (!stored || stored->kind == StoredKind::Blank) withoutResult.push_back(i);
    }
    if (withoutResult.empty()) return out;
    XlsxCells cells(book);
    auto place = [&](const formula::FormulaCell& f) {
        return worksheets[f.sheet].name + "!" + cellName({static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1}, LetterCase::Upper);
    };
    const auto outcomes = formula::recomputeDependents(formulas, {}, cells, worksheets.size(),
                                                       formula::RecalcLimits{kMaxColumns, kMaxTextResult}, place, withoutResult);
    for (const auto& o : outcomes) {
        const formula::FormulaCell& f = formulas[o.formula];
        const uint64_t key = cellKey(static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1);
        if (!o.keepCached) {
            out.results[f.sheet][key] = o.result;
        } else if (std::binary_search(withoutResult.begin(), withoutResult.end(), o.formula)) {
            out.unresolved[{f.sheet, key}] = o.reason;
        }
    }
    return out;
}

}  // namespace sbx::xlsx
