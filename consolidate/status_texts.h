#pragma once
// The texts of the status panel, computed from the counters a run reports: progress bars of
// "|", percentages, the cell being read or written, the progress caption. Every rounding
// goes to the nearest integer, a half to the even one (2.5 gives 2, 3.5 gives 4).
#include <string>

namespace sbx {

// round(scale x done / total), halves to even; 0 when total is 0.
long long roundedShare(long long scale, long long done, long long total);

// round(20 x done / total) characters "|".
std::string progressBar(long long done, long long total);
// The same bar, at most 20 "|", padded with blanks to 20 characters.
std::string paddedProgressBar(long long done, long long total);
// round(100 x done / total) followed by "%".
std::string percentText(long long done, long long total);
// "单元格:", CR, "[h,20]"; "------完毕------" for the last cell of the range.
std::string cellText(int column, int row, bool last);

// "总进程：1/3  用时0:0:41", or "-----工作完毕,用时0:1:15-----" after the last worksheet.
std::string progressCaption(int worksheet, int worksheets, const std::string& elapsed);

}  // namespace sbx
