#pragma once

#include <QByteArray>
#include <QString>

// Windows code pages, for texts that were stored on a Windows machine: the
// ANSI code pages 1250-1258, 874, 932, 936, 949, 950, the Johab page 1361, the
// OEM page 437 and UTF-8 (65001).
//
// CP_ACP stands for the system's ANSI code page. Our own strings are UTF-8, so
// decoding CP_ACP takes bytes that are valid UTF-8 as UTF-8; any other bytes
// were written on Windows in that machine's ANSI code page, which is taken from
// the user's locale as Wine does (SystemAnsiCodePage()).
inline constexpr int CP_ACP = 0;
inline constexpr int CP_UTF8 = 65001;

// Bytes that the code page does not define become U+FFFD; an unknown code page
// decodes as Latin-1. Never fails.
QString DecodeCodePage(const QByteArray& bytes, int codePage);
// Characters the code page cannot hold become '?'; an unknown code page encodes
// as Latin-1 with the same rule.
QByteArray EncodeCodePage(const QString& text, int codePage);
bool IsCodePageSupported(int codePage);

// The ANSI code page of the system: on Windows its own (GetACP), elsewhere that of
// the user's locale, LC_ALL, LC_CTYPE or LANG, the first that is set.
int SystemAnsiCodePage();
// The ANSI code page Windows uses for a locale name such as "ru_RU.UTF-8",
// "zh_TW" or "sr_RS@latin"; 1252 when the language names no other.
int AnsiCodePageOfLocale(const QByteArray& locale);

// The ANSI code page of a GDI charset number (ANSI_CHARSET 0 ... OEM_CHARSET 255).
// DEFAULT_CHARSET and the charsets without an ANSI code page of their own
// (SYMBOL, MAC, OEM, unknown numbers) give CP_ACP.
int CharsetCodePage(int charset);
