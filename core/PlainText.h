#pragma once

#include <QString>

// A text as a person reads, copies or searches it: without the invisible characters
// that only steer where a drawn line may break (the word joiner U+2060, the zero-width
// space U+200B and the zero-width no-break space U+FEFF). What is drawn keeps them;
// what is read aloud, copied or logged gets this.
inline QString PlainText(QString text) {
    text.removeIf([](QChar c) { return c == QChar(0x2060) || c == QChar(0x200B) || c == QChar(0xFEFF); });
    return text;
}
