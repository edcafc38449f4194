// Reading speed and memory of the .xls engine, measured the way a consolidation run reads:
// every workbook of a pool is opened, the cells of a range of its first worksheets are read
// one position at a time, and the workbook is closed. Each pass runs in a child process of
// its own so that its peak RSS is its own and not that of an earlier pass.
//
//   read_bench POOLDIR [--sheets N] [--range A1:L60] [--repeat K] [--sparse FILE]
//              [--only open|range|full|sparse]
// --only runs a single pass, for profiling one thing at a time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "spreadsheet/spreadsheet_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/xls/workbook_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uintmax_t kLargeFile = 1 << 20;  // files from here on count as "large"

struct Options {
    fs::path pool;
    int sheets = 3;
    sbx::CellArea range{1, 1, 60, 12};
    int repeat = 3;
    std::optional<fs::path> sparse;
    std::string only;  // empty: every pass
    bool runs(const char* pass) const { return only.empty() || only == pass; }
};

struct PoolFile {
    fs::path path;
    uintmax_t bytes;
};

// What one pass did with one size class of files.
struct Tally {
    int files = 0;
    int failed = 0;
    uintmax_t bytes = 0;
    double seconds = 0;     // steady_clock
    double cpuSeconds = 0;  // this process's CPU time: less disturbed by a busy machine
    uint64_t cells = 0;   // positions read by cell(), or values visited
    double checksum = 0;  // keeps the reads from being optimised away; equal reads agree

    void add(const Tally& o) {
        files += o.files;
        failed += o.failed;
        bytes += o.bytes;
        seconds += o.seconds;
        cpuSeconds += o.cpuSeconds;
        cells += o.cells;
        checksum += o.checksum;
    }
};

double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

long peakRssKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// "a1:l60", "B3" -> an area, either corner first.
sbx::CellArea parseRange(const std::string& text) {
    const auto colon = text.find(':');
    const auto first = sbx::parseCellAddress(text.substr(0, colon));
    const auto last = colon == std::string::npos ? first : sbx::parseCellAddress(text.substr(colon + 1));
    if (!first || !last) throw std::invalid_argument("\"" + text + "\" is not a cell range like a1:l60");
    return {std::min(first->row, last->row), std::min(first->column, last->column), std::max(first->row, last->row),
            std::max(first->column, last->column)};
}

std::string areaText(const sbx::CellArea& a) {
    return sbx::cellName(a.first(), sbx::LetterCase::Upper) + ":" + sbx::cellName(a.last(), sbx::LetterCase::Upper);
}

int positiveNumber(const std::string& option, const char* value) {
    char* end = nullptr;
    const long n = std::strtol(value, &end, 10);
    if (*end != '\0' || n < 1 || n > 1000000) {
        throw std::invalid_argument(option + " wants a whole number of at least 1, not \"" + value + "\"");
    }
    return static_cast<int>(n);
}

Options parseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> rest;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
            return argv[++i];
        };
        if (arg == "--sheets") {
            o.sheets = positiveNumber(arg, value());
        } else if (arg == "--range") {
            o.range = parseRange(value());
        } else if (arg == "--repeat") {
            o.repeat = positiveNumber(arg, value());
        } else if (arg == "--sparse") {
            o.sparse = value();
        } else if (arg == "--only") {
            o.only = value();
            if (o.only != "open" && o.only != "range" && o.only != "full" && o.only != "sparse") {
                throw std::invalid_argument("--only wants open, range, full or sparse, not \"" + o.only + "\"");
            }
        } else if (arg.starts_with("--")) {
            throw std::invalid_argument("unknown option " + arg);
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.size() != 1) throw std::invalid_argument("give exactly one pool folder");
    o.pool = rest.front();
    if (!o.sparse) {
        const fs::path guess = o.pool / "sparse" / "sparse_a1_iv65536.xls";
        if (fs::exists(guess)) o.sparse = guess;
    }
    return o;
}

std::vector<PoolFile> listPool(const fs::path& folder) {
    std::vector<PoolFile> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        auto ext = entry.path().extension().string();
        std::ranges::transform(ext, ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (entry.is_regular_file() && ext == ".xls") files.push_back({entry.path(), entry.file_size()});
    }
    std::ranges::sort(files, {}, &PoolFile::path);
    if (files.empty()) throw std::invalid_argument("no .xls files in " + folder.string());
    return files;
}

double valueWeight(const sbx::CellValue& v) {
    switch (v.kind()) {
        case sbx::CellKind::Empty: return 0;
        case sbx::CellKind::Text: return static_cast<double>(v.textValue().size());
        default: return v.numberValue();
    }
}

// Reads one file; returns the cells counted, adds to the checksum.
using FileReader = std::function<uint64_t(const fs::path&, double& checksum)>;

uint64_t readOpenOnly(const fs::path& file, double& checksum) {
    const auto book = sbx::xls::WorkbookReader::open(file);
    checksum += static_cast<double>(book.worksheets().size());
    return 0;
}

FileReader rangeReader(const Options& o) {
    return [&o](const fs::path& file, double& checksum) {
        auto host = sbx::makeNativeHost();
        auto& book = host->open(file);
        const int sheets = std::min(o.sheets, book.worksheetCount());
        uint64_t cells = 0;
        for (int s = 1; s <= sheets; ++s) {
            const auto& sheet = book.worksheet(s);
            for (int r = o.range.firstRow; r <= o.range.lastRow; ++r) {
                for (int c = o.range.firstColumn; c <= o.range.lastColumn; ++c) {
                    checksum += valueWeight(sheet.cell(r, c));
                    ++cells;
                }
            }
        }
        host->close(book, false);
        return cells;
    };
}

uint64_t readWholeSheets(const fs::path& file, double& checksum) {
    auto host = sbx::makeNativeHost();
    auto& book = host->open(file);
    uint64_t cells = 0;
    for (int s = 1; s <= book.worksheetCount(); ++s) {
        book.worksheet(s).forEachValue(sbx::CellArea{}, [&](int, int, const sbx::CellValue& v) {
            checksum += valueWeight(v);
            ++cells;
        });
    }
    host->close(book, false);
    return cells;
}

// One pass over the pool: small and large files tallied apart.
std::pair<Tally, Tally> runPass(const std::vector<PoolFile>& pool, const FileReader& read) {
    Tally small, large;
    for (const auto& f : pool) {
        Tally& t = f.bytes >= kLargeFile ? large : small;
        const auto start = Clock::now();
        const double cpuStart = cpuNow();
        try {
            t.cells += read(f.path, t.checksum);
            ++t.files;
            t.bytes += f.bytes;
        } catch (const sbx::WorkbookError& e) {
            ++t.failed;
            std::fprintf(stderr, "  %s\n", e.what());
        }
        t.seconds += std::chrono::duration<double>(Clock::now() - start).count();
        t.cpuSeconds += cpuNow() - cpuStart;
    }
    return {small, large};
}

void printHeader() {
    std::printf("%-30s %5s %7s | %8s %7s | %8s %7s %9s | %7s | %10s %9s  %s\n", "pass", "files", "MB", "1st s",
                "MB/s", "best s", "MB/s", "Mcells/s", "cpuMB/s", "cells", "peak RSS", "checksum");
}

double rate(double amount, double seconds) { return amount / (seconds > 0 ? seconds : 1e-9); }

// One line: the first run (a fresh process, as a consolidation run meets the files), the
// fastest of the repeats (steady state) and its rate by CPU time.
void printRow(const std::string& label, const Tally& first, const Tally& best, long rssKb) {
    const double mb = static_cast<double>(best.bytes) / 1e6;
    std::printf("%-30s %5d %7.2f | %8.4f %7.1f | %8.4f %7.1f %9.2f | %7.1f | %10llu %7.1fMB  %.6g%s\n",
                label.c_str(), best.files, mb, first.seconds, rate(mb, first.seconds), best.seconds,
                rate(mb, best.seconds), rate(static_cast<double>(best.cells), best.seconds) / 1e6,
                rate(mb, best.cpuSeconds),
                static_cast<unsigned long long>(best.cells), static_cast<double>(rssKb) / 1024.0, best.checksum,
                best.failed ? ("  FAILED: " + std::to_string(best.failed)).c_str() : "");
}

// Runs `body` in a child process so that ru_maxrss there belongs to that work alone.
// Returns false when the child failed.
bool inChild(const std::function<void()>& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        int code = 0;
        try {
            body();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "read_bench: %s\n", e.what());
            code = 1;
        }
        std::fflush(stdout);
        std::fflush(stderr);
        _exit(code);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a pass `repeat` times in a process of its own; prints the first and the fastest run,
// for all files and split by file size.
void timedPass(const std::string& name, const std::vector<PoolFile>& pool, int repeat, const FileReader& read) {
    inChild([&] {
        struct Run {
            Tally small, large, all;
        };
        auto runOnce = [&] {
            Run r;
            std::tie(r.small, r.large) = runPass(pool, read);
            r.all = r.small;
            r.all.add(r.large);
            return r;
        };
        const Run first = runOnce();
        Run best = first;
        for (int i = 1; i < repeat; ++i) {
            Run r = runOnce();
            if (r.all.seconds < best.all.seconds) best = r;
        }
        const long rss = peakRssKb();
        printRow(name + " all", first.all, best.all, rss);
        if (best.small.files) printRow("  files < 1 MiB", first.small, best.small, rss);
        if (best.large.files) printRow("  files >= 1 MiB", first.large, best.large, rss);
    });
}

void sparseCase(const fs::path& file) {
    std::printf("\nsparse sheet %s (%ju bytes): peak RSS must not follow the area\n", file.c_str(),
                static_cast<uintmax_t>(fs::file_size(file)));
    std::printf("%-34s %11s %9s %12s %12s\n", "read", "cells", "seconds", "RSS before", "peak RSS");
    auto measure = [&](const std::string& label, const std::function<uint64_t(sbx::Worksheet&)>& read) {
        inChild([&] {
            // A throwaway host first, so that the baseline includes the library's warm-up.
            auto warm = sbx::makeNativeHost();
            warm->quit();
            const long before = peakRssKb();
            auto host = sbx::makeNativeHost();
            auto& book = host->open(file);
            const auto start = Clock::now();
            const uint64_t cells = read(book.worksheet(1));
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            std::printf("%-34s %11llu %9.4f %10.1fMB %10.1fMB\n", label.c_str(),
                        static_cast<unsigned long long>(cells), seconds, static_cast<double>(before) / 1024.0,
                        static_cast<double>(peakRssKb()) / 1024.0);
        });
    };
    auto visitor = [](const sbx::CellArea& area) {
        return [area](sbx::Worksheet& sheet) {
            uint64_t n = 0;
            sheet.forEachValue(area, [&](int, int, const sbx::CellValue&) { ++n; });
            return n;
        };
    };
    measure("forEachValue A1:A1", visitor({1, 1, 1, 1}));
    measure("forEachValue A1:IV65536", visitor({}));
    measure("cell() at every position A1:IV65536", [](sbx::Worksheet& sheet) {
        uint64_t values = 0;
        for (int r = 1; r <= 65536; ++r) {
            for (int c = 1; c <= 256; ++c) values += sheet.cell(r, c).isEmpty() ? 0 : 1;
        }
        return values;
    });
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    std::vector<PoolFile> pool;
    try {
        o = parseOptions(argc, argv);
        pool = listPool(o.pool);
    } catch (const std::exception& e) {
        std::fprintf(stderr,
                     "read_bench: %s\nusage: read_bench POOLDIR [--sheets N] [--range a1:l60] [--repeat K] "
                     "[--sparse FILE] [--only open|range|full|sparse]\n",
                     e.what());
        return 2;
    }
    uintmax_t bytes = 0;
    for (const auto& f : pool) bytes += f.bytes;
    std::printf("pool %s: %zu files, %.2f MB; range %s on the first %d worksheet(s); best of %d run(s)\n",
                o.pool.c_str(), pool.size(), static_cast<double>(bytes) / 1e6, areaText(o.range).c_str(), o.sheets,
                o.repeat);
    std::printf("peak RSS is that of the pass's own process (ru_maxrss)\n\n");
    printHeader();
    if (o.runs("open")) timedPass("WorkbookReader::open", pool, o.repeat, readOpenOnly);
    if (o.runs("range")) timedPass("cell() " + areaText(o.range), pool, o.repeat, rangeReader(o));
    if (o.runs("full")) timedPass("forEachValue, whole sheets", pool, o.repeat, readWholeSheets);
    if (o.sparse && o.runs("sparse")) sparseCase(*o.sparse);
    return 0;
}
