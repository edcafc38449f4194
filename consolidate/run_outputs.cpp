#include "consolidate/run_outputs.h"

#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "consolidate/run_record.h"
#include "consolidate/summary_lock.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

// Whether `input` (links followed, as it is read) is the very file at the name `output`.
bool sameFile(const fs::path& input, const fs::path& output) {
#ifdef _WIN32
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(output, ec))) return false;
    return fs::exists(input, ec) && fs::exists(output, ec) && fs::equivalent(input, output, ec);
#else
    struct stat read {}, written {};
    if (::stat(input.c_str(), &read) != 0 || ::lstat(output.c_str(), &written) != 0) return false;
    return read.st_dev == written.st_dev && read.st_ino == written.st_ino;
#endif
}

}  // namespace

std::optional<InputAtOutput> inputAtOutput(const RunRequest& request) {
    const fs::path record = runRecordPath(request.summary), lock = summaryLockPath(request.summary);
    for (const fs::path& source : request.sources) {
        for (const fs::path& output : {request.summary, record, lock}) {
            if (sameFile(source, output)) return InputAtOutput{source, output};
        }
    }
    for (const fs::path& output : {record, lock}) {
        if (sameFile(request.templateFile, output)) return InputAtOutput{request.templateFile, output};
    }
    return std::nullopt;
}

}  // namespace sbx
