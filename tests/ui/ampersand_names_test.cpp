// "&" in a worksheet name shows as "&" wherever the name appears: the check boxes of the
// worksheet selection, the viewer's tabs, range entry's name boxes, an input box's prompt;
// and it binds no Alt key there.
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QtTest>

#include "job/windows/range_entry_window.h"
#include "job/windows/sheet_selection_window.h"
#include "tests/support/memory_host.h"
#include "tests/ui/job_window_harness.h"
#include "tests/ui/modal_helper.h"
#include "ui/qt_dialogs.h"
#include "ui/workbook_viewer.h"

using namespace sbx;
using namespace sbx::testing;

namespace {

// What a widget that reads mnemonics draws for `caption` (Qt's rule): "&&" as "&", and an
// "&" before a character marks that character and is not drawn.
QString drawn(const QString& caption) {
    QString shown;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&')) {
            shown += caption[i];
        } else if (i + 1 < caption.size()) {
            shown += caption[++i];
        }
    }
    return shown;
}

}  // namespace

class AmpersandNamesTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { closeAllWindows(); }

    void namesShowAsWrittenAndBindNoKey_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("altKey");  // the key that "&" would have bound, 0 for none
        QTest::newRow("R&D") << "R&D" << int(Qt::Key_D);
        QTest::newRow("&&") << "&&" << 0;
        QTest::newRow("a&") << "a&" << 0;
        QTest::newRow("&b") << "&b" << int(Qt::Key_B);
    }
    void namesShowAsWrittenAndBindNoKey() {
        QFETCH(QString, name);
        QFETCH(int, altKey);
        const std::string utf8 = name.toStdString();

        // Worksheet selection: the check box's caption; Alt with the marked letter ticks nothing.
        JobWindowHarness h;
        h.job.sheetNames = {utf8};
        auto* selection = new SheetSelectionWindow(h.context());
        selection->show();
        QApplication::setActiveWindow(selection);
        QVERIFY(QTest::qWaitForWindowActive(selection));
        QCheckBox* box = selection->checkBoxes().at(0);
        QCOMPARE(drawn(box->text()), name);
        QVERIFY(QKeySequence::mnemonic(box->text()).isEmpty());
        if (altKey != 0) QTest::keyClick(selection, static_cast<Qt::Key>(altKey), Qt::AltModifier);
        QVERIFY(!box->isChecked());
        selection->close();

        // Range entry: the name box shows the name itself.
        h.job.chosenSheets = {utf8};
        RangeEntryWindow* entry = RangeEntryWindow::open(h.context());
        QCOMPARE(entry->box(1, 1)->text(), name);
        entry->close();

        // The viewer's worksheet tab.
        test::MemoryFiles files;
        test::MemoryBook book;
        book.add(utf8);
        files.put("/pool/book.xls", book);
        test::MemoryHost host(files);
        WorkbookViewer viewer(host.open("/pool/book.xls"));
        viewer.setAttribute(Qt::WA_DeleteOnClose, false);
        auto* tabs = viewer.findChild<QTabBar*>("sheetTabs");
        QCOMPARE(drawn(tabs->tabText(0)), name);
        QVERIFY(QKeySequence::mnemonic(tabs->tabText(0)).isEmpty());

        // An input box whose prompt names it (its label is the text box's buddy).
        QString label;
        onNextModal([&label](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            if (!input) return;
            for (auto* shown : input->findChildren<QLabel*>()) label += shown->text();
            input->reject();
        });
        QtDialogs dialogs;
        dialogs.inputBox("工作表 " + utf8, "", "");
        QCOMPARE(drawn(label), "工作表 " + name);
    }
};

QTEST_MAIN(AmpersandNamesTest)
#include "ampersand_names_test.moc"
