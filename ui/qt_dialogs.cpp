#include "ui/qt_dialogs.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QScreen>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include "spreadsheet/utf8_path.h"
#include "ui/literal_ampersands.h"
#include "ui/window_placement.h"

namespace sbx {

namespace {

QString qt(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string utf8(const QString& text) { return text.toUtf8().toStdString(); }

// Every box of the program: plain text, no icon, the application's title, the given buttons
// in the interface's language whatever the system's locale.
void setUpBox(QMessageBox& box, const std::string& text, QMessageBox::StandardButtons buttons,
              QMessageBox::StandardButton defaultButton) {
    box.setWindowTitle(QString::fromUtf8(kApplicationTitle));
    box.setText(dialogText(text));
    box.setTextFormat(Qt::PlainText);
    box.setStandardButtons(buttons);
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"},
        {QMessageBox::YesToAll, "全部覆盖"}, {QMessageBox::NoToAll, "全部跳过"}};
    for (const auto& [which, caption] : captions) {
        if (QAbstractButton* button = box.button(which)) button->setText(QString::fromUtf8(caption));
    }
    box.setDefaultButton(defaultButton);
    box.setObjectName("messageBox");
}

QMessageBox::StandardButton ask(QWidget* parent, const std::string& text, QMessageBox::StandardButtons buttons,
                                QMessageBox::StandardButton defaultButton) {
    QMessageBox box(parent);
    setUpBox(box, text, buttons, defaultButton);
    box.setWindowModality(Qt::ApplicationModal);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

// Calls `closed` when the watched window closes or is destroyed.
class WindowCloseWatch : public QObject {
public:
    WindowCloseWatch(QWidget& window, std::function<void()> closed) : window_(&window), closed_(std::move(closed)) {
        window.installEventFilter(this);
        connect(&window, &QObject::destroyed, this, [this] { fire(); });
    }
    ~WindowCloseWatch() override {
        if (window_) window_->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == window_ && (event->type() == QEvent::Close || event->type() == QEvent::Hide)) fire();
        return false;
    }

private:
    void fire() {
        if (closed_) std::exchange(closed_, nullptr)();
    }
    QPointer<QWidget> window_;
    std::function<void()> closed_;
};

// Below `window` where the screen has room, else over its foot: either way its middle, where
// the user looks, stays free. Before a box is first shown, window systems may place its
// client area where asked and add the title bar above it, so room is left for one.
QPoint besideTopLeft(const QWidget& window, QSize box) {
    constexpr int kTitleBar = 32;
    const QRect frame = window.frameGeometry();
    const QRect free = window.screen() != nullptr ? window.screen()->availableGeometry() : frame;
    const int x = std::clamp(frame.center().x() - box.width() / 2, free.left(),
                             std::max(free.left(), free.right() - box.width()));
    const int below = frame.bottom() + 1 + kTitleBar;
    const int y = below + box.height() <= free.bottom() ? below : std::max(free.top() + kTitleBar, frame.bottom() - box.height());
    return {x, y};
}

}  // namespace

void keepUsableBesideMessages(QWidget& window) { window.setProperty(kUsableBesideMessages, true); }

QWidget* windowUsableBesideMessages() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->property(kUsableBesideMessages).toBool()) return window;
    }
    return nullptr;
}

QWidget* QtDialogs::owner() const {
    // The window that asks: its box stays above it and gives the focus back to it.
    QWidget* active = QApplication::activeWindow();
    return active != nullptr && active->isVisible() ? active : parent_.data();
}

QString dialogText(const std::string& text) {
    QString shown = qt(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar('\r'), QChar('\n'));
    return shown;
}

void QtDialogs::message(const std::string& text) { ask(owner(), text, QMessageBox::Ok, QMessageBox::Ok); }

void QtDialogs::messageBesideOtherWindows(const std::string& text) {
    QWidget* usable = windowUsableBesideMessages();
    if (usable == nullptr) {
        message(text);
        return;
    }
    // Not modal: modality would block the window it waits beside. The other windows of the
    // program wait instead, disabled until the box is answered.
    QMessageBox box;
    setUpBox(box, text, QMessageBox::Ok, QMessageBox::Ok);
    box.setWindowModality(Qt::NonModal);  // a message box is made modal
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != usable && window->isVisible() && window->isEnabled() && window->isWindow()) {
            window->setEnabled(false);
            disabled.emplace_back(window);
        }
    }
    stackAbove(box, usable);
    box.adjustSize();
    box.move(besideTopLeft(*usable, box.frameGeometry().size()));
    QEventLoop waiting;
    QObject::connect(&box, &QDialog::finished, &waiting, &QEventLoop::quit);
    // Closing the window it waits beside answers it too.
    WindowCloseWatch closed(*usable, [&box] { box.done(QMessageBox::Ok); });
    box.show();
    // The user looks at the workbook first; the box stays in sight above it.
    usable->raise();
    usable->activateWindow();
    waiting.exec();
    for (const QPointer<QWidget>& window : disabled) {
        if (window) window->setEnabled(true);
    }
}

bool QtDialogs::askYesNo(const std::string& text, Risk risk) {
    const auto safe = risk == Risk::Destructive ? QMessageBox::No : QMessageBox::Yes;
    return ask(owner(), text, QMessageBox::Yes | QMessageBox::No, safe) == QMessageBox::Yes;
}

bool QtDialogs::askOkCancel(const std::string& text, Risk risk) {
    const auto safe = risk == Risk::Destructive ? QMessageBox::Cancel : QMessageBox::Ok;
    return ask(owner(), text, QMessageBox::Ok | QMessageBox::Cancel, safe) == QMessageBox::Ok;
}

std::optional<std::string> QtDialogs::inputBox(const std::string& prompt, const std::string& title,
                                               const std::string& defaultText) {
    QInputDialog dialog(owner());
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
    QFileDialog dialog(owner(), qt(request.title));
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

ForAllAnswer QtDialogs::askYesNoForAll(const std::string& text) {
    QMessageBox box(owner());
    setUpBox(box, text, QMessageBox::Yes | QMessageBox::No | QMessageBox::YesToAll | QMessageBox::NoToAll, QMessageBox::No);
    // Two buttons say no: Esc, like the title bar's ×, answers for this file only.
    box.setEscapeButton(QMessageBox::No);
    box.setWindowModality(Qt::ApplicationModal);
    switch (box.exec()) {
        case QMessageBox::Yes: return ForAllAnswer::Yes;
        case QMessageBox::YesToAll: return ForAllAnswer::YesToAll;
        case QMessageBox::NoToAll: return ForAllAnswer::NoToAll;
        default: return ForAllAnswer::No;  // 否, Esc and the title bar's ×
    }
}

std::optional<std::filesystem::path> QtDialogs::openFile(const OpenFileRequest& request) {
    QFileDialog dialog(owner(), qt(request.title));
    dialog.setObjectName("openFileDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::LookIn, QString::fromUtf8("查找范围:"));
    dialog.setLabelText(QFileDialog::FileName, QString::fromUtf8("文件名:"));
    dialog.setLabelText(QFileDialog::FileType, QString::fromUtf8("文件类型:"));
    dialog.setLabelText(QFileDialog::Accept, QString::fromUtf8("打开"));
    dialog.setLabelText(QFileDialog::Reject, QString::fromUtf8("取消"));
    if (!request.filter.empty()) dialog.setNameFilter(qt(request.filter));
    if (!request.startIn.empty()) dialog.setDirectory(qt(utf8String(request.startIn)));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return utf8Path(utf8(chosen.front()));
}

}  // namespace sbx
