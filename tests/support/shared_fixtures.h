#pragma once
// The real-world workbooks made by spreadsheet applications live outside the repository. The
// build names their folders (CMake cache variables SBX_SHARED_FIXTURES for .xls and
// SBX_SHARED_XLSX_FIXTURES for .xlsx); an empty name means there is no copy, and the tests
// that need one skip themselves, so that a plain clone builds and tests the rest.
#include <gtest/gtest.h>

namespace sbx::testing {

inline constexpr const char* kNoSharedFixtures =
    "no real-world .xls workbooks: set the CMake cache variable SBX_SHARED_FIXTURES to a copy of "
    "shared/fixtures/xls";
inline constexpr const char* kNoSharedXlsxFixtures =
    "no real-world .xlsx workbooks: set the CMake cache variable SBX_SHARED_XLSX_FIXTURES to a copy of "
    "shared/fixtures/xlsx";

inline bool haveSharedFixtures() { return SBX_SHARED_FIXTURES[0] != '\0'; }
inline bool haveSharedXlsxFixtures() { return SBX_SHARED_XLSX_FIXTURES[0] != '\0'; }

}  // namespace sbx::testing

// In a test body or a fixture's SetUp: skips the test when the folder is not set.
#define SBX_SKIP_WITHOUT_SHARED_FIXTURES()                                                   \
    do {                                                                                     \
        if (!::sbx::testing::haveSharedFixtures()) GTEST_SKIP() << ::sbx::testing::kNoSharedFixtures; \
    } while (false)
#define SBX_SKIP_WITHOUT_SHARED_XLSX_FIXTURES()                                                       \
    do {                                                                                              \
        if (!::sbx::testing::haveSharedXlsxFixtures()) GTEST_SKIP() << ::sbx::testing::kNoSharedXlsxFixtures; \
    } while (false)
