#pragma once
// The dialogs of a run: before a box opens, the status panel shows the latest numbers, as
// the box stops the run and lets the window repaint.
#include "consolidate/desktop/windows/qt_status_view.h"
#include "workspace/dialogs_port.h"

namespace sbx {

class FlushingDialogs final : public DialogsPort {
public:
    FlushingDialogs(DialogsPort& inner, QtStatusView& status) : inner_(inner), status_(status) {}

    void message(const std::string& text) override {
        status_.flush();
        inner_.message(text);
    }
    void messageBesideOtherWindows(const std::string& text) override {
        status_.flush();
        inner_.messageBesideOtherWindows(text);
    }
    bool askYesNo(const std::string& text, Risk risk) override {
        status_.flush();
        return inner_.askYesNo(text, risk);
    }
    bool askOkCancel(const std::string& text, Risk risk) override {
        status_.flush();
        return inner_.askOkCancel(text, risk);
    }
    std::optional<std::string> inputBox(const std::string& prompt, const std::string& title,
                                        const std::string& defaultText) override {
        status_.flush();
        return inner_.inputBox(prompt, title, defaultText);
    }
    std::optional<std::filesystem::path> saveFile(const SaveFileRequest& request) override {
        status_.flush();
        return inner_.saveFile(request);
    }
    ForAllAnswer askYesNoForAll(const std::string& text) override {
        status_.flush();
        return inner_.askYesNoForAll(text);
    }
    std::optional<std::filesystem::path> openFile(const OpenFileRequest& request) override {
        status_.flush();
        return inner_.openFile(request);
    }

private:
    DialogsPort& inner_;
    QtStatusView& status_;
};

}  // namespace sbx
