#include "spreadsheet/xlsx/element_spans.h"

#include <algorithm>

#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

namespace {

class SpanHandler final : public XmlHandler {
public:
    SpanHandler(std::string_view xml) : xml_(xml) {}
    XmlParser* parser = nullptr;
    std::vector<ElementSpan> spans;

    void start(std::string_view name, const char** attributes) override {
        ElementSpan s;
        s.name = std::string(name);
        s.start = static_cast<size_t>(parser->eventOffset());
        s.startTagEnd = s.start + static_cast<size_t>(parser->eventLength());
        size_t n = s.start + 1;
        while (n < xml_.size() && xml_[n] != ' ' && xml_[n] != '>' && xml_[n] != '/' && xml_[n] != '\t' &&
               xml_[n] != '\r' && xml_[n] != '\n') {
            ++n;
        }
        s.qualified = std::string(xml_.substr(s.start + 1, n - s.start - 1));
        s.depth = static_cast<int>(open_.size());
        for (const char** a = attributes; *a; a += 2) s.attributes[std::string(localName(a[0]))] = a[1];
        open_.push_back(spans.size());
        spans.push_back(std::move(s));
    }
    void end(std::string_view) override {
        ElementSpan& s = spans[open_.back()];
        open_.pop_back();
        const int length = parser->eventLength();
        s.end = length > 0 ? static_cast<size_t>(parser->eventOffset()) + static_cast<size_t>(length) : s.startTagEnd;
    }

private:
    std::string_view xml_;
    std::vector<size_t> open_;
};

size_t attributeStart(std::string_view tag, std::string_view name, size_t& valueEnd) {
    size_t from = 0;
    while (true) {
        const size_t at = tag.find(name, from);
        if (at == std::string_view::npos) return at;
        from = at + 1;
        const char before = at > 0 ? tag[at - 1] : '<';
        if (before != ' ' && before != '\t' && before != '\r' && before != '\n' && before != ':') continue;
        // XML allows any of its blanks around the "=".
        const auto blank = [&](size_t i) { return tag[i] == ' ' || tag[i] == '\t' || tag[i] == '\r' || tag[i] == '\n'; };
        size_t k = at + name.size();
        while (k < tag.size() && blank(k)) ++k;
        if (k >= tag.size() || tag[k] != '=') continue;
        ++k;
        while (k < tag.size() && blank(k)) ++k;
        if (k >= tag.size() || (tag[k] != '"' && tag[k] != '\'')) continue;
        const size_t close = tag.find(tag[k], k + 1);
        if (close == std::string_view::npos) return std::string_view::npos;
        valueEnd = close + 1;
        size_t begin = at;
        while (begin > 0 && tag[begin - 1] != ' ' && tag[begin - 1] != '\t' && tag[begin - 1] != '\r' && tag[begin - 1] != '\n') --begin;
        return begin;
    }
}

}  // namespace

std::vector<ElementSpan> elementSpans(std::string_view xml, const std::string& part) {
    SpanHandler handler(xml);
    XmlParser parser(handler, part);
    handler.parser = &parser;
    parser.feed(xml);
    parser.finish();
    return std::move(handler.spans);
}

std::string withoutAttribute(std::string_view tag, std::string_view name) {
    size_t valueEnd = 0;
    size_t begin = attributeStart(tag, name, valueEnd);
    if (begin == std::string_view::npos) return std::string(tag);
    while (begin > 0 && (tag[begin - 1] == ' ' || tag[begin - 1] == '\t' || tag[begin - 1] == '\r' || tag[begin - 1] == '\n')) --begin;
    return std::string(tag.substr(0, begin)) + std::string(tag.substr(valueEnd));
}

std::string withAttribute(std::string_view tag, std::string_view name, std::string_view value) {
    std::string out = withoutAttribute(tag, name);
    size_t at = out.size() - 1;  // the ">"
    if (at > 0 && out[at - 1] == '/') --at;
    while (at > 0 && (out[at - 1] == ' ' || out[at - 1] == '\t' || out[at - 1] == '\r' || out[at - 1] == '\n')) --at;
    out.insert(at, " " + std::string(name) + "=\"" + escapeXml(value) + "\"");
    return out;
}

std::string escapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string Splices::apply(std::string_view original) const {
    std::vector<const Edit*> order;
    for (const auto& e : edits_) order.push_back(&e);
    std::stable_sort(order.begin(), order.end(), [](const Edit* a, const Edit* b) {
        if (a->begin != b->begin) return a->begin < b->begin;
        const bool aInsert = a->begin == a->end, bInsert = b->begin == b->end;
        return aInsert != bInsert ? aInsert : a->order < b->order;
    });
    std::string out;
    out.reserve(original.size() + 256);
    size_t at = 0;
    for (const Edit* e : order) {
        if (e->begin < at) continue;  // overlapping edits: the first wins
        out.append(original.substr(at, e->begin - at));
        out.append(e->text);
        at = e->end;
    }
    out.append(original.substr(std::min(at, original.size())));
    return out;
}

}  // namespace sbx::xlsx
