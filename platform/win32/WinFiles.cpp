#include "platform/Files.h"

#include "platform/SystemError.h"

#include "platform/win32/WinText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

bool ReplaceFile(const QString& source, const QString& target, TSystemError* error) {
    if (source.isEmpty() || target.isEmpty() || HasEmbeddedZero(source) || HasEmbeddedZero(target)) {
        if (error)
            *error = SystemError(ERROR_FILE_NOT_FOUND);
        return false;
    }
    // One rename on the same volume: the target is either the old file or the new one.
    if (MoveFileExW(Wide(QDir::toNativeSeparators(source)), Wide(QDir::toNativeSeparators(target)),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (error)
        *error = SystemError(GetLastError());
    return false;
}

TFileReadResult ReadRegularFile(const QString& path, qint64 limit, QByteArray* bytes, TSystemError* error) {
    const auto failed = [error](DWORD reason) {
        if (error)
            *error = SystemError(reason);
        return TFileReadResult::Failed;
    };
    if (path.isEmpty() || HasEmbeddedZero(path))
        return failed(ERROR_FILE_NOT_FOUND);
    const DWORD attributes = Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return failed(GetLastError());
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return TFileReadResult::NotRegular;
    const HANDLE file = CreateFileW(Wide(QDir::toNativeSeparators(path)), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed(GetLastError());
    // Only a file on a disk is read: a pipe, the console or a device such as NUL is
    // opened without a wait, but a read of it could wait for ever.
    TFileReadResult result = TFileReadResult::Read;
    LARGE_INTEGER size{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        result = TFileReadResult::NotRegular;
    } else if (!GetFileSizeEx(file, &size)) {
        result = failed(GetLastError());
    } else if (size.QuadPart > limit) {
        result = TFileReadResult::TooLarge;
    } else {
        bytes->clear();
        bytes->reserve(static_cast<qsizetype>(size.QuadPart));
        char block[65536];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, block, sizeof block, &got, nullptr)) {
                result = failed(GetLastError());
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
    CloseHandle(file);
    if (result != TFileReadResult::Read)
        bytes->clear();
    return result;
}

bool IsSameFile(const QString& a, const QString& b) {
    // The volume and the file's index on it, through links; opened for no access at
    // all, which folders and files that others hold allow.
    const auto identity = [](const QString& path, BY_HANDLE_FILE_INFORMATION* info) {
        if (path.isEmpty() || HasEmbeddedZero(path))
            return false;
        const HANDLE file = CreateFileW(Wide(QDir::toNativeSeparators(path)), 0,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        const bool known = GetFileInformationByHandle(file, info);
        CloseHandle(file);
        return known;
    };
    BY_HANDLE_FILE_INFORMATION one{}, other{};
    if (identity(a, &one) && identity(b, &other))
        return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
               one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() &&
           canonical.compare(QFileInfo(b).canonicalFilePath(), Qt::CaseInsensitive) == 0;
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

namespace {

// The hold is a lock on the last byte a file could have: no file reaches it, so it
// never stands in the way of reading or writing, and the system releases it with the
// handle.
constexpr DWORD HoldOffsetLow = 0xFFFFFFFEu;
constexpr DWORD HoldOffsetHigh = 0x7FFFFFFFu;

// The file `path` names, opened with `access` and locked; INVALID_HANDLE_VALUE when it
// is held elsewhere or gone. Every kind of sharing is allowed, so a hold keeps no one
// from writing, renaming or removing the file.
HANDLE OpenAndLock(const QString& path, DWORD access) {
    if (path.isEmpty() || HasEmbeddedZero(path))
        return INVALID_HANDLE_VALUE;
    const HANDLE file = CreateFileW(Wide(QDir::toNativeSeparators(path)), access,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return INVALID_HANDLE_VALUE;
    OVERLAPPED at{};
    at.Offset = HoldOffsetLow;
    at.OffsetHigh = HoldOffsetHigh;
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    // A file being removed (another process's removal under way) is no longer there.
    FILE_STANDARD_INFO standard{};
    if (GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard) &&
        standard.DeletePending) {
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

}  // namespace

TFileHold::~TFileHold() {
    // Closing the handle releases its lock.
    CloseHandle(reinterpret_cast<HANDLE>(FHandle));
}

std::unique_ptr<TFileHold> HoldFile(const QString& path) {
    const HANDLE file = OpenAndLock(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::unique_ptr<TFileHold>(new TFileHold(reinterpret_cast<std::intptr_t>(file)));
}

bool DeleteUnheldFile(const QString& path) {
    // Removing needs the file shared for removal by whoever has it open: a file that a
    // download is still writing is not, and stays.
    const HANDLE file = OpenAndLock(path, GENERIC_READ | DELETE);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Marked for removal while locked; the system removes it as the handle closes.
    // Set by position: the system's headers spell the member's name through the
    // DeleteFile macro, which WinApi.h undoes.
    FILE_DISPOSITION_INFO disposition{TRUE};
    const bool removed =
        SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(file);
    return removed;
}
