#include "platform/Log.h"
#include "platform/posix/PosixRegistry.h"

#include <QByteArrayList>
#include <QFile>
#include <QSocketNotifier>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <utility>

// A key's notices come from its hive file, found by its path. Writers replace the file
// by renaming a new one into place, which only the folder sees; an editor may write in
// place, which only the file sees; and the folder, or any folder on the way to it, may
// be missing yet, be renamed away, be replaced by another (a restore, a sync tool), or
// be a symlink that is pointed elsewhere. So the watch walks the path from the root as
// the kernel does, symlinks included, and watches each folder it passes for the one
// name that leads on and for its own moving or deletion, and the file for writes; any
// of those walks the path again. Each folder is watched before what lies in it is
// looked at, so one made meanwhile (mkdir -p) is seen by the look or brings an event.
//
// inotify is used directly: Qt's watcher cannot say that a folder was moved, and once
// the system has no inotify instance or watch left it polls every second. This program
// never polls: a refused watch is said once on standard error, and the installers'
// broadcast is then what tells of their changes.
//
// A notice goes out only when the file itself is another or has changed, not for the
// lock file, a writer's temporary file or the other hive beside it.

namespace {

// The hive file as it is: gone, or which file, how long, and when last changed.
struct TFileIdentity {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};

    static TFileIdentity Of(const QByteArray& file) {
        struct stat status {};
        TFileIdentity identity;
        if (::stat(file.constData(), &status) != 0)
            return identity;
        identity.Exists = true;
        identity.Device = status.st_dev;
        identity.Inode = status.st_ino;
        identity.Size = status.st_size;
        identity.Modified = status.st_mtim;
        identity.Changed = status.st_ctim;
        return identity;
    }

    friend bool operator==(const TFileIdentity& a, const TFileIdentity& b) {
        return a.Exists == b.Exists && a.Device == b.Device && a.Inode == b.Inode && a.Size == b.Size &&
               a.Modified.tv_sec == b.Modified.tv_sec && a.Modified.tv_nsec == b.Modified.tv_nsec &&
               a.Changed.tv_sec == b.Changed.tv_sec && a.Changed.tv_nsec == b.Changed.tv_nsec;
    }
};

// A folder on the way: its entries coming, going or renamed, and the folder itself
// renamed or deleted. The file: written, closed after writing, its links or mode
// changed, renamed or deleted.
constexpr std::uint32_t KFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MOVE_SELF | IN_DELETE_SELF | IN_ONLYDIR;
constexpr std::uint32_t KFileEvents = IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF;
// As the kernel allows in one path (SYMLOOP_MAX where it is defined).
constexpr int KMostLinks = 40;

// Logs that the registry cannot be watched, and why.
void SayRefused(const QByteArray& path, int error) {
    QString why;
    if (error == EMFILE)
        why = QStringLiteral(
            ": the inotify instances (fs.inotify.max_user_instances) or the open files are used up");
    else if (error == ENOSPC)
        why = QStringLiteral(": the inotify watches (fs.inotify.max_user_watches) are used up");
    // Formatted here, not through a stream: this runs when descriptors may have run out,
    // and a sanitizer's checks of a stream's calls need one.
    const QString text = QStringLiteral(
                             "the registry cannot be watched at '%1': %2%3. Changes show when an installer "
                             "broadcasts that it is done, or at the next start.")
                             .arg(QFile::decodeName(path), qt_error_string(error), why);
    qCWarning(lcRegistry, "%s", qUtf8Printable(text));
}

QByteArray Below(const QByteArray& folder, const QByteArray& name) {
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

QByteArray Above(const QByteArray& folder) {
    const qsizetype slash = folder.lastIndexOf('/');
    return slash <= 0 ? QByteArray("/") : folder.left(slash);
}

class THiveWatch final : public IRegistryWatch {
public:
    THiveWatch(int inotify, const QString& file, std::function<void()> changed)
        : FInotify(inotify),
          FFile(QFile::encodeName(file)),
          FChanged(std::move(changed)),
          FNotifier(inotify, QSocketNotifier::Read) {
        Follow();
        FIdentity = TFileIdentity::Of(FFile);
        QObject::connect(&FNotifier, &QSocketNotifier::activated, [this] { Look(); });
    }
    ~THiveWatch() override { ::close(FInotify); }
    THiveWatch(const THiveWatch&) = delete;
    THiveWatch& operator=(const THiveWatch&) = delete;

private:
    // Walks the file's path from the root and watches what can show its next change,
    // as said at the top; watches off the way now go.
    void Follow() {
        std::map<int, std::set<QByteArray>> folders;
        int file = -1;
        QByteArrayList rest = FFile.split('/');
        QByteArray at = "/";
        int links = 0;
        while (!rest.isEmpty()) {
            const QByteArray name = rest.takeFirst();
            if (name.isEmpty() || name == ".")
                continue;
            if (name == "..") {
                at = Above(at);
                continue;
            }
            int error = 0;
            const int folder = Watch(at, KFolderEvents, error);
            if (folder >= 0)
                folders[folder].insert(name);
            else if (error != EACCES)
                break;  // gone meanwhile, which the folder above tells, or refused
            const QByteArray next = Below(at, name);
            struct stat status {};
            if (::lstat(next.constData(), &status) != 0)
                break;  // its coming shows in `at`
            if (S_ISLNK(status.st_mode)) {
                char target[PATH_MAX];
                const ssize_t length = ::readlink(next.constData(), target, sizeof target);
                if (length <= 0 || ++links > KMostLinks)
                    break;
                const QByteArray link(target, length);
                rest = link.split('/') + rest;
                if (link.startsWith('/'))
                    at = "/";
                continue;
            }
            if (rest.isEmpty()) {
                if (S_ISREG(status.st_mode))
                    file = Watch(next, KFileEvents, error);
                break;
            }
            if (!S_ISDIR(status.st_mode))
                break;
            at = next;
        }
        for (const auto& [watch, names] : FFolders)
            if (!folders.count(watch) && watch != file)
                ::inotify_rm_watch(FInotify, watch);
        if (FFileWatch >= 0 && FFileWatch != file && !folders.count(FFileWatch))
            ::inotify_rm_watch(FInotify, FFileWatch);
        FFolders = std::move(folders);
        FFileWatch = file;
    }

    // A folder that may be passed but not read cannot be watched, and the walk goes on
    // past it. Gone or replaced meanwhile is told by the folder above. Anything else is
    // the system refusing.
    int Watch(const QByteArray& path, std::uint32_t events, int& error) {
        const int watch = ::inotify_add_watch(FInotify, path.constData(), events);
        error = watch < 0 ? errno : 0;
        if (watch < 0 && error != ENOENT && error != ENOTDIR && error != EACCES &&
            !std::exchange(FSaid, true))
            SayRefused(path, error);
        return watch;
    }

    // Takes every event waiting; walks again when the path may lead elsewhere now, and
    // tells when the file is not the one it was.
    void Look() {
        bool walk = false;
        bool look = false;
        alignas(inotify_event) char buffer[16 * 1024];
        for (;;) {
            const ssize_t length = ::read(FInotify, buffer, sizeof buffer);
            if (length < 0 && errno == EINTR)
                continue;
            if (length <= 0)
                break;
            for (ssize_t at = 0; at + ssize_t(sizeof(inotify_event)) <= length;) {
                inotify_event event{};
                std::memcpy(&event, buffer + at, sizeof event);
                const char* name = buffer + at + sizeof event;
                at += ssize_t(sizeof event + event.len);
                if (event.mask & IN_Q_OVERFLOW) {
                    walk = true;
                    continue;
                }
                if (event.wd == FFileWatch && event.wd >= 0) {
                    look = true;
                    if (event.mask & (IN_ATTRIB | IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED))
                        walk = true;
                }
                const auto folder = FFolders.find(event.wd);
                if (folder == FFolders.end())
                    continue;
                if (event.mask & (IN_MOVE_SELF | IN_DELETE_SELF | IN_IGNORED | IN_UNMOUNT))
                    walk = true;
                else if (event.len > 0 && folder->second.count(QByteArray(name)))
                    walk = true;
            }
        }
        if (walk)
            Follow();
        if (!walk && !look)
            return;
        const TFileIdentity now = TFileIdentity::Of(FFile);
        if (now == FIdentity)
            return;
        FIdentity = now;
        FChanged();
    }

    const int FInotify;
    const QByteArray FFile;
    const std::function<void()> FChanged;
    QSocketNotifier FNotifier;
    // The folders watched on the way, each with the names in it that lead on; the
    // file's watch, -1 while it is not there.
    std::map<int, std::set<QByteArray>> FFolders;
    int FFileWatch = -1;
    TFileIdentity FIdentity;
    bool FSaid = false;  // that the system refused a watch: once is enough
};

}  // namespace

std::unique_ptr<IRegistryWatch> TPosixRegistry::WatchKey(TRootKey root, const QString& /*path*/,
                                                         std::function<void()> changed) {
    const QString file = HiveFile(root);
    const int inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify < 0) {
        SayRefused(QFile::encodeName(file), errno);
        return nullptr;
    }
    return std::make_unique<THiveWatch>(inotify, file, std::move(changed));
}
