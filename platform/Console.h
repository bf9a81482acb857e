#pragma once

#include <QString>

#include <cstdio>

// Writes `text` to a standard stream (stdout, stderr) in the encoding whoever reads it
// expects: the locale's on POSIX systems (UTF-8 in practice). On Windows a console
// window is written in UTF-16 through the console itself, so every script shows, and a
// pipe or file gets UTF-8, as programs that read our output expect.
void WriteText(std::FILE* stream, const QString& text);
