#pragma once
// The files a run writes beside its summary OUT (OUT itself, its record OUT.run.json and its
// lock OUT.lock) against the files it reads: a source or template that is one of them would
// be overwritten or removed. Files are compared by identity (device and file number), so that
// another spelling, a hard link or a link to it is found too. A symbolic link at one of the
// names written is not followed: the run replaces the link itself, never the file it points
// to, so only a file that is at the name itself counts.
#include <filesystem>
#include <optional>

#include "consolidate/run/run_request.h"

namespace sbx {

struct InputAtOutput {
    std::filesystem::path input;   // the source or template, as the request names it
    std::filesystem::path output;  // the name the run would write or remove
};

// The first input of `request` that is a file the run writes; nullopt when there is none.
// The template is not compared with the summary itself: the desktop's summary is its own
// template (the command line refuses that case earlier, with its own message).
std::optional<InputAtOutput> inputAtOutput(const RunRequest& request);

}  // namespace sbx
