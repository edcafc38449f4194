#include "consolidate/run/summary_before_run.h"

#include <fstream>
#include <iterator>
#include <system_error>

#include "spreadsheet/atomic_file.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {

namespace fs = std::filesystem;

SummaryBeforeRun::SummaryBeforeRun(fs::path summary) : summary_(std::move(summary)) {
    std::error_code error;
    if (!fs::exists(summary_, error)) return;
    std::ifstream in(summary_, std::ios::binary);
    if (!in.is_open()) {
        unreadable_ = "cannot read " + utf8String(summary_) + " before the run, so it cannot be put back";
        return;
    }
    bytes_.emplace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string SummaryBeforeRun::restore() const {
    if (!unreadable_.empty()) return unreadable_;
    if (!bytes_) {
        std::error_code error;
        fs::remove(summary_, error);
        return error ? "cannot remove " + utf8String(summary_) + ": " + error.message() : std::string();
    }
    try {
        replaceFileAtomically(summary_, *bytes_, FileWriteSteps::system(), LinkAtTarget::Replace);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return {};
}

}  // namespace sbx
