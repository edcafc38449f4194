// Being written: the BIFF8 writer.
#include "spreadsheet/xls/workbook_writer.h"

#include "spreadsheet/workbook_error.h"

namespace sbx::xls {

void saveWorkbook(const WorkbookReader&, const WorkbookEdits&, const std::filesystem::path& target) {
    throw WorkbookError(WorkbookErrorKind::WriteUnsupported, target, "saving is not available in this build");
}

}  // namespace sbx::xls
