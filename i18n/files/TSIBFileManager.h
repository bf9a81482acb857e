#pragma once

#include "core/TStreamValue.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

// Reader of a translation file (".sib"), which holds for each window class one
// stored translator with all languages:
//
//   header      42 bytes: "SIB file: Tessaly binary translation data" and a 0 byte
//   count       u16, the number of directory entries
//   languages   u16 length L, then L bytes: the fixed languages, lines ended by CR LF
//   directory   count times: u16 name length, the window class name, u32 offset
//   streams     at each offset, a translator in the binary component stream format
//
// Integers are little-endian. Every length and offset is checked against the file.
class TSIBFileManager {
public:
    static QByteArray Header();

    // The stored translator of the window class `className` (matched exactly), or
    // nothing when the directory has no entry for it. Raises ELanguageError
    // "Unrecognized stream format!" for a wrong header or a file cut short, an
    // ELanguageError when the file cannot be opened, and the stream reader's
    // EReadError for a malformed translator stream.
    std::optional<TStreamComponent> ReadTranslator(const QString& path, const QString& className);
    // Every stored translator of the file, with its window class name, in
    // directory order; the same errors.
    QList<std::pair<QString, TStreamComponent>> ReadTranslators(const QString& path);
    // The same of a file's bytes, read elsewhere; `fileName` names it in messages.
    QList<std::pair<QString, TStreamComponent>> ReadTranslators(const QByteArray& bytes,
                                                                const QString& fileName);

    // The fixed languages of the last file read, sorted.
    const QStringList& FixedLanguages() const { return FFixedLanguages; }

private:
    void WalkDirectory(const QByteArray& bytes,
                       const std::function<bool(const QByteArray&, const QByteArray&, qsizetype)>& visit);

    QStringList FFixedLanguages;
};
