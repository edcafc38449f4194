#include "ui/pool_name_text.h"

#include <string_view>

#include "spreadsheet/utf8_text.h"

namespace sbx {

namespace {
constexpr char16_t kEscapedByte = 0xDC00;  // + the byte, 0x80 to 0xFF: a lone low surrogate
}

QString poolNameText(const std::string& bytes) {
    QString text;
    const std::string_view all(bytes);
    for (std::size_t i = 0; i < all.size();) {
        const std::size_t length = utf8SequenceLength(all.substr(i));
        if (length == 0) {
            text += QChar(static_cast<char16_t>(kEscapedByte + static_cast<unsigned char>(all[i])));
            ++i;
        } else {
            text += QString::fromUtf8(all.data() + i, static_cast<qsizetype>(length));
            i += length;
        }
    }
    return text;
}

std::string poolNameBytes(const QString& text) {
    std::string bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            bytes += text.mid(i, 2).toUtf8().toStdString();
            ++i;
        } else if (unit >= kEscapedByte + 0x80 && unit <= kEscapedByte + 0xFF) {
            bytes += static_cast<char>(unit - kEscapedByte);
        } else {
            bytes += QString(text[i]).toUtf8().toStdString();
        }
    }
    return bytes;
}

}  // namespace sbx
