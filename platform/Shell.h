#pragma once

#include <QString>
#include <QStringList>

// The shell's default action for `target`, fire and forget, as the desktop would
// carry it out on a double click. An executable file is started directly with
// `parameters` as its arguments (never through a command interpreter); anything
// else (a web address, a mailto: link, a document, an installer the system cannot
// run itself) is handed to the desktop's opener, which takes the target alone.
// An empty target does nothing. The started program is detached from ours: it
// inherits none of our open files, outlives us, and leaves no zombie behind.
// Nothing is reported; whatever goes wrong is for the started program to show.
void ShellExecuteDefault(const QString& target, const QStringList& parameters = {});
