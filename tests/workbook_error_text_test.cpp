// What the user reads when a workbook or a file cannot be used: the kind of fault and the
// system's refusal in Chinese, and the file; the engine's English reason is not shown.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <regex>

#include "spreadsheet/native_host.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/test_files.h"
#include "workspace/workbook_error_text.h"
#include "tests/support/shared_fixtures.h"

namespace sbx {
namespace {

namespace fs = std::filesystem;
const fs::path kShared = SBX_SHARED_FIXTURES;

std::string textOfOpening(const fs::path& file) {
    try {
        makeNativeHost()->open(file);
    } catch (const std::exception& e) {
        return errorTextForUser(e);
    }
    return "opened";
}

TEST(WorkbookErrorText, RealFilesThatCannotBeReadSayWhyInPlainWords) {
    SBX_SKIP_WITHOUT_SHARED_FIXTURES();
    struct Case {
        fs::path file;
        std::string says;
    };
    testing::TempFolder temp{"errortext"};
    const fs::path cut = temp.path() / "截断.xls";
    {
        const std::string whole = testing::bytesOf(kShared / "excel2000_zh_balance_sheet.xls");
        std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 3);
    }
    const std::vector<Case> cases = {
        {kShared / "encrypted_rc4_password_password.xls", "工作簿设有打开密码"},
        {kShared / "fake_html_from_excel2013.xls", "这是其他格式的文件"},
        {cut, "文件不完整"},
        {temp.path() / "没有.xls", "找不到文件"},
        {temp.path(), "这不是文件（是文件夹、管道或设备）"},
    };
    for (const auto& c : cases) {
        const std::string text = textOfOpening(c.file);
        EXPECT_EQ(text.rfind(c.says, 0), 0u) << text;
        ASSERT_TRUE(text.ends_with("：\r" + utf8String(c.file))) << text;
        const std::string why = text.substr(0, text.size() - utf8String(c.file).size());
        EXPECT_FALSE(std::regex_search(why, std::regex("[A-Za-z]+ [a-z]+"))) << text;  // no English reason
    }
}

// A pool file of any format that holds something else is named as no Excel workbook of any
// of the formats the pool takes, not as "no .xls workbook".
TEST(WorkbookErrorText, AFileThatIsNoWorkbookIsNamedSoWhateverItsExtension) {
    testing::TempFolder temp{"errortext-format"};
    for (const char* name : {"报表.xlsx", "报表.xls", "报表.xlsm"}) {
        std::ofstream(temp.path() / utf8Path(name), std::ios::binary) << "项目\t金额\n收入\t12\n";
        const std::string text = textOfOpening(temp.path() / utf8Path(name));
        EXPECT_EQ(text.rfind("这是其他格式的文件，不是 Excel 工作簿（.xls、.xlsx 或 .xlsm）：\r", 0), 0u) << text;
    }
}

TEST(WorkbookErrorText, TheSystemsRefusalIsSaidInWordsOrByItsCode) {
    const WorkbookError full(WorkbookErrorKind::Unwritable, utf8Path("/汇总/total.xls"),
                             "the new file cannot be written: No space left on device", ENOSPC);
    EXPECT_EQ(workbookErrorText(full), "无法保存文件：磁盘空间已满：\r/汇总/total.xls");
    const WorkbookError busy(WorkbookErrorKind::Unwritable, {}, "the file is open in another program", EBUSY);
    EXPECT_EQ(workbookErrorText(busy), "无法保存文件：" + systemErrorText(std::make_error_code(std::errc::device_or_resource_busy)));
    const WorkbookError odd(WorkbookErrorKind::Unreadable, {}, "read: Text file busy", ETXTBSY);
    EXPECT_EQ(workbookErrorText(odd), "无法读取文件（系统错误代码 " + std::to_string(ETXTBSY) + "）");
    const WorkbookError noFile(WorkbookErrorKind::SheetNotFound, {}, "no worksheet is named \"收入\"");
    EXPECT_EQ(workbookErrorText(noFile), "工作簿中没有这个工作表");
    EXPECT_EQ(errorTextForUser(std::runtime_error("plain")), "plain");

    const std::pair<std::errc, const char*> refusals[] = {
        {std::errc::no_such_file_or_directory, "文件或文件夹不存在"},
        {std::errc::permission_denied, "文件为只读，或没有写入该文件夹的权限"},
        {std::errc::no_space_on_device, "磁盘空间已满"},
        {std::errc::filename_too_long, "文件名过长"},
        {std::errc::cross_device_link, "不能在两个磁盘之间直接移动"},
        {std::errc::device_or_resource_busy, "文件正被其他程序打开，请关闭后再试"},
    };
    for (const auto& [code, words] : refusals) EXPECT_EQ(systemErrorText(std::make_error_code(code)), words);
    EXPECT_EQ(systemErrorText(std::make_error_code(std::errc::text_file_busy)),
              "系统错误代码 " + std::to_string(ETXTBSY));
}

}  // namespace
}  // namespace sbx
