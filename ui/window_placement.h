#pragma once
// Where a window opens: centred over the window it belongs to (the main window), so that it
// appears where the user is looking, and moved inside the screen's free area so that no part
// of it lies off-screen.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace sbx {

// The top-left corner of a frame of `frame` size centred over `owner` (the screen's free area
// `available` without an owner) and then moved inside `available`. A frame larger than the
// free area keeps its top-left corner (and so its title bar) on the screen.
QPoint centredTopLeft(const QRect& owner, const QSize& frame, const QRect& available);

// Moves the top-level `window` there over `owner` (nullptr: centred on its screen), frame
// included, and has the window manager keep it above `owner`'s window (see stackAbove).
// Call before showing the window.
void placeOver(QWidget& window, QWidget* owner);

// The window manager keeps the top-level `window` above `owner`'s window, also when a message
// box of the owner raises it; without this a step window could end up hidden behind a
// disabled main window, which looks frozen. `window` does not become a child of `owner`:
// disabling the owner leaves it usable.
void stackAbove(QWidget& window, QWidget* owner);

}  // namespace sbx
