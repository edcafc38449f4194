#include "ui/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
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

void placeOver(QWidget& window, const QWidget* owner) {
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
