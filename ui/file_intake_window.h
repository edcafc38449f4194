#pragma once
// fldfrm: picks workbooks from any drive and folder and takes them into the pool. The drive
// list holds the drives (where there are none, the file-system roots and the home folder),
// the folder list the current folder with its parents and sub-folders, the file list the
// workbooks of that folder (the names the pool takes). A folder or file path can be typed or
// pasted into the path line: Enter shows a folder, or takes a file in. The lists start on the
// process's current folder, but browsing never changes it. A blank form can be chosen as the
// summary's template from here too, without joining the pool.
// The window can be resized; the main window is disabled while it is open.
#include <string>
#include <vector>

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include "ui/pool_file_actions.h"
#include "workspace/pool_file_ops.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace sbx {

class FileIntakeWindow final : public QWidget {
    Q_OBJECT
public:
    // `driveRoots` empty: the system's drives (or roots and the home folder). `copy` is how
    // files are copied (tests make it fail).
    explicit FileIntakeWindow(const PoolWindowContext& context, QStringList driveRoots = {},
                              FileCopy copy = copyFileContents);

    // The drives, or the file-system roots and the home folder.
    static QStringList systemDriveRoots();

    // The folder the lists show, absolute.
    QString folder() const { return folder_; }
    // Dir1 change: shows `path`. False (and nothing changes) when it cannot be entered.
    bool changeFolder(const QString& path);
    // Drive1 change to the entry at `index`.
    void changeDrive(int index);
    // Enter in the path line: a folder is shown, a file is taken in.
    void goToTypedPath();

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc leaves as 退出 does.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showFolder();
    // The entry of Drive1 that `folder` lies on; -1 for none.
    int driveOf(const QString& folder) const;
    void takeInSelected();
    void takeIn(const std::vector<std::string>& names);
    void chooseBlankForm();

    PoolWindowContext context_;
    QPointer<QWidget> mainWindow_;
    FileCopy copy_;
    QString folder_;
    QLineEdit* path1_;
    QComboBox* drive1_;
    QListWidget* dir1_;
    QListWidget* file1_;
    QPushButton* command1_;
    QPushButton* command2_;
    QPushButton* templateButton_;
};

// main.Command4: clears Label13 and opens fldfrm (or brings the open one forward).
FileIntakeWindow* openFileIntakeWindow(const PoolWindowContext& context);

}  // namespace sbx
