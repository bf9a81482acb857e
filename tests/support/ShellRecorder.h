#pragma once

#include "tests/support/TempFolder.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// A stand-in desktop opener: puts an "xdg-open" first on PATH that records every
// call, one line of arguments each, and can make further recording programs. The
// programs are real scripts started by the real shell service.
class TShellRecorder {
public:
    TShellRecorder();

    // A recording executable `name` in the recorder's folder; its calls are
    // recorded with its own path as the first argument.
    QString MakeProgram(const QString& name) const;

    // Every call so far: the opener's calls hold the opener's arguments alone.
    std::vector<QStringList> Calls() const;
    // Waits until at least `count` calls are recorded (generously, never on time).
    bool WaitForCalls(std::size_t count) const;
    // The calls once `expected` of them are recorded and a sentinel program,
    // started through the shell service afterwards, has recorded its own call too
    // (and is left out). Started programs run side by side, so this never fails a
    // right count on a slow machine; a call too many is caught as long as it is
    // not slower than the sentinel, which is what "nothing else was opened" needs.
    std::vector<QStringList> CallsSettled(std::size_t expected = 0) const;

    QString Folder() const { return FFolder.Path(); }

private:
    TTempFolder FFolder;
    QString FLog;
    std::unique_ptr<TScopedEnv> FPath;
};
