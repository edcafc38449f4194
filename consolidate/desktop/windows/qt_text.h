#pragma once
// Texts of the core (UTF-8 std::string) on the windows.
#include <string>

#include <QString>

namespace sbx {

inline QString qtText(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A count as the entry counts under the lists show it: one leading blank where a sign would stand.
inline QString signedCount(int count) { return QStringLiteral(" %1").arg(count); }

}  // namespace sbx
