#pragma once
// The open (visible) top-level window of a kind, so that a command shows the window that is
// already open instead of a second one.
#include <QApplication>
#include <QWidget>

namespace sbx {

template <typename Window>
Window* findOpenWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<Window*>(widget); window != nullptr && window->isVisible()) return window;
    }
    return nullptr;
}

}  // namespace sbx
