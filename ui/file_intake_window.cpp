#include "ui/file_intake_window.h"

#include <optional>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/open_windows.h"
#include "workspace/intake.h"
#include "workspace/natural_order.h"
#include "workspace/pool.h"
#include "workspace/summary_template.h"

namespace sbx {

namespace {

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }
std::filesystem::path toPath(const QString& text) { return utf8Path(utf8(text)); }

QString shownPath(const QString& path) { return QDir::toNativeSeparators(path); }

// Whether `folder` lies on `root` (a drive or root, or the home folder).
bool isUnder(const QString& folder, const QString& root) {
#ifdef Q_OS_WIN
    constexpr Qt::CaseSensitivity cs = Qt::CaseInsensitive;
#else
    constexpr Qt::CaseSensitivity cs = Qt::CaseSensitive;
#endif
    const QString prefix = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
    return folder.compare(root, cs) == 0 || folder.startsWith(prefix, cs);
}

// Whether the lists can show `folder`: it exists and its entries can be read.
bool canEnter(const QString& folder) {
    const QFileInfo info(folder);
    return info.isDir() && info.isReadable() && info.isExecutable();
}

}  // namespace

QStringList FileIntakeWindow::systemDriveRoots() {
    QStringList roots;
    for (const QFileInfo& drive : QDir::drives()) roots << drive.absoluteFilePath();
    // Without drive letters there is one root: the home folder is the other place to start.
    if (roots.size() <= 1) roots << QDir::homePath();
    return roots;
}

FileIntakeWindow::FileIntakeWindow(const PoolWindowContext& context, QStringList driveRoots, FileCopy copy)
    : QWidget(nullptr, Qt::Window), context_(context), mainWindow_(context.mainWindow), copy_(std::move(copy)) {
    setObjectName("fldfrm");
    setWindowTitle(QString::fromUtf8("请选择XLS文件"));
    setAttribute(Qt::WA_DeleteOnClose);

    auto* frame = new QFrame(this);
    frame->setObjectName("Frame1");
    frame->setFrameShape(QFrame::StyledPanel);

    path1_ = new QLineEdit(frame);
    path1_->setObjectName("Path1");
    path1_->setPlaceholderText(QString::fromUtf8("输入或粘贴文件夹或文件的路径，按回车"));
    path1_->setToolTip(QString::fromUtf8("文件夹：在下面列出其中的表格文件；文件：直接添加"));
    auto* pathLabel = new QLabel(QString::fromUtf8("路径(&P):"), frame);
    pathLabel->setBuddy(path1_);
    drive1_ = new QComboBox(frame);
    drive1_->setObjectName("Drive1");
    dir1_ = new QListWidget(frame);
    dir1_->setObjectName("Dir1");
    command1_ = new QPushButton(QString::fromUtf8("确定"), frame);
    command1_->setObjectName("Command1");
    command1_->setToolTip(QString::fromUtf8("添加所选表格文件"));
    file1_ = new QListWidget(frame);
    file1_->setObjectName("File1");
    file1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    command2_ = new QPushButton(QString::fromUtf8("退出"), this);
    command2_->setObjectName("Command2");
    templateButton_ = new QPushButton(QString::fromUtf8("空白表作模板…"), frame);
    templateButton_->setObjectName("TemplateButton");
    templateButton_->setToolTip(QString::fromUtf8("选择一个空白报表作为汇总模板：它不加入汇表池，副本保存在 hz/模板 中"));

    // Folders on the left, workbooks on the right; both grow with the window.
    auto* grid = new QGridLayout(frame);
    grid->addWidget(pathLabel, 0, 0);
    grid->addWidget(path1_, 0, 1, 1, 2);
    grid->addWidget(drive1_, 1, 0, 1, 2);
    grid->addWidget(new QLabel(QString::fromUtf8("表格文件（.xls .xlsx .xlsm）："), frame), 1, 2);
    grid->addWidget(dir1_, 2, 0, 1, 2);
    grid->addWidget(file1_, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(templateButton_);
    buttons->addStretch();
    buttons->addWidget(command1_);
    buttons->addWidget(command2_);
    grid->addLayout(buttons, 3, 0, 1, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);
    grid->setRowStretch(2, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(frame);
    setMinimumSize(420, 300);
    // Room for long folder and file names at 1366×768 without covering the main window's screen.
    resize(720, 480);

    setTabOrder(path1_, drive1_);
    setTabOrder(drive1_, dir1_);
    setTabOrder(dir1_, command1_);
    setTabOrder(command1_, file1_);
    setTabOrder(file1_, command2_);
    setTabOrder(command2_, templateButton_);

    // The lists start on the process's current drive and folder.
    folder_ = QDir::current().absolutePath();
    if (driveRoots.isEmpty()) driveRoots = systemDriveRoots();
    for (const QString& root : driveRoots) drive1_->addItem(shownPath(root), root);
    const int currentDrive = driveOf(folder_);
    drive1_->setCurrentIndex(currentDrive);
    showFolder();

    connect(drive1_, &QComboBox::activated, this, &FileIntakeWindow::changeDrive);
    connect(dir1_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { changeFolder(item->data(Qt::UserRole).toString()); });
    connect(command1_, &QPushButton::clicked, this, &FileIntakeWindow::takeInSelected);
    connect(command2_, &QPushButton::clicked, this, &QWidget::close);
    connect(path1_, &QLineEdit::returnPressed, this, &FileIntakeWindow::goToTypedPath);
    connect(templateButton_, &QPushButton::clicked, this, &FileIntakeWindow::chooseBlankForm);
    // A double-click on a workbook (or Enter on the list) takes the selection in, as 确定 does.
    connect(file1_, &QListWidget::itemActivated, this, &FileIntakeWindow::takeInSelected);

    // A window of its own, so that disabling the main window leaves it usable; it goes with
    // the main window.
    if (mainWindow_) {
        mainWindow_->setEnabled(false);
        connect(mainWindow_, &QObject::destroyed, this, &QWidget::close);
    }
}

int FileIntakeWindow::driveOf(const QString& folder) const {
    // The longest root that holds the folder: the home folder before the root it lies on.
    int best = -1;
    for (int index = 0; index < drive1_->count(); ++index) {
        const QString root = drive1_->itemData(index).toString();
        if (isUnder(folder, root) && (best < 0 || root.size() > drive1_->itemData(best).toString().size())) best = index;
    }
    return best;
}

void FileIntakeWindow::showFolder() {
    // Dir1: the parents down to the open folder, then its sub-folders one step further in.
    dir1_->clear();
    QStringList chain;
    for (QDir up(folder_);; ) {
        chain.prepend(up.absolutePath());
        if (!up.cdUp()) break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    const auto add = [this](const QIcon& icon, const QString& path, const QString& shown, qsizetype depth) {
        auto* item = new QListWidgetItem(icon, QString(static_cast<int>(depth) * 2, QLatin1Char(' ')) + shown, dir1_);
        item->setData(Qt::UserRole, path);
    };
    for (qsizetype depth = 0; depth < chain.size(); ++depth) {
        const QString name = QFileInfo(chain[depth]).fileName();
        add(open, chain[depth], name.isEmpty() ? shownPath(chain[depth]) : name, depth);
    }
    QListWidgetItem* openFolder = dir1_->item(dir1_->count() - 1);
    const QDir dir(folder_);
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase)) {
        add(closed, dir.absoluteFilePath(sub), sub, chain.size());
    }
    // The open folder at the top, its sub-folders under it.
    dir1_->setCurrentItem(openFolder);
    dir1_->scrollToItem(openFolder, QAbstractItemView::PositionAtTop);

    // File1: the workbooks of the folder, by the names the pool takes, in the pool's order
    // (单位2 before 单位10).
    std::vector<std::string> workbooks;
    for (const QString& name : dir.entryList(QDir::Files)) {
        if (isPoolFileName(utf8(name))) workbooks.push_back(utf8(name));
    }
    sortNaturally(workbooks);
    file1_->clear();
    for (const std::string& name : workbooks) file1_->addItem(QString::fromStdString(name));
    path1_->setText(shownPath(folder_));
}

bool FileIntakeWindow::changeFolder(const QString& path) {
    const QString absolute = QDir(path).absolutePath();
    if (!canEnter(absolute)) {
        context_.dialogs.message("无法打开文件夹：" + shownPath(absolute).toUtf8().toStdString());
        return false;
    }
    // The folder as the user reached it (through a link, say). The process's current folder
    // stays where it was: the pool and every other path are absolute and do not follow it.
    folder_ = QDir::cleanPath(absolute);
    // Walking up out of the home folder lands on the root's entry.
    if (const int drive = driveOf(folder_); drive >= 0) drive1_->setCurrentIndex(drive);
    showFolder();
    return true;
}

void FileIntakeWindow::changeDrive(int index) {
    drive1_->setCurrentIndex(index);
    // The drive's current folder: the one shown if it lies on that drive, else its root.
    const QString target = index == driveOf(folder_) ? folder_ : drive1_->itemData(index).toString();
    if (!canEnter(target)) {
        // The drive list shows the new drive; the folder and file lists keep the old folder.
        context_.dialogs.message(intake_text::kDriveNotReady);
        return;
    }
    folder_ = QDir::cleanPath(target);
    showFolder();
}

void FileIntakeWindow::takeInSelected() {
    std::vector<std::string> selected;
    for (int row = 0; row < file1_->count(); ++row) {
        if (file1_->item(row)->isSelected()) selected.push_back(utf8(file1_->item(row)->text()));
    }
    takeIn(selected);
}

void FileIntakeWindow::takeIn(const std::vector<std::string>& names) {
    ListWidgetPoolList list(*context_.poolList);
    const IntakeOutcome outcome =
        takeInFiles(context_.paths, context_.dialogs, list, toPath(folder_), names, IntakeTools{copy_, screenOn(context_.makeHost)});
    if (outcome == IntakeOutcome::Done) {
        if (context_.setHint) context_.setHint(intake_text::kNextStepHint);
        command2_->setFocus();
    }
    if (list.appended() && context_.summaryReplaced) context_.summaryReplaced();
    if (context_.refreshCounts) context_.refreshCounts();
    if (context_.poolList->count() != 0 && context_.jobSetupButton != nullptr) context_.jobSetupButton->setEnabled(true);
}

void FileIntakeWindow::goToTypedPath() {
    QString typed = path1_->text().trimmed();
    // As pasted from a file manager: in quotes ("Copy as path"), or as a file:// address.
    if (typed.size() >= 2 && typed.startsWith(QLatin1Char('"')) && typed.endsWith(QLatin1Char('"'))) {
        typed = typed.mid(1, typed.size() - 2).trimmed();
    }
    if (typed.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) typed = QUrl(typed).toLocalFile();
    if (typed.isEmpty()) return;
    // A relative path is taken from the folder shown, not from the process's folder.
    const QFileInfo info(QDir(folder_).absoluteFilePath(QDir::fromNativeSeparators(typed)));
    if (info.isDir()) {
        changeFolder(info.absoluteFilePath());
        return;
    }
    if (!info.exists()) {
        context_.dialogs.message(intake_text::kNoSuchPath + utf8(shownPath(info.absoluteFilePath())));
        return;
    }
    if (!changeFolder(info.absolutePath())) return;
    const auto listed = file1_->findItems(info.fileName(), Qt::MatchExactly);
    file1_->clearSelection();
    if (!listed.isEmpty()) file1_->setCurrentItem(listed.front());
    takeIn({utf8(info.fileName())});
}

void FileIntakeWindow::chooseBlankForm() {
    const std::optional<std::filesystem::path> chosen = context_.dialogs.openFile(
        OpenFileRequest{"选择作为汇总模板的空白表", "表格文件 (*.xls *.xlsx *.xlsm)", toPath(folder_)});
    if (!chosen) return;
    const std::string name = utf8String(chosen->filename());
    // The summary takes the template's format from its name, as a pool file's.
    if (!isPoolFileName(name)) {
        context_.dialogs.message(intake_text::kNotXls);
        return;
    }
    if (chooseTemplateFile(context_, *chosen)) command2_->setFocus();
}

void FileIntakeWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        command2_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void FileIntakeWindow::closeEvent(QCloseEvent* event) {
    // However the window closes, the main window comes back.
    if (mainWindow_) mainWindow_->setEnabled(true);
    event->accept();
}

FileIntakeWindow* openFileIntakeWindow(const PoolWindowContext& context) {
    if (context.selectedCount != nullptr) context.selectedCount->clear();
    return showWindowOnce<FileIntakeWindow>(context.mainWindow, [&] { return new FileIntakeWindow(context); });
}

}  // namespace sbx
