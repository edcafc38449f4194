#pragma once
// The template: the workbook the summary is a copy of, which gives it the common layout and
// everything outside the chosen ranges. Unless the user chose one, it is the last pool file
// that can be read (a password or damaged bytes pass it over; when none can be read, the last
// one listed). A template the user chooses (设为汇总模板) is kept as a copy in <pool>/hz/模板/,
// so that it stays when its pool file is archived or deleted: a blank form taken in for the
// purpose may leave the pool at once. The choice, and the file the summary was last copied
// from, are remembered for the working folder in <pool>/hz/模板.txt.
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "workspace/workspace_paths.h"

namespace sbx {

// Whether a workbook can be read (by default: it opens in the engine).
using WorkbookProbe = std::function<bool(const std::filesystem::path&)>;
bool opensAsWorkbook(const std::filesystem::path& file);
// Whether it opens on a host that `makeHost` makes.
WorkbookProbe opensOn(std::function<std::unique_ptr<SpreadsheetHost>()> makeHost);

// Why a workbook cannot be the template, in the user's words; empty when it can (it opens).
using TemplateScreen = std::function<std::string(const std::filesystem::path&)>;
// It must open on a host that `makeHost` makes.
TemplateScreen screenOn(std::function<std::unique_ptr<SpreadsheetHost>()> makeHost);
// "文件 东城区.xls 无法读取，不能作为汇总模板：" and the reason on the next line.
std::string notATemplateText(const std::string& name, const std::string& reason);

struct TemplateNote {
    std::filesystem::path chosen;    // the kept copy of the chosen template; empty: none chosen
    std::filesystem::path madeFrom;  // the file the summary was last copied from; empty: unknown
};

// <pool>/hz/模板.txt and <pool>/hz/模板
std::filesystem::path templateNoteFile(const WorkspacePaths& paths);
std::filesystem::path keptTemplateDirectory(const WorkspacePaths& paths);

// A note that cannot be read is an empty one; a chosen template whose copy is gone is no choice.
TemplateNote readTemplateNote(const WorkspacePaths& paths);
// False when the note could not be written (the summary folder is missing or refuses it).
bool writeTemplateNote(const WorkspacePaths& paths, const TemplateNote& note);

// The file the summary is to be made from for the pool `poolList` (bare names, listing order):
// the chosen template, else the last pool file `readable` accepts, else the last one listed;
// nothing for an empty pool without a choice.
std::optional<std::filesystem::path> templateFor(const WorkspacePaths& paths, const std::vector<std::string>& poolList,
                                                 const WorkbookProbe& readable = opensAsWorkbook);

// Keeps a copy of `source` in hz/模板 and remembers it as the chosen template. Throws
// std::filesystem::filesystem_error when the copy or the note cannot be made.
std::filesystem::path chooseTemplate(const WorkspacePaths& paths, const std::filesystem::path& source);

// The pool file `from` was renamed to `to`: the note follows it, and a chosen template kept
// from it (a copy of the same name and bytes in hz/模板) takes the new name too, so that the
// main window and the note name the file as the pool now does. False when the note or the kept
// copy could not follow.
bool followRenamedPoolFile(const WorkspacePaths& paths, const std::filesystem::path& from, const std::filesystem::path& to);

// For the windows and messages: the bare name of the file the summary was copied from
// ("东城区.xls"), with "（选定的模板）" after a chosen one; empty when unknown.
std::string templateShownName(const WorkspacePaths& paths);
// For messages about the summary workbook: "\r汇总文件是 东城区.xls 的复制" naming that file by
// its path, or empty when unknown.
std::string summaryMadeFromText(const WorkspacePaths& paths);

}  // namespace sbx
