// Any text as a Consolidate source reference. The rules are in fuzz_checks.h.
#include "fuzz/fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sbx::fuzz::checkSourceReference(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
