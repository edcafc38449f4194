#include "ui/enter_presses_buttons.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QPushButton>

namespace sbx {
namespace {

class EnterPressesButtons final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button == nullptr || !button->hasFocus() || !button->isEnabled() || !button->isVisible()) return false;
        if (qobject_cast<QDialog*>(button->window()) != nullptr) return false;
        button->click();
        return true;
    }
};

}  // namespace

void letEnterPressFocusedButtons(QApplication& app) {
    if (app.findChild<EnterPressesButtons*>(QStringLiteral("enterPressesButtons"), Qt::FindDirectChildrenOnly)) return;
    auto* filter = new EnterPressesButtons(&app);
    filter->setObjectName(QStringLiteral("enterPressesButtons"));
    app.installEventFilter(filter);
}

}  // namespace sbx
