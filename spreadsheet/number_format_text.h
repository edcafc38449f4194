#pragma once
// A number as a cell's number format shows it, the way the spreadsheet applications do in a
// Chinese locale: thousands separators, fixed decimals, percentages, currency signs, quoted
// text, sections for negatives and zero, dates and times. What a format asks for that a plain
// text cannot do (fill characters, column-wide padding) is left out; fractions and
// [DBNum] numerals fall back to the general format.
#include <cstdint>
#include <string>
#include <string_view>

namespace sbx {

struct FormattedNumber {
    std::string text;
    std::string colour;  // "red", "blue", ... from a [Red] part, lower-case; empty without one
};

// The code of a built-in format (no FORMAT record or numFmt element needed), as a Chinese
// (zh-CN) installation shows it; "General" for ids without a known code.
std::string_view builtInFormatCode(uint32_t formatId);

// `value` in `code`; `date` tells a cell whose value the workbook holds as a date serial
// (1900 system), which the general format then shows as yyyy-mm-dd.
FormattedNumber formatNumber(double value, std::string_view code, bool date = false);

// The general format, for a column wide enough: up to 15 significant digits, plain decimals
// from 1e-9 up to below 1e15, scientific notation beyond.
std::string generalNumberText(double value);

}  // namespace sbx
