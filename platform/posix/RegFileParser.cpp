// Reading a hive file: the text decoded, split into lines and parsed into the keys and
// values of a TRegFile.

#include "platform/posix/RegFile.h"
#include "platform/posix/RegFileFormat.h"

#include <QSet>
#include <QStringView>

using namespace RegFileFormat;

namespace {

bool NamesRoot(QStringView name, TRootKey root) {
    const QString full = RootKeyName(root);
    const QString abbreviation =
        root == TRootKey::LocalMachine ? QStringLiteral("HKLM") : QStringLiteral("HKCU");
    return name.compare(full, Qt::CaseInsensitive) == 0 ||
           name.compare(abbreviation, Qt::CaseInsensitive) == 0;
}

bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r';
}

QStringView Trimmed(QStringView text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin]))
        ++begin;
    while (end > begin && IsBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

// Quotes outside text in an error message without letting a huge line through.
QString Excerpt(QStringView text) {
    constexpr qsizetype KMax = 40;
    return text.size() <= KMax ? text.toString() : text.left(KMax).toString() + QStringLiteral("...");
}

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool ParseHexNumber(QStringView digits, qsizetype maxDigits, std::uint32_t& number) {
    if (digits.isEmpty() || digits.size() > maxDigits)
        return false;
    number = 0;
    for (QChar c : digits) {
        if (!IsHexDigit(c))
            return false;
        const char16_t u = c.unicode();
        const std::uint32_t nibble = u <= u'9' ? u - u'0' : (u | 0x20) - u'a' + 10;
        number = (number << 4) | nibble;
    }
    return true;
}

// Offset of the first byte that breaks UTF-8 (overlong forms, surrogates and code
// points above U+10FFFF included), -1 when there is none.
qsizetype FirstInvalidUtf8(QByteArrayView bytes) {
    const qsizetype size = bytes.size();
    qsizetype i = 0;
    while (i < size) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        std::uint32_t code = 0, minimum = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, minimum = 0x10000;
        } else {
            return i;
        }
        if (size - i < length)
            return i;
        for (int k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80)
                return i;
            code = (code << 6) | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += length;
    }
    return -1;
}

qsizetype LineAt(QByteArrayView bytes, qsizetype offset) {
    return QByteArrayView(bytes.data(), offset).count('\n') + 1;
}

// Eight-bit text of a REGEDIT4 file: the ANSI code page, which is UTF-8 for this
// program; bytes that are not UTF-8 come from a Western code page.
QString Decode8Bit(const QByteArray& bytes) {
    return FirstInvalidUtf8(bytes) < 0 ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

}  // namespace

// Reads the text format line by line. Failures carry the 1-based line where the
// problem is; every check works on what was read, so no input makes it loop or
// allocate more than a small multiple of the input's size.
class TRegFileParser {
public:
    explicit TRegFileParser(TRegFile& file) : FFile(file) {}

    // The text is decoded a line at a time as it is parsed, so that memory holds the
    // file's bytes and the hive being built, never the whole file as UTF-16 as well.
    bool Run(const QByteArray& bytes) {
        if (!Decode(bytes, FBody))
            return false;
        return ParseLines();
    }

    qsizetype FailedLine = 0;
    QString Problem;

private:
    bool Fail(qsizetype line, const QString& problem) {
        FailedLine = line;
        Problem = problem;
        return false;
    }

    // The bytes to parse, checked: UTF-8, or an 8-bit code page under a REGEDIT4
    // header. UTF-16LE text (with its byte order mark) is checked and re-encoded as UTF-8.
    bool Decode(const QByteArray& bytes, QByteArrayView& body) {
        const auto* raw = reinterpret_cast<const unsigned char*>(bytes.constData());
        if (bytes.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE) {
            if (!DecodeUtf16(bytes, FUtf8))
                return false;
            body = FUtf8;
            return true;
        }
        if (bytes.size() >= 2 && raw[0] == 0xFE && raw[1] == 0xFF)
            return Fail(
                1, QStringLiteral("UTF-16 big-endian text is not supported; save it as UTF-16LE or UTF-8"));
        body = bytes;
        if (bytes.size() >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF)
            body = body.sliced(3);
        const qsizetype nul = body.indexOf('\0');
        if (nul >= 0) {
            return Fail(LineAt(body, nul),
                        QStringLiteral("a NUL byte in the text (UTF-16 text needs its byte order mark)"));
        }
        const qsizetype bad = FirstInvalidUtf8(body);
        if (bad >= 0) {
            if (!body.startsWith(KHeader4.toLatin1()))
                return Fail(LineAt(body, bad), QStringLiteral("the text is not valid UTF-8"));
            FLatin1 = true;
        }
        return true;
    }

    bool DecodeUtf16(const QByteArray& bytes, QByteArray& utf8) {
        const qsizetype units = (bytes.size() - 2) / 2;
        const QString text = DecodeUtf16Le(bytes.constData() + 2, units);
        qsizetype line = 1;
        for (qsizetype i = 0; i < units; ++i) {
            const QChar c = text[i];
            if (c == u'\n')
                ++line;
            if (c == u'\0')
                return Fail(line, QStringLiteral("a NUL character in the text"));
            if (c.isLowSurrogate())
                return Fail(line, QStringLiteral("a broken UTF-16 character"));
            if (c.isHighSurrogate()) {
                if (i + 1 == units || !text[i + 1].isLowSurrogate())
                    return Fail(line, QStringLiteral("a broken UTF-16 character"));
                ++i;
            }
        }
        if (bytes.size() % 2 != 0)
            return Fail(line, QStringLiteral("the file ends in the middle of a UTF-16 character"));
        utf8 = text.toUtf8();
        return true;
    }

    // The next line as text, without its line end; false after the last one. FIndex
    // is its 0-based number. Lines are found as they are read: the parser holds one
    // line of text at a time.
    bool NextLine(QString& text) {
        if (FNext >= FBody.size())
            return false;
        qsizetype end = FBody.indexOf('\n', FNext);
        if (end < 0)
            end = FBody.size();
        QByteArrayView line = FBody.sliced(FNext, end - FNext);
        if (line.endsWith('\r'))
            line.chop(1);
        FNext = end + 1;
        FIndex = FStarted ? FIndex + 1 : 0;
        FStarted = true;
        text = FLatin1 ? QString::fromLatin1(line) : QString::fromUtf8(line);
        return true;
    }

    // How many value lines the section that begins at the next line holds, counted
    // ahead on the bytes, so that its key's values are held without spare room.
    qsizetype ValueLinesAhead() const {
        qsizetype count = 0;
        for (qsizetype at = FNext; at < FBody.size();) {
            while (at < FBody.size() && (FBody[at] == ' ' || FBody[at] == '\t'))
                ++at;
            if (at < FBody.size() && FBody[at] == '[')
                break;
            if (at < FBody.size() && (FBody[at] == '"' || FBody[at] == '@'))
                ++count;
            const qsizetype end = FBody.indexOf('\n', at);
            if (end < 0)
                break;
            at = end + 1;
        }
        return count;
    }

    // One copy of each value name: the same names come back in key after key.
    QString Shared(const QString& name) {
        const auto known = FNames.constFind(name);
        if (known != FNames.cend())
            return *known;
        FNames.insert(name);
        return name;
    }

    bool ParseLines() {
        QString first;
        if (!NextLine(first))
            return true;  // an empty file holds an empty hive
        const QStringView header = Trimmed(first);
        if (header == KHeader5) {
            FAnsi = false;
        } else if (header == KHeader4) {
            FAnsi = true;
        } else {
            return Fail(1, QStringLiteral("expected the header \"%1\"").arg(KHeader5));
        }
        QString text;
        while (NextLine(text)) {
            const QStringView line = Trimmed(text);
            if (line.isEmpty() || line[0] == u';')
                continue;
            bool ok = false;
            if (line[0] == u'[')
                ok = ParseSection(line);
            else if (line[0] == u'"' || line[0] == u'@')
                ok = ParseValue(line);
            else
                ok = Fail(LineNumber(), QStringLiteral("expected \"name\"=value or [key]"));
            if (!ok)
                return false;
        }
        return true;
    }

    qsizetype LineNumber() const { return qsizetype(FIndex) + 1; }

    // A hive is the state of the keys, not a list of changes: deletion lines are what
    // a patch file holds, and applying one here would silently drop what it names the
    // next time the hive is written. They are refused, so the file stays as it is
    // until a person looks at it.
    bool ParseSection(QStringView line) {
        if (!line.endsWith(u']'))
            return Fail(LineNumber(), QStringLiteral("expected ']' at the end of the key line"));
        const QStringView inner = line.mid(1, line.size() - 2);
        if (inner.startsWith(u'-'))
            return Fail(
                LineNumber(),
                QStringLiteral("a line that deletes a key ([-key]) belongs in a patch, not in a hive"));
        const qsizetype slash = inner.indexOf(u'\\');
        const QStringView rootName = slash < 0 ? inner : inner.left(slash);
        if (!NamesRoot(rootName, FFile.Root())) {
            return Fail(LineNumber(), QStringLiteral("the key '%1' lies outside %2")
                                          .arg(Excerpt(inner), RootKeyName(FFile.Root())));
        }
        const QString path = slash < 0 ? QString() : inner.mid(slash + 1).toString();
        if (slash >= 0 && (path.isEmpty() || !TRegFile::IsStorableKeyPath(path)))
            return Fail(LineNumber(),
                        QStringLiteral("the key '%1' has an empty name in it").arg(Excerpt(inner)));
        const auto found = FFile.FKeyIndex.constFind(Fold(path));
        if (found != FFile.FKeyIndex.cend()) {
            FKey = *found;
        } else {
            FFile.AppendKey(path);
            FKey = FFile.FKeys.size() - 1;
        }
        FHaveKey = true;
        auto& values = FFile.FKeys[FKey].Values;
        values.reserve(values.size() + std::size_t(ValueLinesAhead()));
        return true;
    }

    // The text of the quoted string at `pos` (on the opening quote), which moves past
    // its closing quote; \\ and \" stand for themselves, any other backslash is kept as
    // it is. The text is made at its exact size: a hive holds many strings for long.
    static bool ReadQuoted(QStringView line, qsizetype& pos, QString& text) {
        qsizetype length = 0;
        qsizetype end = pos + 1;
        for (; end < line.size() && line[end] != u'"'; ++end, ++length)
            if (line[end] == u'\\' && end + 1 < line.size() &&
                (line[end + 1] == u'\\' || line[end + 1] == u'"'))
                ++end;
        if (end >= line.size())
            return false;
        text = QString(length, Qt::Uninitialized);
        QChar* out = text.data();
        for (qsizetype i = pos + 1; i < end; ++i) {
            if (line[i] == u'\\' && (line[i + 1] == u'\\' || line[i + 1] == u'"'))
                ++i;
            *out++ = line[i];
        }
        pos = end + 1;
        return true;
    }

    bool ParseValue(QStringView line) {
        if (!FHaveKey)
            return Fail(LineNumber(), QStringLiteral("a value before the first [key] line"));
        QString name;
        qsizetype pos = line[0] == u'"' ? 0 : 1;
        if (pos == 0 && !ReadQuoted(line, pos, name))
            return Fail(LineNumber(), QStringLiteral("the value name has no closing quote"));
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        if (pos == line.size() || line[pos] != u'=')
            return Fail(LineNumber(), QStringLiteral("expected \"name\"=value"));
        ++pos;
        while (pos < line.size() && IsBlank(line[pos]))
            ++pos;
        const QStringView data = line.mid(pos);

        TRegValue value;
        if (data == u"-") {
            return Fail(
                LineNumber(),
                QStringLiteral("a line that deletes a value (\"name\"=-) belongs in a patch, not in a hive"));
        } else if (data.startsWith(u'"')) {
            qsizetype end = 0;
            if (!ReadQuoted(data, end, value.Text))
                return Fail(LineNumber(), QStringLiteral("the string has no closing quote"));
            if (end != data.size())
                return Fail(
                    LineNumber(),
                    QStringLiteral("unexpected text after the string: '%1'").arg(Excerpt(data.mid(end))));
            value.Type = REG_SZ;
        } else if (data.startsWith(u"dword:", Qt::CaseInsensitive)) {
            std::uint32_t number = 0;
            const QStringView digits = data.mid(6);
            if (digits.size() != 8 || !ParseHexNumber(digits, 8, number))
                return Fail(
                    LineNumber(),
                    QStringLiteral("a dword needs exactly 8 hex digits, not '%1'").arg(Excerpt(digits)));
            value = TRegValue::Dword(number);
        } else if (data.startsWith(u"hex", Qt::CaseInsensitive)) {
            if (!ParseHex(data.mid(3), value))
                return false;
        } else {
            return Fail(LineNumber(), QStringLiteral("unknown value data '%1'").arg(Excerpt(data)));
        }
        // Indexed once the whole file is read (TRegFile::IndexValues).
        FFile.FKeys[FKey].Values.push_back({Shared(name), Normalized(value)});
        return true;
    }

    // `data` follows "hex": ":" or "(type):", then the byte list.
    bool ParseHex(QStringView data, TRegValue& value) {
        std::uint32_t type = REG_BINARY;
        qsizetype pos = 0;
        if (data.startsWith(u'(')) {
            const qsizetype close = data.indexOf(u')');
            if (close < 0 || !ParseHexNumber(data.mid(1, close - 1), 8, type))
                return Fail(LineNumber(), QStringLiteral("bad value type in '%1'").arg(Excerpt(data)));
            pos = close + 1;
        }
        if (pos == data.size() || data[pos] != u':')
            return Fail(LineNumber(), QStringLiteral("expected ':' after the value type"));
        QByteArray bytes;
        if (!ParseHexList(data.mid(pos + 1), bytes))
            return false;

        value.Type = type;
        if (FAnsi && (type == REG_SZ || type == REG_EXPAND_SZ)) {
            if (bytes.endsWith('\0'))
                bytes.chop(1);
            value.Text = Decode8Bit(bytes);
        } else if (FAnsi && type == REG_MULTI_SZ) {
            value.Data = EncodeUtf16Le(Decode8Bit(bytes));
        } else {
            value.Data = bytes;
        }
        return true;
    }

    // Comma-separated bytes; a line ending in a backslash continues on the next one.
    bool ParseHexList(QStringView segment, QByteArray& bytes) {
        for (;;) {
            QStringView part = Trimmed(segment);
            const bool continues = part.endsWith(u'\\');
            if (continues)
                part = Trimmed(part.chopped(1));
            if (!part.isEmpty()) {
                qsizetype begin = 0;
                for (;;) {
                    qsizetype comma = part.indexOf(u',', begin);
                    const bool last = comma < 0;
                    if (last)
                        comma = part.size();
                    const QStringView token = Trimmed(part.mid(begin, comma - begin));
                    std::uint32_t byte = 0;
                    if (token.isEmpty()) {
                        if (!last)  // a trailing comma is fine, an empty byte is not
                            return Fail(LineNumber(), QStringLiteral("an empty byte in the hex list"));
                    } else if (!ParseHexNumber(token, 2, byte)) {
                        return Fail(LineNumber(),
                                    QStringLiteral("'%1' is not a hex byte").arg(Excerpt(token)));
                    } else {
                        bytes.append(char(byte));
                    }
                    if (last)
                        break;
                    begin = comma + 1;
                }
            }
            if (!continues || !NextLine(FContinued))
                return true;
            segment = FContinued;
        }
    }

    TRegFile& FFile;
    QByteArray FUtf8;  // a UTF-16 file's text, re-encoded
    bool FLatin1 = false;
    QByteArrayView FBody;  // the text's bytes
    qsizetype FNext = 0;   // where the next line begins in FBody
    bool FStarted = false;
    QSet<QString> FNames;
    QString FContinued;  // the latest continuation line of a hex list
    std::size_t FIndex = 0;
    bool FAnsi = false;
    bool FHaveKey = false;
    std::size_t FKey = 0;
};

bool TRegFile::Parse(const QByteArray& bytes, const QString& fileName, QString& error) {
    FKeys.clear();
    FKeyIndex.clear();
    TRegFileParser parser(*this);
    if (parser.Run(bytes)) {
        IndexValues();
        return true;
    }
    FKeys.clear();
    FKeyIndex.clear();
    error = QStringLiteral("The registry file '%1' is damaged (line %2: %3).")
                .arg(fileName)
                .arg(parser.FailedLine)
                .arg(parser.Problem);
    return false;
}
