#pragma once

#include <QString>

#include <string>

#include "platform/win32/WinApi.h"

// Text between Qt and the W functions: QString and WCHAR are both UTF-16.

inline const wchar_t* Wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

inline QString FromWide(const wchar_t* text, qsizetype length = -1) {
    return QString::fromWCharArray(text, length);
}

// True when `text` holds a zero character: the system would see only what comes before.
inline bool HasEmbeddedZero(const QString& text) {
    return text.contains(QChar(u'\0'));
}

// The system's own words for error `code` ("Access is denied"), without the full stop;
// `module` names the library whose message table holds the code (wininet.dll), or null.
QString SystemMessage(DWORD code, HMODULE module = nullptr);
