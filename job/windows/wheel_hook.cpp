#include "job/windows/wheel_hook.h"

#include <QApplication>
#include <QWheelEvent>

namespace sbx {

WheelHook::WheelHook(QObject* owner) : QObject(owner) { setObjectName("wheelHook"); }

WheelHook& WheelHook::of(QObject* owner) {
    if (owner == nullptr) owner = QCoreApplication::instance();
    if (auto* existing = owner->findChild<WheelHook*>(QString(), Qt::FindDirectChildrenOnly)) return *existing;
    return *new WheelHook(owner);
}

void WheelHook::install(QWidget* window, std::function<void(int)> handler) {
    // The filter sits on the application so that wheel events for the window's controls are
    // seen before the control under the pointer scrolls itself. Installing twice keeps one.
    qApp->installEventFilter(this);
    window_ = window;
    handler_ = std::move(handler);
}

void WheelHook::remove() {
    qApp->removeEventFilter(this);
    window_ = nullptr;
    handler_ = nullptr;
}

bool WheelHook::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel || !window_ || !handler_) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != window_) return false;
    handler_(static_cast<QWheelEvent*>(event)->angleDelta().y());
    return true;
}

}  // namespace sbx
