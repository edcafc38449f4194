#include "spreadsheet/number_format_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "spreadsheet/cell_value.h"

namespace sbx {
namespace {

enum class TokenKind : uint8_t { Literal, Digit, Point, Comma, Percent, Exponent, Date, General, Text };

struct Token {
    TokenKind kind;
    std::string text;  // the literal, the placeholder character, the date part ("yyyy", "[h]", "AM/PM")
};

struct Section {
    std::vector<Token> tokens;
    std::string colour;
    bool condition = false;
    bool date = false;
    bool unsupported = false;  // fractions
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, size_t at, std::string_view word) {
    if (text.size() - at < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k)
        if (lower(text[at + k]) != lower(word[k])) return false;
    return true;
}

// The length of the UTF-8 sequence that starts with `c`.
size_t sequenceLength(unsigned char c) { return c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1; }

std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> out;
    size_t start = 0;
    bool quoted = false;
    for (size_t k = 0; k < code.size(); ++k) {
        const char c = code[k];
        if (c == '"') quoted = !quoted;
        else if (!quoted && (c == '\\' || c == '_' || c == '*')) ++k;
        else if (!quoted && c == ';') {
            out.push_back(code.substr(start, k - start));
            start = k + 1;
        }
    }
    out.push_back(code.substr(start));
    return out;
}

void addLiteral(Section& s, std::string_view text) {
    if (!s.tokens.empty() && s.tokens.back().kind == TokenKind::Literal) s.tokens.back().text += text;
    else s.tokens.push_back({TokenKind::Literal, std::string(text)});
}

Section parseSection(std::string_view code) {
    Section s;
    size_t k = 0;
    while (k < code.size()) {
        const char c = code[k];
        const char l = lower(c);
        if (c == '"') {
            const size_t end = code.find('"', k + 1);
            addLiteral(s, code.substr(k + 1, (end == std::string_view::npos ? code.size() : end) - k - 1));
            k = end == std::string_view::npos ? code.size() : end + 1;
        } else if (c == '\\' || c == '_' || c == '*') {
            const size_t n = k + 1 < code.size() ? sequenceLength(static_cast<unsigned char>(code[k + 1])) : 0;
            if (c == '\\') addLiteral(s, code.substr(k + 1, n));
            if (c == '_') addLiteral(s, " ");
            k += 1 + n;
        } else if (c == '[') {
            const size_t end = code.find(']', k);
            const std::string_view inside = code.substr(k + 1, (end == std::string_view::npos ? code.size() : end) - k - 1);
            k = end == std::string_view::npos ? code.size() : end + 1;
            std::string word;
            for (char ch : inside) word += lower(ch);
            if (!word.empty() && word.find_first_not_of(word[0]) == std::string::npos &&
                (word[0] == 'h' || word[0] == 'm' || word[0] == 's')) {
                s.tokens.push_back({TokenKind::Date, "[" + word + "]"});
                s.date = true;
            } else if (!inside.empty() && inside[0] == '$') {
                const size_t dash = inside.find('-');
                addLiteral(s, inside.substr(1, (dash == std::string_view::npos ? inside.size() : dash) - 1));
            } else if (!inside.empty() && (inside[0] == '<' || inside[0] == '>' || inside[0] == '=')) {
                s.condition = true;
            } else if (word == "black" || word == "blue" || word == "cyan" || word == "green" || word == "magenta" ||
                       word == "red" || word == "white" || word == "yellow") {
                s.colour = word;
            }
        } else if (startsWithNoCase(code, k, "general")) {
            s.tokens.push_back({TokenKind::General, {}});
            k += 7;
        } else if (startsWithNoCase(code, k, "am/pm") || startsWithNoCase(code, k, "a/p")) {
            const size_t n = startsWithNoCase(code, k, "am/pm") ? 5 : 3;
            s.tokens.push_back({TokenKind::Date, n == 5 ? "AM/PM" : "A/P"});
            s.date = true;
            k += n;
        } else if (code.substr(k).starts_with("上午/下午")) {
            s.tokens.push_back({TokenKind::Date, "上午/下午"});
            s.date = true;
            k += std::string_view("上午/下午").size();
        } else if (c == '0' || c == '#' || c == '?') {
            s.tokens.push_back({TokenKind::Digit, std::string(1, c)});
            ++k;
        } else if (c == '.') {
            s.tokens.push_back({TokenKind::Point, "."});
            ++k;
        } else if (c == ',') {
            s.tokens.push_back({TokenKind::Comma, ","});
            ++k;
        } else if (c == '%') {
            s.tokens.push_back({TokenKind::Percent, "%"});
            ++k;
        } else if (l == 'e' && k + 1 < code.size() && (code[k + 1] == '+' || code[k + 1] == '-')) {
            s.tokens.push_back({TokenKind::Exponent, std::string(1, code[k + 1])});
            k += 2;
        } else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's' || l == 'e' || l == 'a') {
            size_t n = 1;
            while (k + n < code.size() && lower(code[k + n]) == l) ++n;
            if (l == 'a' && n < 3) {  // a lone "a" is text; "aaa" and "aaaa" name the weekday
                addLiteral(s, code.substr(k, n));
            } else {
                s.tokens.push_back({TokenKind::Date, std::string(n, l)});
                s.date = true;
            }
            k += n;
        } else if (c == '@') {
            s.tokens.push_back({TokenKind::Text, {}});
            ++k;
        } else if (c == '/') {
            s.unsupported = s.unsupported || !s.date;
            addLiteral(s, "/");
            ++k;
        } else {
            const size_t n = sequenceLength(static_cast<unsigned char>(c));
            addLiteral(s, code.substr(k, n));
            k += n;
        }
    }
    // A "/" among dates is a separator; among digit placeholders it makes a fraction.
    if (s.date) s.unsupported = false;
    return s;
}

// `value` (not negative) with `decimals` decimals, rounded half up from its 15 significant
// digits as the applications show it: 1016452.345 is stored a hair below, and shows as
// 1016452.35.
std::string fixed(double value, int decimals) {
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%.14e", value);
    const std::string text = buffer.data();
    const size_t e = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, e - 2);
    const int exponent = std::stoi(text.substr(e + 1));
    // digits[k] stands for 10^(exponent - k); keep those down to 10^-decimals.
    int pointAt = exponent + 1;  // digits before the point
    if (pointAt < 0) {
        digits.insert(0, static_cast<size_t>(-pointAt), '0');
        pointAt = 0;
    }
    const size_t keep = static_cast<size_t>(pointAt + decimals);
    if (digits.size() < keep) digits.append(keep - digits.size(), '0');
    const bool roundUp = digits.size() > keep && digits[keep] >= '5';
    digits.resize(keep);
    if (roundUp) {
        size_t k = keep;
        while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
        if (k == 0) {
            digits.insert(0, "1");
            ++pointAt;
        } else {
            ++digits[k - 1];
        }
    }
    std::string whole = digits.substr(0, static_cast<size_t>(pointAt));
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.empty() ? 0 : whole.size() - 1));
    if (whole.empty()) whole = "0";
    return decimals > 0 ? whole + "." + digits.substr(static_cast<size_t>(pointAt)) : whole;
}

void groupThousands(std::string& digits) {
    const size_t first = digits.find_first_not_of(' ');
    if (first == std::string::npos) return;
    for (size_t n = digits.size(); n > first + 3; n -= 3) digits.insert(n - 3, ",");
}

// The digits of `value` laid over the placeholders of a numeric section.
std::string numberText(double value, const Section& s) {
    std::string intPattern, fracPattern;
    bool afterPoint = false, grouping = false, exponent = false;
    int percents = 0, scaleCommas = 0, exponentDigits = 0;
    std::string exponentSign;
    for (size_t k = 0; k < s.tokens.size(); ++k) {
        const Token& t = s.tokens[k];
        if (t.kind == TokenKind::Digit) {
            if (exponent) ++exponentDigits;
            else (afterPoint ? fracPattern : intPattern) += t.text;
        } else if (t.kind == TokenKind::Point && !exponent) {
            afterPoint = true;
        } else if (t.kind == TokenKind::Percent) {
            ++percents;
        } else if (t.kind == TokenKind::Exponent) {
            exponent = true;
            exponentSign = t.text;
        } else if (t.kind == TokenKind::Comma && !exponent) {
            const bool digitBefore = k > 0 && s.tokens[k - 1].kind == TokenKind::Digit;
            const bool digitAfter = k + 1 < s.tokens.size() && s.tokens[k + 1].kind == TokenKind::Digit;
            if (digitBefore && digitAfter) grouping = grouping || !afterPoint;
            else if (digitBefore || (k > 0 && s.tokens[k - 1].kind == TokenKind::Comma)) ++scaleCommas;
        }
    }
    for (int k = 0; k < percents; ++k) value *= 100.0;
    for (int k = 0; k < scaleCommas; ++k) value /= 1000.0;
    const int decimals = static_cast<int>(fracPattern.size());

    std::string intDigits, fracDigits, exponentText;
    if (exponent) {
        int power = 0;
        if (value != 0.0) {
            const int wholeDigits = std::max<int>(1, static_cast<int>(intPattern.size()));
            power = static_cast<int>(std::floor(std::log10(value)));
            power -= ((power % wholeDigits) + wholeDigits) % wholeDigits;  // engineering steps for ##0.0E+0
            value /= std::pow(10.0, power);
            if (std::stod(fixed(value, decimals)) >= std::pow(10.0, wholeDigits)) {
                value /= std::pow(10.0, wholeDigits);
                power += wholeDigits;
            }
        }
        exponentText = std::to_string(std::abs(power));
        while (static_cast<int>(exponentText.size()) < exponentDigits) exponentText.insert(0, "0");
        exponentText.insert(0, power < 0 ? "-" : exponentSign == "+" ? "+" : "");
    }
    const std::string all = fixed(value, decimals);
    const size_t point = all.find('.');
    intDigits = all.substr(0, point);
    if (point != std::string::npos) fracDigits = all.substr(point + 1);
    if (intDigits == "0") intDigits.clear();

    // Placeholders beyond the digits: "0" shows a zero, "?" a blank, "#" nothing.
    std::string integerBlock = intDigits;
    const size_t uncovered = intPattern.size() > intDigits.size() ? intPattern.size() - intDigits.size() : 0;
    for (size_t p = uncovered; p-- > 0;) {
        if (intPattern[p] == '0') integerBlock.insert(0, "0");
        else if (intPattern[p] == '?') integerBlock.insert(0, " ");
    }
    if (grouping) groupThousands(integerBlock);
    size_t lastShown = 0;  // the fraction digits up to the last that a "#" or "?" still shows
    for (size_t p = 0; p < fracDigits.size(); ++p)
        if (fracDigits[p] != '0' || fracPattern[p] == '0') lastShown = p + 1;

    std::string out;
    bool integerDone = false, pointSeen = false, exponentSeen = false;
    size_t fracAt = 0;
    for (const Token& t : s.tokens) {
        switch (t.kind) {
            case TokenKind::Literal: out += t.text; break;
            case TokenKind::Percent: out += '%'; break;
            case TokenKind::General: out += generalNumberText(value); break;
            case TokenKind::Point:
                if (!exponentSeen && !pointSeen) {
                    if (!integerDone) out += integerBlock;
                    integerDone = pointSeen = true;
                    out += '.';
                }
                break;
            case TokenKind::Exponent:
                if (!integerDone) out += integerBlock;
                integerDone = exponentSeen = true;
                out += 'E';
                out += exponentText;
                break;
            case TokenKind::Digit:
                if (exponentSeen) break;
                if (!pointSeen) {
                    if (!integerDone) out += integerBlock;
                    integerDone = true;
                } else if (fracAt < fracDigits.size()) {
                    if (fracAt < lastShown) out += fracDigits[fracAt];
                    else if (fracPattern[fracAt] == '?') out += ' ';
                    ++fracAt;
                }
                break;
            default: break;
        }
    }
    return out;
}

struct CivilDate {
    int year, month, day, weekday;  // weekday 0 = Sunday
};

// Days since 1970-01-01 to a date of the proleptic Gregorian calendar.
CivilDate civilFromDays(long long z) {
    const long long weekday = ((z % 7) + 11) % 7;  // 1970-01-01 was a Thursday
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    return {static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0)), month, day, static_cast<int>(weekday)};
}

std::string twoDigits(long long n) { return (n < 10 ? "0" : "") + std::to_string(n); }

constexpr std::array<const char*, 12> kMonthNames{"January", "February", "March",     "April",   "May",      "June",
                                                  "July",    "August",   "September", "October", "November", "December"};
constexpr std::array<const char*, 7> kDayNames{"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::array<const char*, 7> kChineseDays{"日", "一", "二", "三", "四", "五", "六"};

std::string dateText(double serial, const Section& s) {
    const auto totalSeconds = static_cast<long long>(std::llround(serial * 86400.0));
    const long long days = totalSeconds / 86400;
    const long long second = totalSeconds % 86400;
    // 1900 serials count a 29 February 1900 that never was: day 60.
    CivilDate date = days == 60 ? CivilDate{1900, 2, 29, 3}
                                : civilFromDays(days - (days < 60 ? 25568 : 25569));
    bool twelveHours = false;
    for (const Token& t : s.tokens) twelveHours = twelveHours || (t.kind == TokenKind::Date && t.text.find('/') != std::string::npos);
    const long long hour = second / 3600;
    std::string out;
    for (size_t k = 0; k < s.tokens.size(); ++k) {
        const Token& t = s.tokens[k];
        if (t.kind != TokenKind::Date) {
            if (t.kind == TokenKind::Literal) out += t.text;
            else if (t.kind == TokenKind::Point || t.kind == TokenKind::Comma || t.kind == TokenKind::Percent) out += t.text;
            continue;
        }
        const std::string& p = t.text;
        // "m" after an hour or before seconds is minutes.
        bool minutes = false;
        if (p[0] == 'm') {
            for (size_t b = k; b-- > 0;)
                if (s.tokens[b].kind == TokenKind::Date) { minutes = s.tokens[b].text[0] == 'h' || s.tokens[b].text.starts_with("[h"); break; }
            for (size_t a = k + 1; !minutes && a < s.tokens.size(); ++a)
                if (s.tokens[a].kind == TokenKind::Date) { minutes = s.tokens[a].text[0] == 's' || s.tokens[a].text.starts_with("[s"); break; }
        }
        if (p[0] == 'y' || p[0] == 'e') out += p.size() <= 2 && p[0] == 'y' ? twoDigits(date.year % 100) : std::to_string(date.year);
        else if (p[0] == 'm' && minutes) out += p.size() == 1 ? std::to_string(second / 60 % 60) : twoDigits(second / 60 % 60);
        else if (p[0] == 'm') {
            const std::string name = kMonthNames[static_cast<size_t>(date.month - 1)];
            out += p.size() == 1 ? std::to_string(date.month) : p.size() == 2 ? twoDigits(date.month)
                 : p.size() == 3 ? name.substr(0, 3) : p.size() == 5 ? name.substr(0, 1) : name;
        } else if (p[0] == 'd') {
            const std::string name = kDayNames[static_cast<size_t>(date.weekday)];
            out += p.size() == 1 ? std::to_string(date.day) : p.size() == 2 ? twoDigits(date.day)
                 : p.size() == 3 ? name.substr(0, 3) : name;
        } else if (p[0] == 'a') {
            out += (p.size() == 4 ? "星期" : "") + std::string(kChineseDays[static_cast<size_t>(date.weekday)]);
        } else if (p[0] == 'h') {
            const long long h = twelveHours ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
            out += p.size() == 1 ? std::to_string(h) : twoDigits(h);
        } else if (p[0] == 's') {
            out += p.size() == 1 ? std::to_string(second % 60) : twoDigits(second % 60);
        } else if (p == "[h]" || p == "[hh]") {
            out += std::to_string(totalSeconds / 3600);
        } else if (p[0] == '[' && p[1] == 'm') {
            out += std::to_string(totalSeconds / 60);
        } else if (p[0] == '[' && p[1] == 's') {
            out += std::to_string(totalSeconds);
        } else if (p == "AM/PM") {
            out += hour < 12 ? "AM" : "PM";
        } else if (p == "A/P") {
            out += hour < 12 ? "A" : "P";
        } else if (p == "上午/下午") {
            out += hour < 12 ? "上午" : "下午";
        }
    }
    return out;
}

std::string plainDateText(double serial) {
    Section s = parseSection("yyyy-mm-dd");
    if (serial - std::floor(serial) > 0.5 / 86400.0) s = parseSection("yyyy-mm-dd hh:mm:ss");
    return dateText(serial, s);
}

}  // namespace

std::string_view builtInFormatCode(uint32_t formatId) {
    switch (formatId) {
        case 1: return "0";
        case 2: return "0.00";
        case 3: return "#,##0";
        case 4: return "#,##0.00";
        case 5: return "\"¥\"#,##0;\"¥\"\\-#,##0";
        case 6: return "\"¥\"#,##0;[Red]\"¥\"\\-#,##0";
        case 7: return "\"¥\"#,##0.00;\"¥\"\\-#,##0.00";
        case 8: return "\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00";
        case 9: return "0%";
        case 10: return "0.00%";
        case 11: return "0.00E+00";
        case 12: return "# ?/?";
        case 13: return "# ?" "?/?" "?";
        case 14: return "yyyy/m/d";
        case 15: return "d-mmm-yy";
        case 16: return "d-mmm";
        case 17: return "mmm-yy";
        case 18: return "h:mm AM/PM";
        case 19: return "h:mm:ss AM/PM";
        case 20: return "h:mm";
        case 21: return "h:mm:ss";
        case 22: return "yyyy/m/d h:mm";
        case 27: case 36: case 50: case 52: case 57: return "yyyy\"年\"m\"月\"";
        case 28: case 29: case 51: case 53: case 54: case 58: return "m\"月\"d\"日\"";
        case 30: return "m-d-yy";
        case 31: return "yyyy\"年\"m\"月\"d\"日\"";
        case 32: return "h\"时\"mm\"分\"";
        case 33: return "h\"时\"mm\"分\"ss\"秒\"";
        case 34: case 55: return "上午/下午h\"时\"mm\"分\"";
        case 35: case 56: return "上午/下午h\"时\"mm\"分\"ss\"秒\"";
        case 37: return "#,##0_);(#,##0)";
        case 38: return "#,##0_);[Red](#,##0)";
        case 39: return "#,##0.00_);(#,##0.00)";
        case 40: return "#,##0.00_);[Red](#,##0.00)";
        case 41: return "_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ";
        case 42: return "_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ ";
        case 43: return "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"?" "?_ ;_ @_ ";
        case 44: return "_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"?" "?_ ;_ @_ ";
        case 45: return "mm:ss";
        case 46: return "[h]:mm:ss";
        case 47: return "mm:ss.0";
        case 48: return "##0.0E+0";
        case 49: return "@";
        default: return "General";
    }
}

std::string generalNumberText(double value) {
    if (!std::isfinite(value)) return value != value ? "NaN" : value > 0 ? "INF" : "-INF";
    const double magnitude = std::fabs(value);
    std::array<char, 64> buffer{};
    if (magnitude != 0.0 && (magnitude >= 1e15 || magnitude < 1e-9)) {
        std::snprintf(buffer.data(), buffer.size(), "%.14E", value);
        std::string text = buffer.data();
        const size_t e = text.find('E');
        std::string mantissa = text.substr(0, e);
        while (mantissa.back() == '0') mantissa.pop_back();
        if (mantissa.back() == '.') mantissa.pop_back();
        return mantissa + text.substr(e);
    }
    std::snprintf(buffer.data(), buffer.size(), "%.15g", value);
    std::string text = buffer.data();
    if (text.find('e') != std::string::npos) {  // %g turns to an exponent for small numbers: spell them out
        text = (value < 0.0 ? "-" : "") + fixed(std::fabs(value), 15);
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

FormattedNumber formatNumber(double value, std::string_view code, bool date) {
    const auto general = [&]() -> FormattedNumber {
        if (date && isCalendarSerial(value) && value >= 0.0) return {plainDateText(value), {}};
        return {generalNumberText(value), {}};
    };
    if (!std::isfinite(value)) return {generalNumberText(value), {}};
    std::vector<std::string_view> codes = splitSections(code);
    std::vector<Section> sections;
    for (std::string_view c : codes) sections.push_back(parseSection(c));
    while (sections.size() > 1 && sections.back().tokens.empty() && codes[sections.size() - 1].empty()) sections.pop_back();
    // The text section (with "@") takes no numbers.
    if (sections.size() > 1 && std::any_of(sections.back().tokens.begin(), sections.back().tokens.end(),
                                           [](const Token& t) { return t.kind == TokenKind::Text; }))
        sections.pop_back();
    if (sections.empty()) return general();

    const Section* chosen = &sections[0];
    bool ownSign = false;  // the section shows the sign itself
    if (std::any_of(sections.begin(), sections.end(), [](const Section& s) { return s.condition; })) {
        // Conditions are not weighed: the first section shows every number.
    } else if (value < 0.0 && sections.size() >= 2) {
        chosen = &sections[1];
        ownSign = true;
    } else if (value == 0.0 && sections.size() >= 3) {
        chosen = &sections[2];
    }
    const Section& s = *chosen;
    if (s.unsupported) return general();
    const bool onlyGeneral = s.tokens.size() == 1 && s.tokens[0].kind == TokenKind::General;
    if (s.tokens.empty() || onlyGeneral) return {general().text, s.colour};
    if (s.date) {
        if (value < 0.0 || !isCalendarSerial(value)) return {generalNumberText(value), s.colour};
        return {dateText(value, s), s.colour};
    }
    const bool hasDigits = std::any_of(s.tokens.begin(), s.tokens.end(), [](const Token& t) {
        return t.kind == TokenKind::Digit || t.kind == TokenKind::General;
    });
    std::string text = numberText(std::fabs(value), s);
    // A minus for a negative amount in a format without a section of its own for negatives,
    // unless the amount rounds to nothing shown.
    if (value < 0.0 && !ownSign && hasDigits && text.find_first_of("123456789") != std::string::npos) text.insert(0, "-");
    return {text, s.colour};
}

}  // namespace sbx
