#include "tests/support/TempFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TTempFolder::TTempFolder() {
    FDir.setAutoRemove(true);
}

QString TTempFolder::Write(const QString& name, const QByteArray& bytes) const {
    const QString path = FilePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
    return path;
}

QByteArray TTempFolder::Read(const QString& name) const {
    QFile file(FilePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TScopedEnv::TScopedEnv(const char* name, const QByteArray& value)
    : FName(name), FOld(qgetenv(name)), FHadOld(qEnvironmentVariableIsSet(name)) {
    qputenv(name, value);
}

TScopedEnv::~TScopedEnv() {
    if (FHadOld)
        qputenv(FName.constData(), FOld);
    else
        qunsetenv(FName.constData());
}
