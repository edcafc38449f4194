#pragma once
// Export of the summary workbook: a byte-for-byte copy of <pool>/hz/total.xls (or .xlsx,
// .xlsm: the summary's format) to a place the user picks in the save dialog, under the
// extension of that format. An existing file there is replaced only after the user's Yes to
// the overwrite question, and never damaged by a copy that fails halfway.
#include <filesystem>
#include <string>

#include "workspace/dialogs_port.h"
#include "workspace/workbook_format.h"
#include "workspace/workspace_paths.h"

namespace sbx {

namespace export_text {
inline constexpr const char* kDialogTitle = "导出汇总EXCELL表格...";
inline constexpr const char* kFilter = "*.xls";  // for an .xls summary; the others by their extension
inline constexpr const char* kSuffix = "xls";
inline constexpr const char* kOverwriteQuestion = "该文件已经在目标目录中存在，请\r注意核对，是否覆盖？";
inline constexpr const char* kHintAfterExport = "欢迎使用数簿星";
}  // namespace export_text

enum class ExportOutcome {
    Cancelled,  // the dialog was cancelled
    Copied,     // the copy is at the target
    Declined,   // the target existed and the user said No
    Failed,     // the copy failed; reported, an existing target untouched
};

struct ExportResult {
    ExportOutcome outcome = ExportOutcome::Cancelled;
    std::filesystem::path target;
    std::string error;  // why the copy failed
};

// The save dialog's settings for a summary of `format`: "*.xls" and "xls", "*.xlsx" and
// "xlsx", or "*.xlsm" and "xlsm".
SaveFileRequest exportDialogRequest(WorkbookFormat format);

// Where the export of a summary of `format` goes when the user picked `chosen`: a name without
// an extension gets the format's; a name ending in another workbook format's extension (any
// letter case) gets the format's instead, so that the copy opens as what it is. Other names
// stay as they are.
std::filesystem::path exportTarget(const std::filesystem::path& chosen, WorkbookFormat format);

// Copies the summary workbook to `target`; replaces an existing file only when `replace`.
// Throws std::filesystem::filesystem_error on failure, leaving an existing target as it was.
void copySummaryTo(const WorkspacePaths& paths, const std::filesystem::path& target, bool replace);

// The click on 导出文件: dialog, overwrite question, copy, and a message when the copy fails.
// Moving the focus and setting the hint afterwards are the caller's.
ExportResult exportSummary(const WorkspacePaths& paths, DialogsPort& dialogs);

}  // namespace sbx
