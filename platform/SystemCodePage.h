#pragma once

#include <QByteArray>
#include <QString>

// The system's own code-page tables, behind the rules every system shares (UTF-8,
// CP_ACP, unknown pages), which are CodePage.cpp's. Implemented by
// posix/IconvCodePage.cpp and win32/WinCodePage.cpp.

// Whether the system has tables for `codePage` (never CP_ACP or CP_UTF8).
bool IsSystemCodePage(int codePage);
// For a page the system has: bytes it does not define become U+FFFD.
QString DecodeSystemCodePage(const QByteArray& bytes, int codePage);
// For a page the system has: characters it cannot hold become '?'.
QByteArray EncodeSystemCodePage(const QString& text, int codePage);
