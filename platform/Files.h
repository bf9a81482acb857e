#pragma once

#include <QString>

// File and folder helpers in the shape the rest of the program expects.

// True when `path` names an existing file (not a folder); an empty path never does.
bool FileExists(const QString& path);
bool DirectoryExists(const QString& path);
// Creates the folder and any missing folder above it; true when it exists afterwards.
bool ForceDirectories(const QString& path);
// Removes one file; false when it could not be removed.
bool DeleteFile(const QString& path);
// Puts `source` in the place of `target` in one step, replacing a file that is there;
// both in the same folder. False (with the system's reason in `error`) when it failed,
// and then both are as they were.
bool ReplaceFile(const QString& source, const QString& target, QString* error = nullptr);
