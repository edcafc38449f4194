#include "cli/consolidate_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <random>
#include <set>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "consolidate/efficiency_run.h"
#include "consolidate/function_run.h"
#include "consolidate/range_bounds.h"
#include "consolidate/run_setup.h"
#include "consolidate/status_texts.h"
#include "spreadsheet/utf8_path.h"

namespace sbx::cli {

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kExitFinished = 0;
constexpr int kExitFailed = 1;
constexpr int kExitBadArguments = 2;

struct RangeArgument {
    std::string sheet;
    std::string first;
    std::string last;
};

struct Arguments {
    std::string mode;
    fs::path out;
    std::optional<fs::path> templateFile;
    std::vector<RangeArgument> ranges;
    std::vector<fs::path> sources;
};

bool stderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(STDERR_FILENO) != 0;
#endif
}

std::string withNewlines(std::string text) {
    for (char& c : text) {
        if (c == '\r') c = '\n';
    }
    return text;
}

// Messages to stderr; every question answered No (a script has nobody to ask).
class StderrDialogs final : public DialogsPort {
public:
    explicit StderrDialogs(std::ostream& err) : err_(err) {}
    void message(const std::string& text) override { err_ << withNewlines(text) << '\n'; }
    bool askYesNo(const std::string&) override { return false; }
    bool askOkCancel(const std::string&) override { return false; }
    std::optional<std::string> inputBox(const std::string&, const std::string&, const std::string&) override {
        return std::nullopt;
    }
    std::optional<fs::path> saveFile(const SaveFileRequest&) override { return std::nullopt; }

private:
    std::ostream& err_;
};

class NoPostRunSteps final : public PostRunSteps {
public:
    void archive(const std::vector<std::string>&) override {}
    void offerExport() override {}
};

// One progress line on a terminal, redrawn at most every 100 ms; nothing otherwise.
class TerminalStatus final : public StatusView {
public:
    TerminalStatus(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~TerminalStatus() override { endLine(); }

    void setHint(const std::string&) override {}
    void openEfficiencyPanel() override {}
    void closeEfficiencyPanel() override { endLine(); }
    void showConsolidating(const std::string& worksheet, const std::string& file) override {
        sheet_ = worksheet;
        file_ = file;
    }
    void showConsolidationProgress(long long done, long long total) override { progress(done, total); }
    void openFunctionPanel() override {}
    void closeFunctionPanel() override { endLine(); }
    void showReading(const std::string& worksheet, const std::string& file) override {
        sheet_ = worksheet;
        file_ = file;
    }
    void showOverallReadProgress(long long done, long long total) override { progress(done, total); }
    void showFileReadProgress(long long, long long) override {}
    void showReadCell(int, int, bool) override {}
    void resetWriteProgress() override {}
    void showWriteProgress(long long, long long) override {}
    void showWrittenCell(int, int, bool) override {}
    void setProgressCaption(const std::string& text) override {
        if (!enabled_) return;
        endLine();
        err_ << text << '\n';
    }
    void hideStatusPanel() override { endLine(); }
    void addToRunList(const std::string&) override {}
    void showListCounts(int, int) override {}
    void focusExitButton() override {}
    void focusStartButton() override {}
    void disableJobButtons() override {}
    void disableAddFilesButton() override {}

private:
    void progress(long long done, long long total) {
        if (!enabled_) return;
        const auto now = SteadyClock::now();
        if (now - lastDraw_ < std::chrono::milliseconds(100)) return;
        lastDraw_ = now;
        err_ << "\r\x1b[K" << sheet_ << "  " << file_ << "  " << percentText(done, total) << std::flush;
        lineOpen_ = true;
    }
    void endLine() {
        if (lineOpen_) err_ << "\r\x1b[K" << std::flush;
        lineOpen_ = false;
    }

    std::ostream& err_;
    bool enabled_;
    bool lineOpen_ = false;
    SteadyClock::time_point lastDraw_{};
    std::string sheet_;
    std::string file_;
};

// 'SHEET!FIRST:LAST': the worksheet name is what stands before the last "!".
std::optional<RangeArgument> readRange(const std::string& text, std::string& why) {
    const auto bang = text.rfind('!');
    if (bang == std::string::npos || bang == 0) {
        why = "\"" + text + "\" is not SHEET!FIRST:LAST, such as 收入明细!b4:k43";
        return std::nullopt;
    }
    const std::string cells = text.substr(bang + 1);
    const auto colon = cells.find(':');
    if (colon == std::string::npos || cells.find(':', colon + 1) != std::string::npos) {
        why = "\"" + cells + "\" is not a range FIRST:LAST such as b4:k43";
        return std::nullopt;
    }
    RangeArgument r{text.substr(0, bang), std::string(trimBlanks(cells.substr(0, colon))),
                    std::string(trimBlanks(cells.substr(colon + 1)))};
    const ParsedRange parsed = parseRange(r.first, r.last);
    if (!parsed.valid || !parsed.bounds.onSheet()) {
        why = "\"" + cells + "\" is not a valid range: cells are lower-case column letters a to iv and rows 1 to "
              "65536, the first above and left of the last";
        return std::nullopt;
    }
    return r;
}

std::optional<Arguments> readArguments(const std::vector<std::string>& args, std::string& why) {
    Arguments a;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) {
                why = arg + " needs a value";
                return std::nullopt;
            }
            return args[++i];
        };
        if (arg == "--mode" || arg == "--out" || arg == "--template" || arg == "--range") {
            const auto v = value();
            if (!v) return std::nullopt;
            if (arg == "--mode") a.mode = *v;
            if (arg == "--out") a.out = utf8Path(*v);
            if (arg == "--template") a.templateFile = utf8Path(*v);
            if (arg == "--range") {
                auto r = readRange(*v, why);
                if (!r) return std::nullopt;
                a.ranges.push_back(*r);
            }
        } else if (arg.starts_with("--")) {
            why = "unknown option " + arg;
            return std::nullopt;
        } else {
            a.sources.push_back(utf8Path(arg));
        }
    }
    if (a.mode != "efficiency" && a.mode != "function") {
        why = "--mode must be efficiency or function";
        return std::nullopt;
    }
    if (a.out.empty()) {
        why = "--out OUT.xls is needed";
        return std::nullopt;
    }
    if (a.ranges.empty()) {
        why = "at least one --range 'SHEET!FIRST:LAST' is needed";
        return std::nullopt;
    }
    if (a.sources.empty()) {
        why = "no SOURCE workbook given";
        return std::nullopt;
    }
    std::error_code ec;
    for (const auto& file : a.sources) {
        if (!fs::is_regular_file(file, ec)) {
            why = "source \"" + utf8String(file) + "\" is not a file";
            return std::nullopt;
        }
        if (fs::exists(a.out, ec) && fs::equivalent(file, a.out, ec)) {
            why = "--out names the source \"" + utf8String(file) + "\"; sources are never overwritten";
            return std::nullopt;
        }
    }
    if (a.templateFile && !fs::is_regular_file(*a.templateFile, ec)) {
        why = "template \"" + utf8String(*a.templateFile) + "\" is not a file";
        return std::nullopt;
    }
    return a;
}

// A folder beside OUT (so the finished summary can be renamed into place) holding the run's
// pool: links to the sources (copies where links cannot be made) and hz/total.xls, a copy
// of the template. Removed again when the run is over.
class RunFolder {
public:
    explicit RunFolder(const fs::path& out) {
        const fs::path parent = fs::absolute(out).parent_path();
        std::random_device seed;
        for (int attempt = 0; attempt < 100; ++attempt) {
            const fs::path candidate = parent / (".shubuxing-run-" + std::to_string(seed() % 1000000000u));
            if (fs::create_directory(candidate)) {
                path_ = candidate;
                break;
            }
        }
        if (path_.empty()) throw fs::filesystem_error("cannot make a run folder", parent, std::error_code());
        fs::create_directory(path_ / "hz");
    }
    ~RunFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    RunFolder(const RunFolder&) = delete;
    RunFolder& operator=(const RunFolder&) = delete;

    const fs::path& path() const { return path_; }

    // Puts `source` into the pool under its bare name, or name~2.xls and so on when two
    // sources share a name. Returns the pool name.
    std::string add(const fs::path& source) {
        const std::string stem = utf8String(source.stem());
        const std::string extension = utf8String(source.extension());
        std::string name = stem + extension;
        for (int n = 2; used_.contains(name); ++n) name = stem + "~" + std::to_string(n) + extension;
        used_.insert(name);
        const fs::path link = path_ / utf8Path(name);
        std::error_code ec;
        fs::create_symlink(fs::absolute(source), link, ec);
        if (ec) fs::copy_file(source, link);
        return name;
    }

private:
    fs::path path_;
    std::set<std::string> used_;
};

}  // namespace

int consolidateCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string why;
    const auto parsed = readArguments(args, why);
    if (!parsed) {
        err << "shubuxing-cli consolidate: " << why << "\n\nUsage:\n" << SBX_CONSOLIDATE_USAGE;
        return kExitBadArguments;
    }
    const Arguments& a = *parsed;
    const auto started = SteadyClock::now();
    try {
        RunFolder folder(a.out);
        std::vector<std::string> selected;
        for (const auto& source : a.sources) selected.push_back(folder.add(source));
        const WorkspacePaths paths(folder.path());
        fs::copy_file(a.templateFile ? *a.templateFile : a.sources.back(), paths.summaryWorkbook());

        JobDefinition job;
        for (const auto& r : a.ranges) job.rangeTable.push_back({"", r.sheet, r.first, r.last});
        job.sheetCount = job.chosenCount = static_cast<int>(a.ranges.size());

        TerminalStatus status(err, stderrIsTerminal());
        StderrDialogs dialogs(err);
        NoPostRunSteps postRun;
        SystemRunClock clock;
        const RunSetup setup{job, selected, static_cast<int>(selected.size()), paths, status, dialogs, postRun, clock};
        const RunSummary summary = a.mode == "efficiency" ? runEfficiencyMode(setup) : runFunctionMode(setup);
        const double seconds = std::chrono::duration<double>(SteadyClock::now() - started).count();

        const bool complete = summary.state == RunState::Finished && summary.worksheetsDone == job.sheetCount;
        if (!complete) {
            err << "shubuxing-cli consolidate: the run did not finish";
            if (!summary.diagnosis.empty()) err << ": " << withNewlines(summary.diagnosis);
            err << "\n" << utf8String(a.out) << " was not written.\n";
            return kExitFailed;
        }
        fs::rename(paths.summaryWorkbook(), a.out);
        char secondsText[32];
        std::snprintf(secondsText, sizeof secondsText, "%.3f", seconds);
        out << "consolidated " << summary.runList.size() << " files, " << summary.worksheetsDone << " worksheets, "
            << summary.rangeCells << " cells per file in " << secondsText << " s (" << a.mode << " mode) into "
            << utf8String(a.out) << '\n';
        if (!summary.skipped.nothingSkipped()) err << "shubuxing-cli consolidate: some items were skipped (see above)\n";
        return kExitFinished;
    } catch (const std::exception& e) {
        err << "shubuxing-cli consolidate: " << e.what() << "\n" << utf8String(a.out) << " was not written.\n";
        return kExitFailed;
    }
}

}  // namespace sbx::cli
