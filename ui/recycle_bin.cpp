#include "ui/recycle_bin.h"

#include <QFile>
#include <QString>

#include "spreadsheet/utf8_path.h"

namespace sbx {

Disposal moveToRecycleBin(const std::filesystem::path& file) {
    // Only files: the same rule as the folder's (a folder of a pool file's name stays).
    std::error_code error;
    const auto status = std::filesystem::symlink_status(file, error);
    if (error || !std::filesystem::exists(status) ||
        (!std::filesystem::is_regular_file(status) && !std::filesystem::is_symlink(status))) {
        return moveToDeletedFolder(file);
    }
    QFile qfile(QString::fromStdString(utf8String(file)));
    if (qfile.moveToTrash()) return Disposal{{}, true, {}};
    return moveToDeletedFolder(file);
}

}  // namespace sbx
