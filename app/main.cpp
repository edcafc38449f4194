// shubuxing: the desktop program. Start-up runs before the main window shows; closing the
// main window ends the program and every window with it.
//
// usage: shubuxing [--no-splash] | shubuxing --version
#include <cstring>
#include <iostream>

#include <QApplication>
#include <QStringList>

#include "app/main_window.h"
#include "ui/qt_dialogs.h"

int main(int argc, char* argv[]) {
    // Answered before Qt starts: no window, and no display needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "shubuxing " << SBX_VERSION << '\n';
        return 0;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(sbx::kApplicationTitle));
    const bool skipSplash = QApplication::arguments().contains(QStringLiteral("--no-splash"));

    sbx::QtDialogs dialogs;  // parentless until the main window shows: start-up asks first
    sbx::MainWindow window(sbx::MainWindowServices{dialogs, sbx::WorkspacePaths::fromEnvironment()});
    QObject::connect(&window, &sbx::MainWindow::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    window.startUp(skipSplash ? std::chrono::milliseconds(0) : sbx::kSplashTime);
    dialogs.setParent(&window);
    window.show();
    return QApplication::exec();
}
