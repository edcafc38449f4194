#pragma once
// The report template of tests/data/formulas (made by tools/make_formula_fixtures.py with
// LibreOffice): the cells a test writes, the cells LibreOffice shows after those writes, and
// the formulas the engine leaves to the application. Positions are 1-based.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "spreadsheet/cell_value.h"
#include "spreadsheet/spreadsheet_host.h"

namespace formula_goldens {

namespace fs = std::filesystem;

inline const fs::path kFolder = fs::path(SBX_TEST_DATA) / "formulas";
inline const fs::path kTemplate = kFolder / "report_template.xls";
inline constexpr int kSheets = 3;

using Cell = std::tuple<int, int, int>;  // sheet, row, column

inline std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, '\t')) out.push_back(part);
    return out;
}

// A text as xlrd_cells.py prints it: JSON-quoted, non-ASCII characters as they are.
inline std::string unquote(const std::string& quoted) {
    std::string out;
    for (size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] == '\\' && i + 2 < quoted.size()) {
            const char c = quoted[++i];
            out.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
        } else {
            out.push_back(quoted[i]);
        }
    }
    return out;
}

// A cell as xlrd reports it: kind and value.
inline sbx::CellValue fromXlrd(const std::string& kind, const std::string& value) {
    if (kind == "number") return sbx::CellValue::number(std::strtod(value.c_str(), nullptr));
    if (kind == "text") return sbx::CellValue::text(unquote(value));
    if (kind == "bool") return sbx::CellValue::boolean(value == "1" || value == "True");
    if (kind == "error") return sbx::CellValue::error(static_cast<uint8_t>(std::atoi(value.c_str())));
    return sbx::CellValue();
}

// xlrd_cells.py output of one sheet, by (row, column).
inline std::map<std::pair<int, int>, sbx::CellValue> parseXlrdCells(const std::string& text) {
    std::map<std::pair<int, int>, sbx::CellValue> out;
    std::stringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        const auto f = fields(line);
        if (f.size() < 4) continue;
        out[{std::stoi(f[0]), std::stoi(f[1])}] = fromXlrd(f[2], f[3]);
    }
    return out;
}

inline std::string readText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline std::map<std::pair<int, int>, sbx::CellValue> expectedCells(int sheet) {
    return parseXlrdCells(readText(kFolder / ("report_written_sheet" + std::to_string(sheet) + ".tsv")));
}

struct Write {
    int sheet, row, column;
    sbx::CellValue value;
};
inline std::vector<Write> writes() {
    std::vector<Write> out;
    std::stringstream in(readText(kFolder / "report_inputs.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        const auto f = fields(line);
        if (f.size() < 5) continue;
        out.push_back({std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2]),
                       f[3] == "text" ? sbx::CellValue::text(f[4]) : sbx::CellValue::number(std::strtod(f[4].c_str(), nullptr))});
    }
    return out;
}

// The formulas left to the application, with why.
inline std::map<Cell, std::string> notRecomputed() {
    std::map<Cell, std::string> out;
    std::stringstream in(readText(kFolder / "report_not_recomputed.tsv"));
    std::string line;
    while (std::getline(in, line)) {
        const auto f = fields(line);
        if (f.size() < 4) continue;
        out[{std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2])}] = f[3];
    }
    return out;
}

// Writes the inputs into a copy of the template at `target`, saves it and returns what the
// workbook reported before saving.
inline std::vector<sbx::StaleFormula> writeTemplateCopy(const fs::path& target) {
    fs::copy_file(kTemplate, target, fs::copy_options::overwrite_existing);
    auto host = sbx::makeNativeHost();
    sbx::Workbook& book = host->open(target);
    for (const Write& w : writes()) book.worksheet(w.sheet).setCell(w.row, w.column, w.value);
    auto stale = book.staleFormulas();
    host->close(book, true);
    host->quit();
    return stale;
}

inline bool sameCell(const sbx::CellValue& a, const sbx::CellValue& b) {
    if (a.kind() == sbx::CellKind::Number && b.kind() == sbx::CellKind::Number) {
        const double x = a.numberValue(), y = b.numberValue();
        return x == y || std::abs(x - y) <= 1e-12 * std::max(std::abs(x), std::abs(y));
    }
    return a == b;
}

}  // namespace formula_goldens
