#pragma once
// Acts on the next modal window as soon as it opens (message boxes, input boxes and file
// dialogs run their own event loop, so the test must answer from a timer).
#include <functional>
#include <memory>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace sbx::testing {

// The window waiting for an answer: a modal one, or a message box waiting beside a window
// that stays usable.
inline QWidget* waitingBox() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->objectName() == QLatin1String("messageBox")) return window;
    }
    return nullptr;
}

inline void onNextModal(std::function<void(QWidget*)> act, int timeoutMs = 5000) {
    auto* poll = new QTimer(qApp);
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, waited, act = std::move(act), timeoutMs] {
        *waited += 10;
        if (QWidget* modal = waitingBox()) {
            poll->stop();
            poll->deleteLater();
            QPointer<QWidget> guard(modal);
            act(modal);
            // An answer that did not close the box fails the test instead of hanging it.
            QTimer::singleShot(3000, qApp, [guard] {
                if (auto* dialog = qobject_cast<QDialog*>(guard.data()); dialog && dialog->isVisible()) {
                    qWarning("a modal box stayed open after its scripted answer");
                    dialog->reject();
                }
            });
        } else if (*waited > timeoutMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start(10);
}

}  // namespace sbx::testing
