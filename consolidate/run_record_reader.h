#pragma once
// Where a summary cell's total came from, read back from the run record beside the summary,
// without reading the sources again: for the viewer's "where did this come from".
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "spreadsheet/cell_address.h"

namespace sbx {

struct RecordedContribution {
    std::string file;   // the source as the record names it
    std::string value;  // as a person reads it: 12.5, “合计”, #DIV/0!
    bool addsNothing = false;  // by the run's rules: a label, an error value, a boolean
};

struct CellContributions {
    std::string worksheet;
    CellAddress cell{};
    std::string total;  // as written into the summary; "(empty)" for an empty cell
    bool refused = false;  // the summary cell did not take its total
    std::vector<RecordedContribution> from;  // the sources holding a value there, in run order
};

// A record that cannot be used: what kind of fault (for the windows' words), which file, and
// why in English (what()).
class RunRecordError : public std::runtime_error {
public:
    enum class Kind { CannotOpen, Damaged, NotARecord };
    RunRecordError(Kind kind, const std::filesystem::path& record, const std::string& reason);
    Kind kind() const { return kind_; }
    const std::filesystem::path& file() const { return file_; }

private:
    Kind kind_;
    std::filesystem::path file_;
};

// The contributions to `cell` of `worksheet` (letter case does not matter) in the record
// file; nullopt when no source held a value there. Throws RunRecordError when the record
// cannot be read or is not a run record.
std::optional<CellContributions> contributionsFromRecord(const std::filesystem::path& record, std::string_view worksheet,
                                                         CellAddress cell);

}  // namespace sbx
