// Qt's own texts in Chinese: the standard buttons of a message box and the labels and
// column titles of the file dialog, once Qt's translations (qt6-translations-l10n) are loaded.
#include <QAbstractItemModel>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

#include "ui/qt_translations.h"

class QtTranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_CN.qm")) {
            QSKIP("Qt's Chinese translations are not installed (Debian package qt6-translations-l10n)");
        }
        QVERIFY(sbx::installQtChineseTranslations(*qApp));
    }

    void standardButtonsSpeakChinese_data() {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("english");
        QTest::newRow("Save") << int(QMessageBox::Save) << "Save";
        QTest::newRow("Close") << int(QMessageBox::Close) << "Close";
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << "Cancel";
    }
    void standardButtonsSpeakChinese() {
        QFETCH(int, button);
        QFETCH(QString, english);
        QMessageBox box(QMessageBox::NoIcon, "数簿星", "?", static_cast<QMessageBox::StandardButton>(button));
        const QString caption = box.button(static_cast<QMessageBox::StandardButton>(button))->text();
        QVERIFY2(!caption.contains(english, Qt::CaseInsensitive), qPrintable(caption));
        QVERIFY2(caption.contains(QRegularExpression(QStringLiteral("\\p{Han}"))), qPrintable(caption));
    }

    void theFileDialogSpeaksChinese() {
        QFileDialog dialog;
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        const QString lookIn = dialog.findChild<QLabel*>("lookInLabel")->text();
        QVERIFY2(!lookIn.contains("Look in"), qPrintable(lookIn));
        auto* tree = dialog.findChild<QTreeView*>("treeView");
        QVERIFY(tree);
        for (int column = 0; column < 4; ++column) {
            const QString title = tree->model()->headerData(column, Qt::Horizontal).toString();
            QVERIFY2(title.contains(QRegularExpression(QStringLiteral("\\p{Han}"))), qPrintable(title));
        }
    }
};

QTEST_MAIN(QtTranslationsTest)
#include "qt_translations_test.moc"
