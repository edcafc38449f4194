#include "spreadsheet/xls/formula_recalc.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <tuple>
#include <unordered_map>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/xls/formula_workbook_cells.h"

namespace sbx::xls::formula {

namespace {

constexpr size_t kMaxBiffTextResult = 8000;  // a longer text would need CONTINUE records

// Which formulas read which cells: small areas cell by cell, larger ones as row spans for
// every worksheet and column they cover.
class Dependents {
public:
    Dependents(size_t sheets, uint32_t columns) : columns_(sheets), columnCount_(columns) {}

    void add(const Area& a, size_t formula) {
        const uint64_t cells = static_cast<uint64_t>(a.lastSheet - a.firstSheet + 1) * a.rows() * a.columns();
        for (uint32_t s = a.firstSheet; s <= a.lastSheet && s < columns_.size(); ++s) {
            for (uint32_t c = a.firstColumn; c <= a.lastColumn && c < columnCount_; ++c) {
                if (cells <= kSmallArea) {
                    for (uint32_t r = a.firstRow; r <= a.lastRow; ++r) cells_[cellId(s, r, c)].push_back(formula);
                } else {
                    columns_[s][c].push_back({a.firstRow, a.lastRow, formula});
                }
            }
        }
    }

    template <typename F>
    void forEachReader(uint32_t sheet, uint32_t row, uint32_t column, F&& visit) const {
        if (sheet >= columns_.size()) return;
        if (const auto it = cells_.find(cellId(sheet, row, column)); it != cells_.end()) {
            for (size_t formula : it->second) visit(formula);
        }
        const auto it = columns_[sheet].find(column);
        if (it == columns_[sheet].end()) return;
        for (const Span& s : it->second) {
            if (row >= s.first && row <= s.last) visit(s.formula);
        }
    }

private:
    static constexpr uint64_t kSmallArea = 64;
    static uint64_t cellId(uint32_t sheet, uint32_t row, uint32_t column) {
        return (static_cast<uint64_t>(sheet) << 40) | (static_cast<uint64_t>(row) << 20) | column;
    }
    struct Span {
        uint32_t first, last;
        size_t formula;
    };
    std::unordered_map<uint64_t, std::vector<size_t>> cells_;
    std::vector<std::unordered_map<uint32_t, std::vector<Span>>> columns_;
    uint32_t columnCount_;
};

class BiffCells final : public RecalcCells {
public:
    BiffCells(const WorkbookReader& reader, const WorkbookEdits& edits) : cells_(reader, edits) {}
    CellValue value(uint32_t sheet, uint32_t row, uint32_t column) const override { return cells_.value(sheet, row, column); }
    void forEach(uint32_t sheet, const Area& area,
                 const std::function<void(uint32_t, uint32_t, const CellValue&)>& visit) const override {
        cells_.forEach(sheet, area, visit);
    }
    void set(uint32_t sheet, uint32_t row, uint32_t column, const CellValue& value) override {
        cells_.set(sheet, cellKey(row, column), value);
    }

private:
    WorkbookCells cells_;
};

// Whether some formula may read a written cell. Most writes are read by none: that is told
// without building the graph of the formulas. True for many writes, without looking.
bool anyReader(const std::vector<FormulaCell>& formulas, const std::vector<CellPlace>& written) {
    constexpr size_t kFewWrites = 64;
    if (written.size() > kFewWrites) return true;
    for (const FormulaCell& f : formulas) {
        if (!f.undecodable.empty()) return true;
        for (const Token& t : f.tokens) {
            if (t.hidesReferences) return true;
            if (t.kind != TokenKind::Reference) continue;
            for (const CellPlace& w : written) {
                if (t.area.contains(w.sheet, w.row, w.column)) return true;
            }
        }
    }
    return false;
}

}  // namespace

std::vector<FormulaOutcome> recomputeDependents(const std::vector<FormulaCell>& formulas, const std::vector<CellPlace>& written,
                                                RecalcCells& cells, size_t sheetCount, const RecalcLimits& limits,
                                                const std::function<std::string(const FormulaCell&)>& place,
                                                const std::vector<size_t>& alsoCompute) {
    std::vector<FormulaOutcome> out;
    const bool writesRead = !written.empty() && anyReader(formulas, written);
    if (!writesRead && alsoCompute.empty()) return out;
    Dependents dependents(sheetCount, limits.columns);
    std::vector<size_t> opaque;  // formulas whose references are not known
    for (size_t i = 0; i < formulas.size(); ++i) {
        const FormulaCell& f = formulas[i];
        bool knowsReferences = f.undecodable.empty();
        for (const Token& t : f.tokens) {
            if (t.kind == TokenKind::Reference) dependents.add(t.area, i);
            if (t.hidesReferences) knowsReferences = false;
        }
        if (!knowsReferences) opaque.push_back(i);
    }

    // The formulas that depend on a written cell, and who reads whom among them.
    std::vector<bool> affected(formulas.size(), false);
    std::deque<size_t> reached;
    auto reach = [&](size_t formula) {
        if (affected[formula]) return;
        affected[formula] = true;
        reached.push_back(formula);
    };
    for (const CellPlace& w : written) dependents.forEachReader(w.sheet, w.row, w.column, reach);
    if (writesRead) {
        for (size_t i : opaque) reach(i);  // it may read a written cell: it cannot be trusted
    }
    for (size_t i : alsoCompute) reach(i);
    if (reached.empty()) return out;
    std::vector<std::vector<size_t>> readers(formulas.size());
    std::vector<size_t> pending(formulas.size(), 0);
    while (!reached.empty()) {
        const size_t i = reached.front();
        reached.pop_front();
        const FormulaCell& f = formulas[i];
        dependents.forEachReader(f.sheet, f.row, f.column, [&](size_t r) {
            readers[i].push_back(r);
            ++pending[r];
            reach(r);
        });
    }

    std::vector<std::string> stale(formulas.size());  // why a formula keeps its old result
    std::vector<std::optional<CellValue>> results(formulas.size());
    std::deque<size_t> ready;
    for (size_t i = 0; i < formulas.size(); ++i) {
        if (affected[i] && pending[i] == 0) ready.push_back(i);
    }
    std::vector<bool> done(formulas.size(), false);
    while (!ready.empty()) {
        const size_t i = ready.front();
        ready.pop_front();
        done[i] = true;
        const FormulaCell& f = formulas[i];
        if (stale[i].empty()) {
            if (!f.undecodable.empty()) {
                stale[i] = f.undecodable;
            } else {
                try {
                    EvaluationSite site{FormulaSite{f.sheet, f.row, f.column}, f.arrayFormula, f.arrayArea};
                    CellValue result = Evaluator(cells, site).evaluate(f.tokens);
                    if (result.kind() == CellKind::Text && result.textValue().size() > limits.maxTextResult) {
                        stale[i] = "its text result is longer than " + std::to_string(limits.maxTextResult) + " bytes";
                    } else {
                        cells.set(f.sheet, f.row, f.column, result);
                        results[i] = std::move(result);
                    }
                } catch (const std::exception& e) {
                    stale[i] = e.what();
                }
            }
        }
        for (size_t r : readers[i]) {
            if (!stale[i].empty() && stale[r].empty()) stale[r] = "depends on " + place(f) + ", which is not recomputed";
            if (--pending[r] == 0) ready.push_back(r);
        }
    }
    // What is left waits on itself: circular references, and the formulas that read them.
    for (size_t i = 0; i < formulas.size(); ++i) {
        if (!affected[i] || done[i]) continue;
        // On a cycle when it reaches itself through formulas that are left.
        std::vector<bool> seen(formulas.size(), false);
        std::vector<size_t> walk(readers[i].begin(), readers[i].end());
        bool onCycle = false;
        while (!walk.empty() && !onCycle) {
            const size_t k = walk.back();
            walk.pop_back();
            if (k == i) onCycle = true;
            if (seen[k] || done[k]) continue;
            seen[k] = true;
            walk.insert(walk.end(), readers[k].begin(), readers[k].end());
        }
        stale[i] = onCycle ? "is part of a circular reference" : "depends on a circular reference";
    }
    for (size_t i = 0; i < formulas.size(); ++i) {
        if (!affected[i]) continue;
        if (stale[i].empty() && results[i]) {
            out.push_back({i, false, std::move(*results[i]), {}});
        } else {
            out.push_back({i, true, formulas[i].cached, stale[i]});
        }
    }
    return out;
}

Recalculation recalculate(const WorkbookReader& reader, const WorkbookEdits& edits) {
    Recalculation out;
    bool anyEdit = false;
    for (const auto& [sheet, cells] : edits) anyEdit = anyEdit || !cells.empty();
    if (!anyEdit || reader.version() != BiffVersion::Biff8) return out;

    std::vector<FormulaCell> formulas;
    try {
        formulas = readFormulaCells(reader);
    } catch (const std::exception&) {
        return out;  // the cells cannot be read: the writer reports that itself
    }
    // A written cell is no longer a formula.
    std::erase_if(formulas, [&](const FormulaCell& f) {
        const auto it = edits.find(f.sheet);
        return it != edits.end() && it->second.contains(cellKey(f.row, f.column));
    });
    std::vector<CellPlace> written;
    for (const auto& [sheet, cells] : edits) {
        for (const auto& [key, value] : cells) written.push_back({static_cast<uint32_t>(sheet), key >> 8, key & 0xFF});
    }

    BiffCells cells(reader, edits);
    auto place = [&](const FormulaCell& f) {
        return reader.worksheets()[f.sheet].name + "!" + cellName({static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1}, LetterCase::Upper);
    };
    const auto outcomes = recomputeDependents(formulas, written, cells, reader.worksheets().size(),
                                              RecalcLimits{256, kMaxBiffTextResult}, place);
    for (const FormulaOutcome& o : outcomes) {
        const FormulaCell& f = formulas[o.formula];
        out.updates[f.sheet][cellKey(f.row, f.column)] = FormulaUpdate{o.keepCached, o.result};
        if (o.keepCached) {
            out.notes.push_back({f.sheet, static_cast<uint16_t>(f.row), static_cast<uint16_t>(f.column), o.reason});
        }
    }
    std::sort(out.notes.begin(), out.notes.end(), [](const FormulaNote& a, const FormulaNote& b) {
        return std::tie(a.sheet, a.row, a.column) < std::tie(b.sheet, b.row, b.column);
    });
    return out;
}

}  // namespace sbx::xls::formula

namespace sbx::xls::formula {

OpeningResults computeOnOpening(const WorkbookReader& reader) {
    OpeningResults out;
    if (reader.version() != BiffVersion::Biff8) return out;
    std::vector<FormulaCell> formulas;
    try {
        formulas = readFormulaCells(reader);
    } catch (const std::exception&) {
        return out;  // the cells cannot be read: reading them reports that itself
    }
    std::vector<size_t> withoutResult;
    for (size_t i = 0; i < formulas.size(); ++i) {
        const FormulaCell& f = formulas[i];
        const StoredCell* stored = reader.cells(f.sheet).find(f.row, f.column);
        if (!stored || stored->withoutResult) withoutResult.push_back(i);
    }
    if (withoutResult.empty()) return out;
    const WorkbookEdits none;
    BiffCells cells(reader, none);
    auto place = [&](const FormulaCell& f) {
        return reader.worksheets()[f.sheet].name + "!" + cellName({static_cast<int>(f.row) + 1, static_cast<int>(f.column) + 1}, LetterCase::Upper);
    };
    const auto outcomes = recomputeDependents(formulas, {}, cells, reader.worksheets().size(),
                                              RecalcLimits{256, kMaxBiffTextResult}, place, withoutResult);
    for (const FormulaOutcome& o : outcomes) {
        const FormulaCell& f = formulas[o.formula];
        if (!o.keepCached) {
            out.results[f.sheet][cellKey(f.row, f.column)] = o.result;
        } else if (std::binary_search(withoutResult.begin(), withoutResult.end(), o.formula)) {
            out.unresolved.push_back({f.sheet, static_cast<uint16_t>(f.row), static_cast<uint16_t>(f.column), o.reason});
        }
    }
    return out;
}

}  // namespace sbx::xls::formula
