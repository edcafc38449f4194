// Reading speed of the .xlsx engine in MB/s of uncompressed worksheet XML, on a generated large
// worksheet put into a template package: the worksheet reader alone on the XML in memory, then
// the whole way a run reads (open the package, inflate and read the sheet).
//
//   xlsx_read_bench TEMPLATE.xlsx [--rows N] [--repeat K]
// TEMPLATE: any package whose first worksheet is xl/worksheets/sheet1.xml, such as
// tests/data/xlsx/protected_formulas.xlsx.
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "spreadsheet/xlsx/cell_styles.h"
#include "spreadsheet/xlsx/worksheet_reader.h"
#include "spreadsheet/xlsx/xlsx_workbook.h"
#include "spreadsheet/xlsx/zip_package.h"

namespace {

// Rows of 12 cells as spreadsheet applications write them: a text label, integers,
// decimals, a formula with its cached result, an inline string every tenth row.
std::string makeSheet(int rows) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                      "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                      "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                      "<dimension ref=\"A1:L" + std::to_string(rows) + "\"/><sheetData>";
    uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u; };
    const char* columns = "ABCDEFGHIJKL";
    for (int r = 1; r <= rows; ++r) {
        const std::string row = std::to_string(r);
        xml += "<row r=\"" + row + "\" spans=\"1:12\">";
        if (r % 10 == 0) {
            xml += "<c r=\"A" + row + "\" t=\"inlineStr\"><is><t>小计 " + row + "</t></is></c>";
        } else {
            xml += "<c r=\"A" + row + "\" t=\"str\"><v>项目 " + std::to_string(next() % 3) + "</v></c>";
        }
        for (int c = 1; c < 11; ++c) {
            const std::string ref = std::string(1, columns[c]) + row;
            if (c % 2) xml += "<c r=\"" + ref + "\"><v>" + std::to_string(next() % 100000) + "</v></c>";
            else xml += "<c r=\"" + ref + "\" s=\"1\"><v>" + std::to_string(next() % 100000) + "." + std::to_string(next() % 100) + "</v></c>";
        }
        xml += "<c r=\"L" + row + "\"><f>SUM(B" + row + ":K" + row + ")</f><v>" + std::to_string(next() % 1000000) + "</v></c></row>";
    }
    return xml + "</sheetData></worksheet>";
}

// CPU seconds of this process: the figure per core, whatever else the machine is doing.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: xlsx_read_bench TEMPLATE.xlsx [--rows N] [--repeat K]\n");
        return 2;
    }
    int rows = 200000;
    int repeat = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "--rows") rows = std::atoi(argv[i + 1]);
        if (std::string(argv[i]) == "--repeat") repeat = std::atoi(argv[i + 1]);
    }
    const std::string xml = makeSheet(rows);
    const double megabytes = static_cast<double>(xml.size()) / 1e6;
    std::printf("worksheet: %d rows x 12 cells, %.1f MB of XML\n", rows, megabytes);

    const sbx::xlsx::CellStyles styles;
    double best = 1e9;
    size_t cells = 0;
    for (const auto parsing : {sbx::xlsx::WorksheetParsing::Expat, sbx::xlsx::WorksheetParsing::Scanner}) {
        best = 1e9;
        for (int k = 0; k < repeat; ++k) {
            const double start = cpuNow();
            sbx::xlsx::WorksheetReadOptions options{&styles, false, 3, nullptr};
            sbx::xlsx::WorksheetReader reader(options, "sheet1.xml", parsing);
            for (size_t at = 0; at < xml.size(); at += 64 * 1024) reader.feed(std::string_view(xml).substr(at, 64 * 1024));
            cells = reader.finish().cells.size();
            best = std::min(best, cpuNow() - start);
        }
        std::printf("worksheet reader (%s), XML in memory: %.3f s CPU, %.0f MB/s per core (%zu cells)\n",
                    parsing == sbx::xlsx::WorksheetParsing::Expat ? "expat alone" : "scanner for sheetData", best,
                    megabytes / best, cells);
    }

    const auto templateBytes = sbx::xlsx::readFileBytes(argv[1]);
    const auto package = sbx::xlsx::ZipPackage(templateBytes).rebuilt({{"xl/worksheets/sheet1.xml", xml}}, {});
    std::printf("package: %.1f MB compressed\n", static_cast<double>(package.size()) / 1e6);
    best = 1e9;
    for (int k = 0; k < repeat; ++k) {
        const double start = cpuNow();
        auto book = sbx::xlsx::XlsxWorkbook::fromBytes(package, "bench.xlsx");
        const auto last = book->worksheet(1).lastValueCell();
        if (last.first != rows) return 1;
        best = std::min(best, cpuNow() - start);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("open + inflate + read: %.3f s CPU, %.0f MB/s of XML per core; peak RSS %ld MB\n", best, megabytes / best,
                usage.ru_maxrss / 1024);
    return 0;
}
