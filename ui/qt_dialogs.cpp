#include "ui/qt_dialogs.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "spreadsheet/utf8_path.h"
#include "ui/literal_ampersands.h"

namespace sbx {

namespace {

QString qt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

// One box: plain text, no icon, the application's title, the given buttons.
QMessageBox::StandardButton ask(QWidget* parent, const std::string& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton,
                                Qt::WindowModality modality = Qt::ApplicationModal) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kApplicationTitle), dialogText(text), buttons, parent);
    box.setWindowModality(modality);
    box.setTextFormat(Qt::PlainText);
    // The buttons speak the interface's language whatever the system's locale.
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"}};
    for (const auto& [which, caption] : captions) {
        if (QAbstractButton* button = box.button(which)) button->setText(QString::fromUtf8(caption));
    }
    box.setDefaultButton(defaultButton);
    box.setObjectName("messageBox");
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString dialogText(const std::string& text) {
    QString shown = qt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    return shown;
}

void QtDialogs::message(const std::string& text) { ask(parent_, text, QMessageBox::Ok, QMessageBox::Ok); }

void QtDialogs::messageBesideOtherWindows(const std::string& text) {
    ask(parent_, text, QMessageBox::Ok, QMessageBox::Ok, parent_ ? Qt::WindowModal : Qt::ApplicationModal);
}

bool QtDialogs::askYesNo(const std::string& text, Risk risk) {
    const auto safe = risk == Risk::Destructive ? QMessageBox::No : QMessageBox::Yes;
    return ask(parent_, text, QMessageBox::Yes | QMessageBox::No, safe) == QMessageBox::Yes;
}

bool QtDialogs::askOkCancel(const std::string& text, Risk risk) {
    const auto safe = risk == Risk::Destructive ? QMessageBox::Cancel : QMessageBox::Ok;
    return ask(parent_, text, QMessageBox::Ok | QMessageBox::Cancel, safe) == QMessageBox::Ok;
}

std::optional<std::string> QtDialogs::inputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    QInputDialog dialog(parent_);
    dialog.setObjectName("inputBox");
    dialog.setWindowTitle(title.empty() ? QString::fromUtf8(kApplicationTitle) : qt(title));
    // The label is the text box's buddy: an "&" in the prompt would be a mnemonic.
    dialog.setLabelText(literalAmpersands(dialogText(prompt)));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(qt(defaultText));
    dialog.setOkButtonText(QString::fromUtf8("确定"));
    dialog.setCancelButtonText(QString::fromUtf8("取消"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return utf8(dialog.textValue());
}

std::optional<std::filesystem::path> QtDialogs::saveFile(const SaveFileRequest& request) {
    QFileDialog dialog(parent_, qt(request.title));
    dialog.setObjectName("saveFileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks about overwriting, in its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setLabelText(QFileDialog::LookIn, QString::fromUtf8("保存在:"));
    dialog.setLabelText(QFileDialog::FileName, QString::fromUtf8("文件名:"));
    dialog.setLabelText(QFileDialog::FileType, QString::fromUtf8("保存类型:"));
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8("保存"));
    dialog.setLabelText(QFileDialog::Reject, QString::fromUtf8("取消"));
    if (!request.filter.empty()) dialog.setNameFilter(qt(request.filter));
    if (!request.defaultSuffix.empty()) dialog.setDefaultSuffix(qt(request.defaultSuffix));
    if (!request.startIn.empty()) dialog.setDirectory(qt(utf8String(request.startIn)));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return utf8Path(utf8(chosen.front()));
}

}  // namespace sbx
