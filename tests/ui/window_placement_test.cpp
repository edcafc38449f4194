// Where windows open and how the main window grows: centred over the owner and inside the
// screens people use (1366×768, 1920×1080), every window small enough for the smaller one,
// and the main window's controls following it when it is enlarged.
#include <map>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <QListWidget>
#include <QMenu>
#include <QScreen>
#include <QtTest>

#include "tests/ui/main_window_fixture.h"
#include "ui/about_window.h"
#include "ui/help_window.h"
#include "ui/window_placement.h"
#include "workspace/startup.h"

using namespace sbx::testing;
using namespace std::chrono_literals;

namespace {

// A screen's free area: a task bar of 40 pixels at the bottom.
QRect freeArea(int width, int height) { return {0, 0, width, height - 40}; }

}  // namespace

class WindowPlacementTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> f;

    void makeMainWindow() {
        f = std::make_unique<MainWindowFixture>();
        f->paths = freshWorkspace();
        f->dialogs.expectMessage(sbx::startup_text::kEmptyPool);
        f->make();
        f->window->startUp(0ms);
    }

private slots:
    void cleanup() {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (!f || window != f->window.get()) window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        f.reset();
    }

    void framesOpenCentredOverTheOwnerAndInsideTheScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QPoint>("expected");
        const QRect small = freeArea(1366, 768), large = freeArea(1920, 1080);
        QTest::newRow("1366: centred over the owner") << small << QRect(300, 100, 708, 525) << QSize(258, 258)
                                                      << QPoint(524, 233);
        QTest::newRow("1920: centred over the owner") << large << QRect(600, 250, 708, 525) << QSize(378, 300)
                                                      << QPoint(764, 362);
        QTest::newRow("1366: owner half off the right edge") << small << QRect(1100, 100, 708, 525) << QSize(400, 300)
                                                             << QPoint(966, 212);
        QTest::newRow("1366: owner above and left of the screen") << small << QRect(-500, -400, 708, 525)
                                                                  << QSize(258, 258) << QPoint(0, 0);
        QTest::newRow("1920: owner low on the screen") << large << QRect(600, 900, 708, 525) << QSize(378, 300)
                                                       << QPoint(764, 740);
        QTest::newRow("no owner: centred on the screen") << large << QRect() << QSize(500, 300) << QPoint(709, 369);
        QTest::newRow("taller than the screen: title bar stays on it")
            << small << QRect(300, 100, 708, 525) << QSize(600, 900) << QPoint(353, 0);
    }
    void framesOpenCentredOverTheOwnerAndInsideTheScreen() {
        QFETCH(QRect, screen);
        QFETCH(QRect, owner);
        QFETCH(QSize, frame);
        QFETCH(QPoint, expected);
        const QPoint topLeft = sbx::centredTopLeft(owner, frame, screen);
        QCOMPARE(topLeft, expected);
        if (frame.height() <= screen.height()) QVERIFY(screen.contains(QRect(topLeft, frame)));
    }

    void everyWindowFitsTheSmallerScreen() {
        makeMainWindow();
        const QSize title(0, 30);  // a title bar and borders around each
        std::vector<std::unique_ptr<QWidget>> windows;
        windows.push_back(std::make_unique<sbx::HelpWindow>(f->paths));
        windows.push_back(std::make_unique<sbx::AboutWindow>(f->dialogs));
        for (const auto& window : windows) {
            const QSize frame = window->size() + title;
            QVERIFY2(freeArea(1366, 768).size().boundedTo(frame) == frame, qPrintable(window->objectName()));
        }
        QVERIFY(freeArea(1366, 768).size().boundedTo(f->window->size() + title) == f->window->size() + title);
    }

    // Centred over the main window, and kept above it by the window manager: a message box of
    // the main window raises it, which must not bury the window behind it.
    void helpAndAboutOpenCentredOverAndAboveTheMainWindow() {
        makeMainWindow();
        f->window->move(60, 20);
        f->window->show();
        QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
        for (const char* item : {"help", "about"}) {
            f->window->findChild<QAction*>(QString::fromLatin1(item))->trigger();
            QWidget* opened = QApplication::activeWindow();
            for (QWidget* window : QApplication::topLevelWidgets())
                if (window->isVisible() && window != f->window.get()) opened = window;
            QVERIFY(opened && opened != f->window.get());
            const QPoint offset = opened->frameGeometry().center() - f->window->frameGeometry().center();
            QVERIFY2(offset.manhattanLength() <= 16, item);
            QVERIFY(f->window->screen()->availableGeometry().contains(opened->frameGeometry()));
            QCOMPARE(opened->windowHandle()->transientParent(), f->window->windowHandle());
            opened->close();
        }
    }

    // Enlarged or maximised on the screens people use: lists and frames follow the window's
    // edges, while buttons and one-line boxes stay near their designed size, centred where
    // the stretching puts them, and never cover one another.
    void theMainWindowGrowsAndItsControlsFollow_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("half as large again") << QSize(1062, 750);
        QTest::newRow("maximised on 1366x768") << QSize(1366, 768 - 40 - 30);
        QTest::newRow("maximised on 1920x1080") << QSize(1920, 1080 - 40 - 30);
    }
    void theMainWindowGrowsAndItsControlsFollow() {
        QFETCH(QSize, size);
        makeMainWindow();
        f->window->show();
        const QSize design = f->window->size();
        QCOMPARE(f->window->minimumSize(), design);
        std::map<QWidget*, QRect> designed;
        for (QWidget* child : f->window->findChildren<QWidget*>()) {
            if (!child->isWindow() && !child->objectName().isEmpty() && !child->objectName().startsWith(QLatin1String("qt_"))) {
                designed[child] = child->geometry();
            }
        }
        f->window->resize(size);
        QCOMPARE(f->window->size(), size);
        const double fx = double(size.width()) / design.width(), fy = double(size.height()) / design.height();
        auto near = [](double a, double b) { return qAbs(a - b) <= 2; };
        std::vector<QRect> buttons;
        for (const auto& [widget, was] : designed) {
            const QRect now = widget->geometry();
            const char* name = qPrintable(widget->objectName());
            const QPointF centre = QRectF(now).center(), designedCentre = QRectF(was).center();
            QVERIFY2(near(centre.x(), designedCentre.x() * fx) && near(centre.y(), designedCentre.y() * fy), name);
            if (qobject_cast<QPushButton*>(widget)) {
                QVERIFY2(now.width() <= was.width() * 1.25 + 1 && now.height() <= was.height() * 1.25 + 1, name);
                QVERIFY2(now.width() >= was.width() && now.height() >= was.height(), name);
                for (const QRect& other : buttons) QVERIFY2(!other.intersects(now) || widget->isHidden(), name);
                if (!widget->isHidden()) buttons.push_back(now);
            } else if (qobject_cast<QLineEdit*>(widget)) {
                QVERIFY2(near(now.width(), was.width() * fx) && now.height() <= was.height() * 1.25 + 1, name);
            } else if (widget == f->list1() || widget == f->control("Frame1") || widget == f->control("Frame2")) {
                QVERIFY2(near(now.width(), was.width() * fx) && near(now.height(), was.height() * fy), name);
            }
            if (widget->parentWidget() == f->window.get()) QVERIFY2(f->window->rect().contains(now), name);
        }
        // Back to the designed size, back to the designed layout.
        f->window->resize(design);
        for (const auto& [widget, was] : designed) QCOMPARE(widget->geometry(), was);
    }
};

QTEST_MAIN(WindowPlacementTest)
#include "window_placement_test.moc"
