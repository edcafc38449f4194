// shubuxing: the desktop program. Start-up runs before the main window shows; closing the
// main window ends the program and every window with it.
//
// usage: shubuxing [--no-splash]
#include <QApplication>
#include <QStringList>

#include "app/main_window.h"
#include "ui/qt_dialogs.h"

int main(int argc, char* argv[]) {
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
