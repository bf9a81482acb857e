// Prints the FileVersion of the file named by the argument, or of this executable,
// which the build gives a version block. Exits 1 (printing "0.0.0.0") when the file
// carries none.

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "platform/VersionInfo.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const QString path = arguments.size() > 1 ? arguments[1] : QCoreApplication::applicationFilePath();

    QString version;
    QByteArray block;
    const bool found =
        GetFileVersionInfoSize(path) != 0 && GetFileVersionInfo(path, block) &&
        VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion"), version);
    std::printf("%s\n", qPrintable(found ? version : QStringLiteral("0.0.0.0")));
    return found ? 0 : 1;
}
