#pragma once
// Where a summary cell's total came from, read back from the run record beside the summary,
// without reading the sources again: for the viewer's "where did this come from". The record
// is used only when it describes the summary on disk: the digest it keeps of the summary's
// bytes must be the digest of the file there now.
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
    std::string cell = {};     // a source aligned by its labels: its own cell (b7), when not the summary's
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

// A record that does not describe the summary beside it: the summary was changed (or replaced
// by a run that was killed before its record was written), or the record is of a version
// that kept no digest of the summary, so that nobody can tell.
class RecordOutOfDate : public std::runtime_error {
public:
    enum class Why { SummaryChanged, NoDigest };
    RecordOutOfDate(Why why, const std::string& text) : std::runtime_error(text), why_(why) {}
    Why why() const { return why_; }

private:
    Why why_;
};

// The contributions to `cell` of `worksheet` (letter case does not matter) in the record of
// `summary` (runRecordPath); nullopt when no source held a value there. Throws
// RecordOutOfDate when the record does not describe the summary on disk, RunRecordError when
// the record cannot be read or is not a run record, and WorkbookError naming the summary when
// that cannot be read.
std::optional<CellContributions> contributionsFromRecord(const std::filesystem::path& summary, std::string_view worksheet,
                                                         CellAddress cell);

}  // namespace sbx
