#include "cli/set_command.h"

#include <ostream>
#include <vector>

#include "spreadsheet/cell_address.h"
#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_file_check.h"

namespace sbx::cli {

CellValue valueFromArgument(const std::string& argument) {
    if (argument.empty()) return CellValue();
    if (argument == "TRUE") return CellValue::boolean(true);
    if (argument == "FALSE") return CellValue::boolean(false);
    return CellValue::text(argument);
}

int setCommand(const std::string& file, const std::string& sheet, const std::string& cell, const std::string& value,
               std::ostream& err) {
    const auto address = parseCellAddress(cell);
    if (!address) {
        err << "shubuxing-cli: \"" << cell << "\" is not a cell such as b4\n";
        return 2;
    }
    auto host = makeNativeHost();
    const std::filesystem::path path = utf8Path(file);
    try {
        checkWorkbookFile(path);
        auto& book = host->open(path);
        book.worksheet(sheet).setCell(address->row, address->column, valueFromArgument(value));
        const std::vector<StaleFormula> stale = book.staleFormulas();
        host->close(book, true);
        // Readers that do not recompute show these formulas' old results until the
        // spreadsheet application has opened the file.
        for (const StaleFormula& formula : stale) err << "shubuxing-cli set: " << describeStale(formula) << '\n';
    } catch (const WorkbookError& e) {
        err << "shubuxing-cli: " << e.what() << '\n';
        host->quit();
        return 2;
    }
    host->quit();
    return 0;
}

}  // namespace sbx::cli
