#pragma once
// The value of one cell as the spreadsheet reports it: empty, number, text, boolean, date or
// error value. Dates are day serials in the 1900 date system whatever the workbook uses, so
// totals over workbooks of both date systems agree.
#include <cstdint>
#include <string>
#include <string_view>

namespace sbx {

enum class CellKind : uint8_t { Empty, Number, Text, Boolean, Date, Error };

// Error values by their BIFF codes.
namespace error_code {
inline constexpr uint8_t Null = 0x00;      // #NULL!
inline constexpr uint8_t Div0 = 0x07;      // #DIV/0!
inline constexpr uint8_t Value = 0x0F;     // #VALUE!
inline constexpr uint8_t Ref = 0x17;       // #REF!
inline constexpr uint8_t Name = 0x1D;      // #NAME?
inline constexpr uint8_t Num = 0x24;       // #NUM!
inline constexpr uint8_t NA = 0x2A;        // #N/A
inline constexpr uint8_t GettingData = 0x2B;  // #GETTING_DATA
}  // namespace error_code

// "#DIV/0!" and so on; an unknown code gives "#ERR" followed by its number.
std::string errorText(uint8_t code);

// Days between 1904-01-01 and 1900-01-00 in the 1900 serials (with its 29 February 1900).
inline constexpr double kDate1904Offset = 1462.0;

// Whether a 1900 serial falls on a day of the calendar, 0001-01-01 to 9999-12-31; a value
// formatted as a date outside it is shown as its number.
inline bool isCalendarSerial(double serial1900) { return serial1900 >= -693594.0 && serial1900 < 2958466.0; }

class CellValue {
public:
    CellValue() = default;  // empty

    static CellValue number(double v) { return CellValue(CellKind::Number, v); }
    static CellValue boolean(bool b) { return CellValue(CellKind::Boolean, b ? 1.0 : 0.0); }
    static CellValue date(double serial1900) { return CellValue(CellKind::Date, serial1900); }
    // A date whose format shows only hours, minutes and seconds: a time of day or a duration.
    static CellValue time(double serial1900) {
        CellValue v(CellKind::Date, serial1900);
        v.timeOnly_ = true;
        return v;
    }
    static CellValue error(uint8_t code) { return CellValue(CellKind::Error, code); }
    static CellValue text(std::string utf8) {
        CellValue v(CellKind::Text, 0.0);
        v.text_ = std::move(utf8);
        return v;
    }

    CellKind kind() const { return kind_; }
    bool isEmpty() const { return kind_ == CellKind::Empty; }

    // Number: the number; Date: the 1900-system serial; Boolean: 1 or 0.
    double numberValue() const { return number_; }
    bool booleanValue() const { return number_ != 0.0; }
    uint8_t errorCode() const { return static_cast<uint8_t>(number_); }
    const std::string& textValue() const { return text_; }
    // A Date shown as a time only (CellValue::time); such amounts add up.
    bool isTimeOnly() const { return timeOnly_; }

    // Whether a date shows as a time only is a matter of its format, not of the value.
    friend bool operator==(const CellValue& a, const CellValue& b) {
        return a.kind_ == b.kind_ && a.text_ == b.text_ &&
               (a.number_ == b.number_ || (a.number_ != a.number_ && b.number_ != b.number_));
    }

private:
    CellValue(CellKind k, double n) : kind_(k), number_(n) {}

    CellKind kind_ = CellKind::Empty;
    bool timeOnly_ = false;  // beside the kind: the value stays as large as it was
    double number_ = 0.0;
    std::string text_;
};

// Whether `read`, what a saved file gives back for a cell, is the `written` value: a number
// written into a cell with a date format reads back as a date of the same serial (in a 1904
// workbook, through that system's offset), which is the same value.
bool holdsWrittenValue(const CellValue& written, const CellValue& read, bool uses1904Dates);

// A readable form for test failures and diagnostics, e.g. number(12.5) or text("合计").
std::string describe(const CellValue& v);

}  // namespace sbx
