// The Qt boxes keep the program's conventions: title "数簿星", the stated buttons, no icon,
// a carriage return shown as a line break; the save dialog asks nothing about overwriting.
#include <filesystem>
#include <memory>

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include "tests/ui/modal_helper.h"
#include "spreadsheet/utf8_path.h"
#include "ui/qt_dialogs.h"

using sbx::testing::onNextModal;

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Critical;
    QMessageBox::StandardButtons buttons;
    Qt::TextFormat format = Qt::RichText;
    QStringList captions;  // of the buttons, in the box's order
};

// Records the box that opens next and presses `answer` on it.
std::shared_ptr<SeenBox> answerBox(QMessageBox::StandardButton answer) {
    auto seen = std::make_shared<SeenBox>();
    onNextModal([seen, answer](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        *seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons(), box->textFormat(), {}};
        for (QAbstractButton* b : box->buttons()) seen->captions << b->text();
        seen->captions.sort();
        if (QAbstractButton* button = box->button(answer)) button->click();
    });
    return seen;
}

}  // namespace

class QtDialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }

    void carriageReturnsBecomeLineBreaks() {
        QCOMPARE(sbx::dialogText("一\r二\r\n三"), QString::fromUtf8("一\n二\n三"));
        QCOMPARE(sbx::dialogText("无换行"), QString::fromUtf8("无换行"));
    }

    void messageHasTitleOkOnlyAndNoIcon() {
        sbx::QtDialogs dialogs;
        auto seen = answerBox(QMessageBox::Ok);
        dialogs.message("第一行\r第二行 <b>不是标记</b>");
        QCOMPARE(seen->title, QString::fromUtf8("数簿星"));
        QCOMPARE(seen->text, QString::fromUtf8("第一行\n第二行 <b>不是标记</b>"));
        QCOMPARE(seen->icon, QMessageBox::NoIcon);
        QCOMPARE(seen->buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(seen->format, Qt::PlainText);
        QCOMPARE(seen->captions, QStringList{QString::fromUtf8("确定")});
    }

    void questionsOfferTheirTwoButtonsAndReturnTheAnswer_data() {
        QTest::addColumn<bool>("yesNo");
        QTest::addColumn<int>("press");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes") << true << int(QMessageBox::Yes) << true;
        QTest::newRow("No") << true << int(QMessageBox::No) << false;
        QTest::newRow("OK") << false << int(QMessageBox::Ok) << true;
        QTest::newRow("Cancel") << false << int(QMessageBox::Cancel) << false;
    }
    void questionsOfferTheirTwoButtonsAndReturnTheAnswer() {
        QFETCH(bool, yesNo);
        QFETCH(int, press);
        QFETCH(bool, expected);
        sbx::QtDialogs dialogs;
        auto seen = answerBox(static_cast<QMessageBox::StandardButton>(press));
        const auto risk = sbx::Risk::Harmless;
        const bool answer = yesNo ? dialogs.askYesNo("问题?", risk) : dialogs.askOkCancel("问题?", risk);
        QCOMPARE(answer, expected);
        QCOMPARE(seen->title, QString::fromUtf8("数簿星"));
        QCOMPARE(seen->icon, QMessageBox::NoIcon);
        QCOMPARE(seen->buttons, yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok | QMessageBox::Cancel);
        // Chinese captions whatever the system's language.
        QStringList captions = yesNo ? QStringList{QString::fromUtf8("否(&N)"), QString::fromUtf8("是(&Y)")}
                                     : QStringList{QString::fromUtf8("取消"), QString::fromUtf8("确定")};
        captions.sort();
        QCOMPARE(seen->captions, captions);
    }

    // Enter, as a hasty user presses it, gives the default answer: "yes" only where it destroys nothing.
    void enterGivesTheSafeAnswerToADestructiveQuestion_data() {
        QTest::addColumn<bool>("yesNo");
        QTest::addColumn<bool>("destructive");
        QTest::addColumn<bool>("expected");
        QTest::newRow("Yes/No harmless") << true << false << true;
        QTest::newRow("Yes/No destructive") << true << true << false;
        QTest::newRow("OK/Cancel harmless") << false << false << true;
        QTest::newRow("OK/Cancel destructive") << false << true << false;
    }
    void enterGivesTheSafeAnswerToADestructiveQuestion() {
        QFETCH(bool, yesNo);
        QFETCH(bool, destructive);
        QFETCH(bool, expected);
        sbx::QtDialogs dialogs;
        onNextModal([](QWidget* modal) {
            QWidget* focused = modal->focusWidget() ? modal->focusWidget() : modal;
            QTest::keyClick(focused, Qt::Key_Return);
        });
        const auto risk = destructive ? sbx::Risk::Destructive : sbx::Risk::Harmless;
        const bool answer = yesNo ? dialogs.askYesNo("删除?", risk) : dialogs.askOkCancel("删除?", risk);
        QCOMPARE(answer, expected);
    }

    // The overwrite question for several files: four buttons, and Enter, Esc and 否 answer for
    // this file only.
    void aQuestionForSeveralFilesOffersAnAnswerForAll_data() {
        QTest::addColumn<int>("press");  // a button, or 0 for Enter, -1 for Esc
        QTest::addColumn<int>("expected");
        QTest::newRow("是") << int(QMessageBox::Yes) << int(sbx::ForAllAnswer::Yes);
        QTest::newRow("否") << int(QMessageBox::No) << int(sbx::ForAllAnswer::No);
        QTest::newRow("全部覆盖") << int(QMessageBox::YesToAll) << int(sbx::ForAllAnswer::YesToAll);
        QTest::newRow("全部跳过") << int(QMessageBox::NoToAll) << int(sbx::ForAllAnswer::NoToAll);
        QTest::newRow("Enter") << 0 << int(sbx::ForAllAnswer::No);
        QTest::newRow("Esc") << -1 << int(sbx::ForAllAnswer::No);
    }
    void aQuestionForSeveralFilesOffersAnAnswerForAll() {
        QFETCH(int, press);
        QFETCH(int, expected);
        sbx::QtDialogs dialogs;
        auto captions = std::make_shared<QStringList>();
        onNextModal([captions, press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) return;
            for (QAbstractButton* b : box->buttons()) *captions << b->text();
            captions->sort();
            QWidget* focused = box->focusWidget() ? box->focusWidget() : box;
            if (press > 0) {
                box->button(static_cast<QMessageBox::StandardButton>(press))->click();
            } else {
                QTest::keyClick(focused, press == 0 ? Qt::Key_Return : Qt::Key_Escape);
            }
        });
        QCOMPARE(int(dialogs.askYesNoForAll("目标目录下有a.xls同名文件，是否覆盖?")), expected);
        QStringList shown{QString::fromUtf8("是(&Y)"), QString::fromUtf8("否(&N)"), QString::fromUtf8("全部覆盖"),
                          QString::fromUtf8("全部跳过")};
        shown.sort();
        QCOMPARE(*captions, shown);
    }

    void openDialogGivesAnExistingFileOrNothingOnCancel() {
        QTemporaryDir folder;
        QFile blank(folder.filePath(QString::fromUtf8("空白表.xls")));
        QVERIFY(blank.open(QIODevice::WriteOnly));
        blank.close();
        sbx::QtDialogs dialogs;
        auto seen = std::make_shared<QString>();
        onNextModal([seen](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog) return;
            *seen = dialog->directory().absolutePath();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) return;
            name->setText(QString::fromUtf8("空白表.xls"));
            static_cast<QDialog*>(dialog)->accept();
        });
        const sbx::OpenFileRequest request{"选择", "表格文件 (*.xls *.xlsx *.xlsm)", sbx::utf8Path(folder.path().toStdString())};
        const auto chosen = dialogs.openFile(request);
        QVERIFY(chosen.has_value());
        QCOMPARE(QString::fromStdString(sbx::utf8String(*chosen)), blank.fileName());
        QCOMPARE(*seen, QDir(folder.path()).absolutePath());

        onNextModal([](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) dialog->reject();
        });
        QCOMPARE(dialogs.openFile(request), std::nullopt);
    }

    void inputBoxGivesTheTextOrNothingOnCancel() {
        sbx::QtDialogs dialogs;
        auto seen = std::make_shared<QStringList>();
        onNextModal([seen](QWidget* modal) {
            auto* input = qobject_cast<QInputDialog*>(modal);
            if (!input) return;
            *seen << input->windowTitle() << input->labelText() << input->textValue();
            input->setTextValue(QString::fromUtf8("归档一月"));
            input->accept();
        });
        QCOMPARE(dialogs.inputBox("请输入\r文件夹名", "文件清理", "默认"), std::optional<std::string>("归档一月"));
        QCOMPARE(*seen, (QStringList{QString::fromUtf8("文件清理"), QString::fromUtf8("请输入\n文件夹名"),
                                     QString::fromUtf8("默认")}));

        onNextModal([](QWidget* modal) {
            if (auto* input = qobject_cast<QInputDialog*>(modal)) input->reject();
        });
        QCOMPARE(dialogs.inputBox("请输入", "", ""), std::nullopt);
    }

    void saveDialogTakesTheRequestAndNeverAsksAboutOverwriting() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QFile existing(folder.filePath("total.xls"));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();

        sbx::QtDialogs dialogs;
        struct Seen {
            QString title;
            QString suffix;
            QStringList filters;
            QString directory;
            bool confirmsOverwrite = true;
        };
        auto seen = std::make_shared<Seen>();
        onNextModal([seen](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog) return;
            *seen = {dialog->windowTitle(), dialog->defaultSuffix(), dialog->nameFilters(),
                     dialog->directory().absolutePath(), !dialog->testOption(QFileDialog::DontConfirmOverwrite)};
            // Typed into the name box as a user would (selectFile leaves a focused box alone).
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            if (!name) return;
            name->setText(QStringLiteral("total"));
            static_cast<QDialog*>(dialog)->accept();
        });
        const sbx::SaveFileRequest request{"导出汇总EXCELL表格...", "*.xls", "xls",
                                           std::filesystem::path(folder.path().toStdString())};
        const auto chosen = dialogs.saveFile(request);
        // No box of its own about the existing total.xls: the accept went straight through.
        QVERIFY(chosen.has_value());
        QCOMPARE(QString::fromStdString(chosen->string()), folder.filePath("total.xls"));
        QCOMPARE(seen->title, QString::fromUtf8("导出汇总EXCELL表格..."));
        QCOMPARE(seen->suffix, QStringLiteral("xls"));
        QCOMPARE(seen->filters, QStringList{QStringLiteral("*.xls")});
        QCOMPARE(seen->directory, QDir(folder.path()).absolutePath());
        QVERIFY(!seen->confirmsOverwrite);

        onNextModal([](QWidget* modal) {
            if (auto* dialog = qobject_cast<QFileDialog*>(modal)) dialog->reject();
        });
        QCOMPARE(dialogs.saveFile(request), std::nullopt);
    }
};

QTEST_MAIN(QtDialogsTest)
#include "qt_dialogs_test.moc"
