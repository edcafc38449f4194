// Any bytes as a workbook file. The rules are in fuzz_checks.h.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::fuzz::checkWorkbookBytes(std::span<const uint8_t>(data, size));
    return 0;
}
