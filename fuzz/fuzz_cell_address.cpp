// Any bytes as the cell texts of a range entry and as a range argument. The rules are in fuzz_checks.h.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::fuzz::checkCellTexts(std::span<const uint8_t>(data, size));
    return 0;
}
