// What is refused before a byte is read: folders, named pipes, devices, links to nothing,
// and files far larger than any workbook (sparse here, so they take no disk). A named pipe
// must not hold the opener: the test unblocks a reader that waits on one and fails.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "spreadsheet/native_host.h"
#include "spreadsheet/workbook_error.h"
#include "spreadsheet/workbook_file_check.h"
#include "tests/support/test_files.h"

namespace fs = std::filesystem;
using sbx::WorkbookError;
using sbx::WorkbookErrorKind;
using sbx::testing::TempFolder;

namespace {

void makeSparse(const fs::path& file, std::uintmax_t size) {
    sbx::testing::writeFile(file, "");
    fs::resize_file(file, size);
}

struct Refusal {
    std::string name;
    WorkbookErrorKind kind;
    std::string says;
};

// The special files of one folder, and what opening each must say.
std::vector<Refusal> makeSpecialFiles(const TempFolder& temp) {
    const fs::path& d = temp.path();
    fs::create_directory(d / "folder.xls");
    makeSparse(d / "two_gigabytes.xls", std::uintmax_t{2} << 30);
#ifdef _WIN32
    // Windows has no FIFOs or device files, its links need a privilege, and a 64 GiB file is
    // not sparse there (nor possible under Wine).
    return {
        {"folder.xls", WorkbookErrorKind::NotAFile, "this is a folder, not a workbook file"},
        {"two_gigabytes.xls", WorkbookErrorKind::TooLarge,
         "the file is larger than any real workbook (2048 MB; the limit is 1024 MB)"},
    };
#else
    makeSparse(d / "huge.xls", std::uintmax_t{64} << 30);
    EXPECT_EQ(::mkfifo((d / "pipe.xls").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", d / "device.xls");
    fs::create_symlink(d / "gone.xls", d / "dangling.xls");
    return {
        {"pipe.xls", WorkbookErrorKind::NotAFile, "this is a named pipe (FIFO), not a workbook file"},
        {"folder.xls", WorkbookErrorKind::NotAFile, "this is a folder, not a workbook file"},
        {"device.xls", WorkbookErrorKind::NotAFile, "this is a device, not a workbook file"},
        {"dangling.xls", WorkbookErrorKind::FileNotFound, "the link points to a file that does not exist"},
        {"huge.xls", WorkbookErrorKind::TooLarge,
         "the file is larger than any real workbook (65536 MB; the limit is 1024 MB)"},
        {"two_gigabytes.xls", WorkbookErrorKind::TooLarge,
         "the file is larger than any real workbook (2048 MB; the limit is 1024 MB)"},
    };
#endif
}

// Opens `file` with the native engine; a reader stuck on a named pipe is released by a
// writer that comes and goes, so that the test fails instead of hanging.
std::string openingSays(const fs::path& file, WorkbookErrorKind& kind) {
    auto opening = std::async(std::launch::async, [&]() -> std::string {
        try {
            sbx::NativeHost host;
            host.open(file);
            return "opened";
        } catch (const WorkbookError& e) {
            kind = e.kind();
            return e.reason();
        } catch (const std::exception& e) {
            return std::string("not a WorkbookError: ") + e.what();
        }
    });
    if (opening.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
#ifndef _WIN32
        const int fd = ::open(file.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
#endif
        opening.wait();
        return "waited on the file";
    }
    return opening.get();
}

TEST(WorkbookFileCheck, FilesNoWorkbookCanBeReadFromAreRefusedBeforeOpeningWithTheReason) {
    TempFolder temp{"filecheck"};
    for (const Refusal& r : makeSpecialFiles(temp)) {
        const fs::path file = temp.path() / r.name;
        try {
            sbx::checkWorkbookFile(file);
            ADD_FAILURE() << r.name << " passed the check";
        } catch (const WorkbookError& e) {
            EXPECT_EQ(e.kind(), r.kind) << r.name;
            EXPECT_EQ(e.reason(), r.says) << r.name;
            EXPECT_EQ(e.file(), file);
        }
        WorkbookErrorKind kind{};
        EXPECT_EQ(openingSays(file, kind), r.says) << r.name;
        EXPECT_EQ(kind, r.kind) << r.name;
    }
}

TEST(WorkbookFileCheck, AWorkbookWithinTheLimitPassesAndIsReadWhole) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links need a privilege on Windows";
#endif
    TempFolder temp{"filecheck"};
    const fs::path file = temp.copy(fs::path(SBX_TEST_DATA) / "fixtures" / "all_cell_kinds.xls");
    const fs::path link = temp.path() / "link.xls";
    fs::create_symlink(file, link);
    EXPECT_NO_THROW(sbx::checkWorkbookFile(link));
    const sbx::WorkbookFileReader reader(link);
    EXPECT_EQ(reader.size(), fs::file_size(file));
    const auto head = reader.head(8);
    EXPECT_EQ(head, (std::vector<uint8_t>{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}));
    EXPECT_EQ(reader.readAll(), sbx::testing::byteVectorOf(file));
    EXPECT_EQ(reader.head(1u << 30).size(), reader.size()) << "a head longer than the file is the file";

    // Just at the limit is allowed through the check; what it holds is judged by reading.
    const fs::path limit = temp.path() / "limit.xls";
    makeSparse(limit, sbx::kWorkbookSizeLimit);
    EXPECT_NO_THROW(sbx::checkWorkbookFile(limit));
}

}  // namespace
