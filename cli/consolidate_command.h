#pragma once
// shubuxing-cli consolidate: a consolidation run over files named on the command line,
// written to a new summary workbook, without touching any source.
#include <iosfwd>
#include <string>
#include <vector>

// A string literal, so that the tool's usage text can be joined from pieces at compile time.
#define SBX_CONSOLIDATE_USAGE \
    "  shubuxing-cli consolidate --mode efficiency|function --out OUT.xls [--template T.xls]\n" \
    "                (--range 'SHEET!FIRST:LAST' [--range ...] | --job FILE) [--align labels] SOURCE.xls...\n" \
    "      Adds up the SOURCE workbooks cell by cell into OUT, a copy of the template (by\n" \
    "      default the last SOURCE) whose ranges hold the totals: one --range per worksheet,\n" \
    "      in run order, such as '收入明细!b4:k43' (the worksheet name is what stands before\n" \
    "      the last \"!\"; letter case does not matter). Or --job FILE: the job that a job\n" \
    "      file (the desktop's 方案.txt) keeps for the template's worksheet names; it cannot\n" \
    "      be combined with --range. Both modes add numbers and texts\n" \
    "      that read as numbers; labels, error values and booleans add nothing and are\n" \
    "      counted. The efficiency mode writes each area at once; the function mode writes\n" \
    "      cell by cell. A source that cannot be read, a missing worksheet or a summary cell\n" \
    "      that refuses its total fails the run. The check below runs first: a file it flags\n" \
    "      stops the run unless --allow KIND,... names every kind found. With --align labels\n" \
    "      each SOURCE's rows and columns are added where their labels meet the template's\n" \
    "      (see check), not where they stand. Sources are never\n" \
    "      written; OUT appears only when the run finished, with the run record OUT.run.json\n" \
    "      beside it (each source's SHA-256, the findings, every written cell's total and the\n" \
    "      values behind it). \"--\" ends the options. Exit status: 0 finished, 1 the run\n" \
    "      failed or the check flagged a file (the reason on stderr), 2 bad arguments.\n"

#define SBX_CHECK_USAGE \
    "  shubuxing-cli check [--template T.xls] --range 'SHEET!FIRST:LAST' [--range ...]\n" \
    "                [--allow KIND,...] [--roster UNITS.txt [--unit-cell 'SHEET!CELL']] [--align labels]\n" \
    "                SOURCE.xls...\n" \
    "      Checks the SOURCE workbooks against the template (by default the last SOURCE), with\n" \
    "      the arguments of consolidate (--mode and --out are accepted and not needed), one line\n" \
    "      per finding: UNREADABLE (the engine's reason, such as a password), MISSING_WORKSHEET,\n" \
    "      LAYOUT (the first cell outside the ranges whose text differs from the template's:\n" \
    "      an inserted row, a moved label), DUPLICATE (the same bytes, or the same values in\n" \
    "      every range, as an earlier SOURCE), NOT_A_NUMBER (cells in the ranges whose values\n" \
    "      add nothing), NO_RESULT (formulas stored without a result that are not computed\n" \
    "      here), AUDIT (a total the template computes, such as a =SUM row, that the SOURCE\n" \
    "      holds as another number than the formula gives on its own figures).\n" \
    "      With --align labels each range's rows are matched to the template's by the texts of\n" \
    "      its label column (the range's first column when it holds only texts, else the\n" \
    "      nearest column left of it with a text) and its columns by the label row (likewise,\n" \
    "      above), after trimming blanks and folding full-width to half-width; LAYOUT is then\n" \
    "      not compared, and UNMATCHED_LABEL flags a row or column of values whose label the\n" \
    "      template lacks or holds another number of times (its values add nothing).\n" \
    "      With --roster (the units expected, one a line, or a workbook listing them in its\n" \
    "      first column) each SOURCE is matched to the unit whose name is part of its file\n" \
    "      name, or that --unit-cell holds (else the unit cell a --job keeps with the job);\n" \
    "      it prints 已报 N / 应报 M, the units missing\n" \
    "      (未报) and the files of no unit (不在名单中), and flags SAME_UNIT for a unit's second\n" \
    "      report (consolidate takes both options too and keeps the roster in its record).\n" \
    "      Exit status: 0 nothing flagged, 1 a finding of a kind that --allow does not name,\n" \
    "      2 bad arguments (or a roster that cannot be read).\n"

#define SBX_TRACE_USAGE \
    "  shubuxing-cli trace --range 'SHEET!CELL' [--range 'SHEET!FIRST:LAST' ...] SOURCE.xls...\n" \
    "      Lists each SOURCE's value of those cells and their total, by the rules of a run\n" \
    "      (values that add nothing are marked). Exit status: 0, 1 a SOURCE could not be\n" \
    "      read or lacks the worksheet, 2 bad arguments.\n"

namespace sbx::cli {

// `args` are the arguments after "consolidate". Progress (on a terminal) and messages go to
// `err`, the closing line to `out`. Returns the exit status.
int consolidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `args` are the arguments after "check": the findings go to `out`, a count and errors to
// `err`. Returns the exit status.
int checkCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `args` are the arguments after "trace". Returns the exit status.
int traceCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace sbx::cli
