#pragma once
// The texts of the status panel, computed from the counters a run reports: progress bars of
// "|", percentages, the cell being read or written, the progress caption. Every rounding
// goes to the nearest integer, a half to the even one (2.5 gives 2, 3.5 gives 4).
#include <string>

#include "consolidate/status/status_view.h"

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

// A duration in full: "45 秒", "1 分 5 秒", "1 小时 0 分 3 秒".
std::string durationText(long long seconds);
// An estimate as people say it, rounded to 5 seconds under a minute, to 10 seconds under an
// hour, to minutes above: "约 45 秒", "约 1 分 20 秒", "约 2 分", "约 1 小时 5 分"; under
// 5 seconds "即将完成".
std::string aboutText(long long seconds);
// Two lines: "文件 4/6（工作表 2/2）" (the worksheets only when there are several) and
// "已用 1 分 5 秒，还需约 1 分 20 秒" ("，正在估算剩余时间" before there is an estimate).
std::string runTimeText(const RunTimeProgress& progress);

// "总进程：1/3  用时0:00:41", or "-----工作完毕,用时0:01:15-----" after the last worksheet.
std::string progressCaption(int worksheet, int worksheets, const std::string& elapsed);

}  // namespace sbx
