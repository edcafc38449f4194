#include "workspace/working_folder_text.h"

#include <algorithm>
#include <cctype>

namespace sbx {

namespace {

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string withSeparator(std::string folder) {
    const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
    if (folder.empty() || folder.back() != separator) folder.push_back(separator);
    return folder;
}

}  // namespace

bool isDefaultWorkingFolder(const WorkspacePaths& paths) {
    std::string prefix = paths.poolPrefix();
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return prefix == "c:\\kx\\";
}

std::string namingWorkingFolder(std::string text, const WorkspacePaths& paths) {
    if (isDefaultWorkingFolder(paths)) return text;
    const std::string pool = paths.poolPrefix();
    // The longer mention first: C:\KX\HZ\ starts with C:\KX\.
    replaceAll(text, "C:\\KX\\HZ\\", withSeparator(utf8String(paths.summaryDirectory())));
    replaceAll(text, "C:\\KX\\", pool);
    replaceAll(text, "在C盘根目录下建立一个文件夹", "建立文件夹" + pool);
    return text;
}

}  // namespace sbx
