// The read-only workbook viewer: what it shows, the address of a selection, the look from
// the range entry window closed by the program or by the user, and that the file stays as it was.
#include <QItemSelectionModel>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QPushButton>
#include <QLabel>
#include <QHeaderView>
#include <QScrollBar>
#include <QScreen>
#include <QTabBar>
#include <QTableView>
#include <QWindow>
#include <fstream>
#include <iterator>

#include <sys/stat.h>
#include <unistd.h>

#include "job/windows/range_entry_window.h"
#include "tests/ui/job_window_harness.h"
#include "spreadsheet/workbook_error.h"
#include "tests/support/test_files.h"
#include "tests/ui/modal_helper.h"
#include "ui/qt_dialogs.h"
#include "ui/window_placement.h"
#include "ui/workbook_viewer.h"

using namespace sbx;
using namespace sbx::testing;

namespace {

WorkbookViewer* openViewer() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* viewer = qobject_cast<WorkbookViewer*>(window); viewer != nullptr && viewer->isVisible()) return viewer;
    return nullptr;
}

void select(QTableView& table, int top, int left, int bottom, int right) {
    const auto* model = table.model();
    table.selectionModel()->select(QItemSelection(model->index(top, left), model->index(bottom, right)),
                                   QItemSelectionModel::ClearAndSelect);
}

QAbstractButton* buttonCaptioned(QWidget* box, const QString& caption) {
    for (auto* button : box->findChildren<QAbstractButton*>())
        if (button->text() == caption) return button;
    return nullptr;
}

// A click at the centre of `rect` of `widget`, sent to its window as the window system would.
void clickThroughWindow(QWidget& widget, const QRect& rect) {
    QWidget* window = widget.window();
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, {}, widget.mapTo(window, rect.center()));
}

}  // namespace

class ViewerTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }

    void namesAndValuesAsTheRangeEntryWantsThem() {
        QCOMPARE(columnLetters(1), std::string("a"));
        QCOMPARE(columnLetters(26), std::string("z"));
        QCOMPARE(columnLetters(27), std::string("aa"));
        QCOMPARE(columnLetters(52), std::string("az"));
        QCOMPARE(columnLetters(256), std::string("iv"));
        QCOMPARE(displayText(CellValue::number(12.5)), QString("12.5"));
        QCOMPARE(displayText(CellValue::number(0.1 + 0.2)), QString("0.3"));
        QCOMPARE(displayText(CellValue::boolean(true)), QString("TRUE"));
        QCOMPARE(displayText(CellValue::date(1.0)), QString("1900-01-01"));
        QCOMPARE(displayText(CellValue::date(61.5)), QString("1900-03-01 12:00:00"));
        QCOMPARE(displayText(CellValue::error(error_code::Div0)), QString("#DIV/0!"));
        QCOMPARE(displayText(CellValue()), QString());
    }

    void showsTheWorksheetsAndTheSelectedAddress() {
        auto host = makeNativeHost();
        Workbook& book = host->open(jobFixture("sheets_10_blank_names"));
        WorkbookViewer viewer(book);
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        viewer.show();
        auto* tabs = viewer.findChild<QTabBar*>("sheetTabs");
        QCOMPARE(tabs->count(), 10);
        QCOMPARE(tabs->tabText(0), QString(" 表 1 "));
        QTableView& table = viewer.table();
        QAbstractItemModel* model = table.model();
        QCOMPARE(model->rowCount(), 65536);
        QCOMPARE(model->columnCount(), 256);
        QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString("b"));
        QCOMPARE(model->headerData(255, Qt::Horizontal).toString(), QString("iv"));
        QCOMPARE(model->headerData(65535, Qt::Vertical).toInt(), 65536);
        QCOMPARE(model->index(0, 0).data().toString(), QString("合计"));
        QCOMPARE(model->index(2, 1).data().toString(), QString("12.5"));
        QCOMPARE(model->index(2, 2).data().toString(), QString("3"));
        QVERIFY(model->index(65535, 255).data().toString().isEmpty());
        QVERIFY(!(model->flags(model->index(2, 1)) & Qt::ItemIsEditable));

        auto* label = viewer.findChild<QLabel*>("selectionLabel");
        select(table, 2, 1, 19, 7);
        QCOMPARE(label->text(), QString("b3:h20"));
        select(table, 2, 1, 2, 1);
        QCOMPARE(label->text(), QString("b3"));

        tabs->setCurrentIndex(1);
        QVERIFY(table.model()->index(2, 1).data().toString().isEmpty());
        QVERIFY(label->text().isEmpty());
        select(table, 0, 26, 4, 29);
        QCOMPARE(label->text(), QString("aa1:ad5"));
        host->quit();
    }

    // An .xlsx worksheet is shown to its last cell, XFD1048576, and a selection there is named.
    void anXlsxWorksheetShowsTheFullGrid() {
        auto host = makeNativeHost();
        Workbook& book = host->open(std::filesystem::path(SBX_TEST_DATA) / "grid" / "grid_1.xlsx");
        WorkbookViewer viewer(book);
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        viewer.show();
        QTableView& table = viewer.table();
        const QAbstractItemModel* model = table.model();
        QCOMPARE(model->rowCount(), 1048576);
        QCOMPARE(model->columnCount(), 16384);
        QCOMPARE(model->headerData(16383, Qt::Horizontal).toString(), QString("xfd"));
        QCOMPARE(model->index(1048575, 16383).data().toString(), QString("100"));
        QCOMPARE(model->index(69999, 26).data().toString(), QString("10"));
        select(table, 69999, 26, 1048575, 16383);
        QCOMPARE(viewer.findChild<QLabel*>("selectionLabel")->text(), QString("aa70000:xfd1048576"));
    }

    // Money as the report shows it: each cell's format, right-aligned, red negatives, columns
    // wide enough for every amount and still widened by hand; Esc closes the look.
    void showsMoneyAsMoney() {
        auto host = makeNativeHost();
        Workbook& book = host->open(jobFixture("money_formats"));
        WorkbookViewer viewer(book);
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        QTableView& table = viewer.table();
        const QAbstractItemModel& model = *table.model();
        const struct {
            int row;
            const char* shown;
        } amounts[] = {{1, "1,016,452.35"}, {2, "12.34%"}, {3, "2024年1月1日"}, {4, "-1,234.50"}, {5, "123,456,789,012.50"}};
        for (const auto& amount : amounts) {
            const QModelIndex cell = model.index(amount.row, 1);
            QCOMPARE(cell.data().toString(), QString::fromUtf8(amount.shown));
            QVERIFY(cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
            QVERIFY2(table.columnWidth(1) > table.fontMetrics().horizontalAdvance(cell.data().toString()), amount.shown);
        }
        QCOMPARE(model.index(4, 1).data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::red));
        QCOMPARE(model.index(1, 0).data().toString(), QString("东城区"));
        QVERIFY(model.index(1, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);

        QCOMPARE(table.horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
        const int before = table.columnWidth(0);
        table.horizontalHeader()->resizeSection(0, before + 40);
        QCOMPARE(table.columnWidth(0), before + 40);

        table.setFocus();
        QTest::keyClick(&table, Qt::Key_Escape);
        QVERIFY(!viewer.isVisible());
        host->quit();
    }

    void closedByTheProgramAfterOk() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        const auto total = h.context().paths.summaryWorkbook();
        const std::string before = bytesOf(total);
        h.job.chosenSheets = {"表1"};
        auto* window = RangeEntryWindow::open(h.context());
        bool shownDuringMessage = false;
        h.dialogs.expectMessage("查看完毕后,按确定自动关闭!").then([&] {
            auto* viewer = openViewer();
            shownDuringMessage = viewer != nullptr && viewer->findChild<QTabBar*>("sheetTabs")->count() == 9 &&
                                 !window->isEnabled();
        });
        QVERIFY(clickScripted(window->findChild<QAbstractButton*>("Command3"), h.dialogs));
        QVERIFY(shownDuringMessage);
        QVERIFY(openViewer() == nullptr);
        QVERIFY(RangeEntryWindow::findOpen() == window);
        QVERIFY(window->isEnabled());
        QCOMPARE(bytesOf(total), before);
    }

    // The message waits beside the viewer: clicks and keys the window system delivers reach the
    // viewer, which is the active window, until OK closes both. The box is kept above the
    // viewer, not over its middle; the main window waits, disabled.
    void usableWhileItsMessageWaits() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        h.main.setGeometry(90, 250, 700, 500);  // away from where a window opens unplaced
        h.main.show();
        h.main.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &h.main);
        const QRect mainFrame = h.main.frameGeometry();
        QtDialogs dialogs(&h.main);
        bool reached = false;
        onNextModal([&](QWidget* box) {
            auto* viewer = openViewer();
            QVERIFY(viewer != nullptr);
            QTRY_COMPARE(QApplication::activeWindow(), viewer);
            QVERIFY(!box->isModal() && !h.main.isEnabled());
            QCOMPARE(box->windowHandle()->transientParent(), viewer->windowHandle());
            QVERIFY(!box->frameGeometry().contains(viewer->frameGeometry().center()));
            const QRect free = viewer->screen()->availableGeometry();
            QCOMPARE(viewer->frameGeometry().topLeft(), centredTopLeft(mainFrame, viewer->frameGeometry().size(), free));
            auto* tabs = viewer->findChild<QTabBar*>("sheetTabs");
            clickThroughWindow(*tabs, tabs->tabRect(2));
            QCOMPARE(tabs->currentIndex(), 2);
            QTableView& table = viewer->table();
            clickThroughWindow(*table.viewport(), table.visualRect(table.model()->index(1, 1)));
            QTest::keyClick(viewer->windowHandle(), Qt::Key_Down, Qt::ShiftModifier);
            QTest::keyClick(viewer->windowHandle(), Qt::Key_Right, Qt::ShiftModifier);
            QCOMPARE(viewer->selectedAddress(), QString("b2:c3"));
            const int top = table.verticalScrollBar()->value();
            QTest::keyClick(viewer->windowHandle(), Qt::Key_PageDown);
            QVERIFY(table.verticalScrollBar()->value() > top);
            reached = true;
            QTest::mouseClick(buttonCaptioned(box, "确定"), Qt::LeftButton);
        });
        lookAtWorkbook(dialogs, [] { return makeNativeHost(); }, h.context().paths.summaryWorkbook());
        QVERIFY(reached);
        QVERIFY(openViewer() == nullptr);
        QVERIFY(h.main.isEnabled());
    }

    // From the range entry, "填入区间" takes the selection into the boxes of the worksheet
    // shown; on a worksheet the range entry has no boxes for, it is disabled.
    void theSelectionGoesIntoTheRangeEntry() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        h.job.chosenSheets = {"表2", "表5"};
        auto* window = RangeEntryWindow::open(h.context());
        bool disabledOnOtherSheets = false;
        h.dialogs.expectMessage("查看完毕后,按确定自动关闭!").then([&] {
            auto* viewer = openViewer();
            if (viewer == nullptr) return;
            auto* take = viewer->findChild<QPushButton*>("takeRange");
            auto* tabs = viewer->findChild<QTabBar*>("sheetTabs");
            QTableView& table = viewer->table();
            const auto cell = [&](int row, int column) { return table.visualRect(table.model()->index(row, column)).center(); };
            QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell(0, 0));
            disabledOnOtherSheets = !take->isEnabled();  // 表1 has no boxes
            for (const auto& [tab, first, last] : {std::tuple{4, std::pair{2, 1}, std::pair{4, 3}},
                                                   std::tuple{1, std::pair{1, 0}, std::pair{1, 0}}}) {
                QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(tab).center());
                QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, cell(first.first, first.second));
                QTest::mouseClick(table.viewport(), Qt::LeftButton, Qt::ShiftModifier, cell(last.first, last.second));
                QTest::mouseClick(take, Qt::LeftButton);
            }
        });
        QVERIFY(clickScripted(window->findChild<QAbstractButton*>("Command3"), h.dialogs));
        QVERIFY(disabledOnOtherSheets);
        QCOMPARE(window->box(1, 2)->text() + ":" + window->box(1, 3)->text(), QString("a2:a2"));
        QCOMPARE(window->box(2, 2)->text() + ":" + window->box(2, 3)->text(), QString("b3:d5"));
        h.dialogs.expectMessage("请在左面列表框中选择汇表子文件！");
        QVERIFY(clickScripted(window->findChild<QAbstractButton*>("Command4"), h.dialogs));
        QCOMPARE(h.job.rangeTable, (Job{{"表2", {2, 1, 2, 1}}, {"表5", {3, 2, 5, 4}}}));
    }

    // A caller's entries for the menu of a right-clicked cell get that cell of the sheet shown.
    void theCellMenuHookGetsTheClickedCell() {
        auto host = makeNativeHost();
        Workbook& book = host->open(jobFixture("sheets_9"));
        ViewerExtras extras;
        std::string asked;
        extras.cellMenu = [&](QMenu& menu, const std::string& sheet, CellAddress cell) {
            asked = sheet + "!" + cellName(cell);
            menu.addAction(QStringLiteral("来源"));
        };
        WorkbookViewer viewer(book, extras);
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        viewer.show();
        viewer.showWorksheet(3);
        QTableView& table = viewer.table();
        bool menuShown = false;
        QTimer::singleShot(0, [&] {
            QWidget* popup = QApplication::activePopupWidget();
            menuShown = popup != nullptr;
            if (popup != nullptr) popup->close();
        });
        const QPoint at = table.visualRect(table.model()->index(4, 2)).center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
        QApplication::sendEvent(table.viewport(), &rightClick);
        QCOMPARE(asked, std::string("表3!c5"));
        QVERIFY(menuShown);
        host->quit();
    }

    void closedByTheUserFirst() {
        JobWindowHarness h;
        h.useSummaryWorkbook("sheets_9");
        h.dialogs.expectMessage("查看完毕后,按确定自动关闭!")
            .then([] {
                auto* viewer = openViewer();
                QVERIFY(viewer != nullptr);
                viewer->close();
            })
            .expectMessage("表格已自动关闭!");
        lookAtWorkbook(h.dialogs, [] { return makeNativeHost(); }, h.context().paths.summaryWorkbook());
        QVERIFY2(h.dialogs.problems().empty(), h.dialogs.problems().c_str());
        QVERIFY(openViewer() == nullptr);
    }

    void theRangeEntryReportsAWorkbookItCannotOpen() {
        JobWindowHarness h;
        h.job.chosenSheets = {"表1"};
        auto* window = RangeEntryWindow::open(h.context());
        h.dialogs.expectMessageContaining("total.xls");
        QVERIFY(clickScripted(window->findChild<QAbstractButton*>("Command3"), h.dialogs));
        QVERIFY(window->isEnabled());
        QVERIFY(openViewer() == nullptr);
    }

    // A folder or FIFO named like a workbook is refused before anything opens it.
    void aFolderOrFifoThrowsBeforeAnyMessage() {
        alarm(30);  // opening the FIFO would block: fail instead of hanging
        JobWindowHarness h;
        const std::filesystem::path folder = h.context().paths.poolFile("folder.xls");
        const std::filesystem::path fifo = h.context().paths.poolFile("pipe.xls");
        std::filesystem::create_directories(folder);
        QCOMPARE(mkfifo(fifo.c_str(), 0600), 0);
        for (const auto& file : {folder, fifo}) {
            QVERIFY_THROWS_EXCEPTION(WorkbookError, lookAtWorkbook(h.dialogs, [] { return makeNativeHost(); }, file));
        }
        QVERIFY(h.dialogs.transcript().empty());
        std::filesystem::remove(fifo);
        std::filesystem::remove(folder);
        alarm(0);
    }

    void aMissingWorkbookThrowsBeforeAnyMessage() {
        JobWindowHarness h;
        QVERIFY_THROWS_EXCEPTION(WorkbookError, lookAtWorkbook(h.dialogs, [] { return makeNativeHost(); },
                                                               h.context().paths.summaryWorkbook()));
        QVERIFY(h.dialogs.transcript().empty());
    }
};

QTEST_MAIN(ViewerTest)
#include "viewer_test.moc"
