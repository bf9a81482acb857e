#pragma once

// What the hive file's reader and writer share: the headers, the root key names, the
// folding of names and the UTF-16LE of string values.

#include "platform/Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

namespace RegFileFormat {

inline const QString KHeader5 = QStringLiteral("Windows Registry Editor Version 5.00");
inline const QString KHeader4 = QStringLiteral("REGEDIT4");

inline QString Fold(QStringView text) {
    return text.toString().toCaseFolded();
}

// UTF-16LE code units, one for one: no byte order mark is added, dropped or replaced,
// so that bytes decoded and encoded again come out identical.
inline QString DecodeUtf16Le(const char* bytes, qsizetype units) {
    QString text(units, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < units; ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = QChar(char16_t(low | (high << 8)));
    }
    return text;
}

inline QByteArray EncodeUtf16Le(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

// The one form in which a value is held, so that a value read back from what was
// written compares equal.
TRegValue Normalized(const TRegValue& value);

}  // namespace RegFileFormat
