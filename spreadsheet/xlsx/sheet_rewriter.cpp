#include "spreadsheet/xlsx/sheet_rewriter.h"

#include <charconv>
#include <cstdio>
#include <set>

#include "spreadsheet/xls/format_error.h"
#include "spreadsheet/xlsx/element_spans.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

using xls::FormatError;

namespace {

struct Span {
    size_t start = 0, startTagEnd = 0, end = 0, endTagStart = 0;
    bool found = false;
};

struct RowSpan : Span {
    int row = 0;
};

struct CellSpan : Span {
    int row = 0, column = 0;
    std::string style;  // the s attribute as written; "" when none
};

class LayoutHandler final : public XmlHandler {
public:
    LayoutHandler(std::string_view xml, const std::set<int>& editedRows) : xml_(xml), editedRows_(editedRows) {}
    XmlParser* parser = nullptr;
    Span sheetData, dimension;
    int sheetDataCount = 0;  // a part has one; rows spread over two cannot be rewritten in place
    std::string prefix;
    std::vector<RowSpan> rows;
    std::vector<CellSpan> cells;  // of the edited rows

    void start(std::string_view name, const char** attributes) override {
        if (name == "c") {
            if (!inRow_) return;
            column_ += 1;
            const char* r = attribute(attributes, "r");
            int row = row_, column = column_;
            if (r && parseReference(r, row, column)) column_ = column;
            if (!editedRows_.count(row_)) return;
            CellSpan c;
            begin(c);
            c.row = row_;
            c.column = column_;
            if (const char* s = attribute(attributes, "s")) c.style = s;
            cells.push_back(std::move(c));
            cellOpen_ = true;
        } else if (name == "row") {
            const char* r = attribute(attributes, "r");
            uint32_t n = 0;
            if (r) std::from_chars(r, r + std::char_traits<char>::length(r), n);
            row_ = r ? static_cast<int>(n) : row_ + 1;
            column_ = 0;
            inRow_ = true;
            RowSpan s;
            begin(s);
            s.row = row_;
            rows.push_back(s);
        } else if (name == "sheetData") {
            ++sheetDataCount;
            begin(sheetData);
            size_t n = sheetData.start + 1;
            while (n < xml_.size() && xml_[n] != ' ' && xml_[n] != '>' && xml_[n] != '/') ++n;
            const std::string_view qualified = xml_.substr(sheetData.start + 1, n - sheetData.start - 1);
            const size_t colon = qualified.find(':');
            prefix = colon == std::string_view::npos ? "" : std::string(qualified.substr(0, colon + 1));
        } else if (name == "dimension") {
            begin(dimension);
        }
    }
    void end(std::string_view name) override {
        if (name == "c") {
            if (cellOpen_) finish(cells.back());
            cellOpen_ = false;
        } else if (name == "row") {
            finish(rows.back());
            inRow_ = false;
        } else if (name == "sheetData") {
            finish(sheetData);
        } else if (name == "dimension") {
            finish(dimension);
        }
    }

private:
    void begin(Span& s) {
        s.found = true;
        s.start = static_cast<size_t>(parser->eventOffset());
        s.startTagEnd = s.start + static_cast<size_t>(parser->eventLength());
    }
    void finish(Span& s) {
        const int length = parser->eventLength();
        s.endTagStart = length > 0 ? static_cast<size_t>(parser->eventOffset()) : s.startTagEnd;
        s.end = length > 0 ? s.endTagStart + static_cast<size_t>(length) : s.startTagEnd;
    }

    std::string_view xml_;
    const std::set<int>& editedRows_;
    int row_ = 0;
    int column_ = 0;
    bool inRow_ = false;
    bool cellOpen_ = false;
};

std::string numberText(double v) {
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, result.ptr);
}

// Control characters are not allowed in XML 1.0: OOXML writes them as _xHHHH_, and a
// literal "_x" that would read as such an escape gets its "_" escaped.
std::string textContent(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        char escape[16];
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') ||
            (c == '_' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X'))) {
            std::snprintf(escape, sizeof escape, "_x%04X_", c);
            out += escape;
        } else if (c == '\r') {
            out += "&#13;";
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return escapeXml(out);
}

}  // namespace

std::string cellElement(std::string_view p, int row, int column, const CellValue& value, const std::string* styleText,
                        bool date1904) {
    const std::string px(p);
    std::string out = "<" + px + "c r=\"" + referenceText(row, column) + "\"";
    if (styleText && !styleText->empty()) out += " s=\"" + escapeXml(*styleText) + "\"";
    auto valueElement = [&](const std::string& v) { return "<" + px + "v>" + v + "</" + px + "v>"; };
    switch (value.kind()) {
        case CellKind::Empty: return out + "/>";
        case CellKind::Number: return out + ">" + valueElement(numberText(value.numberValue())) + "</" + px + "c>";
        case CellKind::Date: {
            const double serial = date1904 ? value.numberValue() - kDate1904Offset : value.numberValue();
            return out + ">" + valueElement(numberText(serial)) + "</" + px + "c>";
        }
        case CellKind::Boolean: return out + " t=\"b\">" + valueElement(value.booleanValue() ? "1" : "0") + "</" + px + "c>";
        case CellKind::Error: return out + " t=\"e\">" + valueElement(escapeXml(errorText(value.errorCode()))) + "</" + px + "c>";
        case CellKind::Text:
            return out + " t=\"inlineStr\"><" + px + "is><" + px + "t xml:space=\"preserve\">" + textContent(value.textValue()) +
                   "</" + px + "t></" + px + "is></" + px + "c>";
    }
    return out + "/>";
}

std::string rewriteWorksheet(std::string_view xml, const SheetEdits& edits, const CellWriteStyle& style,
                             const std::string& part) {
    std::set<int> editedRows;
    for (const auto& e : edits) editedRows.insert(keyRow(e.first));
    LayoutHandler layout(xml, editedRows);
    {
        XmlParser parser(layout, part);
        layout.parser = &parser;
        parser.feed(xml);
        parser.finish();
    }
    if (!layout.sheetData.found) {
        throw FormatError(WorkbookErrorKind::Corrupt, "the worksheet part " + part + " has no sheetData element");
    }
    if (layout.sheetDataCount > 1) {
        throw FormatError(WorkbookErrorKind::Corrupt,
                          "the worksheet part " + part + " has more than one sheetData element, so it cannot be rewritten");
    }
    const std::string& p = layout.prefix;
    auto cellText = [&](int row, int column, const CellValue& value, const CellSpan* old) {
        uint32_t number = 0;
        std::string text;
        if (old) {
            text = old->style;
            std::from_chars(text.data(), text.data() + text.size(), number);
        } else {
            number = style.inherited ? style.inherited(row, column) : 0;
            if (number) text = std::to_string(number);
        }
        if (value.kind() == CellKind::Date && style.forDate) {
            const uint32_t dated = style.forDate(number);
            if (dated != number) text = std::to_string(dated);
        }
        return cellElement(p, row, column, value, &text, style.date1904);
    };

    Splices splices;
    std::string newRows;  // rows to add at the end of sheetData
    size_t rowIndex = 0;
    auto editsOfRow = [&](int row) {
        return std::make_pair(edits.lower_bound(cellKey(row, 1)), edits.lower_bound(cellKey(row + 1, 1)));
    };
    for (const int row : editedRows) {
        const auto [first, last] = editsOfRow(row);
        while (rowIndex < layout.rows.size() && layout.rows[rowIndex].row < row) ++rowIndex;
        const RowSpan* existing = rowIndex < layout.rows.size() && layout.rows[rowIndex].row == row ? &layout.rows[rowIndex] : nullptr;
        if (!existing) {
            std::string element = "<" + p + "row r=\"" + std::to_string(row) + "\">";
            for (auto e = first; e != last; ++e) element += cellText(row, keyColumn(e->first), e->second, nullptr);
            element += "</" + p + "row>";
            if (rowIndex < layout.rows.size()) splices.insert(layout.rows[rowIndex].start, element);
            else newRows += element;
            continue;
        }
        // Drop the spans hint of a row that gains cells outside it.
        const std::string_view startTag = xml.substr(existing->start, existing->startTagEnd - existing->start);
        std::string tag = withoutAttribute(startTag, "spans");
        if (existing->end == existing->startTagEnd) {
            // <row r="5"/>: becomes <row r="5">cells</row>.
            const size_t slash = tag.rfind('/');
            tag = tag.substr(0, slash) + ">";
            for (auto e = first; e != last; ++e) tag += cellText(row, keyColumn(e->first), e->second, nullptr);
            tag += "</" + p + "row>";
            splices.replace(existing->start, existing->startTagEnd, tag);
            continue;
        }
        if (tag != startTag) splices.replace(existing->start, existing->startTagEnd, tag);
        for (auto e = first; e != last; ++e) {
            const int column = keyColumn(e->first);
            const CellSpan* same = nullptr;
            const CellSpan* after = nullptr;
            for (const auto& c : layout.cells) {
                if (c.row != row) continue;
                if (c.column == column) same = &c;
                if (c.column > column && (!after || c.start < after->start)) after = &c;
            }
            if (same) {
                splices.replace(same->start, same->end, cellText(row, column, e->second, same));
            } else {
                splices.insert(after ? after->start : existing->endTagStart, cellText(row, column, e->second, nullptr));
            }
        }
    }
    if (!newRows.empty()) {
        if (layout.sheetData.end == layout.sheetData.startTagEnd) {
            std::string tag(xml.substr(layout.sheetData.start, layout.sheetData.startTagEnd - layout.sheetData.start));
            tag = tag.substr(0, tag.rfind('/')) + ">" + newRows + "</" + p + "sheetData>";
            splices.replace(layout.sheetData.start, layout.sheetData.startTagEnd, tag);
        } else {
            splices.insert(layout.sheetData.endTagStart, newRows);
        }
    }
    if (layout.dimension.found) {
        // The used area grows to take in the written cells.
        const std::string_view tag = xml.substr(layout.dimension.start, layout.dimension.startTagEnd - layout.dimension.start);
        const auto spans = elementSpans(std::string(tag.substr(0, tag.size() - (tag.ends_with("/>") ? 2 : 1))) + "/>", part);
        Area area;
        const std::string ref = spans.empty() || !spans[0].attributes.count("ref") ? "" : spans[0].attributes.at("ref");
        if (parseArea(ref, area)) {
            Area grown = area;
            for (const auto& e : edits) {
                if (e.second.isEmpty()) continue;
                grown.firstRow = std::min(grown.firstRow, keyRow(e.first));
                grown.lastRow = std::max(grown.lastRow, keyRow(e.first));
                grown.firstColumn = std::min(grown.firstColumn, keyColumn(e.first));
                grown.lastColumn = std::max(grown.lastColumn, keyColumn(e.first));
            }
            if (grown.firstRow != area.firstRow || grown.lastRow != area.lastRow || grown.firstColumn != area.firstColumn ||
                grown.lastColumn != area.lastColumn) {
                const std::string text = referenceText(grown.firstRow, grown.firstColumn) + ":" +
                                         referenceText(grown.lastRow, grown.lastColumn);
                splices.replace(layout.dimension.start, layout.dimension.startTagEnd, withAttribute(tag, "ref", text));
            }
        }
    }
    return splices.apply(xml);
}

}  // namespace sbx::xlsx
