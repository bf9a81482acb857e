#include "platform/posix/PosixRegistry.h"

#include "platform/Files.h"
#include "platform/SystemError.h"
#include "platform/posix/RegFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// Everybody reads the machine's settings; the user's own are nobody else's business.
// Their folders follow suit (XDG asks 0700 of the configuration folder).
constexpr mode_t KMachineHiveMode = 0644;
constexpr mode_t KUserHiveMode = 0600;
constexpr mode_t KMachineFolderMode = 0755;
constexpr mode_t KUserFolderMode = 0700;

struct THive {
    TRootKey Root;
    QString Folder;
    QString File;
    QString LockFile;

    mode_t FileMode() const { return Root == TRootKey::LocalMachine ? KMachineHiveMode : KUserHiveMode; }
    mode_t FolderMode() const {
        return Root == TRootKey::LocalMachine ? KMachineFolderMode : KUserFolderMode;
    }
};

QString HiveFileName(TRootKey root) {
    return root == TRootKey::LocalMachine ? QStringLiteral("machine.reg") : QStringLiteral("user.reg");
}

THive Locate(TRootKey root) {
    THive hive;
    hive.Root = root;
    hive.Folder = TPosixRegistry::HiveFolder(root);
    hive.File = hive.Folder + u'/' + HiveFileName(root);
    hive.LockFile = hive.Folder + QStringLiteral("/.") + HiveFileName(root) + QStringLiteral(".lock");
    return hive;
}

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

TRegResult Failure(TRegStatus status, const QString& message) {
    return {status, message, QString()};
}

// A failure of a system call, with the system's own words for `error`.
TRegResult SystemFailure(TRegStatus status, const QString& message, int error) {
    return {status, message, qt_error_string(error)};
}

TRegStatus StatusOf(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? TRegStatus::AccessDenied
                                                               : TRegStatus::IoError;
}

TRegResult CannotWrite(TRegStatus status, const QString& path, int error) {
    return SystemFailure(
        status,
        QStringLiteral("The registry file '%1' cannot be written: %2.").arg(path, qt_error_string(error)),
        error);
}

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : FFd(fd) {}
    ~TFileDescriptor() { Close(); }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;

    int Get() const { return FFd; }
    bool Valid() const { return FFd >= 0; }
    int Close() {
        const int result = FFd >= 0 ? ::close(FFd) : 0;
        FFd = -1;
        return result;
    }

private:
    int FFd;
};

// The limit, as a person reads it ("4 MB").
QString MostHiveSize() {
    return QStringLiteral("%1 MB").arg(TPosixRegistry::MostHiveBytes / (1024 * 1024));
}

// The hive as the file holds it now; a missing file is an empty hive. The read never
// waits (a FIFO in the hive's place) and never goes past the limit.
TRegResult ReadHive(const THive& hive, TRegFile& file) {
    file = TRegFile(hive.Root);
    QByteArray bytes;
    TSystemError reason;
    switch (ReadRegularFile(hive.File, TPosixRegistry::MostHiveBytes, &bytes, &reason)) {
        case TFileReadResult::Read:
            break;
        case TFileReadResult::NotRegular:
            return Failure(TRegStatus::Corrupt,
                           QStringLiteral("The registry file '%1' is damaged (it is not a regular file).")
                               .arg(hive.File));
        case TFileReadResult::TooLarge:
            return Failure(TRegStatus::Corrupt,
                           QStringLiteral("The registry file '%1' is too large to be read (%2 bytes; a hive "
                                          "holds at most %3).")
                               .arg(hive.File)
                               .arg(QFileInfo(hive.File).size())
                               .arg(MostHiveSize()));
        case TFileReadResult::Failed:
            if (reason.Kind == TSystemErrorKind::NotFound)
                return {};
            // A hive that is there but cannot be read is no empty hive: it fails as a
            // damaged one does, and is never written over.
            return {TRegStatus::Corrupt,
                    QStringLiteral("The registry file '%1' cannot be read: %2.").arg(hive.File, reason.Text),
                    reason.Text};
    }
    QString error;
    if (!file.Parse(bytes, hive.File, error))
        return Failure(TRegStatus::Corrupt, error);
    return {};
}

// The hives as last parsed, by file identity. A read that finds its hive file
// unchanged (same inode, size and change times) uses the parsed copy instead of
// reading and parsing the file again, so twenty reads in a row cost twenty stat()
// calls. Writers replace the file by renaming a new one over it, which always gives
// a new inode; in-place edits change the times. File times may be as coarse as the
// kernel's clock tick, so an edit in the same tick as the last one would keep them:
// a file changed less than two seconds before it was read is never taken from here.
struct TParsedHive {
    QString File;
    struct stat Identity {};
    std::shared_ptr<const TRegFile> Parsed;
};

bool SettledBefore(const struct stat& identity, const timespec& readAt) {
    constexpr time_t Settle = 2;
    const timespec& changed =
        identity.st_mtim.tv_sec > identity.st_ctim.tv_sec ? identity.st_mtim : identity.st_ctim;
    return changed.tv_sec + Settle < readAt.tv_sec;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
           a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// Also gives the file's identity as found before reading it; a zero inode when there
// was no regular file to find.
TRegResult ReadHiveShared(const THive& hive, std::shared_ptr<const TRegFile>& parsed, struct stat& identity) {
    // Windows may read on a thread of their own while the window thread writes.
    static std::mutex guard;
    static std::vector<TParsedHive> cache;
    identity = {};
    const bool known = ::stat(Native(hive.File).constData(), &identity) == 0 && S_ISREG(identity.st_mode);
    if (!known)
        identity = {};
    if (known) {
        const std::lock_guard<std::mutex> lock(guard);
        for (const TParsedHive& entry : cache) {
            if (entry.File == hive.File && SameFile(entry.Identity, identity)) {
                parsed = entry.Parsed;
                return {};
            }
        }
    }
    timespec readAt{};
    ::clock_gettime(CLOCK_REALTIME, &readAt);
    auto file = std::make_shared<TRegFile>(hive.Root);
    const TRegResult result = ReadHive(hive, *file);
    if (!result.Ok())
        return result;
    parsed = file;
    if (known && SettledBefore(identity, readAt)) {
        const std::lock_guard<std::mutex> lock(guard);
        std::erase_if(cache, [&](const TParsedHive& entry) { return entry.File == hive.File; });
        // The two hives, and a few more folders when KESTRELWEAVE_REGISTRY changes.
        if (cache.size() >= 8)
            cache.erase(cache.begin());
        cache.push_back({hive.File, identity, parsed});
    }
    return {};
}

// Whether the process may replace the hive: write access to its folder (or, while
// that does not exist, to the nearest folder above, where it would be created) and,
// for an existing hive, to the file itself, so a hive made read-only stays as it is.
// Checked with the effective ids, which the kernel will check the real writes against.
TRegResult CheckWritable(const THive& hive) {
    QString folder = hive.Folder;
    struct stat status {};
    while (::stat(Native(folder).constData(), &status) != 0) {
        const int error = errno;
        const QString parent = QFileInfo(folder).path();
        if (error != ENOENT || parent == folder)
            return CannotWrite(StatusOf(error), hive.File, error);
        folder = parent;
    }
    if (!S_ISDIR(status.st_mode))
        return CannotWrite(TRegStatus::IoError, hive.File, ENOTDIR);
    if (::faccessat(AT_FDCWD, Native(folder).constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return CannotWrite(StatusOf(errno), hive.File, errno);
    if (folder == hive.Folder &&
        ::faccessat(AT_FDCWD, Native(hive.File).constData(), W_OK, AT_EACCESS) != 0 && errno != ENOENT)
        return CannotWrite(StatusOf(errno), hive.File, errno);
    return {};
}

bool MakeFolders(const QString& folder, mode_t mode, int& error) {
    struct stat status {};
    if (::stat(Native(folder).constData(), &status) == 0) {
        error = ENOTDIR;
        return S_ISDIR(status.st_mode);
    }
    if (errno != ENOENT) {
        error = errno;
        return false;
    }
    const QString parent = QFileInfo(folder).path();
    if (parent != folder && !MakeFolders(parent, mode, error))
        return false;
    if (::mkdir(Native(folder).constData(), mode) != 0 && errno != EEXIST) {
        error = errno;
        return false;
    }
    return true;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    const char* data = bytes.constData();
    std::size_t left = std::size_t(bytes.size());
    while (left > 0) {
        const ssize_t count = ::write(fd, data, left);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            if (count == 0)
                errno = EIO;
            return false;
        }
        data += count;
        left -= std::size_t(count);
    }
    return true;
}

// Puts `bytes` in the hive's place in one step: a temporary file beside it, flushed to
// the disk, renamed over it. Any failure on the way leaves the old hive untouched.
TRegResult ReplaceHive(const THive& hive, const QByteArray& bytes) {
    struct stat old {};
    const bool hadOld = ::stat(Native(hive.File).constData(), &old) == 0;
    QByteArray temporary =
        Native(hive.Folder + QStringLiteral("/.") + HiveFileName(hive.Root) + QStringLiteral(".XXXXXX"));
    TFileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd.Valid())
        return CannotWrite(StatusOf(errno), hive.File, errno);

    const auto fail = [&](int error) {
        fd.Close();
        ::unlink(temporary.constData());
        return CannotWrite(StatusOf(error), hive.File, error);
    };
    if (!WriteAll(fd.Get(), bytes))
        return fail(errno);
    if (::fchmod(fd.Get(), hadOld ? old.st_mode & 07777 : hive.FileMode()) != 0)
        return fail(errno);
    // When an administrator writes a user's hive, it stays the user's. Only root may
    // give a file away; for everybody else this changes nothing and may fail.
    if (hadOld && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) &&
        ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
    }
    if (::fsync(fd.Get()) != 0)
        return fail(errno);
    if (fd.Close() != 0)
        return fail(errno);
    if (::rename(temporary.constData(), Native(hive.File).constData()) != 0)
        return fail(errno);
    // Makes the rename itself durable. The new hive is in place already, so a failure
    // here is not reported as a failed write.
    TFileDescriptor folder(::open(Native(hive.Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid())
        ::fsync(folder.Get());
    return {};
}

// A writer holds the lock while its temporary file exists, so a temporary file that
// the lock's new holder finds was left by a writer that died. It goes.
void RemoveStaleTemporaries(const THive& hive) {
    const QString prefix = u'.' + HiveFileName(hive.Root) + u'.';
    const QStringList names =
        QDir(hive.Folder)
            .entryList({prefix + QStringLiteral("??????")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QStringView random = QStringView(name).sliced(prefix.size());
        if (!std::all_of(random.begin(), random.end(),
                         [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
            continue;
        struct stat status {};
        const QByteArray path = Native(hive.Folder + u'/' + name);
        if (::lstat(path.constData(), &status) == 0 && S_ISREG(status.st_mode))
            ::unlink(path.constData());
    }
}

// Read-modify-replace under an exclusive lock on a lock file of the hive's own, so that
// a concurrent writer's change is always read before ours is made. `change` returns
// whether it changed the hive; nothing is written when it did not.
TRegResult ModifyHive(const THive& hive, const std::function<bool(TRegFile&)>& change) {
    TRegResult result = CheckWritable(hive);
    if (!result.Ok())
        return result;
    int error = 0;
    if (!MakeFolders(hive.Folder, hive.FolderMode(), error)) {
        return SystemFailure(StatusOf(error),
                             QStringLiteral("The registry folder '%1' cannot be created: %2.")
                                 .arg(hive.Folder, qt_error_string(error)),
                             error);
    }
    TFileDescriptor lock(::open(Native(hive.LockFile).constData(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY,
                                hive.FileMode()));
    if (!lock.Valid())
        return CannotWrite(StatusOf(errno), hive.File, errno);
    while (::flock(lock.Get(), LOCK_EX) != 0)
        if (errno != EINTR)
            return CannotWrite(TRegStatus::IoError, hive.File, errno);
    RemoveStaleTemporaries(hive);

    TRegFile file(hive.Root);
    result = ReadHive(hive, file);
    if (!result.Ok() || !change(file))
        return result;
    const QByteArray bytes = file.Serialize();
    if (bytes.size() > TPosixRegistry::MostHiveBytes)
        return Failure(TRegStatus::IoError,
                       QStringLiteral("The registry file '%1' cannot be written: it would hold %2 bytes, "
                                      "more than the %3 a hive holds.")
                           .arg(hive.File)
                           .arg(bytes.size())
                           .arg(MostHiveSize()));
    return ReplaceHive(hive, bytes);
}

QString ValueName(const QString& name) {
    return name == QStringLiteral("@") ? QString() : name;
}

// An open key remembers its hive file as it was found when the key was opened, and
// the hive as it read it last with the file's identity then: reads in a row through
// one key (a window reading twenty values) parse the file once, even in the first
// seconds after a change, when no shared copy is kept. Only an edit in place within
// the same tick of the file's clock, leaving its size, could hide behind that
// identity, and only for as long as this key stays open.
class TPosixRegistryKey : public IRegistryKey {
public:
    TPosixRegistryKey(THive hive, const QString& path, std::uint32_t access,
                      std::shared_ptr<const TRegFile> parsed, const struct stat& identity)
        : FHive(std::move(hive)),
          FPath(path),
          FAccess(access),
          FParsed(std::move(parsed)),
          FIdentity(identity) {}

    TRegResult QueryValue(const QString& name, TRegValue& value) override {
        if (!(FAccess & KEY_QUERY_VALUE))
            return Denied(QStringLiteral("read values"));
        struct stat now {};
        if (!FParsed || FIdentity.st_ino == 0 || ::stat(Native(FHive.File).constData(), &now) != 0 ||
            !SameFile(now, FIdentity)) {
            FParsed.reset();
            const TRegResult result = ReadHiveShared(FHive, FParsed, FIdentity);
            if (!result.Ok())
                return result;
        }
        const std::shared_ptr<const TRegFile> file = FParsed;
        const TRegValue* found = file->FindValue(FPath, ValueName(name));
        if (!found) {
            if (!file->KeyExists(FPath))
                return KeyMissing(FHive.Root, FPath);
            return Failure(TRegStatus::NotFound,
                           QStringLiteral("The registry value '%1' does not exist in '%2'.")
                               .arg(name, KeyName(FHive.Root, FPath)));
        }
        value = *found;
        return {};
    }

    TRegResult SetValue(const QString& name, const TRegValue& value) override {
        if (!(FAccess & KEY_SET_VALUE))
            return Denied(QStringLiteral("set values"));
        const QString stored = ValueName(name);
        if (!TRegFile::IsStorableValueName(stored)) {
            return Failure(TRegStatus::IoError,
                           QStringLiteral("The registry value name '%1' cannot be stored in '%2'.")
                               .arg(name, FHive.File));
        }
        return ModifyHive(FHive, [&](TRegFile& file) { return file.SetValue(FPath, stored, value); });
    }

    static TRegResult KeyMissing(TRootKey root, const QString& path) {
        return Failure(TRegStatus::NotFound,
                       QStringLiteral("The registry key '%1' does not exist.").arg(KeyName(root, path)));
    }

private:
    TRegResult Denied(const QString& what) const {
        return Failure(TRegStatus::AccessDenied,
                       QStringLiteral("The registry key '%1' was opened without the right to %2.")
                           .arg(KeyName(FHive.Root, FPath), what));
    }

    THive FHive;
    QString FPath;
    std::uint32_t FAccess;
    std::shared_ptr<const TRegFile> FParsed;
    struct stat FIdentity {};
};

}  // namespace

QString TPosixRegistry::HiveFolder(TRootKey root) {
    QString folder = qEnvironmentVariable("KESTRELWEAVE_REGISTRY");
    if (folder.isEmpty() && root == TRootKey::LocalMachine)
        folder = QStringLiteral("/etc/kestrelweave");
    if (folder.isEmpty()) {
        // XDG: a relative XDG_CONFIG_HOME is invalid and ignored.
        QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        if (config.isEmpty() || QDir::isRelativePath(config)) {
            config = HomeFolder() + QStringLiteral("/.config");
        }
        folder = config + QStringLiteral("/kestrelweave");
    }
    return QDir::cleanPath(QDir(folder).absolutePath());
}

QString TPosixRegistry::HiveFile(TRootKey root) {
    return Locate(root).File;
}

QString TPosixRegistry::StoreName(TRootKey root) const {
    return HiveFile(root);
}

TRegResult TPosixRegistry::OpenKey(TRootKey root, const QString& path, std::uint32_t access, bool create,
                                   std::unique_ptr<IRegistryKey>& key) {
    key.reset();
    // A name that no hive can hold names no key, and none can be created under it.
    if (!TRegFile::IsStorableKeyPath(path)) {
        return Failure(TRegStatus::NotFound,
                       QStringLiteral("'%1' is not a valid registry key name.").arg(KeyName(root, path)));
    }
    const THive hive = Locate(root);
    std::shared_ptr<const TRegFile> file;
    struct stat identity {};
    TRegResult result = ReadHiveShared(hive, file, identity);
    if (!result.Ok())
        return result;

    // As with the registry, an existing key opens with the rights asked for, whether
    // creation was allowed or not: reading needs no right to write.
    if (!file->KeyExists(path)) {
        if (!create)
            return TPosixRegistryKey::KeyMissing(root, path);
        result = ModifyHive(hive, [&](TRegFile& current) { return current.CreateKey(path); });
        file.reset();  // read again from the new file
    } else if (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) {
        result = CheckWritable(hive);
    }
    if (!result.Ok())
        return result;
    key = std::make_unique<TPosixRegistryKey>(hive, path, access, std::move(file), identity);
    return {};
}

IRegistry& SystemRegistry() {
    static TPosixRegistry registry;
    return registry;
}
