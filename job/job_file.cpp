#include "job/job_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "job/range_rules.h"
#include "spreadsheet/atomic_file.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"

namespace sbx {
namespace {

constexpr std::string_view kHeader = "shubuxing-jobs";
constexpr std::string_view kVersion = "1";
constexpr std::uintmax_t kLargestFile = 1 << 20;  // thousands of jobs; anything larger is no job file

std::string escaped(std::string_view name) {
    std::string out;
    for (const char c : name) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            default: out += c;
        }
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            default: return std::nullopt;
        }
    }
    return out;
}

std::vector<std::string_view> fieldsOf(std::string_view line) {
    std::vector<std::string_view> fields;
    for (size_t start = 0;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

class Parser {
public:
    explicit Parser(const std::filesystem::path& file) : file_(file) {}

    RememberedJobs parse(std::string_view text) {
        if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte-order mark from an editor
        bool headerSeen = false;
        for (size_t start = 0; start < text.size(); ++line_) {
            size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            start = end + 1;
            if (line.ends_with('\r')) line.remove_suffix(1);
            if (line.empty() || line.starts_with('#')) continue;
            const auto fields = fieldsOf(line);
            if (!headerSeen) {
                if (fields.size() != 2 || fields[0] != kHeader) {
                    fail("this is not a job file: its first line must be \"shubuxing-jobs<TAB>1\"");
                }
                if (fields[1] != kVersion) fail("job file version \"" + std::string(fields[1]) + "\" is not known");
                headerSeen = true;
            } else if (fields[0] == "template") {
                templateLine(fields);
            } else if (fields[0] == "sheet") {
                sheetLine(fields);
            } else if (fields[0] == "unit") {
                unitLine(fields);
            } else {
                fail("\"" + std::string(fields[0]) + "\" is neither a template, a sheet nor a unit line");
            }
        }
        if (!headerSeen) {
            line_ = 0;
            fail("the file is empty; a job file starts with \"shubuxing-jobs<TAB>1\"");
        }
        closeJob();
        return std::move(jobs_);
    }

private:
    [[noreturn]] void fail(const std::string& why) const { throw JobFileError(JobFileError::Kind::Damaged, file_, line_, why); }

    std::string name(std::string_view field) const {
        auto text = unescaped(field);
        if (!text) fail("\"" + std::string(field) + "\" has a backslash that is not \\\\, \\t, \\r or \\n");
        if (text->empty()) fail("a worksheet name is empty");
        return std::move(*text);
    }

    void templateLine(const std::vector<std::string_view>& fields) {
        closeJob();
        if (fields.size() < 2) fail("a template line needs the template's worksheet names");
        RememberedJob job;
        for (size_t i = 1; i < fields.size(); ++i) job.templateSheets.push_back(name(fields[i]));
        if (jobs_.find(job.templateSheets) != nullptr) fail("this template has a job already, further up");
        jobs_.jobs.push_back(std::move(job));
        jobLine_ = line_;
    }

    void sheetLine(const std::vector<std::string_view>& fields) {
        if (jobs_.jobs.empty()) fail("a sheet line before any template line");
        if (fields.size() != 4) fail("a sheet line holds the worksheet name, the first cell and the last cell");
        RememberedJob& current = jobs_.jobs.back();
        const std::string sheet = name(fields[1]);
        if (std::find(current.templateSheets.begin(), current.templateSheets.end(), sheet) == current.templateSheets.end()) {
            fail("worksheet \"" + sheet + "\" is not one of the template's");
        }
        for (const SheetJob& earlier : current.job)
            if (earlier.worksheet == sheet) fail("worksheet \"" + sheet + "\" has a range already");
        CellAddress cells[2];
        for (int k = 0; k < 2; ++k) {
            const std::string_view text = fields[static_cast<size_t>(k) + 2];
            const auto cell = acceptedCell(text);
            if (!cell) fail("\"" + std::string(text) + "\" is not a cell such as b3 (a..xfd, rows 1..1048576)");
            cells[k] = *cell;
        }
        if (rangeRunsBackwards(cells[0], cells[1])) {
            fail("the range " + cellName(cells[0]) + ":" + cellName(cells[1]) + " runs backwards");
        }
        current.job.push_back({sheet, CellArea::between(cells[0], cells[1])});
    }

    void unitLine(const std::vector<std::string_view>& fields) {
        if (jobs_.jobs.empty()) fail("a unit line before any template line");
        if (fields.size() != 3) fail("a unit line holds the worksheet name and the cell");
        RememberedJob& current = jobs_.jobs.back();
        if (current.unitCell) fail("this template has a unit cell already");
        const std::string sheet = name(fields[1]);
        if (std::find(current.templateSheets.begin(), current.templateSheets.end(), sheet) == current.templateSheets.end()) {
            fail("worksheet \"" + sheet + "\" is not one of the template's");
        }
        const auto cell = acceptedCell(fields[2]);
        if (!cell) fail("\"" + std::string(fields[2]) + "\" is not a cell such as b3 (a..xfd, rows 1..1048576)");
        current.unitCell = UnitCell{sheet, *cell};
    }

    // A template line opens a job that must have a sheet line before the next one.
    void closeJob() {
        if (!jobs_.jobs.empty() && jobs_.jobs.back().job.empty()) {
            line_ = jobLine_;
            fail("the template of this line has no sheet line");
        }
    }

    const std::filesystem::path& file_;
    RememberedJobs jobs_;
    int line_ = 1;
    int jobLine_ = 0;
};

}  // namespace

JobFileError::JobFileError(Kind kind, std::filesystem::path file, int line, const std::string& reason, int systemError)
    : std::runtime_error(utf8String(file) + (line > 0 ? ": line " + std::to_string(line) : std::string()) + ": " +
                         reason),
      kind_(kind),
      file_(std::move(file)),
      line_(line),
      reason_(reason),
      systemError_(systemError) {}

const Job* RememberedJobs::find(const std::vector<std::string>& templateSheets) const {
    const RememberedJob* job = kept(templateSheets);
    return job ? &job->job : nullptr;
}

const RememberedJob* RememberedJobs::kept(const std::vector<std::string>& templateSheets) const {
    for (const RememberedJob& job : jobs) {
        if (job.templateSheets == templateSheets) return &job;
    }
    return nullptr;
}

void RememberedJobs::remember(const std::vector<std::string>& templateSheets, const Job& job) {
    for (RememberedJob& kept : jobs) {
        if (kept.templateSheets == templateSheets) {
            kept.job = job;
            return;
        }
    }
    jobs.push_back({templateSheets, job});
}

std::string formatJobFile(const RememberedJobs& jobs) {
    std::string text = std::string(kHeader) + "\t" + std::string(kVersion) + "\n";
    for (const RememberedJob& kept : jobs.jobs) {
        text += "template";
        for (const std::string& sheet : kept.templateSheets) text += "\t" + escaped(sheet);
        text += "\n";
        for (const SheetJob& sheet : kept.job) {
            text += "sheet\t" + escaped(sheet.worksheet) + "\t" + cellName(sheet.area.first()) + "\t" +
                    cellName(sheet.area.last()) + "\n";
        }
        if (kept.unitCell) text += "unit\t" + escaped(kept.unitCell->worksheet) + "\t" + cellName(kept.unitCell->cell) + "\n";
    }
    return text;
}

RememberedJobs parseJobFile(std::string_view text, const std::filesystem::path& file) {
    return Parser(file).parse(text);
}

RememberedJobs readJobFile(const std::filesystem::path& file) {
    std::error_code error;
    const auto status = std::filesystem::status(file, error);
    if (status.type() == std::filesystem::file_type::not_found) return {};
    if (error) throw JobFileError(JobFileError::Kind::Unreadable, file, 0, "cannot be looked at: " + error.message(),
                                 error.default_error_condition().value());
    if (!std::filesystem::is_regular_file(status)) throw JobFileError(JobFileError::Kind::NotAFile, file, 0, "is not a regular file");
    if (std::filesystem::file_size(file, error) > kLargestFile) {
        throw JobFileError(JobFileError::Kind::TooLarge, file, 0, "is larger than 1 MiB, far more than any job file");
    }
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.is_open() || in.bad()) {
        const int refusal = errno;
        throw JobFileError(JobFileError::Kind::Unreadable, file, 0,
                           std::string("cannot be read: ") + std::strerror(refusal), refusal);
    }
    return parseJobFile(text, file);
}

void writeJobFile(const std::filesystem::path& file, const RememberedJobs& jobs) {
    const std::string text = formatJobFile(jobs);
    try {
        replaceFileAtomically(file, {reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    } catch (const WorkbookError& error) {
        throw JobFileError(JobFileError::Kind::Unwritable, file, 0, "cannot be written: " + error.reason(),
                           error.systemError());
    }
}

}  // namespace sbx
