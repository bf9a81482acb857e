#include "platform/posix/PosixRegistry.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QStringList>

#include <sys/stat.h>

#include <utility>

// A key's notices come from its hive file. Writers replace the file by renaming a new
// one into place, which only the folder sees; an editor may write in place, which only
// the file sees; and the folder may not exist yet. So the watch follows the file, its
// folder, or while that is missing the nearest folder above it, where it will appear;
// and it tells of a change only when the file itself is another or has changed, not
// for the lock file, a writer's temporary file or the other hive beside it.

namespace {

// The hive file as it is: gone, or which file, how long, and when last changed.
struct TFileIdentity {
    bool Exists = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = 0;
    timespec Modified{};
    timespec Changed{};

    static TFileIdentity Of(const QString& file) {
        struct stat status {};
        TFileIdentity identity;
        if (::stat(QFile::encodeName(file).constData(), &status) != 0)
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

class THiveWatch final : public IRegistryWatch {
public:
    THiveWatch(QString folder, QString file, std::function<void()> changed)
        : FFolder(std::move(folder)), FFile(std::move(file)), FChanged(std::move(changed)) {
        FIdentity = TFileIdentity::Of(FFile);
        Follow();
        QObject::connect(&FWatcher, &QFileSystemWatcher::directoryChanged, [this] { Look(); });
        QObject::connect(&FWatcher, &QFileSystemWatcher::fileChanged, [this] { Look(); });
    }

private:
    // Watches what can show the next change: the file when it exists, and its folder,
    // or the nearest folder above that exists.
    void Follow() {
        QString folder = FFolder;
        while (!QFileInfo(folder).isDir()) {
            const QString parent = QFileInfo(folder).path();
            if (parent == folder)
                break;
            folder = parent;
        }
        QStringList wanted{folder};
        if (folder == FFolder && QFileInfo(FFile).isFile())
            wanted << FFile;
        QStringList gone;
        for (const QString& watched : FWatcher.files() + FWatcher.directories())
            if (!wanted.contains(watched))
                gone << watched;
        if (!gone.isEmpty())
            FWatcher.removePaths(gone);
        QStringList added;
        for (const QString& path : std::as_const(wanted))
            if (!FWatcher.files().contains(path) && !FWatcher.directories().contains(path))
                added << path;
        // A system out of watches gives no notices; reading goes on as before.
        if (!added.isEmpty())
            FWatcher.addPaths(added);
    }

    void Look() {
        Follow();
        const TFileIdentity now = TFileIdentity::Of(FFile);
        if (now == FIdentity)
            return;
        FIdentity = now;
        FChanged();
    }

    const QString FFolder;
    const QString FFile;
    const std::function<void()> FChanged;
    QFileSystemWatcher FWatcher;
    TFileIdentity FIdentity;
};

}  // namespace

std::unique_ptr<IRegistryWatch> TPosixRegistry::WatchKey(TRootKey root, const QString& /*path*/,
                                                         std::function<void()> changed) {
    return std::make_unique<THiveWatch>(HiveFolder(root), HiveFile(root), std::move(changed));
}
