#pragma once
// main: the program's one top-level window. It owns the job state, the pool list, the run
// list, their counts, the hint box and the status panel; every other window writes into them.
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <QDesktopServices>
#include <QUrl>
#include <QWidget>

#include "app/roster_panel.h"
#include "ui/main_window_controls.h"
#include "ui/proportional_geometry.h"
#include "job/job_definition.h"
#include "spreadsheet/spreadsheet_host.h"
#include "workspace/dialogs_port.h"
#include "workspace/file_disposal.h"
#include "workspace/workspace_paths.h"

namespace sbx {

struct MainWindowServices {
    DialogsPort& dialogs;
    WorkspacePaths paths;
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost = makeNativeHost;
    // Opens a folder in the desktop's file manager (a test records it instead).
    std::function<bool(const QUrl&)> openUrl = QDesktopServices::openUrl;
    // Where deleted pool files go (the program passes the recycle bin).
    FileDisposal dispose = moveToDeletedFolder;
};

inline constexpr std::chrono::milliseconds kSplashTime{6000};

// A count as the entry counts under the lists show it: one leading blank where a sign would stand.
QString countCaption(int count);

class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);

    // The load handler, run once before the window is shown: splash (for at most
    // `splashTime`; zero skips the wait), directories, pool scan, start-up questions.
    void startUp(std::chrono::milliseconds splashTime = kSplashTime);

    JobDefinition& job() { return job_; }
    const MainWindowControls& controls() const { return controls_; }
    const WorkspacePaths& paths() const { return services_.paths; }
    DialogsPort& dialogs() { return services_.dialogs; }

    void setHint(const std::string& text);
    // The entry counts under the pool list and the run list.
    void refreshCounts();
    // A file taken in (or a template chosen) replaced the summary: the last run's export,
    // result and incomplete note are withdrawn, and the template shown is the new one.
    void forgetLastRunsSummary();
    // The file the summary is made from, above the logo.
    void showTemplate();
    // Who has reported, after the pool list or the job changed (once, when control returns).
    void refreshRosterSoon();
    RosterPanel& roster() { return roster_; }
    // Hides every label and field of the status panel (the logo shows again).
    void hideStatusPanel();
    // The enabling rule of 开始汇表: a ready job, a selection in the pool list, and no failed
    // last run enable it and set the selected count; otherwise nothing changes. Returns whether it applied.
    bool applyStartButtonRule();

signals:
    // 开始汇表 found a selection: the mode window is to open.
    void modeWindowRequested();
    void fileIntakeRequested();  // 添加文件
    void exportRequested();      // 导出文件
    void helpRequested();        // menu item help
    void aboutRequested();       // menu item about, or a click on the title
    void closed();               // the program ends with this window

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startRun();
    void setUpJob();
    void recolourHint();
    void resetForStartUp();
    bool poolListEvent(QEvent* event);

    MainWindowServices services_;
    JobDefinition job_;
    MainWindowControls controls_;
    ProportionalGeometry geometry_;  // the controls follow the window's size
    RosterPanel roster_;
    bool rosterRefreshPending_ = false;
    int jobSetups_ = 0;  // clicks on 环境设定 since start
};

}  // namespace sbx
