#include "core/TTextFormParser.h"

#include "core/Exception.h"

#include <limits>

namespace {

// Deep enough for any real window, shallow enough that hostile text cannot
// exhaust the stack.
constexpr int kMaxDepth = 64;

class TParser {
public:
    TParser(const QByteArray& text, const QString& source) : FText(text), FSource(source) {}

    TStreamComponent ParseRoot() {
        SkipBlanks();
        TStreamComponent root = ParseObject(0);
        SkipBlanks();
        if (FPos < FText.size())
            Fail(QStringLiteral("text after the final 'end'"));
        return root;
    }

private:
    [[noreturn]] void Fail(const QString& what) const {
        const QString where = FSource.isEmpty() ? QStringLiteral("form description") : FSource;
        throw EReadError(QStringLiteral("Error in %1, line %2: %3").arg(where).arg(FLine).arg(what));
    }

    bool AtEnd() const { return FPos >= FText.size(); }
    char Peek(qsizetype ahead = 0) const {
        return FPos + ahead < FText.size() ? FText.at(FPos + ahead) : '\0';
    }

    void SkipBlanks() {
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '\n') {
                ++FLine;
                ++FPos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f') {
                ++FPos;
            } else if (c == '/' && Peek(1) == '/') {
                while (!AtEnd() && Peek() != '\n')
                    ++FPos;
            } else {
                return;
            }
        }
    }

    static bool IsIdentStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
    static bool IsIdentChar(char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        return -1;
    }

    QString Identifier() {
        SkipBlanks();
        if (!IsIdentStart(Peek()))
            Fail(QStringLiteral("identifier expected"));
        const qsizetype start = FPos;
        while (IsIdentChar(Peek()))
            ++FPos;
        return QString::fromLatin1(FText.mid(start, FPos - start));
    }

    // A property name, with dots for properties of nested objects.
    QString DottedName() {
        QString name = Identifier();
        while (Peek() == '.') {
            ++FPos;
            name += QLatin1Char('.') + Identifier();
        }
        return name;
    }

    void Expect(char c) {
        SkipBlanks();
        if (Peek() != c)
            Fail(QStringLiteral("'%1' expected").arg(QLatin1Char(c)));
        ++FPos;
    }

    bool PeekKeyword(const char* word) {
        SkipBlanks();
        const qsizetype length = static_cast<qsizetype>(qstrlen(word));
        if (FText.size() - FPos < length)
            return false;
        if (QByteArray(FText.constData() + FPos, length).compare(word, Qt::CaseInsensitive) != 0)
            return false;
        return !IsIdentChar(Peek(length));
    }

    bool AtChildObject() {
        if (!PeekKeyword("object") && !PeekKeyword("inherited") && !PeekKeyword("inline"))
            return false;
        // "object = 1" would be a property that happens to have that name.
        qsizetype p = FPos;
        while (p < FText.size() && IsIdentChar(FText.at(p)))
            ++p;
        while (p < FText.size() && (FText.at(p) == ' ' || FText.at(p) == '\t'))
            ++p;
        return p < FText.size() && FText.at(p) != '=' && FText.at(p) != '.';
    }

    TStreamComponent ParseObject(int depth) {
        if (depth > kMaxDepth)
            Fail(QStringLiteral("components nested too deeply"));
        TStreamComponent component;
        const QString keyword = Identifier().toLower();
        if (keyword == QLatin1String("inherited"))
            component.Flags |= TStreamComponent::ffInherited;
        else if (keyword == QLatin1String("inline"))
            component.Flags |= TStreamComponent::ffInline;
        else if (keyword != QLatin1String("object"))
            Fail(QStringLiteral("'object' expected"));
        QString first = Identifier();
        SkipBlanks();
        if (Peek() == ':') {
            ++FPos;
            component.Name = first;
            component.ClassName = Identifier();
        } else {
            component.ClassName = first;
        }
        SkipBlanks();
        if (Peek() == '[') {
            ++FPos;
            component.Flags |= TStreamComponent::ffChildPos;
            component.ChildPos = static_cast<int>(IntegerToken());
            Expect(']');
        }
        while (true) {
            SkipBlanks();
            if (AtEnd())
                Fail(QStringLiteral("'end' expected"));
            if (PeekKeyword("end")) {
                Identifier();
                return component;
            }
            if (AtChildObject()) {
                component.Children.push_back(ParseObject(depth + 1));
                continue;
            }
            component.Properties.push_back(ParseProperty(depth));
        }
    }

    TStreamProperty ParseProperty(int depth) {
        TStreamProperty property;
        property.Name = DottedName();
        Expect('=');
        property.Value = ParseValue(depth);
        return property;
    }

    std::int64_t IntegerToken() {
        SkipBlanks();
        bool negative = false;
        if (Peek() == '-' || Peek() == '+') {
            negative = Peek() == '-';
            ++FPos;
        }
        std::uint64_t value = 0;
        int digits = 0;
        const bool hex = Peek() == '$';
        if (hex) {
            ++FPos;
            for (int d; (d = HexValue(Peek())) >= 0; ++FPos, ++digits) {
                if (value > (std::numeric_limits<std::uint64_t>::max() >> 4))
                    Fail(QStringLiteral("number too large"));
                value = (value << 4) | static_cast<unsigned>(d);
            }
        } else {
            for (; Peek() >= '0' && Peek() <= '9'; ++FPos, ++digits) {
                const unsigned d = static_cast<unsigned>(Peek() - '0');
                if (value > (std::numeric_limits<std::uint64_t>::max() - d) / 10)
                    Fail(QStringLiteral("number too large"));
                value = value * 10 + d;
            }
        }
        if (digits == 0)
            Fail(QStringLiteral("number expected"));
        constexpr std::uint64_t largest = std::numeric_limits<std::int64_t>::max();
        // Hexadecimal numbers are bit patterns: $FFFFFFFF is -1 as a 32-bit value and
        // $FFFFFFFFFFFFFFFF is -1 as a 64-bit one. Decimal numbers are what they say.
        if (hex && !negative)
            return static_cast<std::int64_t>(value);
        if (negative && value == largest + 1)
            return std::numeric_limits<std::int64_t>::min();
        if (value > largest)
            Fail(QStringLiteral("number too large"));
        return negative ? -static_cast<std::int64_t>(value) : static_cast<std::int64_t>(value);
    }

    static void SetIntegerKind(TStreamValue& v) {
        if (v.Int >= -128 && v.Int <= 127)
            v.Kind = TStreamValue::vaInt8;
        else if (v.Int >= -32768 && v.Int <= 32767)
            v.Kind = TStreamValue::vaInt16;
        else if (v.Int >= std::numeric_limits<std::int32_t>::min() &&
                 v.Int <= std::numeric_limits<std::int32_t>::max())
            v.Kind = TStreamValue::vaInt32;
        else
            v.Kind = TStreamValue::vaInt64;
    }

    TStreamValue ParseNumber() {
        const qsizetype start = FPos;
        const int line = FLine;
        TStreamValue v;
        v.Int = IntegerToken();
        const bool hex = FText.indexOf('$', start) >= 0 && FText.indexOf('$', start) < FPos;
        if (!hex && (Peek() == '.' || Peek() == 'e' || Peek() == 'E')) {
            // A floating-point number: digits, a point, digits, an exponent, a type suffix.
            qsizetype end = FPos;
            if (FText.at(end) == '.') {
                ++end;
                while (end < FText.size() && FText.at(end) >= '0' && FText.at(end) <= '9')
                    ++end;
            }
            if (end < FText.size() && (FText.at(end) == 'e' || FText.at(end) == 'E')) {
                ++end;
                if (end < FText.size() && (FText.at(end) == '+' || FText.at(end) == '-'))
                    ++end;
                while (end < FText.size() && FText.at(end) >= '0' && FText.at(end) <= '9')
                    ++end;
            }
            bool ok = false;
            QByteArray number = FText.mid(start, end - start).trimmed();
            v.Float = number.toDouble(&ok);
            if (!ok) {
                FLine = line;
                Fail(QStringLiteral("invalid number '%1'").arg(QString::fromLatin1(number)));
            }
            FPos = end;
            v.Kind = TStreamValue::vaExtended;
            switch (Peek()) {
                case 's':
                case 'S':
                    v.Kind = TStreamValue::vaSingle;
                    ++FPos;
                    break;
                case 'c':
                case 'C':
                    v.Kind = TStreamValue::vaCurrency;
                    ++FPos;
                    break;
                case 'd':
                case 'D':
                    v.Kind = TStreamValue::vaDate;
                    ++FPos;
                    break;
                default:
                    break;
            }
            return v;
        }
        SetIntegerKind(v);
        return v;
    }

    // One string: quoted pieces and #nn characters side by side, pieces joined by +.
    TStreamValue ParseString() {
        QString text;
        while (true) {
            SkipBlanks();
            if (Peek() == '\'') {
                ++FPos;
                QByteArray piece;
                while (true) {
                    if (AtEnd() || Peek() == '\n' || Peek() == '\r')
                        Fail(QStringLiteral("unterminated string"));
                    const char c = FText.at(FPos++);
                    if (c == '\'') {
                        if (Peek() != '\'')
                            break;
                        ++FPos;
                    }
                    piece += c;
                }
                text += QString::fromUtf8(piece);
            } else if (Peek() == '#') {
                ++FPos;
                const std::int64_t code = IntegerToken();
                if (code < 0 || code > 0x10FFFF)
                    Fail(QStringLiteral("invalid character code"));
                const char32_t ch = static_cast<char32_t>(code);
                text += QString::fromUcs4(&ch, 1);
            } else {
                Fail(QStringLiteral("string expected"));
            }
            const qsizetype save = FPos;
            const int saveLine = FLine;
            SkipBlanks();
            if (Peek() == '\'' || Peek() == '#') {
                // Pieces continue only when they touch; a line break needs '+'.
                if (FLine != saveLine || FPos != save) {
                    FPos = save;
                    FLine = saveLine;
                    break;
                }
                continue;
            }
            if (Peek() == '+') {
                ++FPos;
                continue;
            }
            FPos = save;
            FLine = saveLine;
            break;
        }
        TStreamValue v;
        v.Text = text;
        v.Bytes = text.toUtf8();
        bool wide = false;
        for (const QChar ch : text)
            wide = wide || ch.unicode() > 0xFF;
        v.Kind = wide                   ? TStreamValue::vaWString
                 : v.Bytes.size() > 255 ? TStreamValue::vaLString
                                        : TStreamValue::vaString;
        return v;
    }

    TStreamValue ParseBinary() {
        Expect('{');
        TStreamValue v;
        v.Kind = TStreamValue::vaBinary;
        int high = -1;
        while (true) {
            SkipBlanks();
            if (AtEnd())
                Fail(QStringLiteral("'}' expected"));
            const char c = FText.at(FPos++);
            if (c == '}')
                break;
            const int d = HexValue(c);
            if (d < 0)
                Fail(QStringLiteral("invalid binary data"));
            if (high < 0) {
                high = d;
            } else {
                v.Bytes += static_cast<char>((high << 4) | d);
                high = -1;
            }
        }
        if (high >= 0)
            Fail(QStringLiteral("binary data with an odd number of digits"));
        return v;
    }

    TStreamValue ParseValue(int depth) {
        if (depth > kMaxDepth)
            Fail(QStringLiteral("values nested too deeply"));
        SkipBlanks();
        const char c = Peek();
        TStreamValue v;
        if (c == '\'' || c == '#')
            return ParseString();
        if (c == '-' || c == '+' || c == '$' || (c >= '0' && c <= '9'))
            return ParseNumber();
        if (c == '{')
            return ParseBinary();
        if (c == '[') {
            ++FPos;
            v.Kind = TStreamValue::vaSet;
            SkipBlanks();
            if (Peek() != ']') {
                while (true) {
                    v.Names.append(Identifier());
                    SkipBlanks();
                    if (Peek() == ']')
                        break;
                    Expect(',');
                }
            }
            ++FPos;
            return v;
        }
        if (c == '(') {
            ++FPos;
            v.Kind = TStreamValue::vaList;
            while (true) {
                SkipBlanks();
                if (AtEnd())
                    Fail(QStringLiteral("')' expected"));
                if (Peek() == ')')
                    break;
                if (Peek() == ',') {
                    ++FPos;
                    continue;
                }
                v.List.push_back(ParseValue(depth + 1));
            }
            ++FPos;
            return v;
        }
        if (c == '<') {
            ++FPos;
            v.Kind = TStreamValue::vaCollection;
            while (true) {
                SkipBlanks();
                if (AtEnd())
                    Fail(QStringLiteral("'>' expected"));
                if (Peek() == '>')
                    break;
                if (!PeekKeyword("item"))
                    Fail(QStringLiteral("'item' expected"));
                Identifier();
                TStreamValue::TItem item;
                SkipBlanks();
                if (Peek() == '[') {
                    ++FPos;
                    item.HasOrder = true;
                    item.Order = ParseNumber();
                    Expect(']');
                }
                while (!PeekKeyword("end")) {
                    if (AtEnd())
                        Fail(QStringLiteral("'end' expected"));
                    item.Properties.push_back(ParseProperty(depth + 1));
                }
                Identifier();
                v.Items.push_back(std::move(item));
            }
            ++FPos;
            return v;
        }
        if (IsIdentStart(c)) {
            const QString ident = DottedName();
            if (ident.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                v.Kind = TStreamValue::vaTrue;
            else if (ident.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                v.Kind = TStreamValue::vaFalse;
            else if (ident.compare(QLatin1String("nil"), Qt::CaseInsensitive) == 0)
                v.Kind = TStreamValue::vaNil;
            else {
                v.Kind = TStreamValue::vaIdent;
                v.Text = ident;
            }
            return v;
        }
        Fail(QStringLiteral("value expected"));
    }

    const QByteArray& FText;
    QString FSource;
    qsizetype FPos = 0;
    int FLine = 1;
};

}  // namespace

TStreamComponent TTextFormParser::Parse(const QByteArray& text, const QString& sourceName) {
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    if (const qsizetype nul = body.indexOf('\0'); nul >= 0) {
        const QString where = sourceName.isEmpty() ? QStringLiteral("form description") : sourceName;
        throw EReadError(QStringLiteral("Error in %1, line %2: a NUL byte; not a text form description")
                             .arg(where)
                             .arg(body.left(nul).count('\n') + 1));
    }
    return TParser(body, sourceName).ParseRoot();
}
