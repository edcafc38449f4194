// Being written: consolidation by position.
#include "spreadsheet/consolidate_by_position.h"

#include "spreadsheet/workbook_error.h"

namespace sbx {

void consolidateByPosition(SpreadsheetHost&, Worksheet&, const CellArea&, const std::vector<std::string>&) {
    throw WorkbookError(WorkbookErrorKind::BadReference, {}, "consolidation is not available in this build");
}

}  // namespace sbx
