#pragma once
// Each report checked by the template's own formulas. A unit's 合计 row or 小计 column is
// often typed by hand and wrong, and the summary then adds a wrong figure. Where the template
// computes a cell of a chosen range from other cells of the ranges on the same worksheet
// (=SUM(B3:B9), =B10+B19), that formula is evaluated on every source's values and compared
// with what the source holds in that cell. A difference beyond rounding (half a unit of the
// last decimal the stored figure shows) is a finding.
//
// Only numbers are compared: a source that leaves the cell empty or writes a text there, and
// a formula whose result is an error on a source's values, are left to the other rules.
#include <optional>
#include <string>
#include <vector>

#include "job/job.h"
#include "spreadsheet/spreadsheet_host.h"

namespace sbx {

class FormulaAudit {
public:
    // The formulas of `templateSheet` (worksheet `worksheet` of the job) that read only cells
    // of the job's ranges on that worksheet.
    FormulaAudit(const Worksheet& templateSheet, const std::string& worksheet, const Job& job);

    bool empty() const { return rules_.empty(); }
    size_t formulaCount() const { return rules_.size(); }

    // The cells, row by row, where `source` holds a number its formula does not give.
    struct Difference {
        CellAddress cell;
        double stored = 0;
        double byFormula = 0;
        const std::string* formula = nullptr;  // as the formula bar shows it; lives with the audit
    };
    std::vector<Difference> check(const Worksheet& source) const;

private:
    struct Rule {
        CellAddress cell;
        uint32_t sheet = 0;
        std::vector<xls::formula::Token> tokens;
        std::string text;
    };
    static constexpr long long kMostGridCells = 1 << 16;
    std::string worksheet_;
    std::vector<Rule> rules_;
    std::optional<CellArea> grid_;  // the job's ranges of the worksheet, together
};

}  // namespace sbx
