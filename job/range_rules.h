#pragma once
// The checks of the range entry window, free of windows: what a first or last cell text may
// be, whether a rectangle runs the right way, and the messages that name the faulty box.
// A cell text is accepted only when a run can read it: one to three lower-case column letters
// (a..xfd) and a row number 1..1048576, surrounded by blanks at most. An .xls summary holds
// less (a..iv, rows 1..65536); that is checked against the summary, not the text.
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "spreadsheet/cell_address.h"

namespace sbx {

enum class CellTextVerdict {
    Accepted,
    Empty,          // "请输入表格区间范围！"
    OneCharacter,   // message A
    BadFormat,      // message B
    BeyondSheet,    // the limit message: column over xfd, four column letters, row over 1048576
};

// The text as typed; leading and trailing blanks (U+0020) do not count.
CellTextVerdict checkCellText(std::string_view typed);

// The text without leading and trailing blanks (U+0020 only).
std::string_view trimBlanks(std::string_view text);

// The name of the range entry window's text box of row `row` and column `column` (1..3):
// "txt" and the digits of 10 × row + column, e.g. txt12, txt101.
std::string rangeBoxName(int row, int column);

// What people type, in the form the checks read: full-width letters, digits, colon and blank
// (Ａ１, ｂ３, "：", U+3000) become their ASCII selves, upper-case letters lower-case, and the
// blanks around the text go. Other characters stay as typed, so what the checks refuse is
// still refused.
std::string canonicalCellText(std::string_view typed);

// A whole range typed into one box, such as "b3:d5" or "Ｂ３：Ｄ５": its first and last cell
// texts in canonical form. std::nullopt unless the text holds exactly one colon.
std::optional<std::pair<std::string, std::string>> splitRangeText(std::string_view typed);

// The cell of a text that checkCellText accepts; std::nullopt for any other text.
std::optional<CellAddress> acceptedCell(std::string_view typed);

// True when the rectangle from `first` to `last` is wrong: the last cell left of or above
// the first. (A two-letter first column with a one-letter last column is one such case.)
bool rangeRunsBackwards(CellAddress first, CellAddress last);

// The message for a refused cell text in the box `boxName`, its text as typed. Empty for
// CellTextVerdict::Accepted.
std::string cellTextMessage(CellTextVerdict verdict, std::string_view boxName, std::string_view typed);

// Message C: the rectangle of `sheetName` runs backwards; all three texts trimmed.
std::string backwardsRangeMessage(std::string_view sheetName, std::string_view first, std::string_view last);

// The range `area` of `sheetName` reaches beyond iv65536, where the worksheets of an .xls
// summary end: named with the limit, for the range entry and the run alike.
std::string rangeBeyondXlsMessage(std::string_view sheetName, const CellArea& area);

}  // namespace sbx
