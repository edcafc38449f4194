#pragma once
// A main window over the test's own working directory (SHUBUXING_HOME, emptied first), with
// scripted answers; controls found by their names as the program knows them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/main_window.h"
#include "spreadsheet/utf8_path.h"
#include "tests/support/scripted_dialogs.h"
#include "workspace/pool.h"
#include "tests/support/test_files.h"
#include "ui/pool_name_text.h"

namespace sbx::testing {

inline WorkspacePaths freshWorkspace() {
    WorkspacePaths paths = WorkspacePaths::fromEnvironment();
    std::filesystem::remove_all(paths.poolDirectory());
    return paths;
}

// The texts of a list box, in order.
inline QStringList entries(const QListWidget& list) {
    QStringList texts;
    for (int row = 0; row < list.count(); ++row) texts << list.item(row)->text();
    return texts;
}

struct MainWindowFixture {
    ScriptedDialogs dialogs;
    WorkspacePaths paths = WorkspacePaths::fromEnvironment();
    // The spreadsheet engine the windows get (a test may put faults into it).
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost = makeNativeHost;
    std::unique_ptr<MainWindow> window;
    // What the windows asked the desktop to open, in order; nothing is really opened.
    std::vector<QUrl> openedUrls;

    void make() {
        window = std::make_unique<MainWindow>(MainWindowServices{dialogs, paths, makeHost, [this](const QUrl& url) {
                                                                     openedUrls.push_back(url);
                                                                     return true;
                                                                 }});
    }

    template <typename Widget = QWidget>
    Widget* control(const char* name) const {
        return window->findChild<Widget*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QString caption(const char* name) const { return control<QLabel>(name)->text(); }
    QString hint() const { return control<QLineEdit>("Text11")->text(); }
    QListWidget* list1() const { return control<QListWidget>("List1"); }
    QListWidget* list2() const { return control<QListWidget>("List2"); }

    // Empty when List1 names exactly the pool workbooks now in the folder and Label4 counts
    // them; otherwise what differs.
    QString list1UntrueToFolder() const {
        QStringList pool;
        for (const auto& entry : std::filesystem::directory_iterator(paths.poolDirectory())) {
            const std::string name = utf8String(entry.path().filename());
            if (entry.is_regular_file() && isPoolFileName(name)) pool << poolNameText(name);
        }
        QStringList listed = entries(*list1());
        pool.sort();
        listed.sort();
        if (listed != pool) return "List1: " + listed.join(", ") + "; folder: " + pool.join(", ");
        if (caption("Label4") != countCaption(list1()->count())) return "Label4: " + caption("Label4");
        return QString();
    }
};

}  // namespace sbx::testing
