// What the check before a run and the run record cost: over the first COUNT reports of the
// pool, 3 worksheets of b4:k43, each mode timed as the run alone, check + run (sharing the
// opened sources), and check + run + record; best of REPEAT in processor time (the machine's
// load does not count; every thread's time is counted) and in wall time (what a user waits
// for: the digests are worked out on a second thread), with the record's size.
//
//   check_record_bench POOLDIR [COUNT=500] [REPEAT=5]
//
// POOLDIR holds report_NNNN.xls made by bench/make_pool.sh.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "consolidate/run/run.h"
#include "consolidate/record/run_record.h"
#include "consolidate/check/source_check.h"

namespace {

namespace fs = std::filesystem;

enum class Steps { RunOnly, CheckAndRun, CheckRunAndRecord };

// Processor time of this process, user and system.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Phases {
    double check = 0, run = 0, record = 0;  // processor time
    double checkWall = 0, runWall = 0, recordWall = 0;
    double wall = 0;  // of the whole
};

double once(const sbx::RunRequest& request, Steps steps, Phases* phases = nullptr) {
    const double started = cpuSeconds();
    const double startedWall = wallSeconds();
    auto host = sbx::makeNativeHost();
    {
        sbx::SourceCache sources(*host, sbx::SourceCache::kDefaultBudget,
                                 steps == Steps::CheckRunAndRecord ? sbx::SourceCache::ForRecord::Yes
                                                                   : sbx::SourceCache::ForRecord::No);
        const auto lists = sbx::listCellsForRecord(sources, request.summary, request.sources.size());
        sbx::RunEvents events;
        sbx::StrictDecisions decisions;
        if (steps == Steps::RunOnly) {
            const auto report = sbx::run(request, *host, events, decisions);
            if (!report.succeeded()) std::abort();
        } else {
            const double t0 = cpuSeconds(), w0 = wallSeconds();
            const auto check = sbx::checkSources({request.sources, request.templateFile, request.job}, sources);
            const double t1 = cpuSeconds(), w1 = wallSeconds();
            std::optional<sbx::RunRecordWriter> record;
            if (steps == Steps::CheckRunAndRecord) {
                record.emplace(std::chrono::system_clock::now(), check, sbx::CheckOutcome::NothingFlagged, request,
                               sbx::RecordSources{sources, lists.get()});
            }
            const auto report = sbx::run(request, *host, events, decisions, sources);
            if (!report.succeeded()) std::abort();
            const double t2 = cpuSeconds(), w2 = wallSeconds();
            if (record) {
                if (record->finish(report)) std::abort();
                if (phases) *phases = {t1 - t0, t2 - t1, cpuSeconds() - t2, w1 - w0, w2 - w1, wallSeconds() - w2, 0};
            }
        }
    }
    host->quit();
    if (phases) phases->wall = wallSeconds() - startedWall;
    return cpuSeconds() - started;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: check_record_bench POOLDIR [COUNT] [REPEAT]\n");
        return 2;
    }
    const fs::path pool = argv[1];
    const size_t count = argc > 2 ? std::stoul(argv[2]) : 500;
    const int repeat = argc > 3 ? std::stoi(argv[3]) : 5;
    std::vector<fs::path> reports;
    for (const auto& e : fs::directory_iterator(pool)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with("report_") && name.ends_with(".xls")) reports.push_back(e.path());
    }
    std::sort(reports.begin(), reports.end());
    if (reports.size() > count) reports.resize(count);
    const fs::path dir = fs::temp_directory_path() / "sbx-check-record-bench";
    fs::create_directories(dir);

    sbx::RunRequest request;
    request.sources = reports;
    request.templateFile = reports.front();
    request.summary = dir / "total.xls";
    for (const char* sheet : {"收入明细", "成本费用", "利润汇总"}) request.job.push_back({sheet, *sbx::parseCellRange("b4:k43")});
    request.saving = sbx::Saving::OnceAtEnd;

    std::printf("%zu reports, 3 worksheets of b4:k43, processor time, best of %d\n", reports.size(), repeat);
    for (const auto mode : {sbx::Mode::Efficiency, sbx::Mode::Function}) {
        request.mode = mode;
        double best[3] = {1e9, 1e9, 1e9};
        double wall[3] = {1e9, 1e9, 1e9};
        Phases fastest{1e9, 1e9, 1e9, 1e9, 1e9, 1e9, 1e9};
        for (int r = 0; r < repeat; ++r) {
            for (int s = 0; s < 3; ++s) {
                Phases p;
                best[s] = std::min(best[s], once(request, static_cast<Steps>(s), &p));
                wall[s] = std::min(wall[s], p.wall);
                if (s == 2) {
                    fastest = {std::min(fastest.check, p.check),         std::min(fastest.run, p.run),
                               std::min(fastest.record, p.record),       std::min(fastest.checkWall, p.checkWall),
                               std::min(fastest.runWall, p.runWall),     std::min(fastest.recordWall, p.recordWall), 0};
                }
            }
        }
        const auto record = fs::file_size(sbx::runRecordPath(request.summary));
        std::printf("%-10s run %.3f s | check+run %.3f s (+%.0f%%) | check+run+record %.3f s (record +%.0f%%) | record %.1f MB\n",
                    mode == sbx::Mode::Efficiency ? "efficiency" : "function", best[0], best[1],
                    100 * (best[1] / best[0] - 1), best[2], 100 * (best[2] / best[1] - 1), static_cast<double>(record) / 1e6);
        std::printf("           wall: run %.3f s | check+run %.3f s (+%.0f%%) | check+run+record %.3f s (record +%.0f%%)\n", wall[0],
                    wall[1], 100 * (wall[1] / wall[0] - 1), wall[2], 100 * (wall[2] / wall[1] - 1));
        std::printf("           check+run+record by step, processor time: check %.3f s, run %.3f s, record %.3f s\n",
                    fastest.check, fastest.run, fastest.record);
        std::printf("                                     wall time: check %.3f s, run %.3f s, record %.3f s\n",
                    fastest.checkWall, fastest.runWall, fastest.recordWall);
    }
    fs::remove_all(dir);
    return 0;
}
