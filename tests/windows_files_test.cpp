// Windows only: a file another program holds open (as Excel does the workbooks it shows),
// paths longer than 260 characters, and Chinese names.
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "spreadsheet/atomic_file.h"
#include "spreadsheet/file_moves.h"
#include "spreadsheet/utf8_path.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/test_files.h"
#include "workspace/workbook_error_text.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;
using testing::writeFile;

// Holds a file open with the given sharing, as another program would.
class HeldOpen {
public:
    HeldOpen(const fs::path& file, DWORD share)
        : handle_(CreateFileW(file.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
        EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << "cannot hold " << utf8String(file) << " open";
    }
    ~HeldOpen() { CloseHandle(handle_); }
    HeldOpen(const HeldOpen&) = delete;
    HeldOpen& operator=(const HeldOpen&) = delete;

private:
    HANDLE handle_;
};

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::temp_directory_path() / utf8Path("sbx-windows-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

int filesIn(const fs::path& folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder)) ++count;
    return count;
}

// Excel shares nothing while it has a workbook open for editing; other programs share reading
// and writing but not deletion. Either way the old file must stay as it was.
struct Sharing {
    const char* what;
    DWORD share;
};
constexpr Sharing kSharings[] = {{"no sharing", 0}, {"reading and writing shared", FILE_SHARE_READ | FILE_SHARE_WRITE}};

TEST(WindowsFiles, ASummaryHeldOpenKeepsItsOldContentAndSaysWhy) {
    const fs::path folder = freshFolder("held-summary");
    const fs::path summary = folder / utf8Path("汇总表.xls");
    for (const Sharing& sharing : kSharings) {
        SCOPED_TRACE(sharing.what);
        writeFile(summary, "old summary");
        {
            HeldOpen held(summary, sharing.share);
            try {
                replaceFileAtomically(summary, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("new"), 3));
                ADD_FAILURE() << "the summary was replaced while another program held it open";
            } catch (const WorkbookError& error) {
                EXPECT_EQ(error.kind(), WorkbookErrorKind::Unwritable);
                EXPECT_EQ(error.systemError(), EBUSY);
                EXPECT_NE(std::string(error.what()).find("the file is open in another program; close it and run again"),
                          std::string::npos) << error.what();
                EXPECT_NE(workbookErrorText(error).find("无法保存文件：文件正被其他程序打开，请关闭后再试"), std::string::npos);
            }
        }
        EXPECT_EQ(bytesOf(summary), "old summary");
        EXPECT_EQ(filesIn(folder), 1) << "a temporary file was left beside the summary";
    }
}

TEST(WindowsFiles, MovesAndDeletionsOfAFileHeldOpenSayItIsInUse) {
    const fs::path folder = freshFolder("held-pool-file");
    const fs::path held = folder / utf8Path("北城区.xls");
    const fs::path other = folder / utf8Path("南城区.xls");
    writeFile(held, "held");
    writeFile(other, "other");
    struct Case {
        const char* what;
        std::error_code error;
    };
    std::vector<Case> cases;
    {
        const HeldOpen holding(held, 0);
        cases = {
            {"renamed", moveFileReplacing(held, folder / utf8Path("北城区（旧）.xls"))},
            {"replaced", moveFileReplacing(other, held)},
            {"deleted", deleteFile(held)},
        };
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.error, std::errc::device_or_resource_busy) << c.error.message();
        EXPECT_EQ(systemErrorText(c.error), "文件正被其他程序打开，请关闭后再试");
    }
    EXPECT_EQ(bytesOf(held), "held");
    EXPECT_EQ(bytesOf(other), "other");
}

TEST(WindowsFiles, LongPathsAndChineseNamesAreSavedMovedAndDeleted) {
    const fs::path base = freshFolder("names");
    fs::path deep = base;
    while (deep.native().size() < 300) deep /= utf8Path("很长的文件夹名称-long-folder-name");
    const fs::path folders[] = {base, deep};
    for (const fs::path& folder : folders) {
        SCOPED_TRACE(std::to_string(folder.native().size()) + " characters");
        fs::create_directories(folder);
        const fs::path summary = folder / utf8Path("汇总表（二〇二四年）.xls");
        replaceFileAtomically(summary, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("total"), 5));
        EXPECT_EQ(bytesOf(summary), "total");
        const fs::path moved = folder / utf8Path("東城區舊表.xls");
        EXPECT_FALSE(moveFileReplacing(summary, moved));
        EXPECT_EQ(bytesOf(moved), "total");
        EXPECT_FALSE(deleteFile(moved));
        EXPECT_FALSE(fs::exists(moved));
    }
}

}  // namespace
}  // namespace sbx
