#pragma once

#include <functional>
#include <vector>

#ifndef _WIN32
#include <sys/types.h>

// Runs `body` in a forked child and gives its exit code: 100 when it threw,
// 128 + the signal when a signal ended it.
int RunInChild(const std::function<int()>& body);

// Children that wait at a gate until Release, so that they start at once and race.
class TGatedChildren {
public:
    TGatedChildren();
    ~TGatedChildren();
    TGatedChildren(const TGatedChildren&) = delete;
    TGatedChildren& operator=(const TGatedChildren&) = delete;

    // Forks a child that runs `body` once the gate opens.
    void Spawn(const std::function<int()>& body);
    // Opens the gate and waits for every child; their exit codes as RunInChild gives them.
    std::vector<int> ReleaseAndWait();

private:
    int FGate[2] = {-1, -1};
    std::vector<pid_t> FChildren;
};

#endif

class QProcess;
class QString;

// Another process that holds a file as a running download holds its partial file
// (flock(1), from util-linux; under Wine kw-hold), until it is killed or the object
// goes.
class THoldingProcess {
public:
    explicit THoldingProcess(const QString& path);
    ~THoldingProcess();
    THoldingProcess(const THoldingProcess&) = delete;
    THoldingProcess& operator=(const THoldingProcess&) = delete;

    // True once the other process has its hold.
    bool Holding() const { return FHolding; }
    // Ends it as a crash or a logout would: the system releases the hold.
    void Kill();

private:
    QProcess* FProcess;
    bool FHolding = false;
};
