// The text forms of `shubuxing-cli dump` and its cell addresses. Expected number texts are
// those of Python's repr(), the form the independent reader's dumps use.
#include <gtest/gtest.h>

#include "spreadsheet/cell_address.h"
#include "cli/dump_format.h"

using sbx::cli::formatDate;
using sbx::cli::formatNumber;

namespace {

struct NumberCase {
    double value;
    const char* text;
};

class NumberText : public testing::TestWithParam<NumberCase> {};

TEST_P(NumberText, ShortestExactForm) { EXPECT_EQ(formatNumber(GetParam().value), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Dump, NumberText, testing::Values(
    NumberCase{0.0, "0"}, NumberCase{-0.0, "0"}, NumberCase{42.0, "42"}, NumberCase{-7.0, "-7"},
    NumberCase{999999999999999.0, "999999999999999"},
    NumberCase{1e15, "1000000000000000.0"},      // integral but not below 1e15
    NumberCase{1e16, "1e+16"}, NumberCase{1.5e16, "1.5e+16"}, NumberCase{1e20, "1e+20"},
    NumberCase{0.1, "0.1"}, NumberCase{0.1 + 0.2, "0.30000000000000004"},
    NumberCase{1e-4, "0.0001"}, NumberCase{1e-5, "1e-05"}, NumberCase{-1.25e-7, "-1.25e-07"},
    NumberCase{123456.789, "123456.789"}, NumberCase{2000.5, "2000.5"},
    NumberCase{1.7976931348623157e308, "1.7976931348623157e+308"},
    NumberCase{5e-324, "5e-324"}));

struct DateCase {
    double serial;
    const char* text;
};

class DateText : public testing::TestWithParam<DateCase> {};

TEST_P(DateText, Iso8601) { EXPECT_EQ(formatDate(GetParam().serial), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(Dump, DateText, testing::Values(
    DateCase{1.0, "1900-01-01"}, DateCase{59.0, "1900-02-28"},
    DateCase{61.0, "1900-03-01"},                // past the 29 February 1900 the serials count
    DateCase{45322.0, "2024-01-31"}, DateCase{45322.354166666664, "2024-01-31T08:30:00"},
    DateCase{0.5, "1899-12-31T12:00:00"},        // a time of day alone
    DateCase{45322.99999999, "2024-02-01"},      // rounds to the next midnight
    DateCase{-1.2, "1899-12-29T19:12:00"},       // negative serials run backwards
    DateCase{2958465.0, "9999-12-31"},
    // Outside the calendar Python's datetime knows (years 1 to 9999): the number.
    DateCase{2958466.0, "2958466"}, DateCase{-693594.0, "0001-01-01"}, DateCase{-693595.0, "-693595"},
    DateCase{-566327000000.5, "-566327000000.5"}, DateCase{1e300, "1e+300"}));

TEST(TextEscapes, SpecialCharactersAreWrittenAsEscapes) {
    EXPECT_EQ(sbx::cli::escapeText("a\tb\r\nc\\d"), "a\\tb\\r\\nc\\\\d");
    EXPECT_EQ(sbx::cli::escapeText("合计 \\t"), "合计 \\\\t");
}

TEST(CellTexts, EveryKind) {
    using sbx::CellValue;
    EXPECT_EQ(sbx::cli::formatCell(CellValue()), "");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::boolean(true)), "TRUE");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::boolean(false)), "FALSE");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::error(sbx::error_code::NA)), "#N/A");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::error(sbx::error_code::Name)), "#NAME?");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::date(45322.0)), "2024-01-31");
    EXPECT_EQ(sbx::cli::formatCell(CellValue::number(45322.0)), "45322");
}

}  // namespace
