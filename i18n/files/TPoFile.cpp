#include "i18n/files/TPoFile.h"

#include "i18n/files/ELanguageError.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
#include <iterator>

namespace {

// The characters a quoted string writes as a backslash and a letter.
struct TEscape {
    char16_t Character;
    char Letter;
};
constexpr TEscape kEscapes[] = {{u'\n', 'n'}, {u'\t', 't'}, {u'\r', 'r'}, {u'"', '"'}, {u'\\', '\\'}};

// The character that a backslash and `letter` stand for; null for an unknown escape.
QChar UnescapedOf(QChar letter) {
    for (const TEscape& escape : kEscapes)
        if (letter == QLatin1Char(escape.Letter))
            return QChar(escape.Character);
    return QChar();
}

class TPoParser {
public:
    TPoParser(const QString& fileName, const QStringList& lines) : FFileName(fileName), FLines(lines) {}

    [[noreturn]] void Fail(int line, const QString& what) const {
        throw ELanguageError(QStringLiteral("%1:%2: %3").arg(FFileName).arg(line).arg(what));
    }

    // The text of a quoted string that starts at `from` in line `line`.
    QString Unquote(const QString& text, int line) const {
        const QString trimmed = text.trimmed();
        if (trimmed.size() < 2 || !trimmed.startsWith(QLatin1Char('"')) ||
            !trimmed.endsWith(QLatin1Char('"')))
            Fail(line, QStringLiteral("a quoted string is expected"));
        QString out;
        for (qsizetype i = 1; i < trimmed.size() - 1; ++i) {
            const QChar c = trimmed.at(i);
            if (c == QLatin1Char('"'))
                Fail(line, QStringLiteral("a quote inside a string must be written \\\""));
            if (c != QLatin1Char('\\')) {
                out += c;
                continue;
            }
            if (++i >= trimmed.size() - 1)
                Fail(line, QStringLiteral("a string ends in a lone backslash"));
            const QChar escaped = UnescapedOf(trimmed.at(i));
            if (escaped.isNull())
                Fail(line, QStringLiteral("unknown escape \\%1").arg(trimmed.at(i)));
            out += escaped;
        }
        return out;
    }

    QList<TPoEntry> Entries() {
        QList<TPoEntry> entries;
        TPoEntry entry;
        enum { None, Context, Id, Translation } field = None;
        bool hasId = false, hasTranslation = false;
        auto finish = [&](int line) {
            if (field == None && entry.Comments.isEmpty() && entry.Flags.isEmpty())
                return;
            if (!hasId || !hasTranslation)
                Fail(entry.Line ? entry.Line : line, QStringLiteral("an entry needs both msgid and msgstr"));
            entries.append(entry);
            entry = TPoEntry();
            field = None;
            hasId = hasTranslation = false;
        };
        for (int n = 0; n < FLines.size(); ++n) {
            const int line = n + 1;
            const QString text = FLines[n].trimmed();
            if (text.isEmpty()) {
                finish(line);
                continue;
            }
            if (text.startsWith(QLatin1String("#~")))
                Fail(line, QStringLiteral("obsolete entries (#~) are not kept here; remove them"));
            if (text.startsWith(QLatin1Char('#'))) {
                // A comment after a complete message starts the next one.
                if (hasTranslation)
                    finish(line);
                if (!entry.Line)
                    entry.Line = line;
                if (text.startsWith(QLatin1String("#.")))
                    entry.Comments.append(text.mid(2).trimmed());
                else if (text.startsWith(QLatin1String("#,")))
                    for (const QString& flag : text.mid(2).split(QLatin1Char(','), Qt::SkipEmptyParts))
                        entry.Flags.append(flag.trimmed());
                continue;
            }
            if (text.startsWith(QLatin1Char('"'))) {
                const QString more = Unquote(text, line);
                if (field == Context)
                    entry.Context += more;
                else if (field == Id)
                    entry.Id += more;
                else if (field == Translation)
                    entry.Translation += more;
                else
                    Fail(line, QStringLiteral("a string continues no keyword"));
                continue;
            }
            const QString keyword = text.section(QLatin1Char(' '), 0, 0);
            const QString rest = text.mid(keyword.size());
            if (keyword == QLatin1String("msgid_plural") || keyword.startsWith(QLatin1String("msgstr[")))
                Fail(line, QStringLiteral("plural messages are not used by this program"));
            if (keyword == QLatin1String("msgctxt")) {
                if (hasTranslation || hasId)
                    finish(line);
                if (!entry.Line)
                    entry.Line = line;
                entry.Context = Unquote(rest, line);
                field = Context;
            } else if (keyword == QLatin1String("msgid")) {
                if (hasTranslation)
                    finish(line);
                if (hasId)
                    Fail(line, QStringLiteral("msgid appears twice in one entry"));
                if (!entry.Line)
                    entry.Line = line;
                entry.Id = Unquote(rest, line);
                hasId = true;
                field = Id;
            } else if (keyword == QLatin1String("msgstr")) {
                if (!hasId || hasTranslation)
                    Fail(line, QStringLiteral("msgstr must follow msgid"));
                entry.Translation = Unquote(rest, line);
                hasTranslation = true;
                field = Translation;
            } else {
                Fail(line, QStringLiteral("unknown keyword \"%1\"").arg(keyword));
            }
        }
        finish(static_cast<int>(FLines.size()));
        return entries;
    }

private:
    QString FFileName;
    QStringList FLines;
};

// A character that would break a window or the file, or make a text read otherwise
// than it is written: the controls other than tab and line break (the file's own
// field separator among them, DEL, and the C1 controls that some terminals and
// editors act on), the line and paragraph separators, which break a line where the
// window does not expect it, and the bidirectional embeddings, overrides and isolates,
// which turn the text after them around ("exe.txt" shows as "txt.exe").
bool HasNoPlaceInAText(char16_t c) {
    return (c < 0x20 && c != u'\n' && c != u'\t') || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString Quote(const QString& text) {
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        const auto escape = std::find_if(std::begin(kEscapes), std::end(kEscapes),
                                         [c](const TEscape& e) { return e.Character == c; });
        if (escape != std::end(kEscapes)) {
            out += u'\\';
            out += QLatin1Char(escape->Letter);
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('"');
}

}  // namespace

TPoFile TPoFile::Parse(const QByteArray& bytes, const QString& fileName) {
    // Lines end in LF, CR LF or CR alone, as the editor that saved the file left them.
    QByteArray body = bytes;
    body.replace("\r\n", "\n");
    body.replace('\r', '\n');
    QStringList lines;
    int number = 0;
    for (const QByteArray& line : body.split('\n')) {
        ++number;
        QStringDecoder decoder(QStringDecoder::Utf8);
        lines.append(decoder.decode(line));
        if (decoder.hasError())
            throw ELanguageError(QStringLiteral("%1:%2: the file is not UTF-8").arg(fileName).arg(number));
    }
    TPoParser parser(fileName, lines);
    TPoFile file;
    file.FileName = fileName;
    // A msgctxt names one text: a second message for it, whatever its msgid, is a
    // copy left behind or a text of another place under a wrong name.
    QHash<QString, int> seen;
    for (TPoEntry& entry : parser.Entries()) {
        for (const QString* field : {&entry.Context, &entry.Id, &entry.Translation})
            for (const QChar c : *field)
                if (HasNoPlaceInAText(c.unicode()))
                    parser.Fail(entry.Line,
                                QStringLiteral("the control character U+%1 has no place in a text")
                                    .arg(QString::number(c.unicode(), 16).rightJustified(4, u'0').toUpper()));
        if (entry.Id.isEmpty() && entry.Context.isEmpty()) {
            if (file.HeaderLine || !file.Entries.isEmpty())
                parser.Fail(entry.Line, QStringLiteral("the header must be the first entry, and only one"));
            file.HeaderLine = entry.Line ? entry.Line : 1;
            for (const QString& field : entry.Translation.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const qsizetype colon = field.indexOf(QLatin1Char(':'));
                if (colon <= 0)
                    parser.Fail(entry.Line, QStringLiteral("the header field \"%1\" has no name").arg(field));
                file.FHeader.append({field.left(colon).trimmed(), field.mid(colon + 1).trimmed()});
            }
            const QString type = file.Field(QStringLiteral("Content-Type"));
            if (!type.isEmpty() && !type.contains(QLatin1String("charset=UTF-8"), Qt::CaseInsensitive))
                parser.Fail(entry.Line, QStringLiteral("the catalogue must be UTF-8, not \"%1\"").arg(type));
            continue;
        }
        if (entry.Id.isEmpty())
            parser.Fail(entry.Line, QStringLiteral("an entry has an empty msgid"));
        if (const auto first = seen.constFind(entry.Context); first != seen.constEnd())
            parser.Fail(entry.Line, QStringLiteral("the message \"%1\" appears twice (first at line %2)")
                                        .arg(entry.Context)
                                        .arg(*first));
        seen.insert(entry.Context, entry.Line);
        file.Entries.append(std::move(entry));
    }
    return file;
}

TPoFile TPoFile::Read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ELanguageError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return Parse(file.readAll(), path);
}

QString TPoFile::Field(const QString& name) const {
    for (const auto& [field, value] : FHeader)
        if (field.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

void TPoFile::SetField(const QString& name, const QString& value) {
    for (auto& [field, old] : FHeader) {
        if (field.compare(name, Qt::CaseInsensitive) == 0) {
            old = value;
            return;
        }
    }
    FHeader.append({name, value});
}

QByteArray TPoFile::Write() const {
    QString out = QStringLiteral("msgid \"\"\nmsgstr \"\"\n");
    for (const auto& [field, value] : FHeader)
        out += Quote(field + QStringLiteral(": ") + value + QLatin1Char('\n')) + QLatin1Char('\n');
    for (const TPoEntry& entry : Entries) {
        out += QLatin1Char('\n');
        for (const QString& comment : entry.Comments)
            out += QStringLiteral("#. ") + comment + QLatin1Char('\n');
        if (!entry.Flags.isEmpty())
            out += QStringLiteral("#, ") + entry.Flags.join(QStringLiteral(", ")) + QLatin1Char('\n');
        if (!entry.Context.isEmpty())
            out += QStringLiteral("msgctxt ") + Quote(entry.Context) + QLatin1Char('\n');
        out += QStringLiteral("msgid ") + Quote(entry.Id) + QLatin1Char('\n');
        out += QStringLiteral("msgstr ") + Quote(entry.Translation) + QLatin1Char('\n');
    }
    return out.toUtf8();
}
