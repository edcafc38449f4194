// Whole runs through the windows: Command3 opens modfrm, its buttons run the engine on a real
// pool, the status panel, run list, counts and buttons end as they should, the post-run
// questions lead to archiving and the export offer, and Command5 exports.
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>

#include "consolidate/run/run_messages.h"
#include "consolidate/status/status_texts.h"
#include "consolidate/desktop/windows/qt_status_view.h"
#include "tests/ui/run_window_fixture.h"
#include "workspace/archive.h"
#include "workspace/export.h"
#include "workspace/working_folder_text.h"
#include "ui/workbook_viewer.h"

using namespace sbx::testing;
namespace fs = std::filesystem;
namespace run_text = sbx::run_text;

namespace {

const QStringList kRunList = {"branch_1.xls", "branch_2.xls", "branch_3.xls"};

// With SBX_SCREENSHOT_DIR set, the main window as it looks now goes there as a PNG.
void screenshot(QWidget* window, const char* name) {
    const QByteArray dir = qgetenv("SBX_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    window->grab().save(QString::fromUtf8(dir) + "/" + QString::fromLatin1(name), "PNG");
}

}  // namespace

class RunWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<RunFixture> f;

    QString text(const char* field) const { return f->control<QLineEdit>(field)->text(); }
    QString finalCaption() const { return f->button("Command7")->text(); }
    void checkFinishedCaption() {
        const QString caption = finalCaption();
        QVERIFY2(caption.startsWith(u("-----工作完毕,用时")) && caption.endsWith(u("-----")), qPrintable(caption));
    }

private slots:
    void init() {
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool();
    }
    void cleanup() {
        QVERIFY2(f->dialogs.problems().empty(), f->dialogs.problems().c_str());
        f.reset();
    }

    void efficiencyRunFinishesAndOffersTheExport() {
        f->readyJob();
        QString hintAtQuestion;
        bool panelClosedAtQuestion = false;
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .then([&] {
                hintAtQuestion = f->hint();
                panelClosedAtQuestion = f->panelHidden() && f->button("Command7")->isVisible();
            })
            .expectYesNo(run_text::kExportQuestion, true)
            .then([&] { screenshot(f->window.get(), "main_window_run_finished.png"); });
        f->clickMode("Command1");

        QCOMPARE(hintAtQuestion, u(run_text::kHintArchive));
        QVERIFY(panelClosedAtQuestion);
        QCOMPARE(f->window->job().runState, sbx::RunState::Finished);
        QVERIFY(!f->window->job().efficiencyBlocked);
        QCOMPARE(QString::fromStdString(totalsMismatch(f->paths, "efficiency", kIncome)), QString());
        QCOMPARE(QString::fromStdString(totalsMismatch(f->paths, "efficiency", kCost)), QString());
        QCOMPARE(f->runList(), kRunList);
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 3"));
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 3"));
        QCOMPARE(f->list1()->count(), 3);  // the pool list keeps its entries
        // The last values of the panel, hidden now: the third file of the last worksheet.
        QCOMPARE(text("Text8"), u(kCost));
        QCOMPARE(text("Text9"), QStringLiteral("branch_3.xls"));
        QCOMPARE(text("Text6"), QString(20, QChar('|')));
        QCOMPARE(f->caption("Label20"), QStringLiteral("100%"));
        checkFinishedCaption();
        QVERIFY(f->panelHidden());
        // Export accepted: Command7 gives way to Command5.
        QVERIFY(f->button("Command7")->isHidden());
        QVERIFY(f->button("Command5")->isVisible());
        QVERIFY(f->button("Command5")->isEnabled());
        QVERIFY(f->focused("Command5"));
        QCOMPARE(f->hint(), u(run_text::kHintExport));
        QVERIFY(!f->modeWindow());
        QVERIFY(f->window->findChildren<sbx::ModeWindow*>().isEmpty());
    }

    void efficiencyRunFailsAndBlocksItsModeForGood() {
        f.reset();
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool("protected_layout.xls");
        f->readyJob();
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        f->dialogs.expectMessage(run_text::efficiencyFailureMessage(f->paths.poolPrefix() + "branch_3.xls"));
        f->clickMode("Command1");

        QCOMPARE(f->window->job().runState, sbx::RunState::Failed);
        QVERIFY(f->window->job().efficiencyBlocked);
        QVERIFY(f->panelHidden());
        for (const char* name : {"Command5", "Command6", "Command7"}) QVERIFY2(f->button(name)->isHidden(), name);
        QVERIFY(f->focused("Command3"));
        QCOMPARE(f->hint(), u(run_text::kHintEfficiency));
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
        QVERIFY(!f->modeWindow());

        // From now on modfrm opens with its efficiency button disabled, however often.
        for (int again = 0; again < 2; ++again) {
            sbx::ModeWindow* modes = f->openModes();
            QVERIFY(modes);
            QVERIFY(!modes->findChild<QPushButton*>("Command1")->isEnabled());
            QVERIFY(modes->findChild<QPushButton*>("Command2")->isEnabled());
            modes->close();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    // A failed efficiency run that saved its first worksheet says which worksheets hold totals;
    // the main window keeps saying so until the next run, and 查看结果 asks first.
    void aFailedRunTellsWhichWorksheetsHoldTotals() {
        f.reset();
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool("protected_layout.xls");  // its locked cell is in the second worksheet
        f->readyJob({{kCost, "b4", "e9"}, {kIncome, "b4", "e9"}});
        const sbx::IncompleteSummary incomplete{{kCost}, {kIncome}};
        f->dialogs.expectMessage(run_text::efficiencyFailureMessage(f->paths.poolPrefix() + "branch_3.xls"))
            .expectMessage(run_text::incompleteSummaryMessage(incomplete));
        f->clickMode("Command1");
        QCOMPARE(QString::fromStdString(totalsMismatch(f->paths, "efficiency", kCost)), QString());
        auto* note = f->control<QLabel>("SummaryNote");
        QVERIFY(note->isVisible());
        QCOMPARE(note->text(), u(run_text::incompleteSummaryLine(incomplete)));
        screenshot(f->window.get(), "main_window_incomplete.png");

        QPushButton* result = f->button("Command8");
        QVERIFY(result->isVisible());
        f->dialogs.expectYesNo(run_text::incompleteSummaryQuestion(incomplete, "查看"), false);
        QTest::mouseClick(result, Qt::LeftButton);  // No: nothing opens
        f->dialogs.expectYesNo(run_text::incompleteSummaryQuestion(incomplete, "查看"), true)
            .expectMessage("查看完毕后,按确定自动关闭!");
        QTest::mouseClick(result, Qt::LeftButton);

        // The next run, over a unit's copy again (a summary with totals would be no template).
        fs::copy_file(kPoolFixture / "branch_3.xls", f->paths.summaryWorkbook(), fs::copy_options::overwrite_existing);
        f->expectFunctionConfirmation(true);
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command2");
        QCOMPARE(f->window->job().runState, sbx::RunState::Finished);
        QVERIFY(note->isHidden());
        QVERIFY(!f->window->job().incompleteSummary.incomplete());
    }

    void functionRunKeepsAProtectedSummaryCell() {
        f.reset();
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool("protected_layout.xls");
        f->readyJob();
        const sbx::CellValue locked =
            sbx::makeNativeHost()->open(f->paths.summaryWorkbook()).worksheet(kIncome).cell(5, 3);
        QString hintAfterConfirmation;
        f->expectFunctionConfirmation(true);
        f->dialogs.then([&] { hintAfterConfirmation = f->hint(); })
            .expectMessage("汇总已完成，但以下内容未能汇入：\r拒绝写入的汇总单元格 1 个：收入明细!c5 仍是模板中的数值")
            .expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command2");

        QCOMPARE(hintAfterConfirmation, u(run_text::kHintFunctionConfirm));
        QCOMPARE(f->window->job().runState, sbx::RunState::Finished);
        QCOMPARE(sbx::makeNativeHost()->open(f->paths.summaryWorkbook()).worksheet(kIncome).cell(5, 3), locked);
        QCOMPARE(QString::fromStdString(totalsMismatch(f->paths, "function", kIncome, "c5")), QString());
        QCOMPARE(QString::fromStdString(totalsMismatch(f->paths, "function", kCost)), QString());
        QCOMPARE(f->runList(), kRunList);
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 3"));
        QCOMPARE(text("Text2"), u(kCost));
        QCOMPARE(text("Text3"), QStringLiteral("branch_3.xls"));
        QCOMPARE(text("Text1"), u("------完毕------"));
        QCOMPARE(text("Text4"), u("------完毕------"));
        QCOMPARE(text("Text5"), QString(20, QChar('|')));
        QCOMPARE(text("Text7"), QString(20, QChar('|')));
        QCOMPARE(text("Text10"), QString(20, QChar('|')));
        for (const char* percent : {"Label16", "Label18", "Label20"}) QCOMPARE(f->caption(percent), QStringLiteral("100%"));
        QVERIFY(f->panelHidden());
        QVERIFY(f->button("Command6")->isHidden());
        checkFinishedCaption();
        QVERIFY(f->button("Command7")->isVisible());  // export declined: the caption stays
        QVERIFY(f->button("Command5")->isHidden());
        QVERIFY(!f->button("Command4")->isEnabled());  // archiving declined in this mode
        QVERIFY(f->focused("Command1"));
        QCOMPARE(f->hint(), u(sbx::namingWorkingFolder(run_text::kHintKeptAtHome, f->paths)));
    }

    // After a run, 查看结果 shows the summary with the cells the run wrote marked, the one that
    // refused its total marked apart, and 打开所在文件夹 asks the desktop for the summary's folder.
    // The next run takes the button away until it finishes.
    void theResultOpensWithTheWrittenCellsMarked() {
        f.reset();
        f = std::make_unique<RunFixture>();
        f->startOverFixturePool("protected_layout.xls");
        f->readyJob();
        f->expectFunctionConfirmation(true);
        f->dialogs.expectMessage("汇总已完成，但以下内容未能汇入：\r拒绝写入的汇总单元格 1 个：收入明细!c5 仍是模板中的数值")
            .expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive)
            .expectYesNo(run_text::kExportQuestion, false);
        QVERIFY(f->button("Command8")->isHidden());
        f->clickMode("Command2");
        QPushButton* result = f->button("Command8");
        QVERIFY(result != nullptr && result->isVisible());
        screenshot(f->window.get(), "run_finished.png");

        QString shown;
        QString marks;  // per checked cell, as markOf tells it
        QString traced;  // the contributions window of b4: its heading, the sum of its values, their count
        f->dialogs.expectMessage("查看完毕后,按确定自动关闭!").then([&] {
            sbx::WorkbookViewer* viewer = nullptr;
            for (QWidget* open : QApplication::topLevelWidgets())
                if (auto* v = qobject_cast<sbx::WorkbookViewer*>(open); v != nullptr && v->isVisible()) viewer = v;
            if (viewer == nullptr) return;
            QTableView& table = viewer->table();
            shown = u(viewer->currentWorksheet()) + "!" + viewer->selectedAddress();
            // "1" written, "2" refused and still the template's value, "0" another cell.
            const auto markOf = [&](int row, int column) {
                const QColor ground = table.model()->index(row - 1, column - 1).data(Qt::BackgroundRole).value<QColor>();
                return ground == sbx::markedCellColour() ? QChar('1') : ground == sbx::keptCellColour() ? QChar('2') : QChar('0');
            };
            for (const auto& [row, column] : {std::pair{4, 2}, {9, 5}, {5, 3}, {3, 2}, {4, 6}}) marks += markOf(row, column);
            // A written cell's menu tells where its total came from: the values listed add up to it.
            QTimer::singleShot(0, [&] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (menu == nullptr) return;
                for (QAction* action : menu->actions())
                    if (action->text() == QString::fromUtf8("查看来源")) menu->setActiveAction(action);
                QTimer::singleShot(0, [&] {
                    auto* from = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                    if (from == nullptr || from->objectName() != "contributionsWindow") return;
                    const QString heading = from->findChild<QLabel*>("contributionsHeading")->text();
                    double sum = 0;
                    auto* list = from->findChild<QTreeWidget*>("contributionsList");
                    for (int i = 0; i < list->topLevelItemCount(); ++i) sum += list->topLevelItem(i)->text(1).toDouble();
                    traced = heading + "=" + QString::number(sum) + "/" + QString::number(list->topLevelItemCount());
                    from->reject();
                });
                QTest::keyClick(menu, Qt::Key_Return);
            });
            const QPoint at = table.visualRect(table.model()->index(3, 1)).center();
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, table.viewport()->mapToGlobal(at));
            QApplication::sendEvent(table.viewport(), &rightClick);
            auto* tabs = viewer->findChild<QTabBar*>("sheetTabs");
            QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
            marks += "|" + u(viewer->currentWorksheet()) + markOf(5, 3) + markOf(10, 5);
            QTest::mouseClick(viewer->findChild<QPushButton*>("openFolder"), Qt::LeftButton);
        });
        QTest::mouseClick(result, Qt::LeftButton);
        QCOMPARE(shown, u(kIncome) + "!b4");
        QCOMPARE(marks, "11200|" + u(kCost) + "10");
        QVERIFY2(traced.startsWith(u(kIncome) + "!B4 的合计："), qPrintable(traced));
        const QString total = traced.section("的合计：", 1).section("=", 0, 0);
        QCOMPARE(traced.section("=", 1).section("/", 0, 0), total);
        QVERIFY(traced.section("/", 1).toInt() > 1);
        const QUrl folder = QUrl::fromLocalFile(QString::fromStdString(sbx::utf8String(f->paths.summaryDirectory())));
        QCOMPARE(f->openedUrls, std::vector<QUrl>{folder});

        f->dialogs.expectMessage("请在左边列表框中选择文件先！");
        f->list1()->clearSelection();
        f->button("Command3")->setEnabled(true);
        QTest::mouseClick(f->button("Command3"), Qt::LeftButton);
        QVERIFY(result->isHidden());
    }

    void noAtTheConfirmationOnlyResetsTheHint() {
        f->readyJob();
        const std::string summaryBefore = bytesOf(f->paths.summaryWorkbook());
        f->expectFunctionConfirmation(false);
        f->clickMode("Command2");
        QCOMPARE(f->hint(), u(run_text::kHintWelcome));
        QVERIFY(!f->modeWindow());
        QVERIFY(f->panelHidden());
        QVERIFY(f->button("Command7")->isHidden());
        QCOMPARE(f->list2()->count(), 0);
        QCOMPARE(bytesOf(f->paths.summaryWorkbook()), summaryBefore);
    }

    void archivingAfterAnEfficiencyRunEmptiesTheLists() {
        f->readyJob();
        fs::copy_file(kPoolFixture / "branch_1.xls", f->paths.poolFile("extra.xls"));
        QString hintAtInput;
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, true, sbx::Risk::Destructive)
            .expectInput(sbx::archive_text::kFolderPrompt, "2005")
            .then([&] { hintAtInput = f->hint(); })
            .expectMessage("清理完毕,共计3个子文件已被移至: [ " + f->paths.poolPrefix() + "2005/ ] 目录下！")
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command1");
        QCOMPARE(hintAtInput, QString());  // the efficiency mode clears it
        for (const auto& name : f->poolNames) {
            QVERIFY(fs::exists(f->paths.poolDirectory() / "2005" / name));
            QVERIFY(!fs::exists(f->paths.poolFile(name)));
        }
        QVERIFY(fs::exists(f->paths.poolFile("extra.xls")));
        QCOMPARE(f->list1()->count(), 0);
        QCOMPARE(f->list2()->count(), 0);
        QCOMPARE(f->caption("Label4"), QStringLiteral(" 0"));
        QCOMPARE(f->caption("Label13"), QStringLiteral("0"));
        QCOMPARE(f->caption("Label10"), QStringLiteral(" 0"));
        QVERIFY(!f->button("Command2")->isEnabled());
        QVERIFY(!f->button("Command3")->isEnabled());
        QCOMPARE(f->hint(), u(sbx::namingWorkingFolder(run_text::kHintKeptAtHome, f->paths)));
    }

    void archivingAfterAFunctionRunIntoAnExistingFolder() {
        f->readyJob();
        fs::create_directories(f->paths.poolDirectory() / "2005");
        QString hintAtInput;
        f->expectFunctionConfirmation(true);
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, true, sbx::Risk::Destructive)
            .expectInput(sbx::archive_text::kFolderPrompt, "2005")
            .then([&] { hintAtInput = f->hint(); })
            .expectYesNo(sbx::archive_text::kFolderExistsQuestion, false, sbx::Risk::Destructive)
            .expectMessage("清理完毕,共计3个子文件已被移至: [ " + f->paths.poolPrefix() +
                           "2005/ ] 目录下\r其中同名文件被标记“new_”以示区别！")
            .expectYesNo(run_text::kExportQuestion, true);
        f->clickMode("Command2");
        QCOMPARE(hintAtInput, u(sbx::namingWorkingFolder(run_text::kHintArchiveExplained, f->paths)));
        for (const char* marked : {"new_branch_1.xls", "new_branch_2.xls", "new_branch_3.xls"}) {
            QVERIFY2(fs::exists(f->paths.poolDirectory() / "2005" / marked), marked);
        }
        QCOMPARE(f->caption("Label13"), QStringLiteral("0"));
        QCOMPARE(f->list1()->count(), 0);
        QVERIFY(f->button("Command4")->isEnabled());  // only declining the archiving disables it
        QVERIFY(f->button("Command5")->isVisible());
    }

    void aDangerousFolderNameMovesNothingAndGoesOnToTheExportOffer() {
        f->readyJob();
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, true, sbx::Risk::Destructive)
            .expectInput(sbx::archive_text::kFolderPrompt, "../escaped_archive")
            .expectMessageContaining("不能作为文件夹名")
            .expectYesNo(run_text::kExportQuestion, false);
        f->clickMode("Command1");
        QVERIFY(!fs::exists(f->paths.poolDirectory().parent_path() / "escaped_archive"));
        for (const auto& name : f->poolNames) QVERIFY(fs::exists(f->paths.poolFile(name)));
        QCOMPARE(f->list1()->count(), 3);
        QCOMPARE(f->runList(), kRunList);
        QVERIFY(f->button("Command2")->isEnabled());
    }

    void command5ExportsTheSummary() {
        f->readyJob();
        f->dialogs.expectYesNo(run_text::kArchiveQuestion, false, sbx::Risk::Destructive).expectYesNo(run_text::kExportQuestion, true);
        f->clickMode("Command1");
        const fs::path out = f->paths.poolDirectory() / "exported";
        fs::create_directories(out);
        sbx::testing::writeFile(out / "old.xls", "old");

        f->dialogs.expectSaveFile(out / "new.xls");
        f->button("Command5")->click();
        QCOMPARE(bytesOf(out / "new.xls"), bytesOf(f->paths.summaryWorkbook()));
        QCOMPARE(f->hint(), u(sbx::export_text::kHintAfterExport));
        QVERIFY(f->focused("Command1"));
        QCOMPARE(f->dialogs.transcript().back().saveRequest.title, std::string("导出汇总EXCELL表格..."));

        f->dialogs.expectSaveFile(out / "old.xls").expectYesNo(sbx::export_text::kOverwriteQuestion, false, sbx::Risk::Destructive);
        f->button("Command5")->click();
        QCOMPARE(bytesOf(out / "old.xls"), std::string("old"));

        f->dialogs.expectSaveFile(out / "old.xls").expectYesNo(sbx::export_text::kOverwriteQuestion, true, sbx::Risk::Destructive);
        f->button("Command5")->click();
        QCOMPARE(bytesOf(out / "old.xls"), bytesOf(f->paths.summaryWorkbook()));

        f->window->setHint("changed");
        f->dialogs.expectSaveFile(std::nullopt);
        f->button("Command5")->click();
        QCOMPARE(f->hint(), u(sbx::export_text::kHintAfterExport));  // cancelling still resets it

        f->dialogs.expectSaveFile(out / "missing" / "x.xls").expectMessageContaining("汇总文件未能导出到:");
        f->button("Command5")->click();
        QVERIFY(!fs::exists(out / "missing"));
        QVERIFY(f->button("Command5")->isVisible());  // usable again and again
    }

    // Each bar shows on its left what it measures, whole, and no two bars of a panel say the
    // same; the efficiency panel names its own bar after a function run used the same line.
    void eachBarSaysWhatItMeasures_data() {
        QTest::addColumn<bool>("function");
        QTest::addColumn<QStringList>("bars");
        QTest::newRow("function") << true << QStringList{"Text5", "Text7", "Text10"};
        QTest::newRow("efficiency after function") << false << QStringList{"Text6"};
    }
    void eachBarSaysWhatItMeasures() {
        QFETCH(bool, function);
        QFETCH(QStringList, bars);
        sbx::QtStatusView status(f->window->controls());
        status.openFunctionPanel();
        if (!function) {
            status.closeFunctionPanel();
            status.openEfficiencyPanel();
        }
        QStringList captions;
        const QList<QLabel*> labels = f->window->findChildren<QLabel*>();
        for (const QString& name : bars) {
            auto* bar = f->control<QLineEdit>(name.toLatin1().constData());
            QVERIFY2(bar->isVisible(), qPrintable(name));
            QLabel* caption = nullptr;
            for (QLabel* label : labels) {
                const QRect at = label->geometry();
                if (label->isVisible() && at.center().y() == bar->geometry().center().y() && at.right() < bar->x() &&
                    (!caption || at.right() > caption->geometry().right())) {
                    caption = label;
                }
            }
            QVERIFY2(caption && !caption->text().isEmpty(), qPrintable(name));
            QVERIFY2(caption->fontMetrics().horizontalAdvance(caption->text()) <= caption->contentsRect().width(),
                     qPrintable(caption->text()));
            QVERIFY2(!captions.contains(caption->text()), qPrintable(caption->text()));
            captions << caption->text();
            QVERIFY(!bar->toolTip().isEmpty());
            QCOMPARE(caption->toolTip(), bar->toolTip());
        }
        status.hideStatusPanel();
    }

    // The status panel between the engine and the window: per-cell calls wait for the next
    // repaint, which comes at most every 50 ms; a flush shows the latest numbers at once.
    void statusViewThrottlesRepaintsAndShowsTheLatestNumbers() {
        sbx::QtStatusView status(f->window->controls());
        status.openFunctionPanel();
        for (const char* name : {"Label2", "Text1", "Text5", "Text10", "Text7", "Label20"}) {
            QVERIFY2(f->control(name)->isVisible(), name);
        }
        QVERIFY(f->button("Command6")->isVisible());
        QVERIFY(f->control("Image1")->isHidden());
        QVERIFY(f->control("Text6")->isHidden());
        const int before = status.repaints();
        QElapsedTimer clock;
        clock.start();
        const long long cells = 200000;
        for (long long k = 1; k <= cells; ++k) {
            status.showOverallReadProgress(k, 2 * cells);
            status.showReadCell(2, static_cast<int>(k % 65536) + 1, false);
        }
        const qint64 took = clock.elapsed();
        QVERIFY2(status.repaints() - before <= took / 50 + 2,
                 qPrintable(QStringLiteral("%1 repaints in %2 ms").arg(status.repaints() - before).arg(took)));
        // A long stretch of cells still repaints now and then.
        if (took >= 150) QVERIFY(status.repaints() - before >= 1);
        status.showReading(kIncome, "branch_2.xls");
        status.setProgressCaption("总进程：1/2  用时0:0:3");
        status.showFileReadProgress(3, 4);
        status.showWrittenCell(8, 20, false);
        status.flush();
        QCOMPARE(text("Text5"), u(sbx::paddedProgressBar(cells, 2 * cells)));
        QCOMPARE(f->caption("Label16"), QStringLiteral("50%"));
        QCOMPARE(text("Text7"), QString(15, QChar('|')));
        QCOMPARE(f->caption("Label18"), QStringLiteral("75%"));
        QCOMPARE(text("Text4"), u(sbx::cellText(8, 20, false)));
        QCOMPARE(text("Text2"), u(kIncome));
        QCOMPARE(text("Text3"), QStringLiteral("branch_2.xls"));
        QVERIFY(f->control<QLineEdit>("Text2")->toolTip().isEmpty());
        // A name longer than its field: its start and its end, the whole in the tooltip.
        const std::string longName = "第一季度各单位主要经济指标完成情况统计汇总表（含附表）";
        status.showReading(longName, "branch_2.xls");
        const QString shown = text("Text2");
        QVERIFY2(shown.contains(QChar(0x2026)) && shown.startsWith(u("第一")) && shown.endsWith(u("附表）")), qPrintable(shown));
        QCOMPARE(f->control<QLineEdit>("Text2")->toolTip(), u(longName));
        status.showReading(kIncome, "branch_2.xls");
        QCOMPARE(finalCaption(), u("总进程：1/2  用时0:0:3"));
        screenshot(f->window.get(), "main_window_function_run.png");

        status.closeFunctionPanel();
        QVERIFY(f->panelHidden());
        QVERIFY(f->button("Command6")->isHidden());
        status.openEfficiencyPanel();
        for (const char* name : {"Label19", "Label20", "Label21", "Label22", "Label23", "Text6", "Text8", "Text9"}) {
            QVERIFY2(f->control(name)->isVisible(), name);
        }
        QVERIFY(f->control("Text5")->isHidden());
        QCOMPARE(f->caption("Label20"), QStringLiteral("0%"));
        status.hideStatusPanel();
        QVERIFY(f->panelHidden());
    }
};

QTEST_MAIN(RunWindowTest)
#include "run_window_test.moc"
