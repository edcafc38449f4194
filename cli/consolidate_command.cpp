#include "cli/consolidate_command.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <sstream>
#include <system_error>
#include <unordered_map>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "consolidate/run/run.h"
#include "consolidate/record/run_outputs.h"
#include "consolidate/record/run_record.h"
#include "consolidate/check/source_check.h"
#include "consolidate/status/status_texts.h"
#include "consolidate/run/summary_lock.h"
#include "job/job_file.h"
#include "spreadsheet/file_identity.h"
#include "spreadsheet/file_name_limit.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/workbook_file_check.h"
#include "workspace/workbook_format.h"

namespace sbx::cli {

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

struct Arguments {
    Mode mode = Mode::Efficiency;
    std::string modeName;
    fs::path out;
    std::optional<fs::path> templateFile;
    std::optional<fs::path> jobFile;
    Job job;
    std::vector<fs::path> sources;
    AllowedFindings allowed;
    std::optional<fs::path> rosterFile;
    std::optional<UnitCell> unitCell;
    bool alignLabels = false;
};

enum class Command { Consolidate, Check };

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::string quoted(const fs::path& file) { return "\"" + utf8String(file) + "\""; }

// One progress line on a terminal, redrawn at most every 100 ms; nothing otherwise.
class TerminalProgress final : public RunEvents {
public:
    TerminalProgress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~TerminalProgress() override { endLine(); }

    void worksheetStarted(int index, int count, const SheetJob& sheet) override {
        sheet_ = sheet.worksheet + " (" + std::to_string(index) + "/" + std::to_string(count) + ")";
    }
    void fileStarted(int index, int count, const fs::path& file) override {
        if (!enabled_) return;
        const auto now = SteadyClock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100) && index != count) return;
        lastDraw_ = now;
        err_ << "\r\x1b[K" << sheet_ << "  " << utf8String(file.filename()) << "  " << percentText(index, count)
             << std::flush;
        lineOpen_ = true;
    }
    void endLine() {
        if (lineOpen_) err_ << "\r\x1b[K" << std::flush;
        lineOpen_ = false;
    }

private:
    std::ostream& err_;
    bool enabled_;
    bool lineOpen_ = false;
    SteadyClock::time_point lastDraw_{};
    std::string sheet_;
};

// 'SHEET!FIRST:LAST': the worksheet name is what stands before the last "!"; the cells are
// read by the engine's one cell parser, so "b 3", "b+3" and "a1x" are refused.
std::optional<SheetJob> readRange(const std::string& text, std::string& why) {
    const auto bang = text.rfind('!');
    if (bang == std::string::npos || bang == 0) {
        why = "\"" + text + "\" is not SHEET!FIRST:LAST, such as 收入明细!b4:k43";
        return std::nullopt;
    }
    const std::string cells = text.substr(bang + 1);
    const auto colon = cells.find(':');
    if (colon == std::string::npos || cells.find(':', colon + 1) != std::string::npos) {
        why = "\"" + cells + "\" in \"" + text + "\" is not a range FIRST:LAST such as b4:k43";
        return std::nullopt;
    }
    const auto first = parseCellAddress(cells.substr(0, colon));
    const auto last = parseCellAddress(cells.substr(colon + 1));
    const std::string bad = !first ? cells.substr(0, colon) : !last ? cells.substr(colon + 1) : std::string();
    if (!first || !last) {
        why = "\"" + bad + "\" in \"" + text + "\" is not a cell: column letters a to xfd followed by a row 1 to "
              "1048576, nothing else (no blanks or signs)";
        return std::nullopt;
    }
    const CellArea area = CellArea::between(*first, *last);
    if (!area.valid()) {
        why = "\"" + cells + "\" in \"" + text + "\" runs backwards: the first cell must lie above and left of the last";
        return std::nullopt;
    }
    return SheetJob{text.substr(0, bang), area};
}

// Whether `file` is the file `out` names, whatever the spelling (./x.xls, a link, a hard link).
bool isOut(const std::optional<FileIdentity>& out, const fs::path& file) {
    return out && fileIdentity(file) == out;
}

// The engine's own check, before anything is opened: a FIFO, a device, a folder or a file far
// larger than any workbook is refused with its reason.
bool checkWorkbookArgument(const fs::path& file, const char* role, std::string& why) {
    try {
        checkWorkbookFile(file);
        return true;
    } catch (const WorkbookError& e) {
        why = std::string(role) + " " + quoted(file) + ": " + e.reason();
        return false;
    }
}

// OUT and its record beside it must have names the folder takes: said before the run, not
// after it as "File name too long".
bool checkNameLengths(const fs::path& out, std::string& why) {
    const std::size_t limit = fileNameLimit(out.parent_path());
    const auto tooLong = [&](const fs::path& file, const std::string& what) {
        why = what + " " + quoted(file.filename()) + " is " + std::to_string(fileNameLength(file)) + " " +
              kFileNameUnits + " long, more than the " + std::to_string(limit) + " its folder takes";
    };
    if (fileNameLength(out) > limit) {
        tooLong(out, "the name of --out");
        return false;
    }
    const fs::path record = runRecordPath(out);
    if (fileNameLength(record) > limit) {
        tooLong(record, "the run record cannot be written beside OUT: its name");
        why += "; give OUT a name at least " + std::to_string(fileNameLength(record) - limit) + " " + kFileNameUnits +
               " shorter";
        return false;
    }
    return true;
}

// The template, the job file and OUT first, each once; then the sources, each against the
// others by identity in a hash set, so that ten thousand sources cost ten thousand look-ups.
bool checkFiles(const Arguments& a, std::string& why) {
    const std::optional<FileIdentity> out = a.out.empty() ? std::nullopt : fileIdentity(a.out);
    const fs::path& templateFile = a.templateFile ? *a.templateFile : a.sources.back();
    if (!checkWorkbookArgument(templateFile, a.templateFile ? "template" : "source", why)) return false;
    if (a.templateFile && isOut(out, *a.templateFile)) {
        why = "--out names the template " + quoted(*a.templateFile) + "; the template is never overwritten";
        return false;
    }
    if (a.jobFile && isOut(out, *a.jobFile)) {
        why = "--out names the job file " + quoted(*a.jobFile) + "; the job file is never overwritten";
        return false;
    }
    // The summary is a copy of the template, so it has the template's format; a workbook
    // ending of another format would hand the next reader a file that lies about itself.
    if (!a.out.empty()) {
        std::string ending = utf8String(a.out.filename());
        for (char& c : ending) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const auto named = formatOfPoolName(ending);
        const WorkbookFormat is = workbookFormatOf(templateFile);
        if (named && *named != is) {
            why = "--out " + quoted(a.out) + " names another format than the template " + quoted(templateFile) +
                  " has: the summary is a copy of the template, so name it with " + std::string(formatExtension(is));
            return false;
        }
    }
    std::error_code ec;
    if (!a.out.empty() && fs::exists(a.out, ec) && !fs::is_regular_file(a.out, ec)) {
        why = "--out " + quoted(a.out) + " exists and is not a regular file";
        return false;
    }
    if (!a.out.empty() && !checkNameLengths(a.out, why)) return false;
    std::unordered_map<FileIdentity, const fs::path*, FileIdentityHash> seen;  // identity, as first given
    seen.reserve(a.sources.size());
    for (const auto& file : a.sources) {
        if (!checkWorkbookArgument(file, "source", why)) return false;
        const auto id = fileIdentity(file);
        if (!id) continue;  // gone since the check: reading it says so
        if (id == out) {
            why = "--out names the source " + quoted(file) + "; sources are never overwritten";
            return false;
        }
        const auto [earlier, added] = seen.emplace(*id, &file);
        if (!added) {
            why = "source " + quoted(file) + " is named twice (also as " + quoted(*earlier->second) +
                  "); each report is added once";
            return false;
        }
    }
    return true;
}

// The job the job file keeps for the template's worksheet names. The job file is read first:
// a missing or damaged one is said so, not met as a file that keeps no job.
bool readJob(Arguments& a, std::string& why) {
    std::error_code ec;
    if (fs::status(*a.jobFile, ec).type() == fs::file_type::not_found) {
        why = "--job " + quoted(*a.jobFile) + " does not exist: name the job file (" + kJobFileName +
              " in the working folder) that keeps the job";
        return false;
    }
    RememberedJobs jobs;
    try {
        jobs = readJobFile(*a.jobFile);
    } catch (const JobFileError& e) {
        why = "--job " + quoted(e.file()) + (e.line() > 0 ? " is damaged at line " + std::to_string(e.line()) : "") +
              ": " + e.reason();
        return false;
    }
    const fs::path& templateFile = a.templateFile ? *a.templateFile : a.sources.back();
    std::vector<std::string> sheets;
    try {
        auto host = makeNativeHost();
        Workbook& book = host->open(templateFile);
        for (int k = 1; k <= book.worksheetCount(); ++k) sheets.push_back(book.worksheet(k).name());
        host->close(book, false);
        host->quit();
    } catch (const WorkbookError& e) {
        why = "template " + quoted(templateFile) + " cannot be read for its worksheet names: " + e.reason();
        return false;
    }
    if (const RememberedJob* kept = jobs.kept(sheets)) {
        a.job = kept->job;
        if (!a.unitCell) a.unitCell = kept->unitCell;  // the desktop keeps the unit cell with the job
        return true;
    }
    why = "--job " + quoted(*a.jobFile) + " keeps no job for the worksheets of " + quoted(templateFile) + " (";
    for (const std::string& sheet : sheets) why += (&sheet == sheets.data() ? "\"" : ", \"") + sheet + "\"";
    why += ")";
    return false;
}

// The kinds named by --allow LAYOUT,DUPLICATE,...
bool readAllowed(const std::string& list, AllowedFindings& allowed, std::string& why) {
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const std::string name = list.substr(from, comma - from);
        const auto kind = findingFromName(name);
        if (!kind) {
            why = "--allow: \"" + name + "\" is none of ";
            for (int k = 0; k < kFindingKinds; ++k) {
                (why += k == 0 ? "" : ", ") += findingName(static_cast<FindingKind>(k));
            }
            return false;
        }
        allowed.allow(*kind);
        from = comma + 1;
    }
    return true;
}

std::optional<Arguments> readArguments(const std::vector<std::string>& args, Command command, std::string& why) {
    Arguments a;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (!options || !arg.starts_with("--")) {
            a.sources.push_back(utf8Path(arg));
            continue;
        }
        if (arg != "--mode" && arg != "--out" && arg != "--template" && arg != "--range" && arg != "--job" &&
            arg != "--allow" && arg != "--roster" && arg != "--unit-cell" && arg != "--align") {
            why = "unknown option " + arg;
            return std::nullopt;
        }
        if (i + 1 >= args.size()) {
            why = arg + " needs a value";
            return std::nullopt;
        }
        const std::string& v = args[++i];
        if (arg == "--mode") a.modeName = v;
        if (arg == "--out") a.out = utf8Path(v);
        if (arg == "--template") a.templateFile = utf8Path(v);
        if (arg == "--job") {
            if (a.jobFile) {
                why = "--job is given twice; one job file holds the jobs of every template";
                return std::nullopt;
            }
            a.jobFile = utf8Path(v);
        }
        if (arg == "--allow" && !readAllowed(v, a.allowed, why)) return std::nullopt;
        if (arg == "--roster") a.rosterFile = utf8Path(v);
        if (arg == "--align") {
            if (v != "labels") {
                why = "--align: \"" + v + "\" is not a way of aligning; the one there is: --align labels";
                return std::nullopt;
            }
            a.alignLabels = true;
        }
        if (arg == "--unit-cell") {
            const auto bang = v.rfind('!');
            const auto cell = bang == std::string::npos ? std::nullopt : parseCellAddress(v.substr(bang + 1));
            if (bang == 0 || !cell) {
                why = "--unit-cell: \"" + v + "\" is not SHEET!CELL, such as 封面!c3";
                return std::nullopt;
            }
            a.unitCell = UnitCell{v.substr(0, bang), *cell};
        }
        if (arg == "--range") {
            auto sheet = readRange(v, why);
            if (!sheet) return std::nullopt;
            a.job.push_back(std::move(*sheet));
        }
    }
    if (command == Command::Check && a.modeName.empty()) a.modeName = "efficiency";
    if (a.modeName != "efficiency" && a.modeName != "function") {
        why = "--mode must be efficiency or function";
        return std::nullopt;
    }
    a.mode = a.modeName == "efficiency" ? Mode::Efficiency : Mode::Function;
    if (a.out.empty() && command == Command::Consolidate) {
        why = "--out OUT.xls is needed";
        return std::nullopt;
    }
    if (a.jobFile && !a.job.empty()) {
        why = "--job and --range exclude each other: give the ranges either in the job file or as --range options";
        return std::nullopt;
    }
    if (a.job.empty() && !a.jobFile) {
        why = "at least one --range 'SHEET!FIRST:LAST', or a --job FILE, is needed";
        return std::nullopt;
    }
    if (a.sources.empty()) {
        why = "no SOURCE workbook given";
        return std::nullopt;
    }
    if (!checkFiles(a, why)) return std::nullopt;
    if (a.jobFile && !readJob(a, why)) return std::nullopt;
    return a;
}

std::string failureText(const Failure& f) {
    std::string text = f.reason;
    if (!f.worksheet.empty()) text = "worksheet \"" + f.worksheet + "\": " + text;
    if (!f.file.empty()) text = quoted(f.file) + ": " + text;
    return text;
}

void reportIgnored(const RunReport& report, std::ostream& err) {
    if (report.ignoredValues == 0) return;
    err << "shubuxing-cli consolidate: " << report.ignoredValues << " source values are not numbers and added nothing ("
        << report.misplacedValues << " where other sources hold amounts)";
    const Skipped* first = nullptr;
    for (const auto& item : report.skipped) {
        if (item.kind == Skipped::Kind::AddsNothing) {
            first = &item;
            break;
        }
    }
    if (first) {
        err << ", the first: " << utf8String(first->file) << " " << first->worksheet << "!" << cellName(first->cell)
            << " " << first->reason;
    }
    err << '\n';
}

// The check's findings, one line each; true when one is not allowed.
bool printFindings(const CheckReport& check, const AllowedFindings& allowed, std::ostream& lines) {
    if (!check.templateProblem.empty()) lines << "template " << check.templateProblem << '\n';
    for (const SourceCheck& source : check.sources) {
        for (const Finding& finding : source.findings) {
            lines << utf8String(source.file) << ": " << describeFinding(finding, check)
                  << (allowed.allows(finding.kind) ? " (allowed)" : "") << '\n';
        }
    }
    return !check.flagged(allowed).empty() || !check.templateProblem.empty();
}

// The check's request; the roster is read here, so a roster that cannot be read fails
// before any source is (WorkbookError).
CheckRequest checkRequestOf(const Arguments& a, SpreadsheetHost& host) {
    CheckRequest request{a.sources, a.templateFile ? *a.templateFile : a.sources.back(), a.job};
    request.alignLabels = a.alignLabels;
    if (a.rosterFile) {
        request.roster = readRoster(*a.rosterFile, host);
        request.unitCell = a.unitCell;
    }
    return request;
}

// "已报 38 / 应报 40" and who is missing, with a roster.
void printRoster(const CheckReport& check, std::ostream& lines) {
    if (!check.roster) return;
    lines << reportedCountText(*check.roster) << '\n';
    std::vector<fs::path> files;
    for (const SourceCheck& s : check.sources) files.push_back(s.file);
    for (const std::string& line : rosterLines(*check.roster, files)) lines << line << '\n';
}

}  // namespace

int checkCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string why;
    const auto parsed = readArguments(args, Command::Check, why);
    if (!parsed) {
        err << "shubuxing-cli check: " << why << "\n\nUsage:\n" << SBX_CHECK_USAGE;
        return kExitBadArguments;
    }
    auto host = makeNativeHost();
    CheckReport check;
    {
        // No run follows: the values the check reads need not be kept for it.
        SourceCache sources(*host, SourceCache::kDefaultBudget, SourceCache::ForRecord::No, 0);
        try {
            check = checkSources(checkRequestOf(*parsed, *host), sources);
        } catch (const WorkbookError& e) {
            err << "shubuxing-cli check: --roster " << e.what() << "\n";
            return kExitBadArguments;
        }
    }
    host->quit();
    const bool flagged = printFindings(check, parsed->allowed, out);
    printRoster(check, out);
    err << "shubuxing-cli check: " << check.sources.size() << " files, " << check.flagged().size() << " with findings, "
        << check.flagged(parsed->allowed).size() << " not allowed\n";
    return flagged ? kExitFailed : kExitFinished;
}

int consolidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string why;
    const auto parsed = readArguments(args, Command::Consolidate, why);
    if (!parsed) {
        err << "shubuxing-cli consolidate: " << why << "\n\nUsage:\n" << SBX_CONSOLIDATE_USAGE;
        return kExitBadArguments;
    }
    const Arguments& a = *parsed;
    const auto started = SteadyClock::now();
    const auto startedAt = std::chrono::system_clock::now();

    RunRequest request;
    request.sources = a.sources;
    request.templateFile = a.templateFile ? *a.templateFile : a.sources.back();
    request.summary = a.out;
    request.job = a.job;
    request.mode = a.mode;
    request.saving = Saving::OnceAtEnd;

    if (const auto clash = inputAtOutput(request)) {
        err << "shubuxing-cli consolidate: " << quoted(clash->input) << " is " << quoted(clash->output)
            << ", a file the run writes beside --out; sources and the template are never overwritten\n";
        return kExitBadArguments;
    }
    // Held until the summary and its record are in place: one run per OUT at a time.
    SummaryLock::Attempt lock = SummaryLock::take(a.out);
    if (!lock.lock) {
        err << "shubuxing-cli consolidate: " << lock.reason << "\n" << utf8String(a.out) << " was not written.\n";
        return kExitFailed;
    }

    // Before the sources are read: the run would refuse it all the same.
    if (const auto beyond = rangeBeyondSummary(request, sheetGridOf(workbookFormatOf(request.templateFile)))) {
        err << "shubuxing-cli consolidate: " << failureText(*beyond) << "\n" << utf8String(a.out) << " was not written.\n";
        return kExitFailed;
    }

    auto host = makeNativeHost();
    // Shared by the check and the run, so that each source is parsed once; closed before the host quits.
    std::optional<SourceCache> sources(std::in_place, *host, SourceCache::kDefaultBudget, SourceCache::ForRecord::Yes);
    auto lists = listCellsForRecord(*sources, a.out, request.sources.size());
    CheckReport check;
    try {
        check = checkSources(checkRequestOf(a, *host), *sources);
    } catch (const WorkbookError& e) {
        err << "shubuxing-cli consolidate: --roster " << e.what() << "\n" << utf8String(a.out) << " was not written.\n";
        return kExitBadArguments;
    }
    std::ostringstream findings;
    printRoster(check, findings);
    if (printFindings(check, a.allowed, findings)) {
        err << findings.str() << "shubuxing-cli consolidate: the check flagged " << check.flagged(a.allowed).size()
            << " of " << check.sources.size() << " files (see `shubuxing-cli check`; --allow KIND,... lets them pass)\n"
            << utf8String(a.out) << " was not written.\n";
        return kExitFailed;
    }
    err << findings.str();
    TerminalProgress progress(err, stderrIsTerminal());
    StrictDecisions decisions;
    const CheckOutcome outcome = check.flagged().empty() ? CheckOutcome::NothingFlagged : CheckOutcome::Allowed;
    RunRecordWriter record(startedAt, check, outcome, request, {*sources, lists.get()});
    const RunReport report = run(request, *host, progress, decisions, *sources);
    progress.endLine();
    if (const auto problem = record.finish(report)) {
        err << "shubuxing-cli consolidate: the run record was not written (an older one beside OUT was removed): "
            << problem->what() << '\n';
    }
    lock.lock.reset();
    sources.reset();
    lists.reset();
    host->quit();
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();

    if (!report.succeeded()) {
        err << "shubuxing-cli consolidate: the run did not finish";
        if (report.failure) err << ": " << failureText(*report.failure);
        err << "\n" << utf8String(a.out) << " was not written.\n";
        return kExitFailed;
    }
    reportIgnored(report, err);
    for (const auto& formula : report.staleFormulas) {
        err << "shubuxing-cli consolidate: " << describeStale(formula) << '\n';
    }
    for (const auto& f : report.rangeFormulas) {
        err << "shubuxing-cli consolidate: " << f.worksheet << "!" << cellName(f.cell)
            << (f.kept ? " keeps its formula, computed from the totals" : " holds the sum of the sources: " + f.reason) << '\n';
    }
    long long cellsPerFile = 0;
    for (const auto& sheet : a.job) cellsPerFile += sheet.area.cellCount();
    char secondsText[32];
    *std::to_chars(secondsText, secondsText + sizeof secondsText - 1, seconds, std::chars_format::fixed, 3).ptr = '\0';
    out << "consolidated " << report.consolidated.size() << " files, " << report.worksheetsSaved() << " worksheets, "
        << cellsPerFile << " cells per file in " << secondsText << " s (" << a.modeName << " mode) into "
        << utf8String(a.out) << '\n';
    return kExitFinished;
}

}  // namespace sbx::cli
