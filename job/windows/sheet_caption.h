#pragma once
// How a worksheet name shows in the job windows: padded by the blank rule, so that blanks at
// its edges can be seen; in a check box "&" stays a character, not a keyboard mnemonic. The
// job itself always keeps the real name.
#include <string>

#include <QString>

#include "job/sheet_names.h"
#include "ui/literal_ampersands.h"

namespace sbx {

inline QString sheetCaption(const std::string& name) { return QString::fromStdString(padBlankEdgedName(name)); }

inline QString checkBoxCaption(const std::string& name) { return literalAmpersands(sheetCaption(name)); }

}  // namespace sbx
