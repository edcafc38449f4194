#include "ui/about_window.h"

#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include "ui/open_windows.h"
#include "ui/qt_dialogs.h"
#include "ui/splash_window.h"

namespace sbx {

namespace {

constexpr int px(int twips) { return twips / 15; }
QRect twips(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

QLabel* addLabel(QWidget* parent, const char* name, const char* text, QRect geometry) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

#ifdef Q_OS_WIN
// A string value under HKEY_LOCAL_MACHINE; empty when the key or the value is missing.
QString machineValue(const char* key, const char* value) {
    const QSettings settings(QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromLatin1(key), QSettings::NativeFormat);
    const QVariant found = settings.value(QString::fromLatin1(value));
    return found.typeId() == QMetaType::QString ? found.toString() : QString();
}
#endif

bool startProgram(const QString& program) { return !program.isEmpty() && QProcess::startDetached(program, {}); }

}  // namespace

bool startSystemInformation() {
#ifdef Q_OS_WIN
    const QString direct = machineValue("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");
    if (!direct.isEmpty()) return startProgram(direct);
    const QString folder = machineValue("SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO");
    if (folder.isEmpty()) return false;
    const QString program = folder + QStringLiteral("\\MSINFO32.EXE");
    return QFileInfo::exists(program) && startProgram(program);
#elif defined(Q_OS_MACOS)
    return QProcess::startDetached(QStringLiteral("open"), {QStringLiteral("-a"), QStringLiteral("System Information")});
#else
    // The desktops' own system information tools, where one is installed.
    for (const char* name : {"kinfocenter", "hardinfo2", "hardinfo"}) {
        const QString program = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!program.isEmpty()) return startProgram(program);
    }
    return false;
#endif
}

AboutWindow::AboutWindow(DialogsPort& dialogs, QWidget* parent, std::function<bool()> startSystemInfo)
    : QWidget(parent, Qt::Window), dialogs_(dialogs), startSystemInfo_(std::move(startSystemInfo)) {
    setObjectName("frmAbout");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8("关于 ") + QString::fromUtf8(kApplicationTitle));
    setFixedSize(px(5730), px(3900));

    auto* icon = new QLabel(this);
    icon->setObjectName("picIcon");
    icon->setGeometry(twips(240, 240, 720, 720));
    icon->setPixmap(drawLogo(px(720)));

    QLabel* title = addLabel(this, "lblTitle", "数簿星 [EXCEL电子表格版]", twips(1050, 240, 4440, 480));
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() + 3);
    titleFont.setBold(true);
    title->setFont(titleFont);
    addLabel(this, "lblVersion", "版本: 测试版", twips(1050, 780, 4440, 300));
    // The release number, as `shubuxing --version` prints it.
    addLabel(this, "lblProgramVersion", SBX_VERSION, twips(2400, 780, 3090, 300));
    addLabel(this, "lblDescription",
             "该程序在WIN98\\WIN XP系统下,OFFICE2000环境下测试通过.由于本人并非专业的程序员,加之水平有限,"
             "很难保证程序在运行过程中不出现任何问题,对于存在的问题,在抱歉的同时,也希望阁下能及时与我取得联系,"
             "因为你的意见和建议是我们共同进步的动力.",
             twips(1050, 1170, 4440, 1500));
    for (int row : {2760, 2790}) {
        auto* line = new QFrame(this);
        line->setObjectName("Line1");
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(row == 2760 ? QFrame::Sunken : QFrame::Plain);
        line->setGeometry(twips(240, row, 5250, 30));
    }
    addLabel(this, "lblDisclaimer", "意见和建议请告知本单位的系统管理员，由其转交作者。", twips(240, 2940, 3600, 700));

    auto* ok = new QPushButton(QString::fromUtf8("确    定"), this);
    ok->setObjectName("cmdOK");
    ok->setToolTip(QString::fromUtf8("确定退出"));
    ok->setGeometry(twips(4020, 2940, 1470, 375));
    ok->setDefault(true);
    auto* sysInfo = new QPushButton(QString::fromUtf8("系统信息"), this);
    sysInfo->setObjectName("cmdSysInfo");
    sysInfo->setToolTip(QString::fromUtf8("本机系统信息"));
    sysInfo->setGeometry(twips(4020, 3390, 1470, 375));

    connect(ok, &QPushButton::clicked, this, &QWidget::close);
    connect(sysInfo, &QPushButton::clicked, this, &AboutWindow::showSystemInfo);
}

void AboutWindow::showSystemInfo() {
    if (!startSystemInfo_ || !startSystemInfo_()) dialogs_.message(kSystemInfoUnavailable);
}

AboutWindow* openAboutWindow(QWidget* owner, DialogsPort& dialogs) {
    return showCompanionWindowOnce<AboutWindow>(owner, [&] { return new AboutWindow(dialogs, nullptr); });
}

}  // namespace sbx
