#include "consolidate/record/run_outputs.h"

#include <system_error>
#include <vector>

#include "consolidate/record/run_record.h"
#include "spreadsheet/file_identity.h"
#include "consolidate/run/summary_lock.h"

namespace sbx {

namespace fs = std::filesystem;

namespace {

struct Output {
    FileIdentity identity;
    const fs::path* name;
};

// The outputs that are files at their names now: a symbolic link there is replaced by the run,
// not followed, so it is no file the run writes. Looked at once each, not once per input.
std::vector<Output> presentOutputs(const std::vector<fs::path>& outputs) {
    std::vector<Output> present;
    for (const fs::path& output : outputs) {
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(output, ec);
        if (ec || !fs::exists(status) || fs::is_symlink(status)) continue;
        if (const auto id = fileIdentity(output)) present.push_back({*id, &output});
    }
    return present;
}

// The output that `input` (links followed, as it is read) is, or null.
const fs::path* outputAt(const fs::path& input, const std::vector<Output>& present) {
    if (present.empty()) return nullptr;
    const auto id = fileIdentity(input);
    if (!id) return nullptr;
    for (const Output& o : present) {
        if (o.identity == *id) return o.name;
    }
    return nullptr;
}

}  // namespace

std::optional<InputAtOutput> inputAtOutput(const RunRequest& request) {
    const std::vector<fs::path> outputs{request.summary, runRecordPath(request.summary), summaryLockPath(request.summary)};
    // A pool of thousands of sources is looked at once a source, and not at all when no output is there yet.
    const std::vector<Output> all = presentOutputs(outputs);
    for (const fs::path& source : request.sources) {
        if (const fs::path* output = outputAt(source, all)) return InputAtOutput{source, *output};
    }
    std::vector<Output> besideSummary;  // the template is compared with the record and the lock only
    for (const Output& o : all) {
        if (o.name != &outputs[0]) besideSummary.push_back(o);
    }
    if (const fs::path* output = outputAt(request.templateFile, besideSummary)) return InputAtOutput{request.templateFile, *output};
    return std::nullopt;
}

}  // namespace sbx
