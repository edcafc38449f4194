// Speed and memory of the run core in both modes over pools of 10, 100 and 1000 same-layout
// workbooks: every workbook a source, the summary a copy of the first saved after each
// worksheet, one range per worksheet. Each case runs in a child process of its own, so its
// peak RSS is its own.
//
//   consolidate_bench POOLDIR [--sizes 10,100,1000] [--sheets 3] [--range b4:k43]
//                     [--modes efficiency,function] [--repeat K]
//
// POOLDIR holds report_NNNN.xls made by bench/make_pool.sh, or report_NNNN.xlsx made from them
// by bench/make_xlsx_pool.sh.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "consolidate/run/run.h"
#include "spreadsheet/cell_address.h"
#include "spreadsheet/spreadsheet_host.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::vector<std::string> kSheets = {"收入明细", "成本费用", "利润汇总"};

struct Options {
    fs::path pool;
    std::vector<int> sizes{10, 100, 1000};
    int sheets = 3;
    std::string first = "b4";
    std::string last = "k43";
    std::vector<std::string> modes{"efficiency", "function"};
    int repeat = 3;
};

// What the child reports back through a pipe.
struct CaseResult {
    double seconds = 0;      // fastest of the repeats
    double firstSeconds = 0; // the first repeat
    long long cells = 0;     // source cells of the ranges: files x worksheets x range cells
    long long files = 0;
    long peakKb = 0;
    bool ok = false;
    char diagnosis[256] = {};
};

std::vector<fs::path> reportsIn(const fs::path& pool) {
    std::vector<fs::path> reports;
    for (const auto& e : fs::directory_iterator(pool)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("report_") && (name.ends_with(".xls") || name.ends_with(".xlsx"))) {
            reports.push_back(e.path());
        }
    }
    std::sort(reports.begin(), reports.end());
    return reports;
}

// The run core over the first `count` reports, into a copy of the first one saved after each
// worksheet, as the desktop's summary is.
CaseResult runCase(const Options& o, const std::vector<fs::path>& reports, const std::string& mode, int count) {
    CaseResult r;
    const fs::path work = fs::temp_directory_path() / ("sbx-consolidate-bench-" + std::to_string(getpid()));
    fs::remove_all(work);
    fs::create_directories(work);
    const auto first = sbx::parseCellAddress(o.first), last = sbx::parseCellAddress(o.last);
    if (!first || !last) throw std::runtime_error("not a range: " + o.first + ":" + o.last);
    sbx::RunRequest request;
    request.sources.assign(reports.begin(), reports.begin() + count);
    request.templateFile = request.summary = work / ("total" + reports[0].extension().string());
    for (int s = 0; s < o.sheets; ++s) {
        request.job.push_back({kSheets[static_cast<size_t>(s)], sbx::CellArea::between(*first, *last)});
    }
    request.mode = mode == "efficiency" ? sbx::Mode::Efficiency : sbx::Mode::Function;
    for (int k = 0; k < o.repeat; ++k) {
        fs::copy_file(reports[0], request.summary, fs::copy_options::overwrite_existing);
        const auto host = sbx::makeNativeHost();
        sbx::RunEvents events;
        sbx::StrictDecisions decisions;
        const auto start = Clock::now();
        const sbx::RunReport out = sbx::run(request, *host, events, decisions);
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        r.ok = out.succeeded();
        if (!r.ok) {
            std::snprintf(r.diagnosis, sizeof r.diagnosis, "%s", out.failure ? out.failure->reason.c_str() : "not saved");
            break;
        }
        r.seconds = k == 0 ? seconds : std::min(r.seconds, seconds);
        if (k == 0) r.firstSeconds = seconds;
        r.files = static_cast<long long>(out.consolidated.size());
        r.cells = r.files * o.sheets * request.job.front().area.cellCount();
    }
    fs::remove_all(work);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    r.peakKb = usage.ru_maxrss;
    return r;
}

// Runs the case in a child process and returns what it measured.
CaseResult inChild(const Options& o, const std::vector<fs::path>& reports, const std::string& mode, int count) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        CaseResult r;
        try {
            r = runCase(o, reports, mode, count);
        } catch (const std::exception& e) {
            std::snprintf(r.diagnosis, sizeof r.diagnosis, "%s", e.what());
        }
        const ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    CaseResult r;
    const ssize_t got = read(fds[0], &r, sizeof r);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (got != static_cast<ssize_t>(sizeof r)) std::snprintf(r.diagnosis, sizeof r.diagnosis, "the child died");
    return r;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream s(text);
    for (std::string p; std::getline(s, p, ',');) parts.push_back(p);
    return parts;
}

Options readOptions(int argc, char** argv) {
    Options o;
    if (argc < 2) throw std::runtime_error("usage: consolidate_bench POOLDIR [--sizes 10,100,1000] [--sheets N] "
                                           "[--range b4:k43] [--modes efficiency,function] [--repeat K]");
    o.pool = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const std::string value = argv[i + 1];
        if (key == "--sizes") {
            o.sizes.clear();
            for (const auto& p : splitList(value)) o.sizes.push_back(std::stoi(p));
        } else if (key == "--sheets") {
            o.sheets = std::clamp(std::stoi(value), 1, 3);
        } else if (key == "--range") {
            const auto colon = value.find(':');
            o.first = value.substr(0, colon);
            o.last = value.substr(colon + 1);
        } else if (key == "--modes") {
            o.modes = splitList(value);
        } else if (key == "--repeat") {
            o.repeat = std::max(1, std::stoi(value));
        } else {
            throw std::runtime_error("unknown option " + key);
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options o = readOptions(argc, argv);
        const auto reports = reportsIn(o.pool);
        uintmax_t poolBytes = 0;
        std::printf("consolidation: %d worksheet(s), range %s:%s (%lld cells), best of %d\n", o.sheets, o.first.c_str(),
                    o.last.c_str(), sbx::parseCellRange(o.first + ":" + o.last).value_or(sbx::CellArea{}).cellCount(), o.repeat);
        std::printf("%-10s %6s %8s | %9s %9s | %10s %12s | %9s\n", "mode", "files", "MB", "1st s", "best s", "files/s",
                    "cells/s", "peak RSS");
        for (const int size : o.sizes) {
            if (static_cast<size_t>(size) > reports.size()) {
                std::printf("(skipping %d: the pool has %zu reports)\n", size, reports.size());
                continue;
            }
            poolBytes = 0;
            for (int i = 0; i < size; ++i) poolBytes += fs::file_size(reports[static_cast<size_t>(i)]);
            for (const auto& mode : o.modes) {
                const CaseResult r = inChild(o, reports, mode, size);
                if (!r.ok) {
                    std::printf("%-10s %6d FAILED: %s\n", mode.c_str(), size, r.diagnosis);
                    continue;
                }
                std::printf("%-10s %6lld %8.2f | %9.4f %9.4f | %10.0f %12.0f | %7.1fMB\n", mode.c_str(), r.files,
                            static_cast<double>(poolBytes) / 1e6, r.firstSeconds, r.seconds,
                            static_cast<double>(r.files) / r.seconds, static_cast<double>(r.cells) / r.seconds,
                            static_cast<double>(r.peakKb) / 1024.0);
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "consolidate_bench: %s\n", e.what());
        return 2;
    }
}
