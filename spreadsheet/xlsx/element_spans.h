#pragma once
// Where each element of a small part lies in its bytes, so that an edit can replace or cut
// exactly that element and keep every other byte of the part as it was.
#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace sbx::xlsx {

struct ElementSpan {
    std::string name;      // without prefix
    std::string qualified; // as written, with its prefix
    size_t start = 0;        // the "<" of the start tag
    size_t startTagEnd = 0;  // after the start tag's ">"
    size_t end = 0;          // after the end tag (startTagEnd for an empty element)
    int depth = 0;
    std::map<std::string, std::string> attributes;  // by name without prefix
    bool isEmpty() const { return end == startTagEnd; }
};

// Throws xls::FormatError for malformed XML.
std::vector<ElementSpan> elementSpans(std::string_view xml, const std::string& part);

// Sets (adds or replaces) one attribute in a start tag's text.
std::string withAttribute(std::string_view startTag, std::string_view name, std::string_view value);
// The start tag's text without the attribute.
std::string withoutAttribute(std::string_view startTag, std::string_view name);

// Text with & < > " escaped for XML content and attributes.
std::string escapeXml(std::string_view text);

// Replacements of byte ranges of a text, applied together.
class Splices {
public:
    void replace(size_t begin, size_t end, std::string text) { edits_.push_back({begin, end, std::move(text), edits_.size()}); }
    void insert(size_t at, std::string text) { replace(at, at, std::move(text)); }
    std::string apply(std::string_view original) const;

private:
    struct Edit {
        size_t begin, end;
        std::string text;
        size_t order;
    };
    std::vector<Edit> edits_;
};

}  // namespace sbx::xlsx
