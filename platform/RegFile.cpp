#include "platform/RegFile.h"

#include <QStringView>

namespace {

const QString KHeader5 = QStringLiteral("Windows Registry Editor Version 5.00");
const QString KHeader4 = QStringLiteral("REGEDIT4");
constexpr qsizetype KHexLineWidth = 77;  // regedit wraps hex lists before column 80

QString RootName(TRootKey root) {
    return root == TRootKey::LocalMachine ? QStringLiteral("HKEY_LOCAL_MACHINE")
                                          : QStringLiteral("HKEY_CURRENT_USER");
}

bool NamesRoot(QStringView name, TRootKey root) {
    const QString full = RootName(root);
    const QString abbreviation =
        root == TRootKey::LocalMachine ? QStringLiteral("HKLM") : QStringLiteral("HKCU");
    return name.compare(full, Qt::CaseInsensitive) == 0 ||
           name.compare(abbreviation, Qt::CaseInsensitive) == 0;
}

QString Fold(QStringView text) {
    return text.toString().toCaseFolded();
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

// UTF-16LE code units, one for one: no byte order mark is added, dropped or replaced,
// so that bytes decoded and encoded again come out identical.
QString DecodeUtf16Le(const char* bytes, qsizetype units) {
    QString text(units, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < units; ++i) {
        const auto low = static_cast<unsigned char>(bytes[2 * i]);
        const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = QChar(char16_t(low | (high << 8)));
    }
    return text;
}

QByteArray EncodeUtf16Le(const QString& text) {
    QByteArray bytes;
    bytes.reserve(text.size() * 2 + 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
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

bool IsPlainText(QStringView text) {
    for (QChar c : text)
        if (c == u'\0' || c == u'\r' || c == u'\n')
            return false;
    return text.isValidUtf16();
}

// The one form in which a value is held, so that a value read back from what we wrote
// compares equal: strings keep their text (the raw UTF-16 only when it is not exactly
// text plus terminator), every other type keeps bytes only.
TRegValue Normalized(const TRegValue& value) {
    TRegValue result = value;
    if (value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) {
        if (!value.Data.isEmpty()) {
            result.Text = DecodeUtf16Le(value.Data.constData(), value.Data.size() / 2);
            if (value.Data.size() % 2 == 0 && result.Text.endsWith(QChar(u'\0'))) {
                result.Text.chop(1);
                result.Data.clear();
            }
        }
    } else {
        result.Text.clear();
    }
    return result;
}

// Bytes that a hex list stands for. Strings are UTF-16LE with their terminator.
QByteArray HexBytes(const TRegValue& value) {
    if ((value.Type == REG_SZ || value.Type == REG_EXPAND_SZ) && value.Data.isEmpty())
        return EncodeUtf16Le(value.Text) + QByteArray(2, '\0');
    return value.Data;
}

QString Escaped(const QString& text) {
    QString result;
    result.reserve(text.size() + 2);
    for (QChar c : text) {
        if (c == u'\\' || c == u'"')
            result.append(u'\\');
        result.append(c);
    }
    return result;
}

void AppendValueLine(QString& out, const QString& name, const TRegValue& value) {
    QString line = name.isEmpty() ? QStringLiteral("@=") : u'"' + Escaped(name) + QStringLiteral("\"=");
    if (value.Type == REG_SZ && value.Data.isEmpty() && IsPlainText(value.Text)) {
        out += line + u'"' + Escaped(value.Text) + QStringLiteral("\"\n");
        return;
    }
    if (value.Type == REG_DWORD && value.Data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = (number << 8) | static_cast<unsigned char>(value.Data[i]);
        out += line + QStringLiteral("dword:%1\n").arg(number, 8, 16, QChar(u'0'));
        return;
    }
    line +=
        value.Type == REG_BINARY ? QStringLiteral("hex:") : QStringLiteral("hex(%1):").arg(value.Type, 0, 16);
    const QByteArray bytes = HexBytes(value);
    static const char KDigits[] = "0123456789abcdef";
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        line.append(QLatin1Char(KDigits[byte >> 4])).append(QLatin1Char(KDigits[byte & 0xF]));
        if (i + 1 < bytes.size()) {
            line.append(u',');
            if (line.size() >= KHexLineWidth) {
                out += line + QStringLiteral("\\\n");
                line = QStringLiteral("  ");
            }
        }
    }
    out += line + u'\n';
}

// How many leading names two folded key paths share.
qsizetype CommonDepth(QStringView a, QStringView b) {
    if (a.isEmpty() || b.isEmpty())
        return 0;
    qsizetype depth = 0;
    for (qsizetype i = 0;; ++i) {
        const bool endA = i == a.size(), endB = i == b.size();
        const bool boundaryA = endA || a[i] == u'\\', boundaryB = endB || b[i] == u'\\';
        if (boundaryA && boundaryB) {
            ++depth;
            if (endA || endB)
                return depth;
        } else if (boundaryA || boundaryB || a[i] != b[i]) {
            return depth;
        }
    }
}

}  // namespace

// Reads the text format line by line. Failures carry the 1-based line where the
// problem is; every check works on what was read, so no input makes it loop or
// allocate more than a small multiple of the input's size.
class TRegFileParser {
public:
    explicit TRegFileParser(TRegFile& file) : FFile(file) {}

    bool Run(const QByteArray& bytes) {
        QString text;
        if (!Decode(bytes, text))
            return false;
        SplitLines(text);
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

    bool Decode(const QByteArray& bytes, QString& text) {
        const auto* raw = reinterpret_cast<const unsigned char*>(bytes.constData());
        if (bytes.size() >= 2 && raw[0] == 0xFF && raw[1] == 0xFE)
            return DecodeUtf16(bytes, text);
        if (bytes.size() >= 2 && raw[0] == 0xFE && raw[1] == 0xFF)
            return Fail(
                1, QStringLiteral("UTF-16 big-endian text is not supported; save it as UTF-16LE or UTF-8"));
        QByteArrayView body(bytes);
        if (bytes.size() >= 3 && raw[0] == 0xEF && raw[1] == 0xBB && raw[2] == 0xBF)
            body = body.sliced(3);
        const qsizetype nul = body.indexOf('\0');
        if (nul >= 0) {
            return Fail(LineAt(body, nul),
                        QStringLiteral("a NUL byte in the text (UTF-16 text needs its byte order mark)"));
        }
        const qsizetype bad = FirstInvalidUtf8(body);
        if (bad < 0) {
            text = QString::fromUtf8(body);
        } else if (body.startsWith(KHeader4.toLatin1())) {
            text = QString::fromLatin1(body);
        } else {
            return Fail(LineAt(body, bad), QStringLiteral("the text is not valid UTF-8"));
        }
        return true;
    }

    bool DecodeUtf16(const QByteArray& bytes, QString& text) {
        const qsizetype units = (bytes.size() - 2) / 2;
        text = DecodeUtf16Le(bytes.constData() + 2, units);
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
        return true;
    }

    void SplitLines(const QString& text) {
        qsizetype begin = 0;
        while (begin < text.size()) {
            qsizetype end = text.indexOf(u'\n', begin);
            if (end < 0)
                end = text.size();
            QStringView line = QStringView(text).mid(begin, end - begin);
            if (line.endsWith(u'\r'))
                line.chop(1);
            FLines.push_back(line);
            begin = end + 1;
        }
    }

    bool ParseLines() {
        if (FLines.empty())
            return true;  // an empty file holds an empty hive
        const QStringView header = Trimmed(FLines[0]);
        if (header == KHeader5) {
            FAnsi = false;
        } else if (header == KHeader4) {
            FAnsi = true;
        } else {
            return Fail(1, QStringLiteral("expected the header \"%1\"").arg(KHeader5));
        }
        for (FIndex = 1; FIndex < FLines.size(); ++FIndex) {
            const QStringView line = Trimmed(FLines[FIndex]);
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
            return Fail(
                LineNumber(),
                QStringLiteral("the key '%1' lies outside %2").arg(Excerpt(inner), RootName(FFile.Root())));
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
        return true;
    }

    // Reads a quoted text starting at `pos` (on the opening quote); \\ and \" stand for
    // themselves, any other backslash is kept as it is.
    static bool ReadQuoted(QStringView line, qsizetype& pos, QString& text) {
        text.clear();
        for (qsizetype i = pos + 1; i < line.size(); ++i) {
            const QChar c = line[i];
            if (c == u'"') {
                pos = i + 1;
                return true;
            }
            if (c == u'\\' && i + 1 < line.size() && (line[i + 1] == u'\\' || line[i + 1] == u'"')) {
                text.append(line[++i]);
                continue;
            }
            text.append(c);
        }
        return false;
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
        TRegFile::PutValue(FFile.FKeys[FKey], name, value);
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
            if (!continues || FIndex + 1 >= FLines.size())
                return true;
            segment = FLines[++FIndex];
        }
    }

    TRegFile& FFile;
    std::vector<QStringView> FLines;
    std::size_t FIndex = 0;
    bool FAnsi = false;
    bool FHaveKey = false;
    std::size_t FKey = 0;
};

TRegFile::TRegFile(TRootKey root) : FRoot(root) {}

bool TRegFile::Parse(const QByteArray& bytes, const QString& fileName, QString& error) {
    FKeys.clear();
    FKeyIndex.clear();
    TRegFileParser parser(*this);
    if (parser.Run(bytes))
        return true;
    FKeys.clear();
    FKeyIndex.clear();
    error = QStringLiteral("The registry file '%1' is damaged (line %2: %3).")
                .arg(fileName)
                .arg(parser.FailedLine)
                .arg(parser.Problem);
    return false;
}

QByteArray TRegFile::Serialize() const {
    QString out = KHeader5 + u'\n';
    const QString root = RootName(FRoot);
    for (const TKey& key : FKeys) {
        out += QStringLiteral("\n[") + root + (key.Path.isEmpty() ? QString() : u'\\' + key.Path) +
               QStringLiteral("]\n");
        for (const TNamedValue& value : key.Values)
            AppendValueLine(out, value.Name, value.Value);
    }
    return out.toUtf8();
}

bool TRegFile::IsStorableKeyPath(const QString& path) {
    if (path.isEmpty())
        return true;
    if (!IsPlainText(path))
        return false;
    return !path.startsWith(u'\\') && !path.endsWith(u'\\') && !path.contains(QStringLiteral("\\\\"));
}

bool TRegFile::IsStorableValueName(const QString& name) {
    return IsPlainText(name);
}

const TRegFile::TKey* TRegFile::FindKey(const QString& path) const {
    const auto found = FKeyIndex.constFind(Fold(path));
    return found == FKeyIndex.cend() ? nullptr : &FKeys[*found];
}

bool TRegFile::KeyExists(const QString& path) const {
    if (path.isEmpty() || FindKey(path))
        return true;
    const QString prefix = Fold(path) + u'\\';
    for (const TKey& key : FKeys)
        if (key.Folded.startsWith(prefix))
            return true;
    return false;
}

TRegFile::TKey& TRegFile::AppendKey(const QString& path) {
    TKey key;
    key.Path = path;
    key.Folded = Fold(path);
    FKeyIndex.insert(key.Folded, FKeys.size());
    FKeys.push_back(std::move(key));
    return FKeys.back();
}

bool TRegFile::CreateKey(const QString& path) {
    if (KeyExists(path))
        return false;
    InsertKey(path);
    return true;
}

// A new key goes after its closest relatives, so the file stays grouped as a tree;
// the root key's own section comes first.
void TRegFile::InsertKey(const QString& path) {
    const QString folded = Fold(path);
    std::size_t position = path.isEmpty() ? 0 : FKeys.size();
    qsizetype best = 0;
    for (std::size_t i = 0; i < FKeys.size() && !path.isEmpty(); ++i) {
        const qsizetype depth = CommonDepth(folded, FKeys[i].Folded);
        if (depth > 0 && depth >= best) {
            best = depth;
            position = i + 1;
        }
    }
    TKey key;
    key.Path = path;
    key.Folded = folded;
    FKeys.insert(FKeys.begin() + std::ptrdiff_t(position), std::move(key));
    RebuildKeyIndex();
}

void TRegFile::RebuildKeyIndex() {
    FKeyIndex.clear();
    for (std::size_t i = 0; i < FKeys.size(); ++i)
        FKeyIndex.insert(FKeys[i].Folded, i);
}

const TRegValue* TRegFile::FindValue(const QString& path, const QString& name) const {
    const TKey* key = FindKey(path);
    if (!key)
        return nullptr;
    const auto found = key->ValueIndex.constFind(Fold(name));
    return found == key->ValueIndex.cend() ? nullptr : &key->Values[*found].Value;
}

bool TRegFile::SetValue(const QString& path, const QString& name, const TRegValue& value) {
    bool changed = false;
    if (!FindKey(path)) {
        InsertKey(path);
        changed = true;
    }
    TKey& key = FKeys[FKeyIndex.value(Fold(path))];
    const auto found = key.ValueIndex.constFind(Fold(name));
    if (!changed && found != key.ValueIndex.cend() && key.Values[*found].Value == Normalized(value))
        return false;
    PutValue(key, name, value);
    return true;
}

void TRegFile::PutValue(TKey& key, const QString& name, const TRegValue& value) {
    const QString folded = Fold(name);
    const auto found = key.ValueIndex.constFind(folded);
    if (found != key.ValueIndex.cend()) {
        key.Values[*found].Value = Normalized(value);
        return;
    }
    key.ValueIndex.insert(folded, key.Values.size());
    key.Values.push_back({name, Normalized(value)});
}

QStringList TRegFile::KeyPaths() const {
    QStringList paths;
    for (const TKey& key : FKeys)
        paths.append(key.Path);
    return paths;
}

QStringList TRegFile::ValueNames(const QString& path) const {
    QStringList names;
    if (const TKey* key = FindKey(path))
        for (const TNamedValue& value : key->Values)
            names.append(value.Name);
    return names;
}

bool operator==(const TRegFile& a, const TRegFile& b) {
    if (a.FRoot != b.FRoot || a.FKeys.size() != b.FKeys.size())
        return false;
    for (std::size_t i = 0; i < a.FKeys.size(); ++i) {
        const TRegFile::TKey &x = a.FKeys[i], &y = b.FKeys[i];
        if (x.Path != y.Path || x.Values.size() != y.Values.size())
            return false;
        for (std::size_t k = 0; k < x.Values.size(); ++k)
            if (x.Values[k].Name != y.Values[k].Name || !(x.Values[k].Value == y.Values[k].Value))
                return false;
    }
    return true;
}
