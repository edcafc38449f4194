#pragma once
// A main window over the test's own working directory (SHUBUXING_HOME, emptied first), with
// scripted answers; controls found by their names as the program knows them.
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "app/main_window.h"
#include "tests/support/scripted_dialogs.h"

namespace sbx::testing {

inline WorkspacePaths freshWorkspace() {
    WorkspacePaths paths = WorkspacePaths::fromEnvironment();
    std::filesystem::remove_all(paths.poolDirectory());
    return paths;
}

inline void writeFile(const std::filesystem::path& file, const std::string& content) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

struct MainWindowFixture {
    ScriptedDialogs dialogs;
    WorkspacePaths paths = WorkspacePaths::fromEnvironment();
    // The spreadsheet engine the windows get (a test may put faults into it).
    std::function<std::unique_ptr<SpreadsheetHost>()> makeHost = makeNativeHost;
    std::unique_ptr<MainWindow> window;

    void make() { window = std::make_unique<MainWindow>(MainWindowServices{dialogs, paths, makeHost}); }

    template <typename Widget = QWidget>
    Widget* control(const char* name) const {
        return window->findChild<Widget*>(QString::fromLatin1(name));
    }
    QPushButton* button(const char* name) const { return control<QPushButton>(name); }
    QString caption(const char* name) const { return control<QLabel>(name)->text(); }
    QString hint() const { return control<QLineEdit>("Text11")->text(); }
    QListWidget* list1() const { return control<QListWidget>("List1"); }
    QListWidget* list2() const { return control<QListWidget>("List2"); }
};

}  // namespace sbx::testing
