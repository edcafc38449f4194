// Writing speed of the .xls engine: a 400-cell block written into pool workbooks and saved
// (as the function mode writes its totals), and the time to save a large workbook after
// one cell changed. Works on copies in a temporary folder; the pool stays as it is.
//
//   write_bench POOLDIR [--files N] [--large FILE]...
// POOLDIR is made by make_pool.sh; --large adds workbooks to the one-cell save pass (the
// pool's big_*_20000.xls files are always taken when present).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

fs::path copyInto(const fs::path& folder, const fs::path& file) {
    const fs::path to = folder / file.filename();
    fs::copy_file(file, to, fs::copy_options::overwrite_existing);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
    return to;
}

// 400 cells: rows 4..43, columns B..K of the first worksheet, numbers as a run writes them.
void blockPass(const std::vector<fs::path>& files, const fs::path& folder) {
    constexpr int kRows = 40, kColumns = 10;
    double openSeconds = 0, writeSeconds = 0, saveSeconds = 0;
    uintmax_t bytes = 0;
    int done = 0;
    for (const auto& source : files) {
        const fs::path file = copyInto(folder, source);
        bytes += fs::file_size(file);
        sbx::NativeHost host;
        auto t = Clock::now();
        auto& book = host.open(file);
        openSeconds += secondsSince(t);
        t = Clock::now();
        auto& sheet = book.worksheet(1);
        for (int r = 0; r < kRows; ++r) {
            for (int c = 0; c < kColumns; ++c) sheet.setCell(4 + r, 2 + c, sbx::CellValue::number(r * 10.25 + c));
        }
        writeSeconds += secondsSince(t);
        t = Clock::now();
        host.close(book, true);
        saveSeconds += secondsSince(t);
        ++done;
    }
    const double cells = static_cast<double>(done) * kRows * kColumns;
    const double total = openSeconds + writeSeconds + saveSeconds;
    std::printf("block pass: %d files (%.1f MB), 400 cells each\n", done, static_cast<double>(bytes) / 1e6);
    std::printf("  open %.2f ms/file, write %.3f ms/file, save %.2f ms/file\n", 1e3 * openSeconds / done,
                1e3 * writeSeconds / done, 1e3 * saveSeconds / done);
    std::printf("  %.0f cells/s written and saved (open+write+save), %.0f cells/s write+save\n", cells / total,
                cells / (writeSeconds + saveSeconds));
}

// One cell changed in the first worksheet (the large one), then saved.
void largePass(const std::vector<fs::path>& files, const fs::path& folder) {
    for (const auto& source : files) {
        const fs::path file = copyInto(folder, source);
        for (int sheetPosition : {1, 0}) {  // the large sheet itself, then a small or no other sheet
            sbx::NativeHost host;
            auto& book = host.open(file);
            const int position = sheetPosition == 1 ? 1 : book.worksheetCount();
            if (sheetPosition == 0 && position == 1) continue;
            book.worksheet(position).setCell(2, 2, sbx::CellValue::number(12345.5));
            const auto t = Clock::now();
            host.close(book, true);
            const double s = secondsSince(t);
            std::printf("save after one cell in sheet %d of %s (%.1f MB): %.1f ms (%.0f MB/s)\n", position,
                        source.filename().string().c_str(), static_cast<double>(fs::file_size(file)) / 1e6, 1e3 * s,
                        static_cast<double>(fs::file_size(file)) / 1e6 / s);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: write_bench POOLDIR [--files N] [--large FILE]...\n");
        return 2;
    }
    const fs::path pool = argv[1];
    size_t fileCount = 50;
    std::vector<fs::path> large;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--files") {
            fileCount = static_cast<size_t>(std::strtoul(argv[i + 1], nullptr, 10));
        } else if (option == "--large") {
            large.emplace_back(argv[i + 1]);
        } else {
            std::fprintf(stderr, "write_bench: unknown option %s\n", option.c_str());
            return 2;
        }
    }
    std::vector<fs::path> reports;
    for (const auto& entry : fs::directory_iterator(pool)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("report_") && name.ends_with(".xls")) reports.push_back(entry.path());
        if (name.starts_with("big_") && name.ends_with(".xls")) large.push_back(entry.path());
    }
    std::sort(reports.begin(), reports.end());
    if (reports.size() > fileCount) reports.resize(fileCount);
    if (reports.empty()) {
        std::fprintf(stderr, "write_bench: no report_*.xls in %s (make it with make_pool.sh)\n", pool.string().c_str());
        return 2;
    }
    const fs::path folder = fs::temp_directory_path() / ("sbx-write-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    try {
        blockPass(reports, folder);
        largePass(large, folder);
    } catch (const sbx::WorkbookError& e) {
        std::fprintf(stderr, "write_bench: %s\n", e.what());
        fs::remove_all(folder);
        return 2;
    }
    fs::remove_all(folder);
    return 0;
}
