#pragma once
// The pool of tests/data/fixtures/consolidate_pool (three LibreOffice branch workbooks) and its
// expected totals, as independent readers worked them out (expected_totals.tsv).
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace sbx::testing {

inline const std::filesystem::path kConsolidatePool =
    std::filesystem::path(SBX_TEST_DATA) / "fixtures" / "consolidate_pool";

// expected_totals.tsv: mode, worksheet, cell, total (empty: the cell shows nothing, read as 0).
inline std::map<std::string, double> expectedTotals(const std::string& mode, const std::string& sheet) {
    std::ifstream in(kConsolidatePool / "expected_totals.tsv");
    std::map<std::string, double> totals;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string part; std::getline(ss, part, '\t');) f.push_back(part);
        if (f.size() == 3) f.emplace_back();
        if (f[0] == mode && f[1] == sheet) totals[f[2]] = f[3].empty() ? 0.0 : std::stod(f[3]);
    }
    return totals;
}

}  // namespace sbx::testing
