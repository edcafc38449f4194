#pragma once
// help_u: the operating guide, opened from the main window's pop-up menu hlp. The guide is
// one text whose runs of blanks start each numbered paragraph on a new line of its
// fixed-width label.
#include <QWidget>

#include "workspace/workspace_paths.h"

class QLabel;

namespace sbx {

// The guide text as the label shows it for the default working folder.
inline constexpr const char* kGuideText =
    "               "
    "系统操作指南：                                                                     "
    "一、本程序主要用于同类表格文件的汇总。主要原理是通过对各个同类文件进行统计，累计读入一个数组，并通过数组来更新自动生成的汇总合并后表格文件。                                             "
    "二、该程序运行时自动在C盘根目录下建立一个文件夹，用以保存待合并汇总的EXCELL文件[必须要保证文件格式相同]。当文件夹内有文件时，文件名会在程序主介面左边的列表框中显示，当在列表框中有且只有一个文件被选中时，点击鼠标右键，弹出式菜单生效，可以进行对文件的相关操作。               "
    "三、表格文件齐全后，点击[环境信息设定]按钮，输入需要合并汇总的工作表数目，系统会根据这个变量自动生成一组表格，前面为表格文件的工作表名称，后面为合并汇总的单元格区域（格式为：a3），输入完成后确定提交，根据提示选定表格文件，此时[开始汇表]按钮生效，点击进行汇总合并。             "
    "四、在程序介面空白处，点击鼠标右键，弹出本窗口。                                             "
    "五、详细情况请参阅《数簿星操作指南》。";

// Width of the guide label in blanks of its fixed-width font: each blank run then reaches
// past the end of the line that its paragraph ends on.
inline constexpr int kGuideLineBlanks = 90;

// The guide as the window shows it: naming the working folder of `paths`. A paragraph whose
// length changed that way gets a whole line of blanks more, so the next still starts a line.
QString guideText(const WorkspacePaths& paths);

class HelpWindow final : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(const WorkspacePaths& paths, QWidget* parent = nullptr);
    QLabel& guideLabel() const { return *guideLabel_; }

private:
    QLabel* guideLabel_;
};

// The menu item help: shows the help window (the open one, if there is one) beside `owner`.
HelpWindow* openHelpWindow(QWidget* owner, const WorkspacePaths& paths);

}  // namespace sbx
