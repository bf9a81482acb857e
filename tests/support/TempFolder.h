#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A fresh folder for one test, removed with it.
class TTempFolder {
public:
    TTempFolder();
    QString Path() const { return FDir.path(); }
    QString FilePath(const QString& name) const { return FDir.filePath(name); }
    // Writes `bytes` to `name` (folders created), returns the full path.
    QString Write(const QString& name, const QByteArray& bytes) const;
    QByteArray Read(const QString& name) const;

private:
    QTemporaryDir FDir;
};

// Sets an environment variable for the life of the object and restores it after.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const QByteArray& value);
    ~TScopedEnv();
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    QByteArray FName, FOld;
    bool FHadOld;
};
