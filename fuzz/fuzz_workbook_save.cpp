// Any bytes as a workbook that is read, written into and saved again. The rules are in fuzz_checks.h.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::fuzz::checkWorkbookSave(std::span<const uint8_t>(data, size));
    return 0;
}
