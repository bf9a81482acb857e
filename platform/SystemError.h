#pragma once

#include <QString>

#include <cstdint>

// A failure that the system reported for a file, told by its kind. The system's own
// words follow the system's language, not the one a person chose in the program, so
// the failures people meet most are told by kind, for the program to say in its
// words; only the rest keep the system's.

enum class TSystemErrorKind {
    Other,          // any error without a kind of its own: see TSystemError::Text
    NoSpace,        // the disk is full
    QuotaExceeded,  // the user's share of the disk is used up
    AccessDenied,   // the user may not do this to the file or its folder
    ReadOnly,       // the disk or the file system takes no writes
    NameTooLong,    // a name or the whole path is longer than the system takes
    NotFound,       // the file, or a folder on its path, does not exist
    InputOutput,    // the disk failed to read or write
    FileTooLarge,   // larger than the file system (or the process's limit) allows
};

struct TSystemError {
    TSystemErrorKind Kind = TSystemErrorKind::Other;
    // The system's words, in the system's language; for an Other, all there is.
    QString Text;
};

// The kind of an error code: an errno value, or a Windows error code (GetLastError),
// one table per system.
TSystemErrorKind SystemErrorKind(std::int64_t code);
// The error `code` stands for: its kind and the system's words.
TSystemError SystemError(std::int64_t code);
// An error of no code of the system's: Other, with `text`.
TSystemError OtherError(const QString& text);

// The error that the last failed call of this thread recorded (errno; GetLastError on
// Windows), with an empty Text when none is recorded; ClearSystemError first, before
// the call.
void ClearSystemError();
TSystemError LastSystemError();
