#include "workspace/file_disposal.h"

#include "spreadsheet/utf8_path.h"

namespace sbx {

namespace fs = std::filesystem;

Disposal moveToDeletedFolder(const fs::path& file) {
    Disposal result;
    const fs::file_status status = fs::symlink_status(file, result.error);
    if (result.error) return result;
    if (!fs::exists(status)) {
        result.error = std::make_error_code(std::errc::no_such_file_or_directory);
        return result;
    }
    // A link goes as a link; a folder of a pool file's name is the user's, not a pool file.
    if (!fs::is_regular_file(status) && !fs::is_symlink(status)) {
        result.error = std::make_error_code(std::errc::is_a_directory);
        return result;
    }
    const fs::path folder = file.parent_path() / utf8Path(kDeletedFolderName);
    fs::create_directories(folder, result.error);
    if (result.error) return result;
    fs::path target = folder / file.filename();
    for (int n = 2; fs::exists(fs::symlink_status(target, result.error)) && n < 100000; ++n) {
        target = folder / (file.stem().native() + utf8Path("-" + std::to_string(n)).native() + file.extension().native());
    }
    // Same folder tree, same file system: a rename, never a copy.
    fs::rename(file, target, result.error);
    if (!result.error) result.folder = folder;
    return result;
}

std::string disposedText(const Disposal& disposal) {
    if (disposal.inRecycleBin) return "已删除的文件已移到回收站。";
    return "已删除的文件已移到文件夹：" + utf8String(disposal.folder) + "。";
}

}  // namespace sbx
