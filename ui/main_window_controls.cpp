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
constexpr int kBarLeft = 4380, kBarWidth = 1800, kPercentLeft = 6210, kPercentWidth = 600;
constexpr int rowTop(int row) { return kPanelTop + 150 + 420 * row; }
constexpr int kRowHeight = 330;

void buildStatusPanel(QWidget* window, MainWindowControls& controls) {
    controls.statusFields.assign(11, nullptr);
    controls.statusLabels.assign(24, nullptr);
    // Label2 .. Label23: the number follows the name's prefix.
    auto panelLabel = [&](QLabel* made) {
        controls.statusLabels[static_cast<std::size_t>(made->objectName().mid(5).toInt())] = made;
        controls.statusPanel.push_back(made);
    };
    auto captionRow = [&](const char* labelName, const char* caption, int textNumber, const char* fieldName, int row) {
        panelLabel(label(window, labelName, caption, rect(kCaptionLeft, rowTop(row), kCaptionWidth, kRowHeight)));
        auto* box = field(window, fieldName, rect(kFieldLeft, rowTop(row), kFieldWidth, kRowHeight));
        controls.statusFields[static_cast<std::size_t>(textNumber)] = box;
        controls.statusPanel.push_back(box);
    };
    auto barRow = [&](const char* doneName, const char* percentName, int textNumber, const char* fieldName, int row) {
        if (doneName) {
            panelLabel(label(window, doneName, "已完成", rect(kCaptionLeft, rowTop(row), kBarLeft - kCaptionLeft, kRowHeight)));
        }
        auto* bar = field(window, fieldName, rect(kBarLeft, rowTop(row), kBarWidth, kRowHeight));
        controls.statusFields[static_cast<std::size_t>(textNumber)] = bar;
        controls.statusPanel.push_back(bar);
        if (percentName) {
            panelLabel(label(window, percentName, "0%", rect(kPercentLeft, rowTop(row), kPercentWidth, kRowHeight),
                             Qt::AlignRight | Qt::AlignVCenter));
        }
    };
    // Function mode.
    captionRow("Label11", "当前工作表", 2, "Text2", 0);
    captionRow("Label2", "当前文件", 3, "Text3", 1);
    captionRow("Label6", "读取单元格", 1, "Text1", 2);
    captionRow("Label7", "写入单元格", 4, "Text4", 3);
    barRow("Label15", "Label16", 5, "Text5", 4);
    barRow("Label17", "Label18", 7, "Text7", 5);
    barRow("Label19", "Label20", 10, "Text10", 6);
    // Efficiency mode: its bar Text6 shares the last row with Label19 and Label20.
    captionRow("Label21", "当前工作表", 8, "Text8", 0);
    captionRow("Label22", "提取文件", 9, "Text9", 1);
    panelLabel(label(window, "Label23", "系统进程", rect(kCaptionLeft, rowTop(5), kCaptionWidth, kRowHeight)));
    barRow(nullptr, nullptr, 6, "Text6", 6);
}

void buildMenus(QWidget* window, MainWindowControls& controls) {
    controls.op = new QMenu(text("操作"), window);
    controls.op->setObjectName("op");
    controls.op->addSeparator();
    // The keys of mainstream software: F2 renames and Delete deletes the pool entry selected
    // in List1 (each asks first, as the menu does). They work wherever the focus is in the
    // window: a mouse selection hands the focus on to Command3.
    struct Entry {
        const char* name;
        const char* caption;
        QKeySequence key;
    };
    for (const Entry& entry : {Entry{"OPN", "打开文件", {}}, Entry{"SEE", "查看属性", {}},
                               Entry{"RENAME", "改文件名", QKeySequence(Qt::Key_F2)},
                               Entry{"del", "删除文件", QKeySequence(Qt::Key_Delete)}}) {
        QAction* action = controls.op->addAction(text(entry.caption));
        action->setObjectName(QString::fromLatin1(entry.name));
        if (entry.key.isEmpty()) continue;
        action->setShortcut(entry.key);
        window->addAction(action);
    }
    controls.op->addSeparator();
    controls.op->addAction(text("设为汇总模板"))->setObjectName("TEMPLATE");

    controls.hlp = new QMenu(text("帮助"), window);
    controls.hlp->setObjectName("hlp");
    controls.help = controls.hlp->addAction(text("上手指南"));
    controls.help->setObjectName("help");
    controls.about = controls.hlp->addAction(text("关    于"));
    controls.about->setObjectName("about");

    // F1 opens the guide, wherever the focus is in the window.
    controls.help->setShortcut(QKeySequence(Qt::Key_F1));
    window->addAction(controls.help);
}

}  // namespace

MainWindowControls buildMainWindowControls(QWidget* window) {
    MainWindowControls c;
    // The designed size is the smallest; a larger window stretches the controls with it.
    window->resize(px(10500), px(7500));
    window->setMinimumSize(window->size());

    c.label1 = label(window, "Label1", "数簿星系统（EXCEL表格版）", rect(300, 150, 9900, 600), Qt::AlignCenter);
    QFont titleFont = c.label1->font();
    titleFont.setPointSize(18);
    titleFont.setBold(true);
    c.label1->setFont(titleFont);

    c.command2 = button(window, "Command2", "环 境 设 定", "设定汇总信息数据", rect(900, 900, 2400, 480));
    c.command3 = button(window, "Command3", "开 始 汇 表", "汇总开始", rect(7200, 900, 2400, 480));

    c.frame1 = named(new QGroupBox(window), "Frame1", rect(150, 1530, 3300, 4500));
    c.list1 = named(new QListWidget(c.frame1), "List1", rect(120, 150, 3060, 3780));
    c.list1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    c.list1->setToolTip(text("待汇文件列表"));
    label(c.frame1, "Label3", "文件", rect(180, 4020, 420, 330));
    c.label4 = label(c.frame1, "Label4", " 0", rect(600, 4020, 600, 330), Qt::AlignCenter);
    label(c.frame1, "Label5", "个", rect(1200, 4020, 300, 330));
    label(c.frame1, "Label12", "已选", rect(1800, 4020, 420, 330));
    c.label13 = label(c.frame1, "Label13", "", rect(2220, 4020, 600, 330), Qt::AlignCenter);
    label(c.frame1, "Label14", "个", rect(2820, 4020, 300, 330));

    c.frame2 = named(new QGroupBox(window), "Frame2", rect(7050, 1530, 3300, 4500));
    c.list2 = named(new QListWidget(c.frame2), "List2", rect(120, 150, 3060, 3780));
    label(c.frame2, "Label8", "表格文件", rect(180, 4020, 840, 330));
    c.label10 = label(c.frame2, "Label10", " 0", rect(1020, 4020, 600, 330), Qt::AlignCenter);
    label(c.frame2, "Label9", "个", rect(1620, 4020, 300, 330));

    line(window, "Line1", rect(kPanelLeft, kPanelTop, kPanelWidth, 30), true);
    line(window, "Line2", rect(kPanelLeft + kPanelWidth - 30, kPanelTop, 30, kPanelHeight), false);
    line(window, "Line3", rect(kPanelLeft, kPanelTop + kPanelHeight - 30, kPanelWidth, 30), true);
    line(window, "Line4", rect(kPanelLeft, kPanelTop, 30, kPanelHeight), false);

    c.image1 = named(new QLabel(window), "Image1", rect(4350, 2500, 1800, 1800));
    c.image1->setPixmap(drawLogo(px(1800)));

    buildStatusPanel(window, c);
    c.command7 = button(window, "Command7", "", "系统进度提示", rect(kCaptionLeft, rowTop(7) + 60, 3060, 420));
    c.command6 = button(window, "Command6", "", "", rect(kCaptionLeft, rowTop(8) + 150, 3060, 150));

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

    c.command4 = button(window, "Command4", "添加文件", "添加需要汇总合并的表格文件", rect(600, 6180, 1800, 480));
    c.command5 = button(window, "Command5", "导出文件", "", rect(4350, 6180, 1800, 480));
    // Between 添加文件 and 导出文件, once a run has finished.
    c.command8 = button(window, "Command8", "查看结果", "查看汇总表格，本次汇入的单元格以绿色标出",
                        rect(2550, 6180, 1650, 480));
    c.command8->hide();
    c.command1 = button(window, "Command1", "退出系统", "", rect(8100, 6180, 1800, 480));

    greyBox(window, "Text12", "操作提示", rect(150, 6900, 1200, 420))->setAlignment(Qt::AlignCenter);
    c.text11 = greyBox(window, "Text11", "欢迎使用数簿星", rect(1350, 6900, 9000, 420));
    c.text11->setToolTip(text("操作提示栏"));

    c.timer1 = new QTimer(window);
    c.timer1->setObjectName("Timer1");
    c.timer1->setInterval(101);

    buildMenus(window, c);
    return c;
}

}  // namespace sbx
