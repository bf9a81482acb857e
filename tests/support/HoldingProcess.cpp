// What the holding process does on every system once it has its hold; taking it is
// the system's own (ChildProcess.cpp, win32/HoldingProcess.cpp).

#include "tests/support/ChildProcess.h"

#include <QProcess>

THoldingProcess::~THoldingProcess() {
    Kill();
    delete FProcess;
}

void THoldingProcess::Kill() {
    if (FProcess->state() == QProcess::NotRunning)
        return;
    FProcess->kill();
    FProcess->waitForFinished(10000);
}
