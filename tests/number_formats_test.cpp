// Which number formats make a number a date, and how a format shows a number.
#include <gtest/gtest.h>

#include "spreadsheet/number_format_text.h"
#include "spreadsheet/xls/number_formats.h"

namespace {

struct FormatCase {
    const char* code;
    bool isDate;
};

class DateFormatCode : public testing::TestWithParam<FormatCase> {};

TEST_P(DateFormatCode, Classifies) {
    EXPECT_EQ(sbx::xls::isDateFormatCode(GetParam().code), GetParam().isDate) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(Formats, DateFormatCode, testing::Values(
    FormatCase{"yyyy-mm-dd", true}, FormatCase{"d/m/yy h:mm", true}, FormatCase{"h:mm AM/PM", true},
    FormatCase{"[h]:mm:ss", true}, FormatCase{"[mm]:ss", true}, FormatCase{"mm:ss.0", true},
    FormatCase{"yyyy\"年\"m\"月\"d\"日\"", true}, FormatCase{"[$-409]d-mmm-yy;@", true},
    FormatCase{"[DBNum1][$-804]yyyy\"年\"m\"月\"", true}, FormatCase{"dd/mm/yyyy;@", true},
    FormatCase{"General", false}, FormatCase{"GENERAL", false}, FormatCase{"@", false},
    FormatCase{"0.00", false}, FormatCase{"#,##0", false}, FormatCase{"0.00E+00", false},
    FormatCase{"[Red]0.00", false}, FormatCase{"0.00\"d\"", false}, FormatCase{"\"Date: \"0", false},
    FormatCase{"\\d0.0", false}, FormatCase{"_-* #,##0_-;-* #,##0_-;_-* \"-\"_-;_-@_-", false},
    FormatCase{"#,##0.00\"元\"", false}, FormatCase{"0%", false}, FormatCase{"", false}));

// Formats that show no calendar day: their amounts are times or durations, which add up.
class TimeFormatCode : public testing::TestWithParam<FormatCase> {};

TEST_P(TimeFormatCode, Classifies) {
    EXPECT_EQ(sbx::xls::isTimeFormatCode(GetParam().code), GetParam().isDate) << GetParam().code;
}

INSTANTIATE_TEST_SUITE_P(Formats, TimeFormatCode, testing::Values(
    FormatCase{"h:mm", true}, FormatCase{"[h]:mm:ss", true}, FormatCase{"[mm]:ss", true},
    FormatCase{"mm:ss.0", true}, FormatCase{"h:mm AM/PM", true}, FormatCase{"h\\时mm\\分", true},
    FormatCase{"[$-804]上午/下午h\"时\"mm\"分\"", true}, FormatCase{"yyyy-mm-dd", false},
    FormatCase{"d/m/yy h:mm", false}, FormatCase{"mmm", false}, FormatCase{"0.00\"h\"", false},
    FormatCase{"General", false}));

TEST(BuiltInFormats, DatesIncludingEastAsianOnes) {
    for (int id : {14, 15, 16, 17, 18, 19, 20, 21, 22, 27, 30, 36, 45, 46, 47, 50, 55, 58}) {
        EXPECT_TRUE(sbx::xls::isBuiltInDateFormat(static_cast<uint16_t>(id))) << id;
    }
    for (int id : {0, 1, 2, 9, 10, 11, 12, 13, 23, 37, 44, 48, 49, 59}) {
        EXPECT_FALSE(sbx::xls::isBuiltInDateFormat(static_cast<uint16_t>(id))) << id;
    }
    for (int id : {18, 19, 20, 21, 32, 35, 45, 46, 47, 55, 56}) {
        EXPECT_TRUE(sbx::xls::isBuiltInTimeFormat(static_cast<uint16_t>(id))) << id;
    }
    for (int id : {14, 15, 22, 27, 31, 36, 50, 54, 57, 58}) {
        EXPECT_FALSE(sbx::xls::isBuiltInTimeFormat(static_cast<uint16_t>(id))) << id;
    }
}

// Amounts, percentages, dates and times as the spreadsheet applications show them.
struct ShownCase {
    double value;
    const char* code;
    const char* shown;
    const char* colour = "";
};

class NumberInFormat : public testing::TestWithParam<ShownCase> {};

TEST_P(NumberInFormat, ShowsAsTheApplicationsDo) {
    const auto& c = GetParam();
    const sbx::FormattedNumber out = sbx::formatNumber(c.value, c.code);
    EXPECT_EQ(out.text, c.shown) << c.code << " " << c.value;
    EXPECT_EQ(out.colour, c.colour) << c.code;
}

INSTANTIATE_TEST_SUITE_P(Formats, NumberInFormat, testing::Values(
    // Money: grouping, decimals rounded half away from zero, negatives in their own section.
    ShownCase{1016452.345, "#,##0.00", "1,016,452.35"}, ShownCase{-1016452.3, "#,##0.00", "-1,016,452.30"},
    ShownCase{999.5, "#,##0", "1,000"}, ShownCase{0, "#,##0.00", "0.00"}, ShownCase{0.4, "#,##0", "0"},
    ShownCase{12345678, "#,##0", "12,345,678"}, ShownCase{123, "#,##0", "123"},
    ShownCase{-1234.5, "#,##0.00;[Red]\\-#,##0.00", "-1,234.50", "red"},
    ShownCase{-1234.5, "#,##0.00_);(#,##0.00)", "(1,234.50)"}, ShownCase{1234.5, "#,##0.00_);(#,##0.00)", "1,234.50 "},
    ShownCase{1234.5, "\"¥\"#,##0.00", "¥1,234.50"}, ShownCase{1234.5, "[$¥-804]#,##0.00", "¥1,234.50"},
    ShownCase{1234.5, "#,##0.00\"元\"", "1,234.50元"}, ShownCase{0, "_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ", " - "},
    ShownCase{-0.001, "0.00", "0.00"}, ShownCase{1500000, "#,##0.0,,\"百万\"", "1.5百万"},
    ShownCase{5, "0.##", "5."}, ShownCase{5.25, "0.0#", "5.25"}, ShownCase{5.2, "0.0#", "5.2"}, ShownCase{7, "000", "007"},
    // Percentages and scientific notation.
    ShownCase{0.1234, "0.00%", "12.34%"}, ShownCase{0.5, "0%", "50%"}, ShownCase{-0.05, "0.0%", "-5.0%"},
    ShownCase{12345, "0.00E+00", "1.23E+04"}, ShownCase{0.00012, "0.0E+00", "1.2E-04"},
    // Dates and times of the 1900 system, Chinese codes included.
    ShownCase{45292, "yyyy/m/d", "2024/1/1"}, ShownCase{45292, "yyyy\"年\"m\"月\"d\"日\"", "2024年1月1日"},
    ShownCase{45306.5, "yyyy-mm-dd hh:mm", "2024-01-15 12:00"}, ShownCase{0.75, "h:mm AM/PM", "6:00 PM"},
    ShownCase{1.5, "[h]:mm:ss", "36:00:00"}, ShownCase{45292, "aaaa", "星期一"}, ShownCase{60, "yyyy-mm-dd", "1900-02-29"},
    ShownCase{61, "yyyy-mm-dd", "1900-03-01"}, ShownCase{45292, "d-mmm-yy", "1-Jan-24"},
    ShownCase{0.5, "上午/下午h\"时\"mm\"分\"", "下午12时00分"},
    // General and what falls back to it.
    ShownCase{1016452.35, "General", "1016452.35"}, ShownCase{0.1 + 0.2, "General", "0.3"},
    ShownCase{1e20, "General", "1E+20"}, ShownCase{0.5, "# ?/?", "0.5"}, ShownCase{42, "", "42"},
    ShownCase{42, "0;-0;0;@", "42"}, ShownCase{-42, "General", "-42"}));

TEST(BuiltInFormats, CodesShowAsInAChineseInstallation) {
    EXPECT_EQ(sbx::formatNumber(1234.5, sbx::builtInFormatCode(4)).text, "1,234.50");
    EXPECT_EQ(sbx::formatNumber(-1234.5, sbx::builtInFormatCode(8)).text, "¥-1,234.50");
    EXPECT_EQ(sbx::formatNumber(-1234.5, sbx::builtInFormatCode(8)).colour, "red");
    EXPECT_EQ(sbx::formatNumber(0.25, sbx::builtInFormatCode(10)).text, "25.00%");
    EXPECT_EQ(sbx::formatNumber(45292, sbx::builtInFormatCode(14)).text, "2024/1/1");
    EXPECT_EQ(sbx::formatNumber(45292, sbx::builtInFormatCode(31)).text, "2024年1月1日");
    EXPECT_EQ(sbx::builtInFormatCode(0), "General");
    EXPECT_EQ(sbx::builtInFormatCode(200), "General");
    // A date cell in the general format still reads as a date.
    EXPECT_EQ(sbx::formatNumber(45292.25, "General", true).text, "2024-01-01 06:00:00");
}

}  // namespace
