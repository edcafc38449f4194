#include "spreadsheet/source_reference.h"

#include <algorithm>
#include <optional>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace {

constexpr long kMaxRows = 65536;
constexpr long kMaxColumns = 256;

[[noreturn]] void fail(std::string_view reference, const std::string& what) {
    throw WorkbookError(WorkbookErrorKind::BadReference, {},
                        "source reference \"" + std::string(reference) + "\": " + what);
}

std::string_view trimBlanks(std::string_view s) {
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool isLetter(char c, char upper) { return c == upper || c == upper + 32; }

// A decimal number at `pos`, capped so that long digit runs cannot overflow.
std::optional<long> readNumber(std::string_view s, size_t& pos) {
    const size_t start = pos;
    long value = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        value = std::min(value * 10 + (s[pos] - '0'), 10'000'000L);
        ++pos;
    }
    if (pos == start) return std::nullopt;
    return value;
}

// R<row>C<column> at `pos`; both letters in either case.
std::optional<CellAddress> readCell(std::string_view reference, std::string_view s, size_t& pos) {
    if (pos >= s.size() || !isLetter(s[pos], 'R')) return std::nullopt;
    ++pos;
    const auto row = readNumber(s, pos);
    if (!row || pos >= s.size() || !isLetter(s[pos], 'C')) return std::nullopt;
    ++pos;
    const auto column = readNumber(s, pos);
    if (!column) return std::nullopt;
    if (*row < 1 || *row > kMaxRows) {
        fail(reference, "row " + std::to_string(*row) + " lies outside the rows 1 to 65536");
    }
    if (*column < 1 || *column > kMaxColumns) {
        fail(reference, "column " + std::to_string(*column) + " lies outside the columns 1 to 256");
    }
    return CellAddress{static_cast<int>(*row), static_cast<int>(*column)};
}

CellArea readArea(std::string_view reference, std::string_view s) {
    const std::string notArea = "\"" + std::string(s) + "\" after the last \"!\" is not a cell area such as R3C1:R20C8";
    size_t pos = 0;
    const auto first = readCell(reference, s, pos);
    if (!first) fail(reference, notArea);
    auto last = first;
    if (pos < s.size()) {
        if (s[pos] != ':') fail(reference, notArea);
        ++pos;
        last = readCell(reference, s, pos);
        if (!last || pos != s.size()) fail(reference, notArea);
    }
    if (last->row < first->row || last->column < first->column) {
        fail(reference, "the area's first cell lies below or right of its last cell");
    }
    return CellArea{first->row, first->column, last->row, last->column};
}

// The inside of 'folder[file]sheet', each quote doubled.
std::string unquote(std::string_view reference, std::string_view quoted) {
    std::string inner;
    for (size_t i = 0; i < quoted.size(); ++i) {
        if (quoted[i] == '\'') {
            if (i + 1 >= quoted.size() || quoted[i + 1] != '\'') {
                fail(reference, "a quote inside the quoted file and worksheet names must be doubled");
            }
            ++i;
        }
        inner += quoted[i];
    }
    return inner;
}

// Code points of UTF-8 text; a byte that is not valid UTF-8 stands for itself, above the
// code point range so that it equals nothing else.
std::u32string codePoints(std::string_view s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const int length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        bool valid = length > 0 && i + static_cast<size_t>(length) <= s.size();
        char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            cp = (cp << 6) | (next & 0x3F);
        }
        if (valid) {
            out += cp;
            i += static_cast<size_t>(length);
        } else {
            out += static_cast<char32_t>(0x110000 + b);
            ++i;
        }
    }
    return out;
}

char32_t foldCase(char32_t c) {
    const auto even = [c] { return c % 2 == 0; };
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;                       // Latin-1
    if (((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && even()) {
        return c + 1;                                                               // Latin Extended-A
    }
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && !even()) return c + 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;                     // Greek
    if (c >= 0x410 && c <= 0x42F) return c + 32;                                   // Cyrillic
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 32;                                 // full-width Latin
    return c;
}

}  // namespace

std::filesystem::path SourceReference::file() const { return utf8Path(folder + fileName); }

std::vector<SourceReference> readSourceReference(std::string_view given) {
    const std::string_view text = trimBlanks(given);
    if (text.empty()) fail(given, "the reference is empty");
    const size_t bang = text.rfind('!');
    if (bang == std::string_view::npos) fail(text, "there is no \"!\" before the cell area");
    const CellArea area = readArea(text, text.substr(bang + 1));

    std::string_view bookPart = text.substr(0, bang);
    std::string unquoted;
    if (!bookPart.empty() && bookPart.front() == '\'') {
        if (bookPart.size() < 2 || bookPart.back() != '\'') {
            fail(text, "the quote before the folder is not closed right before the last \"!\"");
        }
        unquoted = unquote(text, bookPart.substr(1, bookPart.size() - 2));
        bookPart = unquoted;
    }

    const size_t separator = bookPart.find_last_of("/\\");
    if (separator == std::string_view::npos) {
        fail(text, "there is no folder (ending with / or \\) before the file name");
    }
    const std::string_view rest = bookPart.substr(separator + 1);
    if (rest.empty() || rest.front() != '[') fail(text, "the folder must be followed by the file name in [ ]");

    std::vector<SourceReference> readings;
    for (size_t close = rest.size(); close-- > 1;) {
        if (rest[close] != ']' || close == 1 || close + 1 == rest.size()) continue;
        readings.push_back(SourceReference{std::string(text), std::string(bookPart.substr(0, separator + 1)),
                                           std::string(rest.substr(1, close - 1)),
                                           std::string(rest.substr(close + 1)), area});
    }
    if (readings.empty()) {
        const size_t close = rest.rfind(']');
        if (close == std::string_view::npos || close == 0) fail(text, "the \"]\" that ends the file name is missing");
        if (close + 1 == rest.size()) fail(text, "the worksheet name is missing");
        fail(text, "the file name is empty");
    }
    return readings;
}

SourceReference resolveSourceReference(std::string_view text,
                                       const std::function<bool(const std::filesystem::path&)>& fileExists) {
    std::vector<SourceReference> readings = readSourceReference(text);
    if (readings.size() == 1) return std::move(readings.front());
    std::vector<const SourceReference*> existing;
    for (const auto& reading : readings) {
        if (fileExists(reading.file())) existing.push_back(&reading);
    }
    if (existing.empty()) return std::move(readings.front());
    if (existing.size() == 1) return *existing.front();
    std::string choices;
    for (const auto* reading : existing) {
        choices += (choices.empty() ? "" : " or ") + std::string("file \"") + reading->fileName + "\" with worksheet \"" +
                   reading->sheetName + "\"";
    }
    fail(readings.front().text, "the brackets leave it open which is meant: " + choices);
}

bool sameWorksheetName(std::string_view a, std::string_view b) {
    const std::u32string x = codePoints(a), y = codePoints(b);
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
        if (foldCase(x[i]) != foldCase(y[i])) return false;
    }
    return true;
}

}  // namespace sbx
