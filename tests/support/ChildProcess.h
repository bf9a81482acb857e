#pragma once

#include <functional>
#include <vector>

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
