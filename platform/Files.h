#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

struct TSystemError;

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
bool ReplaceFile(const QString& source, const QString& target, TSystemError* error = nullptr);

// How ReadRegularFile ended.
enum class TFileReadResult { Read, NotRegular, TooLarge, Failed };
// Reads the whole of the regular file `path` (through symbolic links) into `bytes`, when
// it holds at most `limit` bytes. What the path names is looked at before it is opened,
// and the open itself never waits, so a pipe, a device or a folder is refused without
// a read that would wait for a writer or never end; a file that grows past the limit
// while it is read is refused as well. Failed puts the system's reason in `error`
// (NotFound where nothing, or no folder on the way, has that name).
TFileReadResult ReadRegularFile(const QString& path, qint64 limit, QByteArray* bytes,
                                TSystemError* error = nullptr);
// True when `a` and `b` name one existing file, through symbolic and hard links: the
// same device and inode, or volume and file index on Windows; the same canonical path
// where the system gives neither.
bool IsSameFile(const QString& a, const QString& b);

// A hold on a file that tells every process, this one included, that the file is in
// use: an advisory lock (flock) on Linux, a lock on a byte range that no file reaches
// on Windows. It does not keep anyone from reading, writing, renaming or removing the
// file; DeleteUnheldFile is what respects it. Released with the object, and by the
// system when the process ends, however it ends.
class TFileHold {
public:
    ~TFileHold();
    TFileHold(const TFileHold&) = delete;
    TFileHold& operator=(const TFileHold&) = delete;

private:
    // Made by HoldFile alone, from the file it opened and locked: a hold on any other
    // handle would be no hold, and closing it would close what someone else owns.
    friend std::unique_ptr<TFileHold> HoldFile(const QString& path);
    explicit TFileHold(std::intptr_t handle) : FHandle(handle) {}

    std::intptr_t FHandle;
};

// Takes the hold on the file `path` names; null when someone holds it already, or
// when `path` names no file (any more: a file removed while it was being held is not
// held).
std::unique_ptr<TFileHold> HoldFile(const QString& path);
// Removes the file `path` names unless a hold is on it; true when it was removed.
bool DeleteUnheldFile(const QString& path);
