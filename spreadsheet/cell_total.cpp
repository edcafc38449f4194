#include "spreadsheet/cell_total.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace sbx {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Digits with optional comma grouping: 1234, 1,234, 12,345,678 (not 1,23, 1234,567 or ,123).
bool takeGroupedDigits(std::string_view text, size_t& i, std::string& out) {
    size_t lead = 0;
    while (i < text.size() && isDigit(text[i])) {
        out.push_back(text[i++]);
        ++lead;
    }
    if (lead == 0) return false;
    if (i < text.size() && text[i] == ',' && lead > 3) return false;
    while (i < text.size() && text[i] == ',') {
        size_t n = 0;
        while (i + 1 + n < text.size() && isDigit(text[i + 1 + n])) ++n;
        if (n != 3) return false;
        out.append(text.substr(i + 1, 3));
        i += 4;
    }
    return true;
}

}  // namespace

std::optional<double> readsAsNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    size_t end = text.size();
    while (end > i && text[end - 1] == ' ') --end;
    text = text.substr(0, end);
    if (i == text.size()) return std::nullopt;

    std::string plain;
    if (text[i] == '+' || text[i] == '-') plain.push_back(text[i++]);
    bool digits = false;
    if (i < text.size() && isDigit(text[i])) {
        if (!takeGroupedDigits(text, i, plain)) return std::nullopt;
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        plain.push_back(text[i++]);
        while (i < text.size() && isDigit(text[i])) {
            plain.push_back(text[i++]);
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        plain.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) plain.push_back(text[i++]);
        if (i == text.size() || !isDigit(text[i])) return std::nullopt;
        while (i < text.size() && isDigit(text[i])) plain.push_back(text[i++]);
    }
    if (i != text.size()) return std::nullopt;

    const char* first = plain.data();
    if (*first == '+') ++first;
    double value = 0;
    const auto r = std::from_chars(first, plain.data() + plain.size(), value);
    if (r.ec != std::errc() || r.ptr != plain.data() + plain.size()) return std::nullopt;
    return value;
}

Contribution CellTotal::add(const CellValue& v, bool dates1904) {
    switch (v.kind()) {
        case CellKind::Empty: return Contribution::Blank;
        case CellKind::Number: addNumber(v.numberValue()); return Contribution::Added;
        case CellKind::Text:
            if (const auto n = readsAsNumber(v.textValue())) {
                addNumber(*n);
                return Contribution::Added;
            }
            return Contribution::AddsNothing;
        case CellKind::Date:
            // The stored number counts towards a sum; the date itself is kept in case no
            // plain number ever comes.
            sum_.add(dates1904 ? v.numberValue() - kDate1904Offset : v.numberValue());
            latestDate_ = dates_ ? std::max(latestDate_, v.numberValue()) : v.numberValue();
            dates_ = true;
            return Contribution::Added;
        case CellKind::Boolean:
        case CellKind::Error: return Contribution::AddsNothing;
    }
    return Contribution::AddsNothing;
}

CellValue CellTotal::written() const {
    if (numbers_) {
        const double total = sum_.value();
        return total == 0.0 ? CellValue() : CellValue::number(total);
    }
    if (dates_) return CellValue::date(latestDate_);
    return CellValue();
}

}  // namespace sbx
