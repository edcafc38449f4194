#include "spreadsheet/xlsx/stale_formulas.h"

#include <algorithm>
#include <deque>
#include <unordered_map>

#include "spreadsheet/worksheet_name.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace sbx::xlsx {

namespace {

bool isWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
           c == '$' || c == '\\' || static_cast<unsigned char>(c) >= 0x80;
}

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return out;
}

// One end of a reference: "$B$3", "B3", "B" (whole column) or "3" (whole row).
struct RefEnd {
    int row = 0;     // 0: none
    int column = 0;  // 0: none
};

bool parseEnd(std::string_view word, int rowShift, int columnShift, RefEnd& end) {
    size_t i = 0;
    bool absColumn = false, absRow = false;
    if (i < word.size() && word[i] == '$') absColumn = true, ++i;
    int column = 0;
    size_t letters = 0;
    while (i < word.size() && ((word[i] >= 'A' && word[i] <= 'Z') || (word[i] >= 'a' && word[i] <= 'z'))) {
        const char c = static_cast<char>(word[i] & ~0x20);
        column = column * 26 + (c - 'A' + 1);
        ++i, ++letters;
    }
    if (letters > 3) return false;
    if (i < word.size() && word[i] == '$') absRow = true, ++i;
    int row = 0;
    size_t digits = 0;
    while (i < word.size() && word[i] >= '0' && word[i] <= '9' && digits < 8) row = row * 10 + (word[i++] - '0'), ++digits;
    if (i != word.size() || (letters == 0 && digits == 0)) return false;
    if (letters == 0 && absColumn) absRow = true;
    if (letters > 0) end.column = absColumn ? column : column + columnShift;
    if (digits > 0) end.row = absRow ? row : row + rowShift;
    return true;
}

bool toArea(const RefEnd& a, const RefEnd& b, Area& area) {
    area.firstColumn = a.column ? a.column : 1;
    area.lastColumn = b.column ? b.column : kMaxColumns;
    area.firstRow = a.row ? a.row : 1;
    area.lastRow = b.row ? b.row : kMaxRows;
    if (area.firstRow > area.lastRow) std::swap(area.firstRow, area.lastRow);
    if (area.firstColumn > area.lastColumn) std::swap(area.firstColumn, area.lastColumn);
    return true;
}

}  // namespace

bool formulaInputs(std::string_view f, int row, int column, int textRow, int textColumn,
                   const std::vector<std::string>& sheetNames, std::vector<FormulaInput>& inputs) {
    const int rowShift = row - textRow;
    const int columnShift = column - textColumn;
    size_t i = 0;
    auto readWord = [&]() {
        const size_t begin = i;
        while (i < f.size() && isWordChar(f[i])) ++i;
        return f.substr(begin, i - begin);
    };
    // A reference after an optional sheet prefix: "A1", "A1:B2", "A:A", "1:3".
    auto readReference = [&](int sheet, std::string_view first) -> bool {
        RefEnd a, b;
        if (!parseEnd(first, rowShift, columnShift, a)) return false;
        b = a;
        bool second = false;
        if (i + 1 < f.size() && f[i] == ':') {
            const size_t save = i;
            ++i;
            if (parseEnd(readWord(), rowShift, columnShift, b)) {
                second = true;
            } else {
                i = save;
                b = a;
            }
        }
        // Whole columns and rows come in pairs ("A:C", "1:3"); a lone "3" is a number.
        if (a.row == 0 || a.column == 0) {
            if (!second || (a.row == 0) != (b.row == 0) || (a.column == 0) != (b.column == 0)) return false;
        }
        Area area;
        toArea(a, b, area);
        inputs.push_back({sheet, area});
        return true;
    };
    auto sheetIndex = [&](std::string_view name) -> int {
        for (size_t s = 0; s < sheetNames.size(); ++s) {
            if (sameWorksheetName(sheetNames[s], name)) return static_cast<int>(s);
        }
        return -2;  // another workbook or a sheet that is gone
    };
    while (i < f.size()) {
        const char c = f[i];
        if (c == '"') {
            for (++i; i < f.size(); ++i) {
                if (f[i] == '"') {
                    if (i + 1 < f.size() && f[i + 1] == '"') ++i;
                    else break;
                }
            }
            ++i;
        } else if (c == '\'') {
            std::string name;
            for (++i; i < f.size(); ++i) {
                if (f[i] == '\'') {
                    if (i + 1 < f.size() && f[i + 1] == '\'') name.push_back('\''), ++i;
                    else break;
                } else {
                    name.push_back(f[i]);
                }
            }
            ++i;
            if (i < f.size() && f[i] == '!') {
                ++i;
                const int sheet = name.find('[') != std::string::npos ? -2 : sheetIndex(name);
                const std::string_view word = readWord();
                if (sheet != -2) readReference(sheet, word);
            }
        } else if (c == '[') {
            // An external workbook "[1]Sheet!A1": not this workbook's cells.
            while (i < f.size() && f[i] != ']') ++i;
            ++i;
            readWord();
            if (i < f.size() && f[i] == '!') ++i, readWord();
        } else if (isWordChar(c)) {
            const std::string_view word = readWord();
            const char next = i < f.size() ? f[i] : '\0';
            if (next == '!') {
                ++i;
                const int sheet = sheetIndex(word);
                const std::string_view ref = readWord();
                if (sheet != -2) readReference(sheet, ref);
            } else if (next == '(') {
                std::string name = upper(word);
                if (name.starts_with("_XLFN.")) name.erase(0, 6);
                if (name == "INDIRECT" || name == "OFFSET") return false;
            } else if (next == '[') {
                return false;  // a table reference
            } else if (word[0] >= '0' && word[0] <= '9' && next != ':') {
                // a number
            } else if (!readReference(-1, word)) {
                const std::string name = upper(word);
                if (name != "TRUE" && name != "FALSE" && !(word[0] >= '0' && word[0] <= '9')) return false;
            }
        } else {
            ++i;
        }
    }
    return true;
}

std::vector<StaleFormula> findStaleFormulas(const XlsxWorkbook& book) {
    const size_t sheetCount = book.layout().worksheets.size();
    std::vector<std::string> names;
    for (const auto& w : book.layout().worksheets) names.push_back(w.name);

    struct Node {
        size_t sheet;
        int row, column;
        bool stale = false;
    };
    std::vector<Node> nodes;
    std::unordered_map<uint64_t, std::vector<size_t>> readersOfCell;  // by sheet and cell
    std::vector<std::pair<std::pair<size_t, Area>, size_t>> readersOfArea;
    std::deque<std::pair<size_t, uint64_t>> changed;
    auto cellId = [](size_t sheet, uint64_t key) { return (static_cast<uint64_t>(sheet) << 34) | key; };

    for (size_t s = 0; s < sheetCount; ++s) {
        const auto edits = book.edits().find(s);
        for (const auto& f : book.formulas(s)) {
            if (edits != book.edits().end() && edits->second.count(cellKey(f.row, f.column))) continue;
            const size_t node = nodes.size();
            nodes.push_back({s, f.row, f.column});
            std::vector<FormulaInput> inputs;
            const bool known = f.masterRow ? formulaInputs(f.text, f.row, f.column, f.masterRow, f.masterColumn, names, inputs)
                                           : formulaInputs(f.text, f.row, f.column, f.row, f.column, names, inputs);
            if (!known) {
                nodes[node].stale = true;
                changed.emplace_back(s, cellKey(f.row, f.column));
                continue;
            }
            for (const auto& in : inputs) {
                const size_t sheet = in.sheet < 0 ? s : static_cast<size_t>(in.sheet);
                const Area& a = in.area;
                if (a.firstRow < 1 || a.firstColumn < 1 || a.lastRow > kMaxRows || a.lastColumn > kMaxColumns) continue;
                if (static_cast<int64_t>(a.lastRow - a.firstRow + 1) * (a.lastColumn - a.firstColumn + 1) <= 64) {
                    for (int r = a.firstRow; r <= a.lastRow; ++r) {
                        for (int c = a.firstColumn; c <= a.lastColumn; ++c) readersOfCell[cellId(sheet, cellKey(r, c))].push_back(node);
                    }
                } else {
                    readersOfArea.push_back({{sheet, a}, node});
                }
            }
        }
    }
    for (const auto& [sheet, edits] : book.edits()) {
        for (const auto& edit : edits) changed.emplace_back(sheet, edit.first);
    }
    auto markStale = [&](size_t node) {
        if (nodes[node].stale) return;
        nodes[node].stale = true;
        changed.emplace_back(nodes[node].sheet, cellKey(nodes[node].row, nodes[node].column));
    };
    while (!changed.empty()) {
        const auto [sheet, key] = changed.front();
        changed.pop_front();
        if (const auto it = readersOfCell.find(cellId(sheet, key)); it != readersOfCell.end()) {
            for (size_t node : it->second) markStale(node);
        }
        for (const auto& [where, node] : readersOfArea) {
            if (where.first == sheet && where.second.contains(keyRow(key), keyColumn(key))) markStale(node);
        }
    }
    std::vector<StaleFormula> out;
    for (const auto& n : nodes) {
        if (n.stale) out.push_back({names[n.sheet], n.row, n.column, "its result depends on written cells"});
    }
    return out;
}

}  // namespace sbx::xlsx
