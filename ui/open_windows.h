#pragma once
// The open (visible) top-level window of a kind, so that a command shows the window that is
// already open instead of a second one.
#include <QApplication>
#include <QWidget>

#include "ui/window_placement.h"

namespace sbx {

template <typename Window>
Window* findOpenWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window != nullptr && window->isVisible()) return window;
    }
    return nullptr;
}

// The open window of a kind, or a new one from `make()` placed over `owner`; either way
// shown, raised and activated.
template <typename Window, typename Make>
Window* showWindowOnce(QWidget* owner, Make&& make) {
    Window* window = findOpenWindow<Window>();
    if (window == nullptr) {
        window = make();
        placeOver(*window, owner);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

// A window of its own that closes with its owner (a disabled main window leaves it usable).
template <typename Window, typename Make>
Window* showCompanionWindowOnce(QWidget* owner, Make&& make) {
    return showWindowOnce<Window>(owner, [&] {
        Window* window = make();
        if (owner != nullptr) QObject::connect(owner, &QObject::destroyed, window, &QWidget::close);
        return window;
    });
}

}  // namespace sbx
