// shubuxing-cli trace: each source's value of some cells and their total, by the run's rules.
#include <ostream>

#include "cli/consolidate_command.h"
#include "consolidate/run/source_cache.h"
#include "consolidate/check/source_check.h"
#include "spreadsheet/cell_total.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx::cli {

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

// 'SHEET!b5' or 'SHEET!b4:k43': the worksheet name is what stands before the last "!".
std::optional<SheetJob> readCells(const std::string& text, std::string& why) {
    const auto bang = text.rfind('!');
    const auto area = bang == std::string::npos || bang == 0 ? std::nullopt : parseCellRange(text.substr(bang + 1));
    if (!area) {
        why = "\"" + text + "\" is not SHEET!CELL or SHEET!FIRST:LAST, such as 收入明细!c5";
        return std::nullopt;
    }
    return SheetJob{text.substr(0, bang), *area};
}

int badArguments(const std::string& why, std::ostream& err) {
    err << "shubuxing-cli trace: " << why << "\n\nUsage:\n" << SBX_TRACE_USAGE;
    return kExitBadArguments;
}

}  // namespace

int traceCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Job job;
    std::vector<std::filesystem::path> sources;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        if (options && args[i] == "--") {
            options = false;
        } else if (options && args[i] == "--range") {
            if (i + 1 >= args.size()) return badArguments("--range needs a value", err);
            std::string why;
            auto sheet = readCells(args[++i], why);
            if (!sheet) return badArguments(why, err);
            job.push_back(std::move(*sheet));
        } else if (options && args[i].starts_with("--")) {
            return badArguments("unknown option " + args[i], err);
        } else {
            sources.push_back(utf8Path(args[i]));
        }
    }
    if (job.empty()) return badArguments("at least one --range 'SHEET!CELL' is needed", err);
    if (sources.empty()) return badArguments("no SOURCE workbook given", err);

    auto host = makeNativeHost();
    int status = 0;
    {
        SourceCache cache(*host);
        for (const SheetJob& sheet : job) {
            const CellArea& a = sheet.area;
            for (int row = a.firstRow; row <= a.lastRow; ++row) {
                for (int column = a.firstColumn; column <= a.lastColumn; ++column) {
                    out << sheet.worksheet << "!" << cellName({row, column}) << '\n';
                    CellTotal total;
                    for (const auto& file : sources) {
                        out << "  " << utf8String(file) << '\t';
                        try {
                            const OpenedSource opened = cache.open({file, sheet.worksheet, a});
                            const CellValue v = opened.sheet.cell(row, column);
                            const bool nothing = total.add(v, opened.dates1904) == Contribution::AddsNothing;
                            out << shownValue(v) << (nothing ? "  (adds nothing)" : "") << '\n';
                        } catch (const WorkbookError& e) {
                            out << "(not read)\n";
                            err << "shubuxing-cli trace: " << e.what() << '\n';
                            status = kExitFailed;
                        }
                    }
                    out << "  total\t" << shownValue(total.written()) << '\n';
                }
            }
        }
    }
    host->quit();
    return status;
}

}  // namespace sbx::cli
