// The range entry's checks without windows: every verdict, the mended cases that a run
// cannot read (row 0, upper case), the order check and the exact message texts.
#include <gtest/gtest.h>

#include "job/range_rules.h"
#include "job/sheet_names.h"

namespace sbx {
namespace {

struct VerdictCase {
    const char* typed;
    CellTextVerdict verdict;
};

class CellTextVerdicts : public testing::TestWithParam<VerdictCase> {};

TEST_P(CellTextVerdicts, MatchTheTypedText) {
    EXPECT_EQ(checkCellText(GetParam().typed), GetParam().verdict) << "typed: [" << GetParam().typed << "]";
}

using V = CellTextVerdict;
INSTANTIATE_TEST_SUITE_P(Accepted, CellTextVerdicts,
                         testing::Values(VerdictCase{"a3", V::Accepted}, VerdictCase{"h20", V::Accepted},
                                         VerdictCase{" b5 ", V::Accepted}, VerdictCase{"iv65536", V::Accepted},
                                         VerdictCase{"z1", V::Accepted}, VerdictCase{"aa1", V::Accepted},
                                         VerdictCase{"a03", V::Accepted}, VerdictCase{"ab20", V::Accepted},
                                         VerdictCase{"iw1", V::Accepted}, VerdictCase{"aa70000", V::Accepted},
                                         VerdictCase{"abc1", V::Accepted}, VerdictCase{"xfd1048576", V::Accepted}));
INSTANTIATE_TEST_SUITE_P(EmptyAndShort, CellTextVerdicts,
                         testing::Values(VerdictCase{"", V::Empty}, VerdictCase{"   ", V::Empty},
                                         VerdictCase{"a", V::OneCharacter}, VerdictCase{" 3 ", V::OneCharacter},
                                         VerdictCase{"表", V::OneCharacter}));
INSTANTIATE_TEST_SUITE_P(BadFormat, CellTextVerdicts,
                         testing::Values(VerdictCase{"A3", V::BadFormat}, VerdictCase{"3a", V::BadFormat},
                                         VerdictCase{"ab", V::BadFormat}, VerdictCase{"a1b2", V::BadFormat},
                                         VerdictCase{"33", V::BadFormat}, VerdictCase{"a3x", V::BadFormat},
                                         VerdictCase{"表3", V::BadFormat}, VerdictCase{"a-3", V::BadFormat},
                                         VerdictCase{"a 3", V::BadFormat}, VerdictCase{"a3.5", V::BadFormat}));
// Texts the first design let through although a run reads them as column 0 or row 0.
INSTANTIATE_TEST_SUITE_P(MendedRunUnreadable, CellTextVerdicts,
                         testing::Values(VerdictCase{"a0", V::BadFormat}, VerdictCase{"a00", V::BadFormat},
                                         VerdictCase{"A30", V::BadFormat}, VerdictCase{"aB3", V::BadFormat},
                                         VerdictCase{"Ab3", V::BadFormat}, VerdictCase{"ABC1", V::BadFormat},
                                         VerdictCase{"#a3", V::BadFormat}));
INSTANTIATE_TEST_SUITE_P(BeyondSheet, CellTextVerdicts,
                         testing::Values(VerdictCase{"xfe1", V::BeyondSheet}, VerdictCase{"a1048577", V::BeyondSheet},
                                         VerdictCase{"abcd1", V::BeyondSheet}, VerdictCase{"zzz1", V::BeyondSheet},
                                         VerdictCase{"a99999999999999999999", V::BeyondSheet}));

TEST(RangeOrder, WrongWaysAreCaughtAndRightOnesPass) {
    const auto backwards = [](const char* first, const char* last) {
        return rangeRunsBackwards(*acceptedCell(first), *acceptedCell(last));
    };
    EXPECT_FALSE(backwards("a3", "h20"));
    EXPECT_FALSE(backwards("b4", "b4"));
    EXPECT_FALSE(backwards("aa1", "ad5"));
    EXPECT_FALSE(backwards("z9", "ab30"));
    EXPECT_TRUE(backwards("b2", "a9"));    // left of the first
    EXPECT_TRUE(backwards("a9", "b2"));    // above the first
    EXPECT_TRUE(backwards("ab3", "z9"));   // two letters before one
    EXPECT_TRUE(backwards("ac1", "ab5"));
    EXPECT_TRUE(backwards("c5", "ab2"));
}

// What the range entry accepts is exactly what the engine's one parser reads, blanks around
// the text aside.
TEST(AcceptedCell, IsTheEngineCellOfEveryAcceptedText) {
    EXPECT_EQ(acceptedCell(" h20 "), (CellAddress{20, 8}));
    EXPECT_EQ(acceptedCell("iv65536"), (CellAddress{65536, 256}));
    EXPECT_EQ(acceptedCell("xfd1048576"), (CellAddress{1048576, 16384}));
    EXPECT_EQ(acceptedCell("a03"), (CellAddress{3, 1}));
    for (const char* refused : {"A3", "a0", "xfe1", "b 3", "a", "", "3a", "a3x"}) EXPECT_FALSE(acceptedCell(refused)) << refused;
}

// What people type becomes the canonical text, which then meets the same checks: refused
// texts stay refused (their canonical form still fails).
struct CanonicalCase {
    const char* typed;
    const char* canonical;
    CellTextVerdict verdict;  // of the canonical text
};

class CanonicalCellTexts : public testing::TestWithParam<CanonicalCase> {};

TEST_P(CanonicalCellTexts, AreCheckedByTheSameRules) {
    const std::string canonical = canonicalCellText(GetParam().typed);
    EXPECT_EQ(canonical, GetParam().canonical) << "typed: [" << GetParam().typed << "]";
    EXPECT_EQ(checkCellText(canonical), GetParam().verdict) << "typed: [" << GetParam().typed << "]";
}

INSTANTIATE_TEST_SUITE_P(
    AsTyped, CanonicalCellTexts,
    testing::Values(CanonicalCase{"B3", "b3", V::Accepted}, CanonicalCase{"AB20", "ab20", V::Accepted},
                    CanonicalCase{"Ａ１", "a1", V::Accepted}, CanonicalCase{"ｂ３", "b3", V::Accepted},
                    CanonicalCase{"ＩＶ６５５３６", "iv65536", V::Accepted}, CanonicalCase{"\u3000c7 ", "c7", V::Accepted},
                    CanonicalCase{"a3", "a3", V::Accepted}, CanonicalCase{"Ａ", "a", V::OneCharacter},
                    CanonicalCase{"3B", "3b", V::BadFormat}, CanonicalCase{"表3", "表3", V::BadFormat},
                    CanonicalCase{"Ｂ－３", "b－3", V::BadFormat}, CanonicalCase{"XFE1", "xfe1", V::BeyondSheet},
                    CanonicalCase{"A0", "a0", V::BadFormat}, CanonicalCase{"\xff" "3", "\xff" "3", V::BadFormat},
                    CanonicalCase{"   ", "", V::Empty}));

TEST(SplitRangeText, GivesBothCellsOfOneColon) {
    using Pair = std::pair<std::string, std::string>;
    EXPECT_EQ(splitRangeText("b3:d5"), (Pair{"b3", "d5"}));
    EXPECT_EQ(splitRangeText(" B3 : D5 "), (Pair{"b3", "d5"}));
    EXPECT_EQ(splitRangeText("Ｂ３：Ｄ５"), (Pair{"b3", "d5"}));
    EXPECT_EQ(splitRangeText("b3:"), (Pair{"b3", ""}));  // the empty last box is refused as usual
    for (const char* notOne : {"b3", "b3:d5:f7", "", "b3d5"}) EXPECT_FALSE(splitRangeText(notOne)) << notOne;
}

TEST(RangeMessages, NameTheBoxAndKeepTheTypedText) {
    EXPECT_EQ(cellTextMessage(V::BadFormat, "txt12", "3a"),
              "txt12=3a输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！");
    EXPECT_EQ(cellTextMessage(V::OneCharacter, "txt23", " a"),
              "txt23= a  输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！");
    EXPECT_EQ(cellTextMessage(V::Empty, "txt13", ""), "请输入表格区间范围！");
    EXPECT_EQ(cellTextMessage(V::BeyondSheet, "txt13", "xfe1"), "区间已经超出EXCEL工作表的上限,区间范围锁定!");
    EXPECT_EQ(cellTextMessage(V::Accepted, "txt13", "a1"), "");
    EXPECT_EQ(backwardsRangeMessage("表1", "b2", "a9"),
              "坏了，你输入的区间范围不合法：\r\r当前工作表  ：表1\r表格区间范围：[b2，a9]\r\r请重新输入！");
    EXPECT_EQ(rangeBeyondXlsMessage("收入", {1, 1, 70000, 27}),
              "工作表“收入”的区间 a1:aa70000 超出了 .xls 汇总文件的上限 iv65536（256 列，65536 行），汇总文件中没有写入任何结果。"
              "\r请缩小区间，或改用 .xlsx 格式的汇总文件。");
}

TEST(RangeBoxNames, FollowTenTimesRowPlusColumn) {
    EXPECT_EQ(rangeBoxName(1, 1), "txt11");
    EXPECT_EQ(rangeBoxName(2, 3), "txt23");
    EXPECT_EQ(rangeBoxName(10, 1), "txt101");
    EXPECT_EQ(rangeBoxName(50, 3), "txt503");
}

TEST(SheetNameBlanks, AreAppendedAsManyAsTheEdgesHold) {
    EXPECT_EQ(padBlankEdgedName("表1"), "表1");
    EXPECT_EQ(padBlankEdgedName(" 表 1 "), " 表 1   ");
    EXPECT_EQ(padBlankEdgedName("表2  "), "表2    ");
    EXPECT_EQ(padBlankEdgedName("  x"), "  x  ");
    EXPECT_EQ(padBlankEdgedName("a b"), "a b");
    EXPECT_EQ(padBlankEdgedName(""), "");
}

}  // namespace
}  // namespace sbx
