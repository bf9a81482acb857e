#pragma once

#include <QString>

// File and folder helpers in the shape the rest of the program expects.

// The user's home folder: HOME when it is set and not empty, otherwise the home that
// the system's user database gives, and only when that is missing too the
// temporary folder. Never the file system's root on account of a missing HOME.
QString HomeFolder();

// Where the program keeps its maker's folder: the root of the executable's drive on
// Windows ("C:/", or "//server/share/" for a network path), the home folder where
// there are no drives. Ends in a slash on Windows.
QString ProgramRootFolder();

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
