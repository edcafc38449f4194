#include "consolidate/desktop/windows/run_input_guard.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QWidget>

namespace sbx {

RunInputGuard::RunInputGuard(QWidget* mainWindow, QPushButton* cancelButton, std::function<void()> cancel)
    : mainWindow_(mainWindow), cancelButton_(cancelButton), cancel_(std::move(cancel)) {
    if (cancelButton_) connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel_(); });
}

RunInputGuard::~RunInputGuard() { setActive(false); }

void RunInputGuard::setActive(bool active) {
    if (active == active_ || QCoreApplication::instance() == nullptr) return;
    active_ = active;
    if (active) {
        QCoreApplication::instance()->installEventFilter(this);
    } else {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool RunInputGuard::aimedAtMainWindow(QObject* watched) const {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget != nullptr && mainWindow_ != nullptr && widget->window() == mainWindow_;
}

bool RunInputGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Close:
            if (watched != mainWindow_) return false;
            event->ignore();
            cancel_();
            return true;
        case QEvent::KeyPress:
            if (!aimedAtMainWindow(watched)) return false;
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                cancel_();
                return true;
            }
            return watched != cancelButton_;
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return aimedAtMainWindow(watched) && watched != cancelButton_;
        default:
            return false;
    }
}

}  // namespace sbx
