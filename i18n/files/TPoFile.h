#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One message of a gettext catalogue: where it is used (msgctxt), the English
// text (msgid) and its translation (msgstr, empty while untranslated).
struct TPoEntry {
    QString Context;
    QString Id;
    QString Translation;
    QStringList Comments;  // extracted comments ("#."), for the translator
    QStringList Flags;     // "fuzzy", "qt-format", ...
    int Line = 0;          // where the entry starts in the file read, 1-based

    bool Fuzzy() const { return Flags.contains(QStringLiteral("fuzzy")); }
    // A translation that counts: present and not marked fuzzy.
    bool Translated() const { return !Translation.isEmpty() && !Fuzzy(); }
};

// A gettext catalogue (.po or .pot) as translators' tools write it: a header
// entry of "Name: value" fields, then the messages. Read strictly, in UTF-8:
// a plural message, an obsolete one ("#~"), a second message for one msgctxt, a
// control character in a text or in the header (C0 but tab and line break, DEL, C1,
// the line and paragraph separators, the bidirectional embeddings, overrides and
// isolates), bytes that are not UTF-8, a bad escape or a line that fits no entry
// raises ELanguageError naming the file and line. Lines may end in LF, CR LF or CR.
// Written so that `msgfmt --check` accepts it.
class TPoFile {
public:
    static TPoFile Parse(const QByteArray& bytes, const QString& fileName);
    static TPoFile Read(const QString& path);
    QByteArray Write() const;

    // Header fields in file order; Field() is empty for a field that is absent.
    QString Field(const QString& name) const;
    void SetField(const QString& name, const QString& value);

    QList<TPoEntry> Entries;
    // The name the catalogue was read under, for messages about it.
    QString FileName;
    // Where the header entry starts, 1-based; 0 without one.
    int HeaderLine = 0;

private:
    QList<std::pair<QString, QString>> FHeader;
};
