#pragma once
// While a run works on the window thread, it lets the window's events through between files
// so that the run can be cancelled: the cancel button's clicks and Esc anywhere in the main
// window ask to cancel; every other click, key, wheel turn or drop aimed at the main window
// is held off (drops are refused), and closing the main window through the window system asks
// to cancel instead of ending the program under the run. Other windows (help, the viewer,
// the run's own message boxes) keep working.
#include <functional>

#include <QObject>
#include <QPointer>

class QPushButton;
class QWidget;

namespace sbx {

class RunInputGuard final : public QObject {
public:
    RunInputGuard(QWidget* mainWindow, QPushButton* cancelButton, std::function<void()> cancel);
    ~RunInputGuard() override;
    RunInputGuard(const RunInputGuard&) = delete;
    RunInputGuard& operator=(const RunInputGuard&) = delete;

    // On: watches every event of the application; off: none.
    void setActive(bool active);
    bool active() const { return active_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool aimedAtMainWindow(QObject* watched) const;

    QPointer<QWidget> mainWindow_;
    QPointer<QPushButton> cancelButton_;
    std::function<void()> cancel_;
    bool active_ = false;
};

}  // namespace sbx
