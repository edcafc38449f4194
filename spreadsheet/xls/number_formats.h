#pragma once
// Which number formats show a number as a date or time, and which make a cell a text cell.
#include <cstdint>
#include <string_view>

namespace sbx::xls {

// The built-in formats (no FORMAT record needed) that are dates or times, including the
// East Asian ones (27-36, 50-58) and the ones Excel adds in some locales (71-81).
bool isBuiltInDateFormat(uint16_t formatId);

// A format code is a date or time format when, outside quoted text, escaped characters and
// [bracketed] parts, it has more date/time letters (d m y h s, and the East Asian e g b)
// than digit placeholders (0 # ?). "General" and "@" are never dates.
bool isDateFormatCode(std::string_view code);

// The built-in formats that show only a time of day or a duration (h:mm, mm:ss, [h]:mm:ss,
// and the Chinese h"时"mm"分" ones, 32-35 and 55-56).
bool isBuiltInTimeFormat(uint16_t formatId);

// A date or time format code that shows no calendar date: hours, minutes and seconds only
// (h:mm AM/PM, [h]:mm:ss, mm:ss.0). Amounts in such formats are times or durations, which
// add up; calendar dates do not.
bool isTimeFormatCode(std::string_view code);

// The built-in text format, "@".
inline constexpr uint16_t kBuiltInTextFormat = 49;

// A format code that makes a cell a text cell: "@" alone (blanks around it allowed). Codes
// with "@" in one section of several ("0;-0;0;@") only show text and keep numbers numbers.
bool isTextFormatCode(std::string_view code);

}  // namespace sbx::xls
