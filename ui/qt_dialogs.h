#pragma once
// The Qt message boxes, questions, input boxes and save dialog of the program: title
// "数簿星", the stated buttons, no icon; a carriage return in a text is a line break.
#include <QPointer>
#include <QWidget>

#include "workspace/dialogs_port.h"

namespace sbx {

inline constexpr const char* kApplicationTitle = "数簿星";

// Marks a window that stays usable while messageBesideOtherWindows waits (the workbook
// viewer): the box waits above it, and every other window of the program is disabled.
void keepUsableBesideMessages(QWidget& window);
// The visible window so marked, if any.
QWidget* windowUsableBesideMessages();
inline constexpr const char* kUsableBesideMessages = "sbxUsableBesideMessages";

// The text as a box shows it: each carriage return (a CR LF pair counts once) becomes a line break.
QString dialogText(const std::string& text);

class QtDialogs : public DialogsPort {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the boxes belong to when no window of the program is active.
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const std::string& text) override;
    // Beside the window marked by keepUsableBesideMessages; without one, a plain message.
    void messageBesideOtherWindows(const std::string& text) override;
    bool askYesNo(const std::string& text, Risk risk) override;
    bool askOkCancel(const std::string& text, Risk risk) override;
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override;
    std::optional<std::filesystem::path> saveFile(const SaveFileRequest& request) override;
    ForAllAnswer askYesNoForAll(const std::string& text) override;
    std::optional<std::filesystem::path> openFile(const OpenFileRequest& request) override;

private:
    QWidget* owner() const;

    QPointer<QWidget> parent_;
};

}  // namespace sbx
