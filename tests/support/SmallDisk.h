#pragma once

#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

// A full disk: a small file system of its own (tmpfs) mounted at `folder` for the
// life of the object, where the machine lets the test mount one (as root). `options`
// are mount's: "size=64k", or "size=4k,ro" for one that nobody, root included, may
// write to.
class TSmallDisk {
public:
    TSmallDisk(const QString& folder, const QString& options) : FFolder(folder) {
        QDir().mkpath(folder);
        FMounted = QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                      options, QStringLiteral("tmpfs"), folder}) == 0;
    }
    ~TSmallDisk() {
        if (FMounted)
            QProcess::execute(QStringLiteral("umount"), {FFolder});
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;
    bool Mounted() const { return FMounted; }

private:
    QString FFolder;
    bool FMounted = false;
};
