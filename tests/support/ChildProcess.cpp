#include "tests/support/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

[[noreturn]] void ExitWith(const std::function<int()>& body) {
    int code = 100;
    try {
        code = body();
    } catch (...) {
    }
    ::_exit(code);
}

int Wait(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int RunInChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
        ExitWith(body);
    return pid < 0 ? -1 : Wait(pid);
}

TGatedChildren::TGatedChildren() {
    if (::pipe(FGate) != 0)
        FGate[0] = FGate[1] = -1;
}

TGatedChildren::~TGatedChildren() {
    ReleaseAndWait();
}

void TGatedChildren::Spawn(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(FGate[1]);
        char c;
        while (::read(FGate[0], &c, 1) < 0 && errno == EINTR) {
        }
        ExitWith(body);
    }
    if (pid > 0)
        FChildren.push_back(pid);
}

std::vector<int> TGatedChildren::ReleaseAndWait() {
    // Closing the writing end wakes every child at once with end-of-file.
    for (int& fd : FGate) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    std::vector<int> codes;
    for (const pid_t pid : FChildren)
        codes.push_back(Wait(pid));
    FChildren.clear();
    return codes;
}
