#include "ui/main_window_controls.h"

#include <QAction>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "ui/splash_window.h"

namespace sbx {

namespace {

// The object names of the main window's controls, as the tests and the window's texts know
// them. The rest of the program speaks of what the controls are; this table is the one place
// that ties those to these names.
struct LineNames {
    const char* caption;
    const char* field;
};
struct ProgressNames {
    const char* caption;
    const char* bar;
    const char* percent;
};
namespace names {
constexpr const char* kTitle = "Label1";
constexpr const char* kPoolFrame = "Frame1";
constexpr const char* kPoolList = "List1";
constexpr const char* kPoolCountBefore = "Label3";
constexpr const char* kPoolCount = "Label4";
constexpr const char* kPoolCountAfter = "Label5";
constexpr const char* kSelectedCountBefore = "Label12";
constexpr const char* kSelectedCount = "Label13";
constexpr const char* kSelectedCountAfter = "Label14";
constexpr const char* kRunFrame = "Frame2";
constexpr const char* kRunList = "List2";
constexpr const char* kRunCountBefore = "Label8";
constexpr const char* kRunCount = "Label10";
constexpr const char* kRunCountAfter = "Label9";
constexpr const char* kExitButton = "Command1";
constexpr const char* kJobSetupButton = "Command2";
constexpr const char* kStartButton = "Command3";
constexpr const char* kAddFilesButton = "Command4";
constexpr const char* kExportButton = "Command5";
constexpr const char* kFunctionBar = "Command6";
constexpr const char* kProgressButton = "Command7";
constexpr const char* kResultButton = "Command8";
constexpr const char* kPanelEdges[] = {"Line1", "Line2", "Line3", "Line4"};
constexpr const char* kLogo = "Image1";
constexpr const char* kHintCaption = "Text12";
constexpr const char* kHintBox = "Text11";
constexpr const char* kHintTimer = "Timer1";
constexpr LineNames kReadWorksheet{"Label11", "Text2"};
constexpr LineNames kReadFile{"Label2", "Text3"};
constexpr LineNames kReadCell{"Label6", "Text1"};
constexpr LineNames kWrittenCell{"Label7", "Text4"};
constexpr ProgressNames kWorksheetRead{"Label15", "Text5", "Label16"};
constexpr ProgressNames kFileRead{"Label17", "Text7", "Label18"};
constexpr ProgressNames kWrite{"Label19", "Text10", "Label20"};
constexpr LineNames kConsolidatedWorksheet{"Label21", "Text8"};
constexpr LineNames kConsolidatedFile{"Label22", "Text9"};
constexpr const char* kProcessCaption = "Label23";
constexpr const char* kConsolidationBar = "Text6";
}  // namespace names

constexpr int px(int twips) { return twips / 15; }

QRect rect(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename Widget>
Widget* named(Widget* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, QRect geometry,
              Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
    auto* widget = named(new QLabel(text(caption), parent), name, geometry);
    widget->setAlignment(align);
    return widget;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* tooltip, QRect geometry) {
    auto* widget = named(new QPushButton(text(caption), parent), name, geometry);
    if (*tooltip) widget->setToolTip(text(tooltip));
    return widget;
}

QLineEdit* field(QWidget* parent, const char* name, QRect geometry) {
    auto* widget = named(new QLineEdit(parent), name, geometry);
    widget->setReadOnly(true);
    widget->setFocusPolicy(Qt::NoFocus);
    return widget;
}

QLineEdit* greyBox(QWidget* parent, const char* name, const char* content, QRect geometry) {
    auto* widget = field(parent, name, geometry);
    widget->setText(text(content));
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Base, QColor(0xd4, 0xd0, 0xc8));
    widget->setPalette(palette);
    return widget;
}

QFrame* line(QWidget* parent, const char* name, QRect geometry, bool horizontal) {
    auto* widget = named(new QFrame(parent), name, geometry);
    widget->setFrameShape(horizontal ? QFrame::HLine : QFrame::VLine);
    widget->setFrameShadow(QFrame::Sunken);
    return widget;
}

// The status panel lies in the rectangle of Line1..Line4; the function mode's rows and the
// efficiency mode's rows share its space, as only one set shows at a time.
constexpr int kPanelLeft = 3600, kPanelTop = 1600, kPanelWidth = 3300, kPanelHeight = 4350;
constexpr int kCaptionLeft = 3720, kCaptionWidth = 1200, kFieldLeft = 4950, kFieldWidth = 1830;
// A bar's caption says what it measures in four characters; the bar keeps room for its 20 "|".
constexpr int kBarLeft = 4680, kBarWidth = 1590, kPercentLeft = 6300, kPercentWidth = 510;
constexpr int rowTop(int row) { return kPanelTop + 150 + 420 * row; }
constexpr int kRowHeight = 330;

StatusLine statusLine(QWidget* window, const char* captionName, const char* caption, const char* fieldName, int row) {
    return {label(window, captionName, caption, rect(kCaptionLeft, rowTop(row), kCaptionWidth, kRowHeight)),
            field(window, fieldName, rect(kFieldLeft, rowTop(row), kFieldWidth, kRowHeight))};
}

QLineEdit* barField(QWidget* window, const char* name, int row) {
    return field(window, name, rect(kBarLeft, rowTop(row), kBarWidth, kRowHeight));
}

ProgressLine progressLine(QWidget* window, const ProgressNames& names, const char* caption, const char* tooltip, int row) {
    auto* captionLabel = label(window, names.caption, caption, rect(kCaptionLeft, rowTop(row), kBarLeft - kCaptionLeft, kRowHeight));
    captionLabel->setToolTip(text(tooltip));
    QLineEdit* bar = barField(window, names.bar, row);
    bar->setToolTip(text(tooltip));
    return {captionLabel, bar,
            label(window, names.percent, "0%", rect(kPercentLeft, rowTop(row), kPercentWidth, kRowHeight),
                  Qt::AlignRight | Qt::AlignVCenter)};
}

StatusPanel buildStatusPanel(QWidget* window) {
    StatusPanel p;
    p.readWorksheet = statusLine(window, names::kReadWorksheet.caption, "当前工作表", names::kReadWorksheet.field, 0);
    p.readFile = statusLine(window, names::kReadFile.caption, "当前文件", names::kReadFile.field, 1);
    p.readCell = statusLine(window, names::kReadCell.caption, "读取单元格", names::kReadCell.field, 2);
    p.writtenCell = statusLine(window, names::kWrittenCell.caption, "写入单元格", names::kWrittenCell.field, 3);
    p.worksheetRead = progressLine(window, names::kWorksheetRead, bar_text::kWorksheetRead, bar_text::kWorksheetReadTip, 4);
    p.fileRead = progressLine(window, names::kFileRead, bar_text::kFileRead, bar_text::kFileReadTip, 5);
    // In efficiency mode the last caption names that mode's bar (QtStatusView sets it).
    p.write = progressLine(window, names::kWrite, bar_text::kWrite, bar_text::kWriteTip, 6);
    p.consolidatedWorksheet =
        statusLine(window, names::kConsolidatedWorksheet.caption, "当前工作表", names::kConsolidatedWorksheet.field, 0);
    p.consolidatedFile = statusLine(window, names::kConsolidatedFile.caption, "提取文件", names::kConsolidatedFile.field, 1);
    p.processCaption = label(window, names::kProcessCaption, "系统进程", rect(kCaptionLeft, rowTop(5), kCaptionWidth, kRowHeight));
    p.consolidationBar = barField(window, names::kConsolidationBar, 6);
    p.consolidationBar->setToolTip(text(bar_text::kConsolidationTip));
    return p;
}

void buildMenus(QWidget* window, MainWindowControls& controls) {
    controls.poolMenu = new QMenu(text("操作"), window);
    controls.poolMenu->setObjectName("op");
    controls.poolMenu->addSeparator();
    // The keys of mainstream software: F2 renames and Delete deletes the pool entry selected
    // in the pool list (each asks first, as the menu does). They work wherever the focus is
    // in the window: a mouse selection hands the focus on to 开始汇表.
    struct Entry {
        const char* name;
        const char* caption;
        QKeySequence key;
    };
    for (const Entry& entry : {Entry{"OPN", "打开文件", {}}, Entry{"SEE", "查看属性", {}},
                               Entry{"RENAME", "改文件名", QKeySequence(Qt::Key_F2)},
                               Entry{"del", "删除文件", QKeySequence(Qt::Key_Delete)}}) {
        QAction* action = controls.poolMenu->addAction(text(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        if (entry.key.isEmpty()) continue;
        action->setShortcut(entry.key);
        window->addAction(action);
    }
    controls.poolMenu->addSeparator();
    controls.poolMenu->addAction(text("设为汇总模板"))->setObjectName("TEMPLATE");

    controls.helpMenu = new QMenu(text("帮助"), window);
    controls.helpMenu->setObjectName("hlp");
    controls.help = controls.helpMenu->addAction(text("上手指南"));
    controls.help->setObjectName("help");
    controls.about = controls.helpMenu->addAction(text("关    于"));
    controls.about->setObjectName("about");

    // F1 opens the guide, wherever the focus is in the window.
    controls.help->setShortcut(QKeySequence(Qt::Key_F1));
    window->addAction(controls.help);
}

}  // namespace

std::vector<QWidget*> StatusPanel::functionMode() const {
    return {readWorksheet.caption, readWorksheet.field, readFile.caption, readFile.field,
            readCell.caption,      readCell.field,      writtenCell.caption, writtenCell.field,
            worksheetRead.caption, worksheetRead.bar,   worksheetRead.percent,
            fileRead.caption,      fileRead.bar,        fileRead.percent,
            write.caption,         write.bar,           write.percent};
}

std::vector<QWidget*> StatusPanel::efficiencyMode() const {
    return {consolidatedWorksheet.caption, consolidatedWorksheet.field, consolidatedFile.caption,
            consolidatedFile.field, processCaption, write.caption, consolidationBar, write.percent};
}

std::vector<QWidget*> StatusPanel::all() const {
    std::vector<QWidget*> widgets = functionMode();
    for (QWidget* widget : efficiencyMode()) {
        if (widget != write.caption && widget != write.percent) widgets.push_back(widget);
    }
    return widgets;
}

MainWindowControls buildMainWindowControls(QWidget* window) {
    MainWindowControls c;
    // The designed size is the smallest; a larger window stretches the controls with it.
    window->resize(px(10500), px(7500));
    window->setMinimumSize(window->size());

    c.title = label(window, names::kTitle, "数簿星系统（EXCEL表格版）", rect(300, 150, 9900, 600), Qt::AlignCenter);
    QFont titleFont = c.title->font();
    titleFont.setPointSize(18);
    titleFont.setBold(true);
    c.title->setFont(titleFont);

    c.jobSetupButton = button(window, names::kJobSetupButton, "环 境 设 定", "设定汇总信息数据", rect(900, 900, 2400, 480));
    c.startButton = button(window, names::kStartButton, "开 始 汇 表", "汇总开始", rect(7200, 900, 2400, 480));

    c.poolFrame = named(new QGroupBox(window), names::kPoolFrame, rect(150, 1530, 3300, 4500));
    c.poolList = named(new QListWidget(c.poolFrame), names::kPoolList, rect(120, 150, 3060, 3780));
    c.poolList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    c.poolList->setToolTip(text("待汇文件列表"));
    label(c.poolFrame, names::kPoolCountBefore, "文件", rect(180, 4020, 420, 330));
    c.poolCount = label(c.poolFrame, names::kPoolCount, " 0", rect(600, 4020, 600, 330), Qt::AlignCenter);
    label(c.poolFrame, names::kPoolCountAfter, "个", rect(1200, 4020, 300, 330));
    label(c.poolFrame, names::kSelectedCountBefore, "已选", rect(1800, 4020, 420, 330));
    c.selectedCount = label(c.poolFrame, names::kSelectedCount, "", rect(2220, 4020, 600, 330), Qt::AlignCenter);
    label(c.poolFrame, names::kSelectedCountAfter, "个", rect(2820, 4020, 300, 330));

    c.runFrame = named(new QGroupBox(window), names::kRunFrame, rect(7050, 1530, 3300, 4500));
    c.runList = named(new QListWidget(c.runFrame), names::kRunList, rect(120, 150, 3060, 3780));
    label(c.runFrame, names::kRunCountBefore, "表格文件", rect(180, 4020, 840, 330));
    c.runCount = label(c.runFrame, names::kRunCount, " 0", rect(1020, 4020, 600, 330), Qt::AlignCenter);
    label(c.runFrame, names::kRunCountAfter, "个", rect(1620, 4020, 300, 330));

    line(window, names::kPanelEdges[0], rect(kPanelLeft, kPanelTop, kPanelWidth, 30), true);
    line(window, names::kPanelEdges[1], rect(kPanelLeft + kPanelWidth - 30, kPanelTop, 30, kPanelHeight), false);
    line(window, names::kPanelEdges[2], rect(kPanelLeft, kPanelTop + kPanelHeight - 30, kPanelWidth, 30), true);
    line(window, names::kPanelEdges[3], rect(kPanelLeft, kPanelTop, 30, kPanelHeight), false);

    c.logo = named(new QLabel(window), names::kLogo, rect(4350, 2500, 1800, 1800));
    c.logo->setPixmap(drawLogo(px(1800)));
    c.logo->setAlignment(Qt::AlignCenter);  // in the middle of the panel when the window grows

    c.status = buildStatusPanel(window);
    c.progressButton = button(window, names::kProgressButton, "", "系统进度提示", rect(kCaptionLeft, rowTop(7) + 60, 3060, 420));
    c.functionBar = button(window, names::kFunctionBar, "", "", rect(kCaptionLeft, rowTop(8) + 150, 3060, 150));

    // The run's own controls: the time line above the panel, the cancel button at its foot.
    c.runTime = label(window, "RunTime", "", rect(kPanelLeft - 150, 840, kPanelWidth + 300, 660), Qt::AlignCenter);
    c.runTime->hide();
    c.cancelRun = button(window, "CancelRun", "取消汇表", "停止汇表,汇总文件保持汇表前的样子 (Esc)",
                         rect(kPanelLeft + (kPanelWidth - 1500) / 2, rowTop(8) + 360, 1500, 420));
    c.cancelRun->hide();
    // Above and under the logo, where no run shows its panel (they go with the logo): the
    // file the summary is made from, and a failed run's incomplete summary.
    c.templateLabel = label(window, "TemplateLabel", "", rect(kPanelLeft + 90, 1700, kPanelWidth - 180, 700), Qt::AlignCenter);
    c.templateLabel->setWordWrap(true);
    c.summaryNote = label(window, "SummaryNote", "", rect(kPanelLeft + 90, 4350, kPanelWidth - 180, 1500), Qt::AlignCenter);
    c.summaryNote->setWordWrap(true);
    c.summaryNote->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));
    c.summaryNote->hide();
    c.rosterButton = button(window, "RosterButton", "生成应报名单", "", rect(kPanelLeft, 870, 2100, 330));
    c.unitCellButton = button(window, "UnitCellButton", "单位单元格", "", rect(kPanelLeft + 2175, 870, 1125, 330));
    c.rosterDetail = label(window, "RosterDetail", "", rect(kPanelLeft - 150, 1230, kPanelWidth + 300, 300), Qt::AlignCenter);
    c.rosterDetail->setStyleSheet(QStringLiteral("QLabel { color: #b00000; }"));

    c.addFilesButton = button(window, names::kAddFilesButton, "添加文件", "添加需要汇总合并的表格文件", rect(600, 6180, 1800, 480));
    c.exportButton = button(window, names::kExportButton, "导出文件", "", rect(4350, 6180, 1800, 480));
    // Between 添加文件 and 导出文件, once a run has finished.
    c.resultButton = button(window, names::kResultButton, "查看结果", "查看汇总表格，本次汇入的单元格以绿色标出",
                            rect(2550, 6180, 1650, 480));
    c.resultButton->hide();
    c.exitButton = button(window, names::kExitButton, "退出系统", "", rect(8100, 6180, 1800, 480));

    greyBox(window, names::kHintCaption, "操作提示", rect(150, 6900, 1200, 420))->setAlignment(Qt::AlignCenter);
    c.hintBox = greyBox(window, names::kHintBox, "欢迎使用数簿星", rect(1350, 6900, 9000, 420));
    c.hintBox->setToolTip(text("操作提示栏"));

    c.hintTimer = new QTimer(window);
    c.hintTimer->setObjectName(QString::fromLatin1(names::kHintTimer));
    c.hintTimer->setInterval(101);

    buildMenus(window, c);
    return c;
}

}  // namespace sbx
