#pragma once
// The mouse-wheel hook of the job windows: while installed, every wheel rotation over the
// hooked window (or any control in it) goes to the handler and to nothing else. There is one
// hook per program, kept as a child of the main window; a second install replaces the window
// and the handler, as re-hooking a window procedure would.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace sbx {

class WheelHook final : public QObject {
    Q_OBJECT
public:
    // The program's hook, made on first use. `owner` is the main window (or, without one, the
    // application object).
    static WheelHook& of(QObject* owner);

    // The handler gets the rotation: +120 per notch away from the user.
    void install(QWidget* window, std::function<void(int rotation)> handler);
    void remove();

    QWidget* hookedWindow() const { return window_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    explicit WheelHook(QObject* owner);

    QPointer<QWidget> window_;
    std::function<void(int)> handler_;
};

}  // namespace sbx
