// Saving an .xlsx workbook with formulas: how long the recalculation of the formulas that
// depend on the written cells takes, and the whole save (recalculation, rewritten parts,
// package), for a write that no formula reads and for one that formulas read.
//
//   xlsx_recalc_bench WORKBOOK.xlsx [--repeat K]
// WORKBOOK: any .xlsx; the first worksheet is written: A1 (read by formulas in most
// workbooks) and a cell right of the used area (read by none).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "spreadsheet/xlsx/formula_recalc.h"
#include "spreadsheet/xlsx/xlsx_saver.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"

namespace {

double seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: xlsx_recalc_bench WORKBOOK.xlsx [--repeat K]\n");
        return 2;
    }
    int repeat = 3;
    for (int i = 2; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--repeat") repeat = std::atoi(argv[i + 1]);
    }
    const auto bytes = sbx::xlsx::readFileBytes(argv[1]);
    struct Write {
        const char* what;
        bool read;
    };
    for (const Write w : {Write{"a cell no formula reads", false}, Write{"A1", true}}) {
        double recalc = 1e9, save = 1e9;
        size_t computed = 0, stale = 0;
        for (int k = 0; k < repeat; ++k) {
            // Each measure on a workbook of its own: the save computes the results itself.
            for (const bool alone : {true, false}) {
                auto book = sbx::xlsx::XlsxWorkbook::fromBytes(bytes, argv[1]);
                auto& sheet = book->worksheet(1);
                const int column = w.read ? 1 : std::min(sheet.lastValueCell().second + 5, sbx::xlsx::kMaxColumns);
                sheet.setCell(1, column, sbx::CellValue::number(12345));  // the sheet is read before the clock starts
                const auto start = std::chrono::steady_clock::now();
                if (alone) {
                    const auto r = sbx::xlsx::recalculateFormulas(*book);
                    recalc = std::min(recalc, seconds(start));
                    computed = 0;
                    for (const auto& [s, results] : r.results) computed += results.size();
                    stale = r.stale.size();
                } else {
                    const auto saved = sbx::xlsx::buildXlsxFile(*book);
                    save = std::min(save, seconds(start));
                }
            }
        }
        std::printf("%-26s recalculation %7.3f s (%zu computed, %zu stale); whole save %7.3f s\n", w.what, recalc,
                    computed, stale, save);
    }
    return 0;
}
