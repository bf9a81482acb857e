#include "tests/support/ChildProcess.h"

#include "platform/Files.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QThread>

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

THoldingProcess::THoldingProcess(const QString& path) : FProcess(new QProcess) {
    // flock creates the file when it is missing and holds it while `cat` waits for
    // its input, which stays open as long as the object; `cat` itself holds nothing,
    // so the hold ends with flock.
    FProcess->start(QStringLiteral("flock"),
                    {QStringLiteral("--exclusive"), QStringLiteral("--close"), path, QStringLiteral("cat")});
    if (!FProcess->waitForStarted(5000))
        return;
    // Held once this process can no longer take the hold itself.
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (FileExists(path) && !HoldFile(path)) {
            FHolding = true;
            return;
        }
        QThread::msleep(10);
    }
}
