// Every input kept under tests/data/fuzz/<target>/ (what fuzzing found, and hostile inputs
// written by hand) goes through the same rules as the fuzz target, without a crash, a
// broken rule or a hang. Under the sanitizer build a leak or an overflow fails it too.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>

#include "fuzz/fuzz_checks.h"
#include "fuzz/xlsx_fuzz_checks.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;

const fs::path kInputs = fs::path(SBX_TEST_DATA) / "fuzz";
// One input took over a second in the fuzzer's optimised build; this build is slower.
constexpr double kSecondsPerInput = 5.0;

using Check = std::function<void(std::span<const uint8_t>)>;

const std::map<std::string, Check>& checks() {
    static const std::map<std::string, Check> all{
        {"compound_file", fuzz::checkCompoundFile},
        {"workbook_reader", fuzz::checkWorkbookBytes},
        {"workbook_save", fuzz::checkWorkbookSave},
        {"cell_address", fuzz::checkCellTexts},
        {"xlsx_worksheet", fuzz::checkXlsxWorksheet},
    };
    return all;
}

std::vector<std::string> inputs() {
    std::vector<std::string> found;
    for (const auto& [target, check] : checks()) {
        if (!fs::is_directory(kInputs / target)) continue;
        for (const auto& entry : fs::directory_iterator(kInputs / target)) {
            if (entry.is_regular_file()) found.push_back(target + "/" + entry.path().filename().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, PassesTheTargetsRules) {
    const std::string& input = GetParam();
    const std::string target = input.substr(0, input.find('/'));
    std::ifstream in(kInputs / input, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto start = std::chrono::steady_clock::now();
    try {
        checks().at(target)(bytes);
    } catch (const fuzz::BrokenInvariant& e) {
        FAIL() << input << ": " << e.what();
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, kSecondsPerInput) << input;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression, ::testing::ValuesIn(inputs()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                             std::string name;
                             for (const char c : p.param) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// Every target has inputs kept, so a lost folder does not pass silently.
TEST(FuzzRegressionInputs, EveryTargetHasItsFolder) {
    for (const auto& [target, check] : checks()) {
        EXPECT_TRUE(fs::is_directory(kInputs / target)) << target;
        EXPECT_FALSE(fs::is_empty(kInputs / target)) << target;
    }
}

}  // namespace
}  // namespace sbx
