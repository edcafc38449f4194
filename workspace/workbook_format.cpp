#include "workspace/workbook_format.h"

#include <cstdint>
#include <exception>
#include <vector>

#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_file_check.h"

namespace sbx {

namespace {

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text.remove_prefix(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] - 'A' + 'a') : text[i];
        if (c != suffix[i]) return false;
    }
    return true;
}

bool startsAsZipPackage(const std::filesystem::path& file) {
    try {
        // Checks the kind of file before opening it: a FIFO is never opened.
        const std::vector<uint8_t> head = WorkbookFileReader(file).head(4);
        return head.size() == 4 && head[0] == 'P' && head[1] == 'K' &&
               ((head[2] == 3 && head[3] == 4) || (head[2] == 5 && head[3] == 6));
    } catch (const std::exception&) {
        // Unreadable: whoever copies or opens it next says why.
        return false;
    }
}

}  // namespace

SheetGrid sheetGridOf(WorkbookFormat format) { return format == WorkbookFormat::Xls ? kXlsGrid : kFullGrid; }

std::string_view formatExtension(WorkbookFormat format) {
    switch (format) {
        case WorkbookFormat::Xlsx: return ".xlsx";
        case WorkbookFormat::Xlsm: return ".xlsm";
        case WorkbookFormat::Xls: break;
    }
    return ".xls";
}

std::optional<WorkbookFormat> formatOfPoolName(std::string_view name) {
    for (const WorkbookFormat format : kWorkbookFormats) {
        if (name.ends_with(formatExtension(format))) return format;
    }
    return std::nullopt;
}

WorkbookFormat workbookFormatOf(const std::filesystem::path& file) {
    if (!startsAsZipPackage(file)) return WorkbookFormat::Xls;
    return endsWithIgnoringCase(utf8String(file.filename()), ".xlsm") ? WorkbookFormat::Xlsm : WorkbookFormat::Xlsx;
}

}  // namespace sbx
