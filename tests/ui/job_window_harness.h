#pragma once
// What the job-window tests share: a stand-in main window with the controls the job windows
// reach (Command2, List1), a pool in a temporary folder whose summary workbook is a chosen
// fixture, scripted dialogs, and the hint and job-change calls recorded.
#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "job/windows/job_windows.h"
#include "spreadsheet/spreadsheet_host.h"
#include "tests/support/scripted_dialogs.h"

namespace sbx::testing {

inline std::filesystem::path jobFixture(const std::string& name) {
    return std::filesystem::path(SBX_TEST_DATA) / "fixtures" / "job_windows" / (name + ".xls");
}

// Closes every window left over and lets Qt delete them.
inline void closeAllWindows() {
    for (QWidget* window : QApplication::topLevelWidgets()) window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct JobWindowHarness {
    JobDefinition job;
    ScriptedDialogs dialogs;
    QTemporaryDir pool;
    QWidget main;
    QPushButton* command2 = new QPushButton("环 境 设 定", &main);
    QListWidget* list1 = new QListWidget(&main);
    std::vector<std::string> hints;
    int jobChanges = 0;

    JobWindowHarness() {
        command2->setObjectName("Command2");
        list1->setObjectName("List1");
        list1->move(0, 40);
    }

    ~JobWindowHarness() { closeAllWindows(); }

    // Puts `fixture` in the pool as the summary workbook.
    void useSummaryWorkbook(const std::string& fixture) {
        const std::filesystem::path hz = std::filesystem::path(pool.path().toStdString()) / "hz";
        std::filesystem::create_directories(hz);
        std::filesystem::copy_file(jobFixture(fixture), hz / "total.xls",
                                   std::filesystem::copy_options::overwrite_existing);
    }

    JobWindowContext context() {
        return JobWindowContext{job,
                                dialogs,
                                WorkspacePaths(std::filesystem::path(pool.path().toStdString())),
                                &main,
                                main.findChild<QWidget*>("Command2"),
                                main.findChild<QWidget*>("List1"),
                                [] { return makeNativeHost(); },
                                [this](const std::string& hint) { hints.push_back(hint); },
                                [this] { ++jobChanges; }};
    }

    std::string lastHint() const { return hints.empty() ? std::string() : hints.back(); }
};

// Clicks `button`; a prompt the script did not expect fails the test here.
inline bool clickScripted(QAbstractButton* button, ScriptedDialogs& dialogs) {
    try {
        button->click();
    } catch (const std::exception& error) {
        qWarning("unexpected prompt: %s", error.what());
        return false;
    }
    const std::string problems = dialogs.problems();
    if (!problems.empty()) qWarning("%s", problems.c_str());
    return problems.empty();
}

// Saves a picture of `window` when SBX_SCREENSHOT_DIR names a folder (tools/render_job_windows.sh
// renders docs/checkfrm.png and docs/hjxx.png that way).
inline void saveScreenshot(QWidget& window, const char* fileName) {
    const QByteArray folder = qgetenv("SBX_SCREENSHOT_DIR");
    if (folder.isEmpty()) return;
    window.grab().save(QString::fromLocal8Bit(folder) + "/" + fileName);
}

}  // namespace sbx::testing
