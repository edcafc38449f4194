#pragma once
// Buttons, check boxes, tabs and labels with a buddy read "&" as the mark of a keyboard
// mnemonic. A name shown in one of them (a worksheet's, a file's) has every "&" doubled, so
// that "R&D" shows as written and binds no Alt key.
#include <QString>

namespace sbx {

inline QString literalAmpersands(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

}  // namespace sbx
