#include "platform/Files.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <unistd.h>
#include <cerrno>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QThreadPool>

#include <algorithm>
#include <optional>

// Paths are taken literally: no environment or "~" expansion. A path with an embedded
// zero names nothing (the system would see only the part before it).

namespace {

std::optional<QByteArray> SystemName(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return std::nullopt;
    return name;
}

// The type of what `path` names, following symbolic links; 0 when it names nothing.
mode_t FileType(const QString& path) {
    const std::optional<QByteArray> name = SystemName(path);
    struct stat status {};
    if (!name || ::stat(name->constData(), &status) != 0)
        return 0;
    return status.st_mode & S_IFMT;
}

}  // namespace

bool FileExists(const QString& path) {
    return FileType(path) == S_IFREG;
}

bool DirectoryExists(const QString& path) {
    return FileType(path) == S_IFDIR;
}

bool ForceDirectories(const QString& path) {
    if (!SystemName(path))
        return false;
    QDir().mkpath(path);
    return DirectoryExists(path);
}

bool DeleteFile(const QString& path) {
    const std::optional<QByteArray> name = SystemName(path);
    // unlink removes a symbolic link itself, never its target, and refuses folders.
    return name && ::unlink(name->constData()) == 0;
}

bool ReplaceFile(const QString& source, const QString& target, TSystemError* error) {
    const std::optional<QByteArray> from = SystemName(source);
    const std::optional<QByteArray> to = SystemName(target);
    if (!from || !to) {
        if (error)
            *error = SystemError(ENOENT);
        return false;
    }
    // The file replaced is kept under a second name until the replacement is done and
    // let go in the background: freeing a large file's blocks takes the system tens
    // of milliseconds, which the caller (the window thread) should not wait for.
    QByteArray kept;
    for (int attempt = 0; attempt < 8 && kept.isEmpty(); ++attempt) {
        const QByteArray name = *to + ".replaced-" + QByteArray::number(::getpid()) + '-' +
                                QByteArray::number(QRandomGenerator::global()->generate(), 36);
        if (::link(to->constData(), name.constData()) == 0)
            kept = name;
        else if (errno != EEXIST)
            break;
    }
    if (::rename(from->constData(), to->constData()) != 0) {
        const int reason = errno;
        if (!kept.isEmpty())
            ::unlink(kept.constData());
        if (error)
            *error = SystemError(reason);
        return false;
    }
    if (!kept.isEmpty())
        QThreadPool::globalInstance()->start([kept] { ::unlink(kept.constData()); });
    return true;
}

TFileReadResult ReadRegularFile(const QString& path, qint64 limit, QByteArray* bytes, TSystemError* error) {
    const auto failed = [error](int reason) {
        if (error)
            *error = SystemError(reason);
        return TFileReadResult::Failed;
    };
    const std::optional<QByteArray> name = SystemName(path);
    if (!name)
        return failed(ENOENT);
    struct stat status {};
    if (::stat(name->constData(), &status) != 0)
        return failed(errno);
    if (!S_ISREG(status.st_mode))
        return TFileReadResult::NotRegular;
    if (status.st_size > limit)
        return TFileReadResult::TooLarge;
    // Without waiting: should a pipe have taken the name since, opening it for reading
    // would wait for a writer.
    const int fd = ::open(name->constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return failed(errno);
    TFileReadResult result = TFileReadResult::Read;
    if (::fstat(fd, &status) != 0) {
        result = failed(errno);
    } else if (!S_ISREG(status.st_mode)) {
        result = TFileReadResult::NotRegular;
    } else {
        bytes->clear();
        bytes->reserve(static_cast<qsizetype>(std::min<qint64>(status.st_size, limit)));
        char block[65536];
        for (;;) {
            const ssize_t got = ::read(fd, block, sizeof block);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result = failed(errno);
                break;
            }
            if (got == 0)
                break;
            if (got > limit - bytes->size()) {
                result = TFileReadResult::TooLarge;
                break;
            }
            bytes->append(block, got);
        }
    }
    ::close(fd);
    if (result != TFileReadResult::Read)
        bytes->clear();
    return result;
}

bool IsSameFile(const QString& a, const QString& b) {
    const std::optional<QByteArray> first = SystemName(a), second = SystemName(b);
    struct stat one {
    }, other{};
    return first && second && ::stat(first->constData(), &one) == 0 &&
           ::stat(second->constData(), &other) == 0 && one.st_dev == other.st_dev &&
           one.st_ino == other.st_ino;
}

QString HomeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir)
        return QDir::cleanPath(QFile::decodeName(user->pw_dir));
    return QDir::tempPath();
}

QString ProgramRootFolder() {
    return HomeFolder();
}

namespace {

// Whether the open file `fd` is still the one `name` names.
bool SameFile(int fd, const QByteArray& name) {
    struct stat open {
    }, named{};
    return ::fstat(fd, &open) == 0 && ::lstat(name.constData(), &named) == 0 && S_ISREG(named.st_mode) &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

// The file `name`, opened and locked; -1 when it is held elsewhere or gone.
int OpenAndLock(const QString& path) {
    const std::optional<QByteArray> name = SystemName(path);
    if (!name)
        return -1;
    const int fd = ::open(name->constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    // The lock is taken on the file as it is found; if another process removed or
    // replaced it meanwhile, what is locked is not what the name stands for.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !SameFile(fd, *name)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

TFileHold::~TFileHold() {
    ::close(static_cast<int>(FHandle));
}

std::unique_ptr<TFileHold> HoldFile(const QString& path) {
    const int fd = OpenAndLock(path);
    if (fd < 0)
        return nullptr;
    return std::unique_ptr<TFileHold>(new TFileHold(fd));
}

bool DeleteUnheldFile(const QString& path) {
    const int fd = OpenAndLock(path);
    if (fd < 0)
        return false;
    // Removed while locked, so no one can take a hold on it in between.
    const bool removed = ::unlink(QFile::encodeName(path).constData()) == 0;
    ::close(fd);
    return removed;
}
