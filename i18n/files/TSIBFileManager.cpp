#include "i18n/files/TSIBFileManager.h"

#include "core/TBinaryStreamReader.h"
#include "i18n/files/ELanguageError.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <functional>

namespace {

[[noreturn]] void Unrecognized() {
    throw ELanguageError(QStringLiteral("Unrecognized stream format!"));
}

// Bounds-checked little-endian reads over the file's bytes.
class TCursor {
public:
    explicit TCursor(const QByteArray& bytes) : FBytes(bytes) {}

    qsizetype Position() const { return FPos; }
    void SetPosition(qsizetype value) { FPos = value; }
    QByteArray Take(qsizetype count) {
        if (count < 0 || count > FBytes.size() - FPos)
            Unrecognized();
        const QByteArray piece = FBytes.mid(FPos, count);
        FPos += count;
        return piece;
    }
    quint16 U16() { return qFromLittleEndian<quint16>(Take(2).constData()); }
    quint32 U32() { return qFromLittleEndian<quint32>(Take(4).constData()); }

private:
    const QByteArray& FBytes;
    qsizetype FPos = 0;
};

QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ELanguageError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return file.readAll();
}

}  // namespace

QByteArray TSIBFileManager::Header() {
    return QByteArrayLiteral("SIB file: Tessaly binary translation data\0");
}

// Checks the header and walks the directory, calling `visit` with each entry's
// class name and the file's bytes positioned at that entry's stream, until it
// returns true.
void TSIBFileManager::WalkDirectory(
    const QByteArray& bytes,
    const std::function<bool(const QByteArray&, const QByteArray&, qsizetype)>& visit) {
    // The header runs up to its 0 byte, or up to the last two bytes of a file without one.
    qsizetype headerEnd = 0;
    while (headerEnd < bytes.size() - 2) {
        if (bytes[headerEnd++] == '\0')
            break;
    }
    if (bytes.left(headerEnd) != Header())
        Unrecognized();

    TCursor cursor(bytes);
    cursor.SetPosition(headerEnd);
    const int count = cursor.U16();
    const QByteArray languages = cursor.Take(cursor.U16());
    FFixedLanguages = QString::fromLatin1(languages).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    std::sort(FFixedLanguages.begin(), FFixedLanguages.end(),
              [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });

    for (int i = 0; i < count; ++i) {
        const QByteArray name = cursor.Take(cursor.U16());
        const quint32 offset = cursor.U32();
        if (visit(name, bytes, offset))
            return;
    }
}

std::optional<TStreamComponent> TSIBFileManager::ReadTranslator(const QString& path,
                                                                const QString& className) {
    const QByteArray wanted = className.toLatin1();
    std::optional<TStreamComponent> found;
    WalkDirectory(ReadBytes(path), [&](const QByteArray& name, const QByteArray& bytes, qsizetype offset) {
        if (name != wanted)
            return false;
        found = TBinaryStreamReader::Read(bytes, offset, path.section(QLatin1Char('/'), -1));
        return true;
    });
    return found;
}

QList<std::pair<QString, TStreamComponent>> TSIBFileManager::ReadTranslators(const QString& path) {
    return ReadTranslators(ReadBytes(path), path);
}

QList<std::pair<QString, TStreamComponent>> TSIBFileManager::ReadTranslators(const QByteArray& bytes,
                                                                             const QString& fileName) {
    QList<std::pair<QString, TStreamComponent>> translators;
    WalkDirectory(bytes, [&](const QByteArray& name, const QByteArray& file, qsizetype offset) {
        translators.append({QString::fromLatin1(name),
                            TBinaryStreamReader::Read(file, offset, fileName.section(QLatin1Char('/'), -1))});
        return false;
    });
    return translators;
}
