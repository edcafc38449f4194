// The engine's view of real workbooks against expected dumps made once by an independent
// reader (see tests/data/README.md): worksheet names, date system, and every cell.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/dump_format.h"
#include "spreadsheet/native_host.h"
#include "tests/support/sha256_hex.h"
#include "tests/support/shared_fixtures.h"

namespace fs = std::filesystem;

namespace {

const fs::path kGolden = fs::path(SBX_TEST_DATA) / "golden";

std::vector<std::string> goldenNames() {
    std::vector<std::string> names;
    if (!fs::exists(kGolden)) return names;
    for (const auto& entry : fs::directory_iterator(kGolden)) {
        if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

using sbx::testing::sha256Hex;

fs::path fixtureFor(const std::string& name) {
    for (const char* folder : {"fixtures", "old_biff"}) {
        const fs::path own = fs::path(SBX_TEST_DATA) / folder / (name + ".xls");
        if (fs::exists(own)) return own;
    }
    return fs::path(SBX_SHARED_FIXTURES) / (name + ".xls");
}

// Names the first line where two dumps part, with both versions of it.
std::string firstDifference(const std::string& expected, const std::string& actual) {
    const auto e = lines(expected), a = lines(actual);
    for (size_t i = 0; i < std::max(e.size(), a.size()); ++i) {
        const std::string el = i < e.size() ? e[i] : "<no line>";
        const std::string al = i < a.size() ? a[i] : "<no line>";
        if (el != al) {
            return "row " + std::to_string(i + 1) + "\n  expected: " + el + "\n  actual:   " + al;
        }
    }
    return "same lines, different line ends";
}

class GoldenDump : public testing::TestWithParam<std::string> {};

TEST_P(GoldenDump, MatchesTheIndependentReader) {
    const std::string name = GetParam();
    const fs::path dir = kGolden / name;
    const fs::path fixture = fixtureFor(name);
    if (!fixture.string().starts_with(SBX_TEST_DATA)) SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    sbx::NativeHost host;
    auto& book = host.open(fixture);

    const auto expectedNames = lines(readText(dir / "sheets.txt"));
    ASSERT_EQ(book.worksheetCount(), static_cast<int>(expectedNames.size()));
    for (int i = 1; i <= book.worksheetCount(); ++i) {
        EXPECT_EQ(book.worksheet(i).name(), expectedNames[static_cast<size_t>(i - 1)]) << "worksheet " << i;
    }

    const std::string info = readText(dir / "info.txt");
    const auto& reader = static_cast<sbx::NativeWorkbook&>(book).reader();
    ASSERT_NE(info.find("datemode="), std::string::npos);
    EXPECT_EQ(reader.uses1904Dates(), info.find("datemode=1") != std::string::npos);

    for (int i = 1; i <= book.worksheetCount(); ++i) {
        SCOPED_TRACE("worksheet " + std::to_string(i) + " \"" + expectedNames[static_cast<size_t>(i - 1)] + "\"");
        std::ostringstream dump;
        sbx::cli::dumpArea(book.worksheet(i), sbx::CellArea{}, true, dump);
        const fs::path full = dir / (std::to_string(i) + ".tsv");
        if (fs::exists(full)) {
            const std::string expected = readText(full);
            EXPECT_TRUE(expected == dump.str()) << firstDifference(expected, dump.str());
        } else {
            const std::string expectedHead = readText(dir / (std::to_string(i) + ".head.tsv"));
            const auto headLines = lines(expectedHead);
            auto actualLines = lines(dump.str());
            actualLines.resize(std::min(actualLines.size(), headLines.size()));
            std::string actualHead;
            for (const auto& l : actualLines) actualHead += l + "\n";
            EXPECT_TRUE(expectedHead == actualHead) << firstDifference(expectedHead, actualHead);
            const auto sha = lines(readText(dir / (std::to_string(i) + ".sha256")));
            ASSERT_FALSE(sha.empty());
            EXPECT_EQ(sha256Hex(dump.str()), sha[0]) << "the dump differs after its first lines";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, GoldenDump, testing::ValuesIn(goldenNames()),
                         [](const testing::TestParamInfo<std::string>& p) {
                             std::string n = p.param;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             }
                             return n;
                         });

TEST(GoldenDumpSet, CoversTheFixtures) {
    // Guards against an emptied or misplaced golden folder passing silently.
    EXPECT_GE(goldenNames().size(), 30u);
}

}  // namespace
