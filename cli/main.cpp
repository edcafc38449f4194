// shubuxing-cli: the engine from the command line, for people and scripts.
#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "cli/console_text.h"
#include "cli/consolidate_command.h"
#include "cli/dump_format.h"
#include "cli/set_command.h"
#include "spreadsheet/local_time_zone.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/temporary_files.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/workbook_file_check.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 2;

const char* const kUsage =
    "Usage:\n"
    "  shubuxing-cli sheets FILE\n"
    "      Lists the worksheets of FILE (.xls, .xlsx or .xlsm), one name per line, in workbook order.\n"
    "  shubuxing-cli dump FILE SHEET [FIRST:LAST]\n"
    "      Writes the cells of worksheet SHEET as tab-separated lines, one per row, from\n"
    "      row 1 to the last row with a value and from column 1 to the last column with a\n"
    "      value, or over the cells FIRST to LAST (such as a3:h20). Numbers are written in\n"
    "      their shortest exact form, dates as 2024-01-31 or 2024-01-31T08:30:00, booleans\n"
    "      as TRUE and FALSE, error values as #DIV/0! and so on; in texts a tab, CR, LF and\n"
    "      backslash are written as \\t \\r \\n \\\\.\n"
    "  shubuxing-cli set FILE SHEET CELL VALUE\n"
    "      Writes VALUE into CELL (such as b4) of worksheet SHEET and saves FILE: a number,\n"
    "      TRUE or FALSE, text, or \"\" to empty the cell. Through a link, the file it points\n"
    "      to is written. Formulas whose results are left to the spreadsheet application\n"
    "      are named on stderr.\n"
    SBX_CONSOLIDATE_USAGE
    SBX_CHECK_USAGE
    SBX_TRACE_USAGE
    "  shubuxing-cli --help\n"
    "  shubuxing-cli --version\n"
    "Exit status: 0 on success, 2 for a bad file, a missing worksheet or bad arguments.\n";

int usageError(const std::string& message) {
    std::cerr << "shubuxing-cli: " << message << "\n\n" << kUsage;
    return kExitFailure;
}

int listSheets(const std::string& file) {
    const auto path = sbx::utf8Path(file);
    sbx::checkWorkbookFile(path);
    auto host = sbx::makeNativeHost();
    auto& book = host->open(path);
    for (int i = 1; i <= book.worksheetCount(); ++i) std::cout << book.worksheet(i).name() << '\n';
    return kExitOk;
}

int dump(const std::string& file, const std::string& sheetName, const std::string& range) {
    sbx::CellArea area;
    bool openEnded = true;
    if (!range.empty()) {
        const auto parsed = sbx::parseCellRange(range);
        if (!parsed || range.find(':') == std::string::npos) {
            return usageError("\"" + range + "\" is not a cell range such as a3:h20");
        }
        area = *parsed;
        openEnded = false;
    }
    const auto path = sbx::utf8Path(file);
    sbx::checkWorkbookFile(path);
    auto host = sbx::makeNativeHost();
    auto& book = host->open(path);
    const auto& sheet = book.worksheet(sheetName);
    if (const sbx::SheetGrid grid = book.grid(); !area.validOn(grid) && !openEnded) {
        std::cerr << "shubuxing-cli: " << file << ": the range " << range << " reaches beyond "
                  << sbx::cellName({grid.rows, grid.columns}) << ", the last cell of the workbook's worksheets\n";
        return kExitFailure;
    }
    if (openEnded) {
        // The whole sheet as far as it holds values: an .xlsx sheet reaches beyond column IV
        // and row 65536.
        const auto [lastRow, lastColumn] = sheet.lastValueCell();
        area = sbx::CellArea{1, 1, std::max(lastRow, 1), std::max(lastColumn, 1)};
    }
    sbx::cli::dumpArea(sheet, area, openEnded, std::cout);
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    sbx::settleLocalTimeZone();
    std::ios::sync_with_stdio(false);
    sbx::removeTemporaryFilesOnSignals();
    sbx::cli::showUtf8OnConsole();
    const std::vector<std::string> args = sbx::cli::utf8Arguments(argc, argv);
    if (args.empty()) return usageError("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << kUsage;
        return kExitOk;
    }
    if (args[0] == "--version") {
        std::cout << "shubuxing-cli " << SBX_VERSION << '\n';
        return kExitOk;
    }
    try {
        if (args[0] == "sheets") {
            if (args.size() != 2) return usageError("sheets takes one FILE");
            return listSheets(args[1]);
        }
        if (args[0] == "consolidate") {
            return sbx::cli::consolidateCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
        }
        if (args[0] == "check") {
            return sbx::cli::checkCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
        }
        if (args[0] == "trace") {
            return sbx::cli::traceCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
        }
        if (args[0] == "dump") {
            if (args.size() != 3 && args.size() != 4) return usageError("dump takes FILE SHEET [FIRST:LAST]");
            return dump(args[1], args[2], args.size() == 4 ? args[3] : std::string());
        }
        if (args[0] == "set") {
            if (args.size() != 5) return usageError("set takes FILE SHEET CELL VALUE");
            return sbx::cli::setCommand(args[1], args[2], args[3], args[4], std::cerr);
        }
        return usageError("unknown command \"" + args[0] + "\"");
    } catch (const sbx::WorkbookError& e) {
        std::cerr << "shubuxing-cli: " << e.what() << '\n';
        return kExitFailure;
    } catch (const std::exception& e) {
        std::cerr << "shubuxing-cli: " << e.what() << '\n';
        return kExitFailure;
    }
}
