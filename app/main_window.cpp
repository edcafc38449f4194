#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>

#include "app/hint_colour.h"
#include "consolidate/desktop/windows/main_window_post_run.h"
#include "consolidate/desktop/windows/mode_window.h"
#include "consolidate/desktop/windows/result_view.h"
#include "job/windows/job_windows.h"
#include "ui/about_window.h"
#include "ui/enter_presses_buttons.h"
#include "ui/file_intake_window.h"
#include "ui/help_window.h"
#include "ui/pool_file_actions.h"
#include "ui/pool_list_drops.h"
#include "ui/splash_window.h"
#include "workspace/startup.h"
#include "workspace/summary_template.h"
#include "ui/pool_name_text.h"

namespace sbx {

namespace {

QString qt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr const char* kNothingSelected = "请在左边列表框中选择文件先！";
constexpr const char* kChooseModeHint = "请根据需要选择相应模式!";

}  // namespace

QString countCaption(int count) { return QStringLiteral(" %1").arg(count); }

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      controls_(buildMainWindowControls(this)),
      geometry_(*this),
      roster_(controls_, job_, services_.paths, services_.dialogs, services_.makeHost) {
    setObjectName("main");
    setWindowTitle(QString::fromUtf8("数簿星"));
    letEnterPressFocusedButtons(*static_cast<QApplication*>(QCoreApplication::instance()));

    const MainWindowControls& c = controls_;
    connect(c.exitButton, &QPushButton::clicked, this, &QWidget::close);
    connect(c.jobSetupButton, &QPushButton::clicked, this, &MainWindow::setUpJob);
    connect(c.startButton, &QPushButton::clicked, this, &MainWindow::startRun);
    connect(c.addFilesButton, &QPushButton::clicked, this, &MainWindow::fileIntakeRequested);
    connect(c.exportButton, &QPushButton::clicked, this, &MainWindow::exportRequested);
    // The runs and the export, one engine host factory for all of them.
    connect(this, &MainWindow::modeWindowRequested, this, [this] {
        openModeWindow(RunWindowContext{this, controls_, job_, services_.dialogs, services_.paths, services_.makeHost,
                                        services_.openUrl});
    });
    connect(this, &MainWindow::exportRequested, this,
            [this] { exportFromMainWindow(controls_, services_.paths, services_.dialogs, job_); });
    connect(c.help, &QAction::triggered, this, &MainWindow::helpRequested);
    connect(c.about, &QAction::triggered, this, &MainWindow::aboutRequested);
    // File intake, the pool list's menu, help and about.
    const PoolWindowContext poolWindows{this, c.poolList, c.selectedCount, c.jobSetupButton, services_.dialogs, services_.paths,
                                        services_.makeHost, [this](const std::string& text) { setHint(text); },
                                        [this] { refreshCounts(); }, [this] { forgetLastRunsSummary(); },
                                        services_.dispose, [this] { showTemplate(); }};
    connect(this, &MainWindow::fileIntakeRequested, this, [poolWindows] { openFileIntakeWindow(poolWindows); });
    connectPoolFileActions(*c.poolMenu, poolWindows);
    acceptPoolListDrops(poolWindows);
    connect(this, &MainWindow::helpRequested, this, [this] { openHelpWindow(this, services_.paths); });
    connect(this, &MainWindow::aboutRequested, this, [this] { openAboutWindow(this, services_.dialogs); });
    // Keyboard selection counts as much as the mouse.
    connect(c.poolList, &QListWidget::itemSelectionChanged, this, &MainWindow::applyStartButtonRule);
    c.poolList->viewport()->installEventFilter(this);
    c.title->installEventFilter(this);
    c.logo->installEventFilter(this);

    // Who has reported follows the pool list, whoever changes it.
    QAbstractItemModel* pool = c.poolList->model();
    connect(pool, &QAbstractItemModel::rowsInserted, this, &MainWindow::refreshRosterSoon);
    connect(pool, &QAbstractItemModel::rowsRemoved, this, &MainWindow::refreshRosterSoon);
    connect(pool, &QAbstractItemModel::modelReset, this, &MainWindow::refreshRosterSoon);
    connect(pool, &QAbstractItemModel::dataChanged, this, &MainWindow::refreshRosterSoon);
    connect(c.rosterButton, &QPushButton::clicked, this, [this] { roster_.rosterClicked(); });
    connect(c.unitCellButton, &QPushButton::clicked, this, [this] { roster_.unitCellClicked(); });
    c.runTime->installEventFilter(this);

    connect(c.hintTimer, &QTimer::timeout, this, &MainWindow::recolourHint);
    c.hintTimer->start();
}

void MainWindow::startUp(std::chrono::milliseconds splashTime) {
    {
        SplashWindow splash(job_.splashDismissed);
        showSplashAndWait(splash, splashTime);
    }
    resetForStartUp();

    const StartupOutcome outcome = runStartup(services_.paths, services_.dialogs, services_.dispose);
    controls_.poolList->clear();
    for (const std::string& name : outcome.poolList) controls_.poolList->addItem(poolNameText(name));
    controls_.jobSetupButton->setEnabled(outcome.command2Enabled);
    if (!outcome.hint.empty()) setHint(outcome.hint);
    refreshCounts();
    showTemplate();
    roster_.refresh();
}

void MainWindow::refreshRosterSoon() {
    if (rosterRefreshPending_) return;
    rosterRefreshPending_ = true;
    QTimer::singleShot(0, this, [this] {
        rosterRefreshPending_ = false;
        roster_.refresh();
    });
}

void MainWindow::resetForStartUp() {
    const MainWindowControls& c = controls_;
    for (QPushButton* button : {c.jobSetupButton, c.startButton, c.exportButton, c.functionBar}) button->setEnabled(false);
    for (QPushButton* button : {c.exportButton, c.functionBar, c.progressButton}) button->hide();
    for (const StatusLine* line : {&c.status.readCell, &c.status.readFile, &c.status.writtenCell}) line->field->clear();
    hideStatusPanel();
    job_.jobReady = false;
    job_.runState = RunState::IdleOrRunning;
}

void MainWindow::forgetLastRunsSummary() {
    controls_.exportButton->hide();
    withdrawResultView(controls_);
    job_.incompleteSummary = {};
    controls_.summaryNote->hide();
    showTemplate();
}

void MainWindow::showTemplate() {
    const std::string name = templateShownName(services_.paths);
    controls_.templateLabel->setText(name.empty() ? QString() : qt("汇总文件的模板：\n" + name));
    controls_.templateLabel->setToolTip(qt("汇总文件 hz/total 是这个文件的复制：表格式样和区间以外的内容都来自它。"
                                          "在汇表池列表中右击一个文件，选“设为汇总模板”可另选；"
                                          "空白表可在[添加文件]窗口中用“空白表作模板…”选定。"));
}

void MainWindow::setHint(const std::string& text) { controls_.hintBox->setText(qt(text)); }

void MainWindow::refreshCounts() {
    controls_.poolCount->setText(countCaption(controls_.poolList->count()));
    controls_.runCount->setText(countCaption(controls_.runList->count()));
}

void MainWindow::hideStatusPanel() {
    for (QWidget* widget : controls_.status.all()) widget->hide();
    controls_.logo->show();
}

bool MainWindow::applyStartButtonRule() {
    const auto selected = controls_.poolList->selectedItems().size();
    if (!job_.jobReady || selected == 0 || job_.runState == RunState::Failed) return false;
    controls_.startButton->setEnabled(true);
    controls_.selectedCount->setText(QString::number(selected));
    return true;
}

void MainWindow::startRun() {
    const MainWindowControls& c = controls_;
    for (const StatusLine* line : {&c.status.readCell, &c.status.readFile, &c.status.writtenCell}) line->field->clear();
    hideStatusPanel();
    c.functionBar->hide();
    c.progressButton->hide();
    withdrawResultView(controls_);  // the next run's marks replace the last one's
    // The mode window reads efficiencyBlocked itself when it opens.
    if (c.poolList->selectedItems().isEmpty()) {
        services_.dialogs.message(kNothingSelected);
        return;
    }
    c.runList->clear();
    c.runCount->setText(countCaption(c.runList->count()));
    emit modeWindowRequested();
    setHint(kChooseModeHint);
}

void MainWindow::setUpJob() {
    const MainWindowControls& c = controls_;
    if (c.runList->count() > 0) {
        c.runList->clear();
        c.runCount->setText(countCaption(c.runList->count()));
    }
    // From the second job on, the previous run's panel and export button go.
    if (++jobSetups_ > 1) {
        hideStatusPanel();
        for (QPushButton* button : {c.progressButton, c.functionBar, c.exportButton}) button->hide();
    }
    c.logo->show();
    startJobSetup(JobWindowContext{job_, services_.dialogs, services_.paths, this, c.jobSetupButton, c.poolList, services_.makeHost,
                                   [this](const std::string& text) { setHint(text); },
                                   [this] {
                                       applyStartButtonRule();
                                       refreshRosterSoon();  // the job may bring its unit cell
                                   }});
}

void MainWindow::recolourHint() {
    QPalette palette = controls_.hintBox->palette();
    const QColor base = palette.color(QPalette::Base);
    const Rgb colour = readableOn(hintColourFromSeed(clockSeed()), Rgb{base.red(), base.green(), base.blue()});
    palette.setColor(QPalette::Text, QColor(colour.red, colour.green, colour.blue));
    controls_.hintBox->setPalette(palette);
}

bool MainWindow::poolListEvent(QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::MouseButtonRelease) return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::RightButton) {
        // A right click keeps the selection as it is; the menu is for one selected entry.
        if (controls_.poolList->selectedItems().size() == 1) {
            controls_.poolMenu->popup(mouse->globalPosition().toPoint());
        }
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton) {
        // After a selection with the mouse the next step is 开始汇表: give it the focus.
        if (applyStartButtonRule()) controls_.startButton->setFocus();
    }
    return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == controls_.poolList->viewport() && poolListEvent(event)) return true;
    // The template's name shows where the logo shows: a run's panel takes both places.
    if (watched == controls_.logo && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        controls_.templateLabel->setVisible(event->type() == QEvent::Show);
    }
    // The roster gives its place to the run's time line.
    if (watched == controls_.runTime && (event->type() == QEvent::Show || event->type() == QEvent::Hide)) {
        for (QWidget* widget : {static_cast<QWidget*>(controls_.rosterButton), static_cast<QWidget*>(controls_.unitCellButton),
                                static_cast<QWidget*>(controls_.rosterDetail)}) {
            widget->setVisible(event->type() == QEvent::Hide);
        }
    }
    if (watched == controls_.title && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        emit aboutRequested();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    // Only the window's own empty area opens the help menu, not a control on it.
    const QPoint where = event->position().toPoint();
    if (event->button() == Qt::RightButton && childAt(where) == nullptr) {
        const int halfWidth = controls_.helpMenu->sizeHint().width() / 2;
        controls_.helpMenu->popup(mapToGlobal(where) - QPoint(halfWidth, 0));
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    geometry_.apply(event->size());
    QWidget::resizeEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    controls_.hintTimer->stop();
    event->accept();
    emit closed();
}

}  // namespace sbx
