// Which number formats make a number a date.
#include <gtest/gtest.h>

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

}  // namespace
