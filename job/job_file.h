#pragma once
// Remembered jobs (方案): the worksheets and ranges last accepted for a template, kept in the
// working folder as a small text file and recognised by the template's worksheet names. The
// desktop fills the range entry from it; `shubuxing-cli consolidate --job FILE` runs it.
//
// The file is UTF-8 text, one record a line, fields separated by a tab:
//   shubuxing-jobs<TAB>1                      first line: what the file is, and its version
//   template<TAB>NAME<TAB>NAME...             the template's worksheet names, in workbook order
//   sheet<TAB>NAME<TAB>FIRST<TAB>LAST         one worksheet of that template's job: b3, h20
//   unit<TAB>NAME<TAB>CELL                    optional: the cell that names each report's unit
// A job is a template line and the sheet lines after it, in run order. Inside a name a
// backslash, tab, carriage return or line feed is written \\, \t, \r, \n. Blank lines and
// lines starting with # are skipped.
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "job/job.h"

namespace sbx {

inline constexpr const char* kJobFileName = "方案.txt";

// A job file that cannot be read or written, or is damaged: what kind of fault, which file,
// which line (0 when the fault is not of one line), why in English (the command line's
// words) and the errno value behind it, when the system refused something.
class JobFileError : public std::runtime_error {
public:
    enum class Kind { Unreadable, NotAFile, TooLarge, Damaged, Unwritable };

    JobFileError(Kind kind, std::filesystem::path file, int line, const std::string& reason, int systemError = 0);
    Kind kind() const { return kind_; }
    const std::filesystem::path& file() const { return file_; }
    int line() const { return line_; }
    const std::string& reason() const { return reason_; }
    int systemError() const { return systemError_; }

private:
    Kind kind_;
    std::filesystem::path file_;
    int line_;
    std::string reason_;
    int systemError_;
};

struct RememberedJob {
    std::vector<std::string> templateSheets;  // all worksheet names of the template, in order
    Job job;
    std::optional<UnitCell> unitCell = {};
    friend bool operator==(const RememberedJob&, const RememberedJob&) = default;
};

struct RememberedJobs {
    std::vector<RememberedJob> jobs;

    // The job remembered for a template with exactly these worksheet names; null when none.
    const Job* find(const std::vector<std::string>& templateSheets) const;
    // The kept job of a template with exactly these worksheet names; null when none.
    const RememberedJob* kept(const std::vector<std::string>& templateSheets) const;
    // Keeps `job` for the template, in place of what was kept for it before (its unit cell stays).
    void remember(const std::vector<std::string>& templateSheets, const Job& job);
};

// The text of a job file; the jobs in their order.
std::string formatJobFile(const RememberedJobs& jobs);
// Reads the text of a job file named `file` (for the error only). Every cell text meets the
// range entry's checks. Throws JobFileError naming the first faulty line.
RememberedJobs parseJobFile(std::string_view text, const std::filesystem::path& file);

// No file yet: no remembered job. Throws JobFileError when the file cannot be read or is damaged.
RememberedJobs readJobFile(const std::filesystem::path& file);
// Replaces the file at once (a temporary file renamed over it): a failure leaves it as it
// was. Throws JobFileError.
void writeJobFile(const std::filesystem::path& file, const RememberedJobs& jobs);

}  // namespace sbx
