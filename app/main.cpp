// shubuxing: the desktop program. It holds the working folder's lock while it runs; start-up
// runs before the main window shows; closing the main window ends the program and every
// window with it.
//
// usage: shubuxing [--no-splash] | shubuxing --version
#include <cstring>
#include <iostream>

#include <QApplication>
#include <QFont>
#include <QStringList>
#include <optional>

#include "app/main_window.h"
#include "spreadsheet/local_time_zone.h"
#include "spreadsheet/temporary_files.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_translations.h"
#include "ui/recycle_bin.h"
#include "ui/window_placement.h"
#include "workspace/workspace_lock.h"

int main(int argc, char* argv[]) {
    // Answered before Qt starts: no window, and no display needed.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "shubuxing " << SBX_VERSION << '\n';
        return 0;
    }
    sbx::settleLocalTimeZone();
    sbx::removeTemporaryFilesOnSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(sbx::kApplicationTitle));
#ifdef _WIN32
    // Windows' own Chinese fonts, in the order Chinese Windows prefers them.
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Microsoft YaHei UI"), QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"),
                      QStringLiteral("NSimSun"), font.family()});
    QApplication::setFont(font);
#endif
    sbx::installQtChineseTranslations(app);
    const bool skipSplash = QApplication::arguments().contains(QStringLiteral("--no-splash"));

    sbx::QtDialogs dialogs;  // parentless until the main window shows: start-up asks first
    std::optional<sbx::WorkspacePaths> paths;
    try {
        paths = sbx::WorkspacePaths::fromEnvironment();
    } catch (const sbx::WorkingFolderError& error) {
        dialogs.message(error.what());
        return 1;
    }
    // One program per working folder: a second one would mix its runs into the same summary.
    const sbx::WorkspaceLock::Attempt lock = sbx::WorkspaceLock::acquire(*paths);
    if (!lock.lock) {
        dialogs.message(lock.refusal);
        return 1;
    }
    sbx::MainWindowServices services{dialogs, *paths};
    services.dispose = sbx::moveToRecycleBin;
    sbx::MainWindow window(std::move(services));
    QObject::connect(&window, &sbx::MainWindow::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    window.startUp(skipSplash ? std::chrono::milliseconds(0) : sbx::kSplashTime);
    dialogs.setParent(&window);
    sbx::placeOver(window, nullptr);
    window.show();
    return QApplication::exec();
}
