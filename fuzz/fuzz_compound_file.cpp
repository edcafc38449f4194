// Any bytes as a compound file container. The rules are in fuzz_checks.h.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::fuzz::checkCompoundFile(std::span<const uint8_t>(data, size));
    return 0;
}
