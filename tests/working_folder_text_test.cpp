// Texts written for the working folder C:\KX\ name the folder really in use elsewhere, and
// stay as written for the default one.
#include <gtest/gtest.h>

#include <string>

#include "workspace/startup.h"
#include "workspace/working_folder_text.h"

namespace {

using sbx::WorkspacePaths;

TEST(WorkingFolderText, TextsNameTheFolderInUse) {
#ifdef _WIN32
    const WorkspacePaths paths(std::filesystem::path(L"D:\\报表 2026"));
    const std::string pool = "D:\\报表 2026\\", summary = "D:\\报表 2026\\hz\\";
#else
    const WorkspacePaths paths(sbx::utf8Path("/srv/报表 2026"));
    const std::string pool = "/srv/报表 2026/", summary = "/srv/报表 2026/hz/";
#endif
    const std::pair<std::string, std::string> cases[] = {
        {sbx::startup_text::kWorkOnPool, "系统探测到在" + pool + "目录下有EXCELL文件,是否对其进行合并汇总？"},
        {"清理移除是指将文件转移至在目录C:\\KX\\下新建的一个文件夹中",
         "清理移除是指将文件转移至在目录" + pool + "下新建的一个文件夹中"},
        {"汇总保存在默认目录C:\\KX\\HZ\\下", "汇总保存在默认目录" + summary + "下"},
        {"自动在C盘根目录下建立一个文件夹，用以保存", "自动建立文件夹" + pool + "，用以保存"},
        {"C:\\KX\\ 与 C:\\KX\\", pool + " 与 " + pool},
        {"没有目录的文字", "没有目录的文字"},
    };
    EXPECT_FALSE(sbx::isDefaultWorkingFolder(paths));
    for (const auto& [text, expected] : cases) EXPECT_EQ(sbx::namingWorkingFolder(text, paths), expected) << text;
    EXPECT_EQ(sbx::startup_text::workOnPoolQuestion(paths), cases[0].second);
}

#ifdef _WIN32
TEST(WorkingFolderText, TheDefaultFolderKeepsTheTextsAsWritten) {
    for (const char* folder : {"c:\\kx", "C:\\KX\\"}) {
        const WorkspacePaths paths{std::filesystem::path(folder)};
        EXPECT_TRUE(sbx::isDefaultWorkingFolder(paths));
        EXPECT_EQ(sbx::startup_text::workOnPoolQuestion(paths), sbx::startup_text::kWorkOnPool);
    }
}
#endif

}  // namespace
