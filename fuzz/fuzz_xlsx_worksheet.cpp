// Any bytes as a worksheet part: the rules of fuzz/xlsx_fuzz_checks.h.
#include <cstdint>

#include "fuzz/xlsx_fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        sbx::fuzz::checkXlsxWorksheet({data, size});
    } catch (const sbx::fuzz::BrokenInvariant&) {
        __builtin_trap();
    }
    return 0;
}
