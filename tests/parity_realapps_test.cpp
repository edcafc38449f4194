// xlrd, an independent reader, finds the parity totals and formula results in the summaries
// of both run modes (tools/make_parity_fixtures.py --check compares them with expected.tsv).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "tests/parity_run.h"

namespace sbx {
namespace {

constexpr const char* kPython = "/usr/bin/python3";

struct Output {
    int status = -1;
    std::string text;
};

Output runCommand(const std::string& command) {
    Output out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return out;
    std::array<char, 4096> buffer{};
    while (const size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) out.text.append(buffer.data(), n);
    out.status = ::pclose(pipe);
    return out;
}

class ParityXlrd : public ::testing::TestWithParam<Mode> {};

TEST_P(ParityXlrd, ReadsTheExpectedSummary) {
    if (runCommand(std::string(kPython) + " -c 'import xlrd'").status != 0) GTEST_SKIP() << "python3-xlrd is not installed";
    const testing::TempFolder folder("parity-xlrd");
    const parity::ModeRun run = parity::runMode(GetParam(), folder);
    ASSERT_TRUE(run.report.succeeded()) << (run.report.failure ? run.report.failure->reason : "summary not saved");
    const auto script = std::filesystem::path(SBX_TEST_DATA) / ".." / ".." / "tools" / "make_parity_fixtures.py";
    const Output check = runCommand(std::string(kPython) + " '" + script.string() + "' --check '" + run.summary.string() + "'");
    EXPECT_EQ(check.status, 0) << check.text;
}

INSTANTIATE_TEST_SUITE_P(Modes, ParityXlrd, ::testing::Values(Mode::Efficiency, Mode::Function),
                         [](const auto& mode) { return parity::modeName(mode.param); });

}  // namespace
}  // namespace sbx
