// What the user reads when a workbook cannot be used: the kind of fault in Chinese, the file,
// and the engine's technical reason after it.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

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
        EXPECT_NE(text.find("：\r" + utf8String(c.file) + "\r（"), std::string::npos) << text;
        EXPECT_TRUE(text.ends_with("）")) << text;
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

TEST(WorkbookErrorText, AFullDiskIsNamedBeforeTheTechnicalReason) {
    const WorkbookError full(WorkbookErrorKind::Unwritable, utf8Path("/汇总/total.xls"),
                             "the new file cannot be written: No space left on device", ENOSPC);
    EXPECT_EQ(workbookErrorText(full),
              "无法保存文件：磁盘空间已满：\r/汇总/total.xls\r（the new file cannot be written: No space left on device）");
    const WorkbookError noFile(WorkbookErrorKind::SheetNotFound, {}, "no worksheet is named \"收入\"");
    EXPECT_EQ(workbookErrorText(noFile), "工作簿中没有这个工作表\r（no worksheet is named \"收入\"）");
    EXPECT_EQ(errorTextForUser(std::runtime_error("plain")), "plain");
}

}  // namespace
}  // namespace sbx
