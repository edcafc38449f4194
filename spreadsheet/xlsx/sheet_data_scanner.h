#pragma once
// A fast tokenizer for the content of a worksheet's <sheetData> (and of the shared-string
// table's <sst>): rows, cells and values are a small, regular part of XML that makes up nearly
// all of such a part. It hands the same events to an XmlHandler as XmlParser does (names
// without prefix, attributes with their prefixes and decoded values, line ends read as LF),
// but accepts only a strict subset of XML: plain ASCII names, the five predefined entities and
// character references, UTF-8 text, tokens up to 1 MB. On anything else (comments, CDATA,
// processing instructions, a malformed or unusual token) it throws ScanDeclined, and the
// caller reads the part again with expat, which then gives the result or the error that XML
// asks for.
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

struct ScanDeclined {};

class SheetDataScanner {
public:
    // `endName`: the sheetData element's name as written ("sheetData", "x:sheetData"); the
    // scan ends at its end tag.
    SheetDataScanner(XmlHandler& handler, std::string endName);

    // Scans the next piece. Returns true once the end tag was met; `rest` then holds what
    // follows it in this piece. Throws ScanDeclined, or what the handler throws.
    bool feed(std::string_view piece, std::string_view& rest);

private:
    // Handles the complete tokens at the start of `data`; returns the bytes used.
    size_t scan(std::string_view data);
    size_t text(std::string_view data, size_t end);
    size_t startTag(std::string_view data, size_t end);
    size_t endTag(std::string_view data, size_t end);
    void decodeInto(std::string& out, std::string_view raw, bool attribute);

    XmlHandler& handler_;
    std::string endName_;
    std::string carry_;        // an incomplete token from the end of the last piece
    bool done_ = false;
    std::vector<std::string> open_;  // the elements open inside sheetData
    size_t depth_ = 0;
    std::string decoded_;
    std::string names_;
    std::vector<size_t> offsets_;
    std::vector<const char*> attributes_;
};

}  // namespace sbx::xlsx
