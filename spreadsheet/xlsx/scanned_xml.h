#pragma once
// A part read by expat, except for the content of one element that holds nearly all of it
// (a worksheet's <sheetData>, the shared-string table's <sst>), which SheetDataScanner reads:
// expat reads up to that element's start tag, the scanner its content, and a second expat
// parser what follows (given the root's start tag again when the element is not the root).
// Whatever goes wrong after the first parser stops throws ScanDeclined, and the caller reads
// the part again with expat alone, so that the errors stay expat's.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "spreadsheet/xlsx/sheet_data_scanner.h"
#include "spreadsheet/xlsx/xml_parser.h"

namespace sbx::xlsx {

struct ScannedElement {
    std::string_view name;  // empty: expat reads everything
    int depth = 0;          // 0 for the root
};

class ScannedXmlParser final : private XmlHandler {
public:
    ScannedXmlParser(XmlHandler& target, const std::string& part, ScannedElement element);

    // Throw what XmlParser throws, or ScanDeclined.
    void feed(std::string_view piece);
    void finish();

private:
    void start(std::string_view name, const char** attributes) override;
    void end(std::string_view name) override;
    void text(std::string_view chars) override;
    void scan(std::string_view piece);
    void keepTail(std::string_view piece);

    XmlHandler& target_;
    const std::string& part_;
    ScannedElement element_;
    XmlParser prefix_;
    std::unique_ptr<SheetDataScanner> scanner_;
    std::unique_ptr<XmlParser> suffix_;
    struct Ignoring final : XmlHandler {
        void start(std::string_view, const char**) override {}
        void end(std::string_view) override {}
    } ignored_;  // what follows the root, when the root is the element scanned
    std::string rootName_;
    int depth_ = 0;
    bool finishing_ = false;
    uint64_t bodyStart_ = 0;
    uint64_t fed_ = 0;   // bytes before the current piece
    std::string tail_;  // the last bytes of the pieces before the current one
};

}  // namespace sbx::xlsx
