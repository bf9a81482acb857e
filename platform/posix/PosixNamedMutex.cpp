#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <cerrno>
#include <ctime>

// A named mutex is the lock file "<name>.lock" (the name percent-encoded, so any name
// stays one file inside the folder) in $XDG_RUNTIME_DIR, or in the temp folder when that
// is unset or unusable. Every holder keeps flock(LOCK_SH) on it while it lives, so the
// mutex exists as long as any holder runs, and an outside tool can ask with flock too.
//
// Whether it already existed is learned by trying LOCK_EX|LOCK_NB, which succeeds only
// when nobody holds the file. flock cannot turn that exclusive lock into the shared one
// atomically: between the two, a second program starting at the same moment could take
// its own exclusive lock and also believe itself first. So the try-and-share step runs
// under a gate, a short exclusive lock on the file's first byte (an open file description
// lock, independent of flock), which only programs in that step ever hold. The gate is
// waited for a bounded time; if it cannot be had, the step runs without it rather than
// block the program.
//
// The file is never removed: removing a lock file races with a program that has just
// opened it. It is opened close-on-exec so that programs we start do not hold it.

namespace {

constexpr int GateAttempts = 200;
constexpr long GateRetryNanoseconds = 1000 * 1000;

QString LockFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir())
        return runtime;
    return QDir::tempPath();
}

int OpenLockFile(const QString& folder, const QString& name) {
    const QString fileName = QString::fromLatin1(QUrl::toPercentEncoding(name)) + QStringLiteral(".lock");
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(fileName));
    if (path.contains('\0'))
        return -1;
    return ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
}

bool LockGate(int fd, short type) {
    struct flock gate {};
    gate.l_type = type;
    gate.l_whence = SEEK_SET;
    gate.l_start = 0;
    gate.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &gate) == 0;
}

bool AcquireGate(int fd) {
    for (int attempt = 0; attempt < GateAttempts; ++attempt) {
        if (LockGate(fd, F_WRLCK))
            return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return false;  // no such locks here
        const timespec pause{0, GateRetryNanoseconds};
        ::nanosleep(&pause, nullptr);
    }
    return false;
}

class TPosixNamedMutex : public INamedMutex {
public:
    explicit TPosixNamedMutex(const QString& name) : FName(name) {
        if (name.isEmpty())
            return;  // an unnamed mutex is always new
        FFd = OpenLockFile(LockFolder(), name);
        if (FFd < 0)
            FFd = OpenLockFile(QDir::tempPath(), name);
        if (FFd < 0)
            return;

        const bool gated = AcquireGate(FFd);
        FExisted = ::flock(FFd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        // Fails only when an outside program holds the file exclusively; we carry on unheld.
        ::flock(FFd, LOCK_SH | LOCK_NB);
        if (gated)
            LockGate(FFd, F_UNLCK);
    }

    ~TPosixNamedMutex() override {
        if (FFd >= 0)
            ::close(FFd);  // releases the shared lock
    }

    TPosixNamedMutex(const TPosixNamedMutex&) = delete;
    TPosixNamedMutex& operator=(const TPosixNamedMutex&) = delete;

    QString Name() const override { return FName; }
    bool AlreadyExisted() const override { return FExisted; }

private:
    QString FName;
    int FFd = -1;
    bool FExisted = false;
};

}  // namespace

std::unique_ptr<INamedMutex> CreateNamedMutex(const QString& name) {
    return std::make_unique<TPosixNamedMutex>(name);
}
