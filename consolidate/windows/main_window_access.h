#pragma once
// The main window's controls as the runs reach them: by their names (Command5, List2, ...),
// so that these windows need nothing of the main window's class.
#include <stdexcept>
#include <string>

#include <QString>
#include <QWidget>

namespace sbx {

template <typename Widget = QWidget>
Widget* mainWindowControl(QWidget* mainWindow, const char* name) {
    auto* widget = mainWindow->findChild<Widget*>(QString::fromLatin1(name));
    if (!widget) throw std::logic_error(std::string("the main window has no control ") + name);
    return widget;
}

inline QString qtText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A count as Label4 and Label10 show it: one leading blank where a sign would stand.
inline QString signedCount(int count) { return QStringLiteral(" %1").arg(count); }

}  // namespace sbx
