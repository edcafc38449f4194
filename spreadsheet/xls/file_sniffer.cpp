#include "spreadsheet/xls/file_sniffer.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "spreadsheet/xls/biff_records.h"
#include "spreadsheet/xls/byte_reader.h"

namespace sbx::xls {

namespace {

std::string lowerAsciiPrefix(std::span<const uint8_t> bytes, size_t limit) {
    std::string s;
    const size_t n = std::min(bytes.size(), limit);
    s.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<char>(bytes[i]);
        s.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
    }
    return s;
}

std::span<const uint8_t> skipByteOrderMarkAndBlanks(std::span<const uint8_t> b) {
    if (b.size() >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) b = b.subspan(3);
    while (!b.empty() && (b[0] == ' ' || b[0] == '\t' || b[0] == '\r' || b[0] == '\n')) b = b.subspan(1);
    return b;
}

bool looksLikeText(std::span<const uint8_t> b) {
    const size_t n = std::min<size_t>(b.size(), 4096);
    size_t control = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t c = b[i];
        if (c == 0) return false;
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f') ++control;
    }
    return control * 20 < n + 1;
}

FormatError wrong(const std::string& what) { return {WorkbookErrorKind::WrongFormat, what}; }

}  // namespace

FormatError describeForeignFile(std::span<const uint8_t> bytes) {
    if (bytes.empty()) return {WorkbookErrorKind::Truncated, "the file is empty (0 bytes)"};
    if (bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' && bytes[2] == 3 && bytes[3] == 4) {
        const std::string head = lowerAsciiPrefix(bytes, 200);
        if (head.find("opendocument.spreadsheet") != std::string::npos) {
            return wrong("an OpenDocument spreadsheet (.ods), not an .xls workbook");
        }
        return wrong("an .xlsx file (Excel 2007 or later), not an .xls workbook; save it as "
                     "\"Excel 97-2003 Workbook\"");
    }
    if (bytes.size() >= 4) {
        // Excel 2.1-4.0 streams (BOF 0x0009, 0x0209, 0x0409) are read before this is asked.
        if (loadU16(bytes.data()) == rec::Bof) {
            return {WorkbookErrorKind::UnsupportedVersion,
                    "a bare workbook stream without the container that Excel 95 and later "
                    "write; open it in a spreadsheet application and save it as an Excel "
                    "97-2003 workbook"};
        }
    }
    const auto body = skipByteOrderMarkAndBlanks(bytes);
    const std::string head = lowerAsciiPrefix(body, 2048);
    if (head.starts_with("<?xml")) {
        if (head.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos ||
            head.find("progid=\"excel.sheet\"") != std::string::npos) {
            return wrong("an XML Spreadsheet 2003 file, not an .xls workbook");
        }
        if (head.find("<html") != std::string::npos) return wrong("a web page (HTML), not an .xls workbook");
        return wrong("an XML file, not an .xls workbook");
    }
    if (head.starts_with("<!doctype html") || head.starts_with("<html") ||
        head.find("<html") != std::string::npos || head.starts_with("<table")) {
        return wrong("a web page (HTML), not an .xls workbook");
    }
    if (head.starts_with("{\\rtf")) return wrong("a rich text (RTF) document, not an .xls workbook");
    if (head.starts_with("%pdf")) return wrong("a PDF document, not an .xls workbook");
    if (looksLikeText(body)) {
        return wrong("a text file (such as tab- or comma-separated values), not an .xls workbook");
    }
    return {WorkbookErrorKind::NotCompoundFile,
            "not an Excel 97-2003 workbook: the file does not start with the signature of one"};
}

}  // namespace sbx::xls
