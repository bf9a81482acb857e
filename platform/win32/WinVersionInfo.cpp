#include "platform/VersionInfo.h"

#include "platform/win32/WinText.h"

// The version block is the executable's VERSIONINFO resource (see
// kw_add_version_block), read by the system; VerQueryValue reads it as on every system,
// which the tests hold against the system's own VerQueryValueW.

std::uint32_t GetFileVersionInfoSize(const QString& path) {
    if (path.isEmpty() || HasEmbeddedZero(path))
        return 0;
    DWORD handle = 0;
    return GetFileVersionInfoSizeW(Wide(path), &handle);
}

bool GetFileVersionInfo(const QString& path, QByteArray& block) {
    const std::uint32_t size = GetFileVersionInfoSize(path);
    if (size == 0)
        return false;
    QByteArray bytes(qsizetype(size), '\0');
    if (!GetFileVersionInfoW(Wide(path), 0, size, bytes.data()))
        return false;
    block = bytes;
    return true;
}
