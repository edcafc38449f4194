#include "spreadsheet/xls/number_formats.h"

namespace sbx::xls {

bool isBuiltInDateFormat(uint16_t id) {
    return (id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) ||
           (id >= 50 && id <= 58) || (id >= 71 && id <= 81);
}

namespace {
bool startsWithGeneral(std::string_view rest) {
    if (rest.size() < 7) return false;
    static constexpr std::string_view word = "general";
    for (size_t i = 0; i < word.size(); ++i) {
        const char c = rest[i] >= 'A' && rest[i] <= 'Z' ? static_cast<char>(rest[i] + 32) : rest[i];
        if (c != word[i]) return false;
    }
    return true;
}

size_t closing(std::string_view code, char c, size_t from) {
    const size_t at = code.find(c, from);
    return at == std::string_view::npos ? code.size() : at;
}
}  // namespace

bool isBuiltInTimeFormat(uint16_t id) {
    return (id >= 18 && id <= 21) || (id >= 32 && id <= 35) || (id >= 45 && id <= 47) || id == 55 || id == 56;
}

namespace {

struct FormatLetters {
    int date = 0;      // d m y h s and elapsed [h] [mm] [ss]
    int number = 0;    // 0 # ?
    int calendar = 0;  // d y: a format that shows a day of the calendar
    int clock = 0;     // h s and elapsed parts
};

// Counts the letters of a format code outside quoted text, escaped characters and
// [bracketed] parts.
FormatLetters lettersOf(std::string_view code) {
    FormatLetters letters;
    for (size_t i = 0; i < code.size(); ++i) {
        switch (code[i]) {
            case '"':  // quoted literal text
                i = closing(code, '"', i + 1);
                break;
            case '\\':  // escaped character
            case '_':   // a space as wide as the next character
            case '*':   // fill with the next character
                ++i;
                break;
            case '[': {  // colours, conditions, locales; [h] [mm] [ss] are elapsed times
                const size_t close = closing(code, ']', i + 1);
                const auto inside = code.substr(i + 1, close - i - 1);
                if (!inside.empty() && inside.find_first_not_of("hHmMsS") == std::string_view::npos) {
                    ++letters.date;
                    ++letters.clock;
                }
                i = close;
                break;
            }
            case 'G': case 'g':
                if (startsWithGeneral(code.substr(i))) i += 6;
                break;
            case 'd': case 'D': case 'y': case 'Y':
                ++letters.date;
                ++letters.calendar;
                break;
            case 'h': case 'H': case 's': case 'S':
                ++letters.date;
                ++letters.clock;
                break;
            case 'm': case 'M':
                ++letters.date;
                break;
            case '0': case '#': case '?':
                ++letters.number;
                break;
            default:
                break;
        }
    }
    return letters;
}

}  // namespace

bool isDateFormatCode(std::string_view code) {
    const FormatLetters letters = lettersOf(code);
    return letters.date > letters.number;
}

bool isTimeFormatCode(std::string_view code) {
    const FormatLetters letters = lettersOf(code);
    return letters.date > letters.number && letters.calendar == 0 && letters.clock > 0;
}

bool isTextFormatCode(std::string_view code) {
    const auto first = code.find_first_not_of(' ');
    if (first == std::string_view::npos) return false;
    return code.substr(first, code.find_last_not_of(' ') - first + 1) == "@";
}

}  // namespace sbx::xls
