#include "platform/VersionInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <optional>

#include "platform/posix/ElfSection.h"

// The build places an executable's version block in its ELF section "kw_version"
// (see kw_add_version_block); other files have no version block.

namespace {

constexpr char VersionSectionName[] = "kw_version";
// A block's lengths are 16-bit; anything much larger is not one of ours.
constexpr std::uint64_t MaxBlockSize = 1024 * 1024;

// Opens `path` for reading only when it is a regular file: a FIFO or device must not make
// us block or read forever, and the check is made on the opened file, not the name.
bool OpenRegularFile(const QString& path, QFile& file) {
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty() || name.contains('\0'))
        return false;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    return true;
}

std::optional<TElfSection> FindVersionSection(QFile& file) {
    const std::optional<TElfSection> section = FindElfSection(file, VersionSectionName);
    if (!section || section->Size == 0 || section->Size > MaxBlockSize)
        return std::nullopt;
    return section;
}

}  // namespace

std::uint32_t GetFileVersionInfoSize(const QString& path) {
    QFile file;
    if (!OpenRegularFile(path, file))
        return 0;
    const std::optional<TElfSection> section = FindVersionSection(file);
    return section ? std::uint32_t(section->Size) : 0;
}

bool GetFileVersionInfo(const QString& path, QByteArray& block) {
    QFile file;
    if (!OpenRegularFile(path, file))
        return false;
    const std::optional<TElfSection> section = FindVersionSection(file);
    if (!section || !file.seek(qint64(section->Offset)))
        return false;
    QByteArray bytes = file.read(qint64(section->Size));
    if (std::uint64_t(bytes.size()) != section->Size)
        return false;
    block = bytes;
    return true;
}
