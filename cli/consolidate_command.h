#pragma once
// shubuxing-cli consolidate: a consolidation run over files named on the command line,
// written to a new summary workbook, without touching any source.
#include <iosfwd>
#include <string>
#include <vector>

// A string literal, so that the tool's usage text can be joined from pieces at compile time.
#define SBX_CONSOLIDATE_USAGE \
    "  shubuxing-cli consolidate --mode efficiency|function --out OUT.xls [--template T.xls]\n" \
    "                --range 'SHEET!FIRST:LAST' [--range ...] SOURCE.xls...\n" \
    "      Adds up the SOURCE workbooks cell by cell into OUT, a copy of the template (by\n" \
    "      default the last SOURCE) whose ranges hold the totals: one --range per worksheet,\n" \
    "      in run order, such as '收入明细!b4:k43' (the worksheet name is what stands before\n" \
    "      the last \"!\"). The efficiency mode lets the engine's consolidate add the numbers;\n" \
    "      the function mode adds every cell itself, texts that read as numbers included, and\n" \
    "      skips what it cannot read or write, telling what at the end. Sources are never\n" \
    "      written; OUT appears only when the run finished. Exit status: 0 finished, 1 the\n" \
    "      run failed (the reason on stderr), 2 bad arguments.\n"

namespace sbx::cli {

// `args` are the arguments after "consolidate". Progress (on a terminal) and messages go to
// `err`, the closing line to `out`. Returns the exit status.
int consolidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sbx::cli
