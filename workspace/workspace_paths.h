#pragma once
// The working directory (the pool) and the summary workbook inside it: c:\kx\ on Windows,
// elsewhere ~/kx/ unless SHUBUXING_HOME names another folder.
#include <filesystem>
#include <string>

#include "spreadsheet/utf8_path.h"

namespace sbx {

class WorkspacePaths {
public:
    // From the environment: SHUBUXING_HOME, else the platform's default.
    static WorkspacePaths fromEnvironment();
    explicit WorkspacePaths(std::filesystem::path poolDirectory);

    // The pool folder, e.g. c:\kx\ ; poolPrefix() is its text with the trailing separator,
    // the prefix that full paths and source references are built from.
    const std::filesystem::path& poolDirectory() const { return pool_; }
    std::string poolPrefix() const;
    // <pool>/hz/ and <pool>/hz/total.xls
    std::filesystem::path summaryDirectory() const { return pool_ / "hz"; }
    std::filesystem::path summaryWorkbook() const { return pool_ / "hz" / "total.xls"; }
    // The full path of a pool file given by its bare name.
    std::filesystem::path poolFile(const std::string& name) const { return pool_ / utf8Path(name); }

private:
    std::filesystem::path pool_;
};

}  // namespace sbx
