#pragma once

#include <QString>

// The FileVersion text of an executable's U.S. English / code page 1252 string
// table, exactly as stored; "0.0.0.0" when the file, its version block or that
// entry is missing or unreadable.
QString GetFileVersionText(const QString& path);
