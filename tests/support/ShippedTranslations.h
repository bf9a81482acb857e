#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// The project's translations/ folder, and its catalogues in the order the build
// takes them (by name).
inline QString TranslationsFolder() {
    return QStringLiteral(KW_TEST_SOURCE_DIR "/../translations");
}

inline QStringList ShippedCatalogues() {
    QStringList paths;
    const QDir folder(TranslationsFolder());
    for (const QString& name : folder.entryList({QStringLiteral("*.po")}, QDir::Files, QDir::Name))
        paths << folder.filePath(name);
    return paths;
}
