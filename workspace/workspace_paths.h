#pragma once
// The working directory (the pool) and the summary workbook inside it: c:\kx\ on Windows,
// elsewhere ~/kx/ unless SHUBUXING_HOME names another folder. The folder is always absolute.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "spreadsheet/utf8_path.h"
#include "workspace/workbook_format.h"

namespace sbx {

// No working folder can be found; what() says so for the user.
class WorkingFolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WorkspacePaths {
public:
    // From the environment: SHUBUXING_HOME, else the platform's default (HOME/kx, or the
    // account's home folder/kx without HOME). Throws WorkingFolderError when there is none.
    static WorkspacePaths fromEnvironment();
    // The same choice from given values (unset ones as std::nullopt).
    static WorkspacePaths fromSettings(const std::optional<std::string>& shubuxingHome,
                                       const std::optional<std::string>& home,
                                       const std::optional<std::filesystem::path>& accountHome);
    // A relative folder is taken from the current folder now.
    explicit WorkspacePaths(std::filesystem::path poolDirectory);

    // The pool folder, e.g. c:\kx\ ; poolPrefix() is its text with the trailing separator,
    // the prefix that full paths and source references are built from.
    const std::filesystem::path& poolDirectory() const { return pool_; }
    std::string poolPrefix() const;
    // <pool>/hz/
    std::filesystem::path summaryDirectory() const { return pool_ / "hz"; }
    // <pool>/hz/total.xls, total.xlsx or total.xlsm: the summary workbook in `format`.
    std::filesystem::path summaryWorkbook(WorkbookFormat format) const;
    // The summary workbook as it is now: the one of those names that is there (after a change
    // of format that was cut short between placing the new one and removing the old one, the
    // one changed last), else total.xls.
    std::filesystem::path summaryWorkbook() const;
    // The full path of a pool file given by its bare name.
    std::filesystem::path poolFile(const std::string& name) const { return pool_ / utf8Path(name); }

private:
    std::filesystem::path pool_;
};

}  // namespace sbx
