#include "consolidate/accumulation.h"

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

void RunningTotal::addNumber(double x) {
    if (kind_ == CellKind::Empty) kind_ = CellKind::Number;
    sum_.add(x);
}

void RunningTotal::add(const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty:
            if (kind_ == CellKind::Empty) kind_ = CellKind::Number;
            return;
        case CellKind::Number: addNumber(v.numberValue()); return;
        case CellKind::Text:
            if (const auto n = readsAsNumber(v.textValue())) addNumber(*n);
            return;
        case CellKind::Date:
            kind_ = CellKind::Date;
            sum_ = CompensatedSum(v.numberValue());
            return;
        case CellKind::Boolean:
        case CellKind::Error: return;
    }
}

CellValue RunningTotal::value() const {
    switch (kind_) {
        case CellKind::Number: return CellValue::number(sum_.value());
        case CellKind::Date: return CellValue::date(sum_.value());
        default: return CellValue();
    }
}

CellValue valueToWrite(const CellValue& total) {
    switch (total.kind()) {
        case CellKind::Empty:
        case CellKind::Error: return CellValue::text("");
        case CellKind::Number: return total.numberValue() == 0 ? CellValue::text("") : total;
        case CellKind::Boolean: return total.booleanValue() ? total : CellValue::text("");
        case CellKind::Text: {
            const auto n = readsAsNumber(total.textValue());
            return !n || *n == 0 ? CellValue::text("") : total;
        }
        case CellKind::Date: return total;
    }
    return CellValue::text("");
}

}  // namespace sbx
