#include "workspace/summary_template.h"

#include <fstream>
#include <system_error>

#include "spreadsheet/utf8_path.h"
#include "workspace/file_copy.h"
#include "workspace/workbook_error_text.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

constexpr const char* kChosen = "chosen=";
constexpr const char* kMadeFrom = "made from=";

// Paths inside the working folder are remembered relative to it, so that the note stays true
// when the folder moves.
std::string remembered(const WorkspacePaths& paths, const fs::path& file) {
    if (file.empty()) return {};
    const fs::path relative = file.lexically_relative(paths.poolDirectory());
    const bool inside = !relative.empty() && *relative.begin() != "..";
    return utf8String(inside ? relative : file);
}

fs::path recalled(const WorkspacePaths& paths, const std::string& text) {
    if (text.empty()) return {};
    const fs::path file = utf8Path(text);
    return file.is_absolute() ? file : paths.poolDirectory() / file;
}

bool isFile(const fs::path& file) {
    std::error_code error;
    return fs::is_regular_file(file, error);
}

}  // namespace

TemplateScreen screenOn(std::function<std::unique_ptr<SpreadsheetHost>()> makeHost) {
    return [makeHost = std::move(makeHost)](const fs::path& file) -> std::string {
        try {
            auto host = makeHost();
            Workbook& book = host->open(file);
            host->close(book, false);
            host->quit();
            return {};
        } catch (const WorkbookError& error) {
            return workbookErrorReason(error);
        } catch (const std::exception& error) {
            return error.what();
        }
    };
}

WorkbookProbe opensOn(std::function<std::unique_ptr<SpreadsheetHost>()> makeHost) {
    return [screen = screenOn(std::move(makeHost))](const fs::path& file) { return screen(file).empty(); };
}

std::string notATemplateText(const std::string& name, const std::string& reason) {
    return "文件 " + name + " 无法读取，不能作为汇总模板：\r" + reason;
}

bool opensAsWorkbook(const fs::path& file) { return opensOn(makeNativeHost)(file); }

fs::path templateNoteFile(const WorkspacePaths& paths) { return paths.summaryDirectory() / utf8Path("模板.txt"); }
fs::path keptTemplateDirectory(const WorkspacePaths& paths) { return paths.summaryDirectory() / utf8Path("模板"); }

TemplateNote readTemplateNote(const WorkspacePaths& paths) {
    TemplateNote note;
    std::ifstream in(templateNoteFile(paths), std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with(kChosen)) note.chosen = recalled(paths, line.substr(std::string(kChosen).size()));
        if (line.starts_with(kMadeFrom)) note.madeFrom = recalled(paths, line.substr(std::string(kMadeFrom).size()));
    }
    if (!note.chosen.empty() && !isFile(note.chosen)) note.chosen.clear();
    return note;
}

bool writeTemplateNote(const WorkspacePaths& paths, const TemplateNote& note) {
    std::ofstream out(templateNoteFile(paths), std::ios::binary | std::ios::trunc);
    out << kChosen << remembered(paths, note.chosen) << '\n' << kMadeFrom << remembered(paths, note.madeFrom) << '\n';
    out.close();
    return static_cast<bool>(out);
}

std::optional<fs::path> templateFor(const WorkspacePaths& paths, const std::vector<std::string>& poolList,
                                    const WorkbookProbe& readable) {
    if (const TemplateNote note = readTemplateNote(paths); !note.chosen.empty()) return note.chosen;
    if (poolList.empty()) return std::nullopt;
    for (auto it = poolList.rbegin(); it != poolList.rend(); ++it) {
        if (readable(paths.poolFile(*it))) return paths.poolFile(*it);
    }
    return paths.poolFile(poolList.back());
}

fs::path chooseTemplate(const WorkspacePaths& paths, const fs::path& source) {
    std::error_code error;
    fs::create_directories(keptTemplateDirectory(paths), error);
    if (error) throw fs::filesystem_error("cannot make the template folder", keptTemplateDirectory(paths), error);
    const fs::path kept = keptTemplateDirectory(paths) / source.filename();
    if (kept != source) {
        error = replaceFile(source, kept, copyFileContents);
        if (error) throw fs::filesystem_error("cannot keep the template", source, kept, error);
    }
    TemplateNote note = readTemplateNote(paths);
    note.chosen = kept;
    if (!writeTemplateNote(paths, note)) {
        throw fs::filesystem_error("cannot remember the template", templateNoteFile(paths),
                                   std::make_error_code(std::errc::io_error));
    }
    return kept;
}

bool followRenamedPoolFile(const WorkspacePaths& paths, const fs::path& from, const fs::path& to) {
    const TemplateNote before = readTemplateNote(paths);
    TemplateNote note = before;
    bool followed = true;
    const fs::path keptFrom = keptTemplateDirectory(paths) / from.filename();
    // Same bytes too: a blank form chosen from elsewhere may share a pool file's name.
    if (!note.chosen.empty() && note.chosen == keptFrom && sameFileContents(keptFrom, to)) {
        const fs::path keptTo = keptTemplateDirectory(paths) / to.filename();
        std::error_code error;
        fs::rename(keptFrom, keptTo, error);
        if (error) {
            followed = false;
        } else {
            if (note.madeFrom == note.chosen) note.madeFrom = keptTo;
            note.chosen = keptTo;
        }
    }
    if (note.madeFrom == from) note.madeFrom = to;
    if (before.chosen == note.chosen && before.madeFrom == note.madeFrom) return followed;
    return writeTemplateNote(paths, note) && followed;
}

std::string templateShownName(const WorkspacePaths& paths) {
    const TemplateNote note = readTemplateNote(paths);
    if (note.madeFrom.empty()) return {};
    std::string name = utf8String(note.madeFrom.filename());
    if (!note.chosen.empty() && note.chosen == note.madeFrom) name += "（选定的模板）";
    return name;
}

std::string summaryMadeFromText(const WorkspacePaths& paths) {
    const TemplateNote note = readTemplateNote(paths);
    if (note.madeFrom.empty()) return {};
    return "\r汇总文件是以下文件的复制：\r" + utf8String(note.madeFrom);
}

}  // namespace sbx
