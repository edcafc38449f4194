#pragma once
// frmAbout: the program's title, version and a word from its author, with a button that
// starts the system information program where the system has one.
#include <functional>

#include <QWidget>

#include "workspace/dialogs_port.h"

namespace sbx {

inline constexpr const char* kSystemInfoUnavailable = "此时系统信息不可用";

// Starts the system information program; false when there is none or it does not start.
// On Windows it is named in the registry (Shared Tools\MSINFO's PATH, else Shared Tools
// Location's MSINFO folder with MSINFO32.EXE); elsewhere a desktop's own tool is looked for.
bool startSystemInformation();

class AboutWindow final : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(DialogsPort& dialogs, QWidget* parent = nullptr,
                         std::function<bool()> startSystemInfo = startSystemInformation);

private:
    void showSystemInfo();

    DialogsPort& dialogs_;
    std::function<bool()> startSystemInfo_;
};

// The menu item about or a click on the title: shows the about window (the open one, if
// there is one) beside `owner`.
AboutWindow* openAboutWindow(QWidget* owner, DialogsPort& dialogs);

}  // namespace sbx
