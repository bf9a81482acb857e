#pragma once

#include <QString>

#include <functional>

// The charsets a translation names for its languages, and the texts stored in them.

// The GDI charset number of a charset name ("RUSSIAN_CHARSET" is 204), or -1 for
// a name outside the table.
int CharsetOfName(const QString& name, Qt::CaseSensitivity cs);

// A stored value as text. Stored values hold one byte per character: UTF-8 when
// the translation is stored as UTF-8, otherwise the code page of the language's
// charset, which `charset` gives when it is needed. Plain ASCII and a text that was
// decoded already (a character beyond a byte) come back as they are.
QString DecodeStoredValue(const QString& stored, bool utf8, const std::function<int()>& charset);
