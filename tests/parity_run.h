#pragma once
// One run of the parity fixtures (tests/data/parity, made by tools/make_parity_fixtures.py):
// the sources and the job that expected.tsv names, a copy of the template in a scratch
// folder, a new summary file, saved once at the end, strict about anything missing.
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "consolidate/run/run.h"
#include "tests/support/test_files.h"

namespace sbx::parity {

inline const std::filesystem::path kData = std::filesystem::path(SBX_TEST_DATA) / "parity";

// The tab-separated fields of each line of expected.tsv.
inline std::vector<std::vector<std::string>> expectedLines() {
    std::ifstream in(kData / "expected.tsv");
    std::vector<std::vector<std::string>> lines;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> fields;
        std::istringstream parts(line);
        for (std::string field; std::getline(parts, field, '\t');) fields.push_back(field);
        if (line.ends_with('\t')) fields.emplace_back();
        lines.push_back(std::move(fields));
    }
    return lines;
}

struct ModeRun {
    RunReport report;
    std::filesystem::path summary;
};

inline ModeRun runMode(Mode mode, const sbx::testing::TempFolder& folder) {
    RunRequest request;
    for (const auto& f : expectedLines()) {
        if (f[0] == "source") request.sources.push_back(folder.copy(kData / f[1]));
        if (f[0] == "area") request.job.push_back({f[1], parseCellRange(f[2]).value()});
    }
    request.templateFile = folder.copy(kData / "template.xls");
    request.summary = folder.path() / "summary.xls";
    request.mode = mode;
    request.saving = Saving::OnceAtEnd;
    auto host = makeNativeHost();
    RunEvents events;
    StrictDecisions decisions;
    return {run(request, *host, events, decisions), request.summary};
}

inline std::string modeName(Mode mode) { return mode == Mode::Efficiency ? "Efficiency" : "Function"; }

}  // namespace sbx::parity

namespace sbx {
// For GoogleTest's messages about parameterised tests.
inline void PrintTo(Mode mode, std::ostream* out) { *out << parity::modeName(mode); }
}  // namespace sbx
