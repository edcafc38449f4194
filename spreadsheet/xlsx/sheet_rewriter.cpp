#include "spreadsheet/xlsx/sheet_rewriter.h"

#include <charconv>
#include <cstdio>
#include <map>
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
    Span formula, value, inlineText;  // its <f>, <v> and <is>
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
        if (cellOpen_) {
            if (++childDepth_ == 1) {
                if (name == "f") begin(cells.back().formula);
                else if (name == "v") begin(cells.back().value);
                else if (name == "is") begin(cells.back().inlineText);
            }
            return;
        }
        const int level = dataDepth_;
        if (dataDepth_ >= 0) ++dataDepth_;
        if (name == "c") {
            if (!inRow_ || level != 1) return;
            column_ += 1;
            const char* r = attribute(attributes, "r");
            if (const auto cell = r ? parseCellAddress(r, AddressForm::DollarsAllowed) : std::nullopt) column_ = cell->column;
            if (!editedRows_.count(row_)) return;
            CellSpan c;
            begin(c);
            c.row = row_;
            c.column = column_;
            if (const char* s = attribute(attributes, "s")) c.style = s;
            cells.push_back(std::move(c));
            cellOpen_ = true;
        } else if (name == "row") {
            if (level != 0) return;
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
            if (level < 0) dataDepth_ = 0;
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
        if (cellOpen_ && childDepth_ > 0) {
            if (childDepth_-- == 1) {
                if (name == "f") finish(cells.back().formula);
                else if (name == "v") finish(cells.back().value);
                else if (name == "is") finish(cells.back().inlineText);
            }
            return;
        }
        if (dataDepth_ > 0) --dataDepth_;
        else if (dataDepth_ == 0) dataDepth_ = -1;  // </sheetData>
        if (name == "c") {
            if (cellOpen_) finish(cells.back());
            cellOpen_ = false;
        } else if (name == "row") {
            if (!inRow_ || dataDepth_ != 0) return;
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
    // Elements open inside <sheetData>, -1 outside it: only its <row> children are rows and
    // their <c> children cells, not the <xdr:row> of the drawing anchors after it.
    int dataDepth_ = -1;
    int row_ = 0;
    int column_ = 0;
    bool inRow_ = false;
    bool cellOpen_ = false;
    int childDepth_ = 0;
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
    std::string out = "<" + px + "c r=\"" + cellName({row, column}, LetterCase::Upper) + "\"";
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

namespace {

// A formula cell with a new cached result: its start tag with the type of the result, its
// <f> and other children as they were, the new <v> after the <f>.
std::string withResult(std::string_view xml, const CellSpan& cell, const CellValue& result, const std::string& p) {
    std::string tag(xml.substr(cell.start, cell.startTagEnd - cell.start));
    std::string value;
    switch (result.kind()) {
        case CellKind::Text:
            tag = withAttribute(tag, "t", "str");
            value = textContent(result.textValue());
            break;
        case CellKind::Boolean:
            tag = withAttribute(tag, "t", "b");
            value = result.booleanValue() ? "1" : "0";
            break;
        case CellKind::Error:
            tag = withAttribute(tag, "t", "e");
            value = escapeXml(errorText(result.errorCode()));
            break;
        case CellKind::Empty:
        case CellKind::Number:
        case CellKind::Date:
            tag = withoutAttribute(tag, "t");
            value = numberText(result.isEmpty() ? 0.0 : result.numberValue());
            break;
    }
    const std::string element = "<" + p + "v>" + value + "</" + p + "v>";
    if (cell.end == cell.startTagEnd) {  // <c r="B2"/>
        tag = tag.substr(0, tag.rfind('/')) + ">";
        return tag + element + "</" + p + "c>";
    }
    std::string out = tag;
    const size_t at = cell.formula.found ? cell.formula.end : cell.startTagEnd;
    for (size_t i = cell.startTagEnd; i <= cell.endTagStart;) {
        if (i == at) out += element;
        if (i == cell.endTagStart) break;
        const Span* skip = cell.value.found && i == cell.value.start ? &cell.value
                           : cell.inlineText.found && i == cell.inlineText.start ? &cell.inlineText
                                                                                 : nullptr;
        if (skip) {
            i = skip->end;
            continue;
        }
        // Copy up to the next place where something is cut or inserted.
        size_t next = cell.endTagStart;
        for (const size_t mark : {at, cell.value.found ? cell.value.start : next, cell.inlineText.found ? cell.inlineText.start : next}) {
            if (mark > i && mark < next) next = mark;
        }
        out.append(xml.substr(i, next - i));
        i = next;
    }
    out.append(xml.substr(cell.endTagStart, cell.end - cell.endTagStart));
    return out;
}

}  // namespace

std::string rewriteWorksheet(std::string_view xml, const SheetEdits& edits, const CellWriteStyle& style,
                             const std::string& part, const std::map<uint64_t, CellValue>& results) {
    std::set<int> editedRows;
    for (const auto& e : edits) editedRows.insert(keyRow(e.first));
    for (const auto& r : results) editedRows.insert(keyRow(r.first));
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

    // Written values and new formula results (never the same cell), by position.
    struct Change {
        const CellValue* value;
        bool result;
    };
    std::map<uint64_t, Change> changes;
    for (const auto& [key, v] : edits) changes.emplace(key, Change{&v, false});
    for (const auto& [key, v] : results) changes.emplace(key, Change{&v, true});
    std::map<uint64_t, const CellSpan*> spanAt;
    for (const auto& c : layout.cells) spanAt.emplace(cellKey(c.row, c.column), &c);

    Splices splices;
    std::string newRows;  // rows to add at the end of sheetData
    size_t rowIndex = 0;
    for (const int row : editedRows) {
        const auto first = changes.lower_bound(cellKey(row, 1));
        const auto last = changes.lower_bound(cellKey(row + 1, 1));
        while (rowIndex < layout.rows.size() && layout.rows[rowIndex].row < row) ++rowIndex;
        const RowSpan* existing = rowIndex < layout.rows.size() && layout.rows[rowIndex].row == row ? &layout.rows[rowIndex] : nullptr;
        if (!existing) {
            std::string element = "<" + p + "row r=\"" + std::to_string(row) + "\">";
            for (auto e = first; e != last; ++e) element += cellText(row, keyColumn(e->first), *e->second.value, nullptr);
            element += "</" + p + "row>";
            if (rowIndex < layout.rows.size()) splices.insert(layout.rows[rowIndex].start, element);
            else newRows += element;
            continue;
        }
        const std::string_view startTag = xml.substr(existing->start, existing->startTagEnd - existing->start);
        if (existing->end == existing->startTagEnd) {
            // <row r="5"/>: becomes <row r="5">cells</row>.
            std::string tag = withoutAttribute(startTag, "spans");
            const size_t slash = tag.rfind('/');
            tag = tag.substr(0, slash) + ">";
            for (auto e = first; e != last; ++e) tag += cellText(row, keyColumn(e->first), *e->second.value, nullptr);
            tag += "</" + p + "row>";
            splices.replace(existing->start, existing->startTagEnd, tag);
            continue;
        }
        bool added = false;
        for (auto e = first; e != last; ++e) {
            const int column = keyColumn(e->first);
            const auto found = spanAt.find(e->first);
            if (found != spanAt.end()) {
                const CellSpan& same = *found->second;
                splices.replace(same.start, same.end, e->second.result ? withResult(xml, same, *e->second.value, p)
                                                                       : cellText(row, column, *e->second.value, &same));
                continue;
            }
            const auto after = spanAt.upper_bound(e->first);
            const bool inRow = after != spanAt.end() && after->second->row == row;
            splices.insert(inRow ? after->second->start : existing->endTagStart, cellText(row, column, *e->second.value, nullptr));
            added = true;
        }
        // Drop the spans hint of a row that gains cells outside it.
        if (added) {
            const std::string tag = withoutAttribute(startTag, "spans");
            if (tag != startTag) splices.replace(existing->start, existing->startTagEnd, tag);
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
                const std::string text = cellName({grown.firstRow, grown.firstColumn}, LetterCase::Upper) + ":" +
                                         cellName({grown.lastRow, grown.lastColumn}, LetterCase::Upper);
                splices.replace(layout.dimension.start, layout.dimension.startTagEnd, withAttribute(tag, "ref", text));
            }
        }
    }
    return splices.apply(xml);
}

}  // namespace sbx::xlsx
