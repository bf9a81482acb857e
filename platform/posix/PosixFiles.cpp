#include "platform/Files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <QDir>
#include <QFile>

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

bool ReplaceFile(const QString& source, const QString& target, QString* error) {
    const std::optional<QByteArray> from = SystemName(source);
    const std::optional<QByteArray> to = SystemName(target);
    if (from && to && ::rename(from->constData(), to->constData()) == 0)
        return true;
    if (error)
        *error = QString::fromLocal8Bit(std::strerror(from && to ? errno : ENOENT));
    return false;
}
