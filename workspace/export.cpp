#include "workspace/export.h"

#include <cctype>
#include <optional>
#include <system_error>

#include "spreadsheet/utf8_path.h"
#include "workspace/pool_file_ops.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

SaveFileRequest exportDialogRequest(WorkbookFormat format) {
    if (format == WorkbookFormat::Xls) {
        return SaveFileRequest{export_text::kDialogTitle, export_text::kFilter, export_text::kSuffix, {}};
    }
    const std::string suffix(formatExtension(format).substr(1));
    return SaveFileRequest{export_text::kDialogTitle, "*." + suffix, suffix, {}};
}

fs::path exportTarget(const fs::path& chosen, WorkbookFormat format) {
    const std::string wanted(formatExtension(format));
    if (!chosen.has_extension()) return fs::path(chosen) += wanted;
    const std::optional<WorkbookFormat> named = formatOfPoolName(lowerAscii(utf8String(chosen.extension())));
    if (!named || *named == format) return chosen;
    return fs::path(chosen).replace_extension(wanted);
}

void copySummaryTo(const WorkspacePaths& paths, const fs::path& target, bool replace) {
    const fs::path source = paths.summaryWorkbook();
    if (!replace) {
        // Fails when a file has appeared there meanwhile instead of replacing it.
        std::error_code ec;
        if (!fs::copy_file(source, target, fs::copy_options::none, ec)) {
            // Anything but an existing target means the file there, if any, is our partial copy.
            std::error_code ignored;
            if (ec != std::errc::file_exists) fs::remove(target, ignored);
            throw fs::filesystem_error("cannot copy the summary workbook", source, target, ec);
        }
        return;
    }
    // Replacing: a copy that fails half-way leaves the old file whole.
    if (const std::error_code ec = replaceFile(source, target)) {
        throw fs::filesystem_error("cannot replace the file with the summary workbook", source, target, ec);
    }
}

ExportResult exportSummary(const WorkspacePaths& paths, DialogsPort& dialogs) {
    ExportResult result;
    const WorkbookFormat format =
        formatOfPoolName(utf8String(paths.summaryWorkbook().filename())).value_or(WorkbookFormat::Xls);
    const auto chosen = dialogs.saveFile(exportDialogRequest(format));
    if (!chosen || chosen->empty()) return result;
    // The dialog appends the suffix to a name typed without one; a dialog that did not gets it here.
    result.target = exportTarget(*chosen, format);

    std::error_code ec;
    bool replace = false;
    if (fs::exists(fs::symlink_status(result.target, ec))) {
        if (!dialogs.askYesNo(export_text::kOverwriteQuestion, Risk::Destructive)) {
            result.outcome = ExportOutcome::Declined;
            return result;
        }
        replace = true;
    }
    try {
        copySummaryTo(paths, result.target, replace);
        result.outcome = ExportOutcome::Copied;
    } catch (const fs::filesystem_error& e) {
        result.outcome = ExportOutcome::Failed;
        result.error = systemErrorText(e.code());
        dialogs.message("汇总文件未能导出到:\r" + utf8String(result.target) + "\r原因：" + result.error);
    }
    return result;
}

}  // namespace sbx
