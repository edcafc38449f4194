#pragma once
// Pool file names on the windows. A name is the file's bytes, and on a shared drive they may
// be GBK, not UTF-8. UTF-8 text is shown as it is; each other byte is carried as the lone
// surrogate U+DC00 + byte (as Python's "surrogateescape" does), shown as a replacement mark,
// and turned back into that byte, so that a listed file is renamed, deleted and run by its
// own name.
#include <string>

#include <QString>

namespace sbx {

QString poolNameText(const std::string& bytes);
std::string poolNameBytes(const QString& text);

}  // namespace sbx
