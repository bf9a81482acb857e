// Feeds arbitrary bytes to the version block reader and to the ELF section finder that
// locates the block in an executable.

#include <QBuffer>
#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

#include "platform/VersionInfo.h"
#include "platform/posix/ElfSection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // fromRawData keeps the input's own bounds: a read past them is the sanitizer's to see.
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));

    static const QString paths[] = {
        QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion"),
        QStringLiteral("\\StringFileInfo\\040904E4\\LegalCopyright"),
        QStringLiteral("\\VarFileInfo\\Translation"),
        QStringLiteral("\\"),
    };
    for (const QString& path : paths) {
        QString text;
        QByteArray value;
        VerQueryValue(bytes, path, text);
        VerQueryValue(bytes, path, value);
    }

    QByteArray image = bytes;
    QBuffer buffer(&image);
    if (buffer.open(QIODevice::ReadOnly))
        FindElfSection(buffer, "kw_version");
    return 0;
}
