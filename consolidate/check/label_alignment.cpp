#include "consolidate/check/label_alignment.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>

#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

bool blankAt(const std::string& s, size_t i, size_t& width) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') return (width = 1), true;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xA0) return (width = 2), true;  // no-break space
    return false;
}

// Full-width ASCII (U+FF01..U+FF5E) to ASCII and the ideographic space to a blank; other
// characters as they are.
std::string folded(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            const unsigned cp = (c & 0x0Fu) << 12 | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6 |
                                (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            if (cp >= 0xFF01 && cp <= 0xFF5E) {
                out += static_cast<char>(cp - 0xFEE0);
                i += 3;
                continue;
            }
            if (cp == 0x3000) {
                out += ' ';
                i += 3;
                continue;
            }
        }
        out += text[i++];
    }
    size_t width = 0, from = 0, to = out.size();
    while (from < to && blankAt(out, from, width)) from += width;
    while (to > from) {
        if (blankAt(out, to - 1, width) && width == 1) {
            --to;
        } else if (to - from >= 2 && blankAt(out, to - 2, width) && width == 2) {
            to -= 2;
        } else {
            break;
        }
    }
    return out.substr(from, to - from);
}

// A line of labels: a row (a column's labels) or a column (a row's labels), as one axis.
struct Axis {
    bool rows;  // the lines are rows
    int first, last;  // of the template's range along the axis
    int labelAt;      // the column (for rows) or row (for columns) holding the labels; 0: none
};

struct Label {
    int line;
    std::string key;
    CellValue value;
};

// The source's labels along the axis from `start` on, in order.
std::vector<Label> sourceLabels(const Worksheet& source, const Axis& axis, int start, int end) {
    std::vector<Label> labels;
    if (axis.labelAt == 0 || start > end) return labels;
    const CellArea zone = axis.rows ? CellArea{start, axis.labelAt, end, axis.labelAt} : CellArea{axis.labelAt, start, axis.labelAt, end};
    source.forEachValue(zone, [&](int row, int column, const CellValue& v) {
        labels.push_back({axis.rows ? row : column, labelKey(v), v});
    });
    return labels;
}

// The last line of the source whose label the template has (the end of the source's table
// along the axis); `fallback` when there is none.
int lastKnownLine(const std::vector<Label>& labels, const std::vector<std::string>& keys, int fallback) {
    const std::set<std::string> known(keys.begin(), keys.end());
    int last = 0;
    for (const Label& l : labels) {
        if (!l.key.empty() && known.contains(l.key)) last = l.line;
    }
    return last ? last : fallback;
}

// Matches the source's lines from `start` to `end` to the template's along one axis: the
// template's line of each index receives a source line, or 0. Lines holding values that
// cannot be matched go to `unmatched`.
std::vector<int> matchLines(const Axis& axis, const std::vector<std::string>& keys, const std::vector<Label>& labels,
                            int start, int end, const std::set<int>& withValues, std::vector<UnmatchedLabel>& unmatched) {
    std::vector<int> lines(static_cast<size_t>(axis.last - axis.first + 1), 0);
    if (axis.labelAt == 0) {
        for (size_t i = 0; i < lines.size(); ++i) lines[i] = axis.first + static_cast<int>(i);
        return lines;
    }
    // The label line inside the range stays where it is.
    if (axis.labelAt >= axis.first && axis.labelAt <= axis.last) {
        lines[static_cast<size_t>(axis.labelAt - axis.first)] = axis.labelAt;
    }
    std::map<std::string, std::vector<size_t>> templateAt;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!keys[i].empty()) templateAt[keys[i]].push_back(i);
    }
    std::map<std::string, std::vector<const Label*>> sourceAt;
    std::set<int> labelled;
    for (const Label& l : labels) {
        if (l.line < start || l.line > end || l.key.empty()) continue;
        sourceAt[l.key].push_back(&l);
        labelled.insert(l.line);
    }
    auto cellOf = [&](int line) { return axis.rows ? CellAddress{line, axis.labelAt} : CellAddress{axis.labelAt, line}; };
    for (const auto& [key, held] : sourceAt) {
        const auto t = templateAt.find(key);
        const size_t templateTimes = t == templateAt.end() ? 0 : t->second.size();
        if (templateTimes == held.size()) {
            for (size_t k = 0; k < held.size(); ++k) lines[t->second[k]] = held[k]->line;
            continue;
        }
        for (const Label* l : held) {
            if (withValues.contains(l->line)) {
                unmatched.push_back({cellOf(l->line), l->value, static_cast<int>(held.size()), static_cast<int>(templateTimes)});
            }
        }
    }
    for (const int line : withValues) {
        if (line >= start && line <= end && line != axis.labelAt && !labelled.contains(line)) {
            unmatched.push_back({cellOf(line), {}, 0, 0});
        }
    }
    return lines;
}

}  // namespace

std::string labelKey(const CellValue& value) {
    switch (value.kind()) {
        case CellKind::Text: return folded(value.textValue());
        case CellKind::Number:
        case CellKind::Date: {
            char text[32];
            return std::string(text, std::to_chars(text, text + sizeof text, value.numberValue()).ptr);
        }
        default: return {};
    }
}

RangeLabels rangeLabels(const Worksheet& sheet, const CellArea& area) {
    RangeLabels labels;
    labels.area = area;
    // Labels and nothing else: the texts chosen with the amounts.
    auto onlyLabels = [&](const CellArea& zone) {
        bool label = false, other = false;
        sheet.forEachValue(zone, [&](int, int, const CellValue& v) {
            (v.kind() == CellKind::Text ? label : other) = true;
        });
        return label && !other;
    };
    auto holdsText = [&](const CellArea& zone) {
        bool found = false;
        sheet.forEachValue(zone, [&](int, int, const CellValue& v) { found = found || v.kind() == CellKind::Text; });
        return found;
    };
    const bool wide = area.rows() > 1 && area.columns() > 1;
    if (wide && onlyLabels({area.firstRow + 1, area.firstColumn, area.lastRow, area.firstColumn})) {
        labels.labelColumn = area.firstColumn;
    } else {
        for (int column = area.firstColumn - 1; column >= 1 && labels.labelColumn == 0; --column) {
            if (holdsText({area.firstRow, column, area.lastRow, column})) labels.labelColumn = column;
        }
    }
    if (wide && onlyLabels({area.firstRow, area.firstColumn + 1, area.firstRow, area.lastColumn})) {
        labels.labelRow = area.firstRow;
    } else {
        for (int row = area.firstRow - 1; row >= 1 && labels.labelRow == 0; --row) {
            if (holdsText({row, area.firstColumn, row, area.lastColumn})) labels.labelRow = row;
        }
    }
    labels.rowKeys.assign(static_cast<size_t>(area.rows()), {});
    labels.columnKeys.assign(static_cast<size_t>(area.columns()), {});
    if (labels.labelColumn) {
        sheet.forEachValue({area.firstRow, labels.labelColumn, area.lastRow, labels.labelColumn}, [&](int row, int, const CellValue& v) {
            if (row != labels.labelRow) labels.rowKeys[static_cast<size_t>(row - area.firstRow)] = labelKey(v);
        });
    }
    if (labels.labelRow) {
        sheet.forEachValue({labels.labelRow, area.firstColumn, labels.labelRow, area.lastColumn}, [&](int, int column, const CellValue& v) {
            if (column != labels.labelColumn) labels.columnKeys[static_cast<size_t>(column - area.firstColumn)] = labelKey(v);
        });
    }
    return labels;
}

AreaAlignment alignArea(const RangeLabels& labels, const Worksheet& source) {
    const CellArea& area = labels.area;
    AreaAlignment a;
    a.area = area;
    const Axis rows{true, area.firstRow, area.lastRow, labels.labelColumn};
    const Axis columns{false, area.firstColumn, area.lastColumn, labels.labelRow};
    // The lines matched start after a label line inside the range and end at the source's
    // last known label, which may lie beyond the range (a row inserted).
    const int rowStart = area.firstRow + (labels.labelRow == area.firstRow ? 1 : 0);
    const int columnStart = area.firstColumn + (labels.labelColumn == area.firstColumn ? 1 : 0);
    const auto [lastRow, lastColumn] = source.lastValueCell();
    const auto rowLabels = sourceLabels(source, rows, rowStart, lastRow);
    const auto columnLabels = sourceLabels(source, columns, columnStart, lastColumn);
    const int rowEnd = rows.labelAt ? lastKnownLine(rowLabels, labels.rowKeys, area.lastRow) : area.lastRow;
    const int columnEnd = columns.labelAt ? lastKnownLine(columnLabels, labels.columnKeys, area.lastColumn) : area.lastColumn;

    // Which lines hold values besides their labels, up to the table's end or the range's.
    std::set<int> rowsWithValues, columnsWithValues;
    const CellArea scanned{rowStart, columnStart, std::max(rowEnd, area.lastRow), std::max(columnEnd, area.lastColumn)};
    if (scanned.firstRow <= scanned.lastRow && scanned.firstColumn <= scanned.lastColumn) {
        source.forEachValue(scanned, [&](int row, int column, const CellValue&) {
            if (column == labels.labelColumn || row == labels.labelRow) return;
            if (column <= columnEnd) rowsWithValues.insert(row);
            if (row <= rowEnd) columnsWithValues.insert(column);
        });
    }
    a.rows = matchLines(rows, labels.rowKeys, rowLabels, rowStart, rowEnd, rowsWithValues, a.unmatched);
    a.columns = matchLines(columns, labels.columnKeys, columnLabels, columnStart, columnEnd, columnsWithValues, a.unmatched);
    std::sort(a.unmatched.begin(), a.unmatched.end(), [](const UnmatchedLabel& x, const UnmatchedLabel& y) {
        return std::pair(x.cell.row, x.cell.column) < std::pair(y.cell.row, y.cell.column);
    });

    // In place: each line lands where it stands, or nothing lands on it and the source holds
    // nothing there, so that adding by position gives the same.
    auto inPlaceAlong = [](const std::vector<int>& lines, int first, const std::set<int>& withValues) {
        for (size_t i = 0; i < lines.size(); ++i) {
            const int own = first + static_cast<int>(i);
            if (lines[i] != own && (lines[i] != 0 || withValues.contains(own))) return false;
        }
        return true;
    };
    a.inPlace = a.unmatched.empty() && inPlaceAlong(a.rows, area.firstRow, rowsWithValues) &&
                 inPlaceAlong(a.columns, area.firstColumn, columnsWithValues);
    return a;
}

CellArea AreaAlignment::sourceArea() const {
    CellArea from{kFullGrid.rows + 1, kFullGrid.columns + 1, 0, 0};
    for (const int row : rows) {
        if (row == 0) continue;
        from.firstRow = std::min(from.firstRow, row);
        from.lastRow = std::max(from.lastRow, row);
    }
    for (const int column : columns) {
        if (column == 0) continue;
        from.firstColumn = std::min(from.firstColumn, column);
        from.lastColumn = std::max(from.lastColumn, column);
    }
    return from;
}

CellAddress AreaAlignment::sourceCell(CellAddress cell) const {
    const int row = rows[static_cast<size_t>(cell.row - area.firstRow)];
    const int column = columns[static_cast<size_t>(cell.column - area.firstColumn)];
    return row && column ? CellAddress{row, column} : CellAddress{0, 0};
}

CellAddress AreaAlignment::landsAt(CellAddress cell) const {
    const auto row = std::find(rows.begin(), rows.end(), cell.row);
    const auto column = std::find(columns.begin(), columns.end(), cell.column);
    if (row == rows.end() || column == columns.end()) return {0, 0};
    return {area.firstRow + static_cast<int>(row - rows.begin()), area.firstColumn + static_cast<int>(column - columns.begin())};
}

AreaValues alignedValues(const Worksheet& source, const AreaAlignment& alignment, bool dates1904) {
    const CellArea& area = alignment.area;
    AreaValues values(area, dates1904);
    const CellArea from = alignment.sourceArea();
    if (from.firstRow > from.lastRow || from.firstColumn > from.lastColumn) return values;
    // Where each source row and column lands (0: nowhere).
    std::vector<int> rowTo(static_cast<size_t>(from.rows()), 0), columnTo(static_cast<size_t>(from.columns()), 0);
    for (size_t i = 0; i < alignment.rows.size(); ++i) {
        if (alignment.rows[i]) rowTo[static_cast<size_t>(alignment.rows[i] - from.firstRow)] = area.firstRow + static_cast<int>(i);
    }
    for (size_t i = 0; i < alignment.columns.size(); ++i) {
        if (alignment.columns[i]) {
            columnTo[static_cast<size_t>(alignment.columns[i] - from.firstColumn)] = area.firstColumn + static_cast<int>(i);
        }
    }
    std::vector<std::pair<uint64_t, CellValue>> landed;
    source.forEachValue(from, [&](int row, int column, const CellValue& v) {
        const int to = rowTo[static_cast<size_t>(row - from.firstRow)], at = columnTo[static_cast<size_t>(column - from.firstColumn)];
        if (to && at) landed.emplace_back(area.positionOf(to, at), v);
    });
    std::sort(landed.begin(), landed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    for (const auto& [position, v] : landed) {
        const CellAddress cell = area.cellAt(position);
        values.addValue(cell.row, cell.column, v);
    }
    return values;
}

CellValue AlignedWorksheet::cell(int row, int column) const {
    for (const AreaAlignment& a : alignments_) {
        if (!a.area.contains(row, column)) continue;
        const CellAddress from = a.sourceCell({row, column});
        return from.row ? source_.cell(from.row, from.column) : CellValue();
    }
    return source_.cell(row, column);
}

void AlignedWorksheet::forEachValue(const CellArea& zone, const std::function<void(int, int, const CellValue&)>& visit) const {
    const bool aligned = std::any_of(alignments_.begin(), alignments_.end(), [&](const AreaAlignment& a) {
        return a.area.firstRow <= zone.lastRow && zone.firstRow <= a.area.lastRow && a.area.firstColumn <= zone.lastColumn &&
               zone.firstColumn <= a.area.lastColumn;
    });
    if (!aligned) return source_.forEachValue(zone, visit);
    // The template's formulas read cells of the ranges: small zones, asked cell by cell.
    for (int row = zone.firstRow; row <= zone.lastRow; ++row) {
        for (int column = zone.firstColumn; column <= zone.lastColumn; ++column) {
            const CellValue v = cell(row, column);
            if (!v.isEmpty()) visit(row, column, v);
        }
    }
}

std::pair<int, int> AlignedWorksheet::lastValueCell() const {
    auto last = source_.lastValueCell();
    for (const AreaAlignment& a : alignments_) {
        last.first = std::max(last.first, a.area.lastRow);
        last.second = std::max(last.second, a.area.lastColumn);
    }
    return last;
}

void AlignedWorksheet::setCell(int, int, const CellValue&) {
    throw WorkbookError(WorkbookErrorKind::WriteUnsupported, {}, "a source seen through its alignment is only read");
}

}  // namespace sbx
