#pragma once
// shubuxing-cli consolidate: a consolidation run over files named on the command line,
// written to a new summary workbook, without touching any source.
#include <iosfwd>
#include <string>
#include <vector>

// A string literal, so that the tool's usage text can be joined from pieces at compile time.
#define SBX_CONSOLIDATE_USAGE \
    "  shubuxing-cli consolidate --mode efficiency|function --out OUT.xls [--template T.xls]\n" \
    "                (--range 'SHEET!FIRST:LAST' [--range ...] | --job FILE) SOURCE.xls...\n" \
    "      Adds up the SOURCE workbooks cell by cell into OUT, a copy of the template (by\n" \
    "      default the last SOURCE) whose ranges hold the totals: one --range per worksheet,\n" \
    "      in run order, such as '收入明细!b4:k43' (the worksheet name is what stands before\n" \
    "      the last \"!\"; letter case does not matter). Or --job FILE: the job that a job\n" \
    "      file (the desktop's 方案.txt) keeps for the template's worksheet names; it cannot\n" \
    "      be combined with --range. Both modes add numbers and texts\n" \
    "      that read as numbers; labels, error values and booleans add nothing and are\n" \
    "      counted. The efficiency mode writes each area at once; the function mode writes\n" \
    "      cell by cell. A source that cannot be read, a missing worksheet or a summary cell\n" \
    "      that refuses its total fails the run. Sources are never written; OUT appears only\n" \
    "      when the run finished. \"--\" ends the options. Exit status: 0 finished, 1 the\n" \
    "      run failed (the reason on stderr), 2 bad arguments.\n"

namespace sbx::cli {

// `args` are the arguments after "consolidate". Progress (on a terminal) and messages go to
// `err`, the closing line to `out`. Returns the exit status.
int consolidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sbx::cli
