// Another process that holds a file: tests/win32/programs/Hold.cpp, built beside the
// test programs, which takes the hold through the platform as a download does.

#include "tests/support/ChildProcess.h"

#include <QCoreApplication>
#include <QProcess>
#include <QString>

THoldingProcess::THoldingProcess(const QString& path) : FProcess(new QProcess) {
    FProcess->start(QCoreApplication::applicationDirPath() + QStringLiteral("/kw-hold.exe"), {path});
    if (!FProcess->waitForStarted(10000))
        return;
    while (!FProcess->canReadLine() && FProcess->waitForReadyRead(10000)) {
    }
    FHolding = FProcess->canReadLine() && FProcess->readLine().trimmed() == "held";
}
