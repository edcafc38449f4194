#include "ui/file_intake_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include "ui/open_windows.h"
#include "workspace/intake.h"

namespace sbx {

namespace {

// Layout in twips, as the window was designed; 15 twips make a pixel.
constexpr int px(int twips) { return twips / 15; }
QRect twips(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

std::filesystem::path toPath(const QString& text) { return utf8Path(text.toUtf8().toStdString()); }

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
    setFixedSize(px(3735), px(3495));

    auto* frame = new QFrame(this);
    frame->setObjectName("Frame1");
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setGeometry(twips(240, 0, 3255, 3375));

    drive1_ = new QComboBox(frame);
    drive1_->setObjectName("Drive1");
    drive1_->setGeometry(twips(240, 360, 1455, 300));
    dir1_ = new QListWidget(frame);
    dir1_->setObjectName("Dir1");
    dir1_->setGeometry(twips(240, 720, 2775, 930));
    command1_ = new QPushButton(QString::fromUtf8("确定"), frame);
    command1_->setObjectName("Command1");
    command1_->setToolTip(QString::fromUtf8("添加所选表格文件"));
    command1_->setGeometry(twips(1791, 240, 615, 375));
    file1_ = new QListWidget(frame);
    file1_->setObjectName("File1");
    file1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    file1_->setGeometry(twips(240, 1680, 2775, 1530));
    command2_ = new QPushButton(QString::fromUtf8("退出"), this);
    command2_->setObjectName("Command2");
    command2_->setGeometry(twips(2640, 240, 615, 375));
    setTabOrder(drive1_, dir1_);
    setTabOrder(dir1_, command1_);
    setTabOrder(command1_, file1_);
    setTabOrder(file1_, command2_);

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

    // File1: every file of the folder.
    file1_->clear();
    file1_->addItems(dir.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase));
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
        if (file1_->item(row)->isSelected()) selected.push_back(file1_->item(row)->text().toUtf8().toStdString());
    }
    ListWidgetPoolList list(*context_.poolList);
    const IntakeOutcome outcome = takeInFiles(context_.paths, context_.dialogs, list, toPath(folder_), selected, copy_);
    if (outcome == IntakeOutcome::Done) {
        if (context_.setHint) context_.setHint(intake_text::kNextStepHint);
        command2_->setFocus();
    }
    if (list.appended() && context_.summaryReplaced) context_.summaryReplaced();
    if (context_.refreshCounts) context_.refreshCounts();
    if (context_.poolList->count() != 0 && context_.jobSetupButton != nullptr) context_.jobSetupButton->setEnabled(true);
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
