#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <QWidget>
#include <algorithm>

namespace sbx {

namespace {

// The frame a window manager draws around a client area, as the owner shows it; before any
// window is shown a title bar and thin borders are assumed.
QMargins frameMargins(const QWidget* owner) {
    if (owner != nullptr && owner->isVisible()) {
        const QRect frame = owner->frameGeometry();
        const QRect client = owner->geometry();
        const QMargins seen(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                            frame.bottom() - client.bottom());
        if (!seen.isNull()) return seen;
    }
    return {4, 25, 4, 4};
}

QScreen* screenOf(const QWidget* owner) {
    if (owner != nullptr && owner->screen() != nullptr) return owner->screen();
    return QGuiApplication::primaryScreen();
}

}  // namespace

QPoint centredTopLeft(const QRect& owner, const QSize& frame, const QRect& available) {
    const QRect over = owner.isValid() ? owner : available;
    const QPoint centred = over.center() - QPoint(frame.width() / 2, frame.height() / 2);
    const int x = std::max(available.left(), std::min(centred.x(), available.right() + 1 - frame.width()));
    const int y = std::max(available.top(), std::min(centred.y(), available.bottom() + 1 - frame.height()));
    return {x, y};
}

void stackAbove(QWidget& window, QWidget* owner) {
    if (owner == nullptr || owner->window() == &window) return;
    QWidget* ownerWindow = owner->window();
    // Window systems keep only dialogs above their owner (X11 drops WM_TRANSIENT_FOR from a
    // plain window); the buttons of a plain window stay.
    if (window.windowType() == Qt::Window) {
        window.setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    }
    // Both need native windows for the window manager to know of the relation.
    window.winId();
    ownerWindow->winId();
    if (window.windowHandle() && ownerWindow->windowHandle()) {
        window.windowHandle()->setTransientParent(ownerWindow->windowHandle());
    }
}

void placeOver(QWidget& window, QWidget* owner) {
    stackAbove(window, owner);
    const QScreen* screen = screenOf(owner);
    if (screen == nullptr) return;
    const bool framed = !window.windowFlags().testFlag(Qt::FramelessWindowHint);
    const QMargins margins = framed ? frameMargins(owner) : QMargins();
    const QSize frame = window.size().grownBy(margins);
    const QRect ownerFrame = owner != nullptr && owner->isVisible() ? owner->frameGeometry() : QRect();
    const QPoint topLeft = centredTopLeft(ownerFrame, frame, screen->availableGeometry());
    // move() places the frame's top-left corner of a top-level window.
    window.move(topLeft);
}

}  // namespace sbx
