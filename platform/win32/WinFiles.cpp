#include "platform/Files.h"

#include "platform/win32/WinText.h"

#include <QCoreApplication>
#include <QDir>

#include <shlobj.h>

// Paths are handed to the W functions as they are, forward slashes included (the
// system takes both). A path with an embedded zero names nothing.

namespace {

// The attributes of what `path` names, INVALID_FILE_ATTRIBUTES when it names nothing.
DWORD Attributes(const QString& path) {
    if (path.isEmpty() || HasEmbeddedZero(path))
        return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(Wide(QDir::toNativeSeparators(path)));
}

}  // namespace

bool FileExists(const QString& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const QString& path) {
    const DWORD attributes = Attributes(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const QString& path) {
    if (path.isEmpty() || HasEmbeddedZero(path))
        return false;
    QDir().mkpath(path);
    return DirectoryExists(path);
}

bool DeleteFile(const QString& path) {
    if (path.isEmpty() || HasEmbeddedZero(path))
        return false;
    return DeleteFileW(Wide(QDir::toNativeSeparators(path)));
}

bool ReplaceFile(const QString& source, const QString& target, QString* error) {
    if (source.isEmpty() || target.isEmpty() || HasEmbeddedZero(source) || HasEmbeddedZero(target)) {
        if (error)
            *error = SystemMessage(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // One rename on the same volume: the target is either the old file or the new one.
    if (MoveFileExW(Wide(QDir::toNativeSeparators(source)), Wide(QDir::toNativeSeparators(target)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error)
        *error = SystemMessage(GetLastError());
    return false;
}

QString HomeFolder() {
    wchar_t profile[MAX_PATH] = {};
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile)) &&
        profile[0])
        return QDir::cleanPath(QDir::fromNativeSeparators(FromWide(profile)));
    return QDir::tempPath();
}

QString ProgramRootFolder() {
    // The drive of the executable: "C:" or, for a network path, "//server/share".
    const QString program = QDir::fromNativeSeparators(QCoreApplication::applicationFilePath());
    QString drive;
    if (program.size() >= 2 && program.at(1) == u':') {
        drive = program.left(2);
    } else if (program.startsWith(QStringLiteral("//"))) {
        const qsizetype server = program.indexOf(u'/', 2);
        const qsizetype share = server < 0 ? -1 : program.indexOf(u'/', server + 1);
        drive = share < 0 ? program : program.left(share);
    }
    return drive.isEmpty() ? HomeFolder() : drive + u'/';
}
