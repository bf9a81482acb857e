#include "core/FileVersion.h"

#include "platform/Files.h"
#include "platform/VersionInfo.h"

QString GetFileVersionText(const QString& path) {
    QString result = QStringLiteral("0.0.0.0");
    if (!FileExists(path))
        return result;
    if (GetFileVersionInfoSize(path) == 0)
        return result;
    QByteArray block;
    if (!GetFileVersionInfo(path, block))
        return result;
    QString value;
    if (VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion"), value))
        result = value;
    return result;
}
