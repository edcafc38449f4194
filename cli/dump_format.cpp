#include "cli/dump_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace sbx::cli {

std::string formatNumber(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    if (v == std::floor(v) && std::fabs(v) < 1e15) {
        return std::to_string(static_cast<long long>(v));
    }
    // Shortest round-trip digits, then laid out as fixed or scientific.
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific);
    std::string sci(buf, res.ptr);  // e.g. -1.2345e+16
    const size_t e = sci.find('e');
    std::string mantissa = sci.substr(0, e);
    const int exponent = std::stoi(sci.substr(e + 1));
    const bool negative = mantissa[0] == '-';
    if (negative) mantissa.erase(0, 1);
    std::string digits;
    for (char c : mantissa) {
        if (c != '.') digits.push_back(c);
    }
    std::string out = negative ? "-" : "";
    if (exponent < -4 || exponent >= 16) {
        out += digits.substr(0, 1);
        if (digits.size() > 1) out += "." + digits.substr(1);
        char exp[16];
        std::snprintf(exp, sizeof exp, "e%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
        return out + exp;
    }
    if (exponent < 0) {
        return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + digits;
    }
    const size_t intDigits = static_cast<size_t>(exponent) + 1;
    if (digits.size() <= intDigits) {
        return out + digits + std::string(intDigits - digits.size(), '0') + ".0";
    }
    return out + digits.substr(0, intDigits) + "." + digits.substr(intDigits);
}

namespace {
// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void civilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long yy = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yy + (m <= 2));
}
}  // namespace

std::string formatDate(double serial) {
    if (!isCalendarSerial(serial)) return formatNumber(serial);
    // Serials below 60 count from 1899-12-31; from 61 on, from 1899-12-30, stepping over the
    // 29 February 1900 that the 1900 date system counts.
    constexpr long long kDays1899_12_30 = -25569;  // relative to 1970-01-01
    const auto wholeDays = static_cast<long long>(serial);  // truncation, as the serial's day
    const double fraction = serial - static_cast<double>(wholeDays);
    // The time of day may be negative for serials below zero: normalise with floor division.
    const long long total = wholeDays * 86400 + static_cast<long long>(std::floor(fraction * 86400.0 + 0.5));
    const long long days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
    const long long seconds = total - days * 86400;
    const long long epoch = serial < 60 ? kDays1899_12_30 + 1 : kDays1899_12_30;
    int y;
    unsigned m, d;
    civilFromDays(epoch + days, y, m, d);
    char buf[64];
    if (seconds == 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02u", y, m, d);
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02lld:%02lld:%02lld", y, m, d, seconds / 3600,
                      (seconds / 60) % 60, seconds % 60);
    }
    return buf;
}

std::string escapeText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out.push_back(c);
        }
    }
    return out;
}

std::string formatCell(const CellValue& v) {
    switch (v.kind()) {
        case CellKind::Empty: return {};
        case CellKind::Number: return formatNumber(v.numberValue());
        case CellKind::Text: return escapeText(v.textValue());
        case CellKind::Boolean: return v.booleanValue() ? "TRUE" : "FALSE";
        case CellKind::Date: return formatDate(v.numberValue());
        case CellKind::Error: return errorText(v.errorCode());
    }
    return {};
}

void dumpArea(const Worksheet& sheet, const CellArea& area, bool openEnded, std::ostream& out) {
    // Collect the non-empty texts first: the last row and column depend on them.
    std::map<std::pair<int, int>, std::string> texts;
    int lastRow = openEnded ? 0 : area.lastRow;
    int lastColumn = openEnded ? 0 : area.lastColumn;
    sheet.forEachValue(area, [&](int row, int column, const CellValue& v) {
        std::string text = formatCell(v);
        if (text.empty()) return;
        if (openEnded) {
            lastRow = std::max(lastRow, row);
            lastColumn = std::max(lastColumn, column);
        }
        texts.emplace(std::make_pair(row, column), std::move(text));
    });
    auto next = texts.begin();
    std::string line;
    for (int row = area.firstRow; row <= lastRow; ++row) {
        line.clear();
        for (int column = area.firstColumn; column <= lastColumn; ++column) {
            if (column > area.firstColumn) line.push_back('\t');
            if (next != texts.end() && next->first == std::make_pair(row, column)) {
                line += next->second;
                ++next;
            }
        }
        line.push_back('\n');
        out << line;
    }
}

}  // namespace sbx::cli
