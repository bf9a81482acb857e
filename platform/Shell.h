#pragma once

#include "platform/SystemError.h"

#include <QString>
#include <QStringList>

// How a start ended: started (or handed to the desktop's opener, which took it), or
// why not.
enum class TStartFailure {
    None,
    FileMissing,    // the file is not there (any more)
    NoProgram,      // it is not a program, and no program is set to open it
    OpenerMissing,  // the desktop's opener of files and addresses is not installed
    Failed,         // the system refused; Reason says why
    Declined,       // the person declined (the system's elevation prompt): nothing to say
};

struct TStartResult {
    TStartFailure Failure = TStartFailure::None;
    TSystemError Reason;  // Failed: the system's reason, by kind where it has one
    QString Opener;       // OpenerMissing: the opener's name
    bool Started() const { return Failure == TStartFailure::None; }
};

// The shell's default action for `target`, as the desktop would carry it out on a
// double click. An executable file is started directly with `parameters` as its
// arguments (never through a command interpreter); anything else (a web address, a
// mailto: link, a document, an installer the system cannot run itself) is handed to
// the desktop's opener, which takes the target alone. The started program is detached
// from ours: it inherits none of our open files, outlives us, and leaves no zombie
// behind. Returns once the program runs or the opener has taken the target (an opener
// that is still busy after a second is taken to have), or with why it could not; what
// goes wrong after that is for the started program to show. An empty target is missing.
TStartResult ShellExecuteDefault(const QString& target, const QStringList& parameters = {});
