#include "job/range_rules.h"

#include <vector>

namespace sbx {
namespace {

constexpr long kLastRow = kSheetRows;
constexpr size_t kMostColumnLetters = 3;  // xfd

// Characters, not bytes: a box holding one Chinese character has length 1. A byte that does
// not begin a well-formed UTF-8 sequence (a stray continuation byte, a cut or over-long
// sequence) counts as one character of its own, never as the character it would spell.
std::vector<char32_t> characters(std::string_view text) {
    std::vector<char32_t> out;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        char32_t code = length <= 1 ? lead : lead & (0x7F >> length);
        bool wellFormed = length > 0 && i + length <= text.size();
        for (size_t k = 1; wellFormed && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            wellFormed = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!wellFormed || code < kLeast[length]) {
            out.push_back(0x110000 + lead);  // above every character: equal to none
            ++i;
            continue;
        }
        out.push_back(code);
        i += length;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t code) {
    if (code >= 0x110000) {
        out += static_cast<char>(code - 0x110000);  // a byte that was not well-formed, as it was
    } else if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// Full-width forms of what a cell text may hold, and upper-case letters, as the checks read them.
char32_t canonicalCharacter(char32_t c) {
    const bool fullWidthDigit = c >= U'０' && c <= U'９';
    const bool fullWidthLetter = (c >= U'Ａ' && c <= U'Ｚ') || (c >= U'ａ' && c <= U'ｚ');
    if (fullWidthDigit || fullWidthLetter || c == U'：') c = c - U'！' + U'!';
    if (c == U'\u3000') c = U' ';
    if (c >= U'A' && c <= U'Z') c = c - U'A' + U'a';
    return c;
}

bool isDigit(char32_t c) { return c >= U'0' && c <= U'9'; }
bool isLowerLetter(char32_t c) { return c >= U'a' && c <= U'z'; }

// The decimal value of `digits`, capped just above the last row so long texts cannot overflow.
long rowValue(const std::vector<char32_t>& text, size_t from) {
    long row = 0;
    for (size_t i = from; i < text.size() && isDigit(text[i]); ++i) {
        row = row * 10 + static_cast<long>(text[i] - U'0');
        if (row > kLastRow) return kLastRow + 1;
    }
    return row;
}

}  // namespace

std::string_view trimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string rangeBoxName(int row, int column) { return "txt" + std::to_string(10 * row + column); }

CellTextVerdict checkCellText(std::string_view typed) {
    const auto t = characters(trimBlanks(typed));
    if (t.empty()) return CellTextVerdict::Empty;
    if (t.size() == 1) return CellTextVerdict::OneCharacter;
    if (isDigit(t.front()) || !isDigit(t.back())) return CellTextVerdict::BadFormat;

    size_t letters = 0;
    while (!isDigit(t[letters])) {
        // Only lower-case letters name a column a run can read (A3 reads as column 0).
        if (!isLowerLetter(t[letters])) return CellTextVerdict::BadFormat;
        ++letters;
    }
    if (letters > kMostColumnLetters) return CellTextVerdict::BeyondSheet;
    std::string columnText;  // lower-case ASCII letters by now
    for (size_t i = 0; i < letters; ++i) columnText += static_cast<char>(t[i]);
    if (!columnOfLetters(columnText)) return CellTextVerdict::BeyondSheet;

    for (size_t i = letters; i < t.size(); ++i)
        if (!isDigit(t[i])) return CellTextVerdict::BadFormat;
    const long row = rowValue(t, letters);
    if (row > kLastRow) return CellTextVerdict::BeyondSheet;
    if (row < 1) return CellTextVerdict::BadFormat;  // a0: there is no row 0 to read
    return CellTextVerdict::Accepted;
}

std::string canonicalCellText(std::string_view typed) {
    std::string out;
    for (const char32_t c : characters(typed)) appendUtf8(out, canonicalCharacter(c));
    return std::string(trimBlanks(out));
}

std::optional<std::pair<std::string, std::string>> splitRangeText(std::string_view typed) {
    const std::string text = canonicalCellText(typed);
    const size_t colon = text.find(':');
    if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) return std::nullopt;
    return std::pair{canonicalCellText(text.substr(0, colon)), canonicalCellText(text.substr(colon + 1))};
}

std::optional<CellAddress> acceptedCell(std::string_view typed) {
    if (checkCellText(typed) != CellTextVerdict::Accepted) return std::nullopt;
    return parseCellAddress(trimBlanks(typed));
}

bool rangeRunsBackwards(CellAddress first, CellAddress last) { return last.column < first.column || last.row < first.row; }

std::string cellTextMessage(CellTextVerdict verdict, std::string_view boxName, std::string_view typed) {
    const std::string name(boxName);
    const std::string text(typed);
    switch (verdict) {
        case CellTextVerdict::Accepted:
            return {};
        case CellTextVerdict::Empty:
            return "请输入表格区间范围！";
        case CellTextVerdict::OneCharacter:
            return name + "=" + text + "  输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！";
        case CellTextVerdict::BadFormat:
            return name + "=" + text + "输入表格区间变量格式错，首位字符应为\r小写英文字母末位为阿拉伯数字（形如：a3）！";
        case CellTextVerdict::BeyondSheet:
            return "区间已经超出EXCEL工作表的上限,区间范围锁定!";
    }
    return {};
}

std::string rangeBeyondXlsMessage(std::string_view sheetName, const CellArea& area) {
    return "工作表“" + std::string(sheetName) + "”的区间 " + areaName(area) + " 超出了 .xls 汇总文件的上限 " +
           cellName({kXlsGrid.rows, kXlsGrid.columns}) + "（" + std::to_string(kXlsGrid.columns) + " 列，" +
           std::to_string(kXlsGrid.rows) + " 行），汇总文件中没有写入任何结果。\r请缩小区间，或改用 .xlsx 格式的汇总文件。";
}

std::string backwardsRangeMessage(std::string_view sheetName, std::string_view first, std::string_view last) {
    return "坏了，你输入的区间范围不合法：\r\r当前工作表  ：" + std::string(sheetName) + "\r表格区间范围：[" +
           std::string(first) + "，" + std::string(last) + "]\r\r请重新输入！";
}

}  // namespace sbx
