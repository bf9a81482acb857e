#include "core/TBinaryStreamReader.h"

#include "core/Exception.h"

#include <QByteArrayView>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// Deep enough for any real window, shallow enough that hostile data cannot
// exhaust the stack; the same limit as the text form reader.
constexpr int kMaxDepth = 64;

// 8-bit strings carry no code page; see the class comment.
QString Decode8Bit(const QByteArray& bytes) {
    return QByteArrayView(bytes).isValidUtf8() ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

// x87 extended precision: 64-bit mantissa with an explicit integer bit, 15-bit
// exponent biased by 16383, sign on top. Results in the double's denormal range
// may be one unit off, as the mantissa is rounded before it is scaled.
double ExtendedToDouble(std::uint64_t mantissa, std::uint16_t signExponent) {
    const bool negative = (signExponent & 0x8000) != 0;
    const int exponent = signExponent & 0x7FFF;
    double magnitude = 0;
    if (exponent == 0x7FFF) {
        // The integer bit does not matter here: no fraction bits is infinity, any is NaN.
        magnitude = (mantissa << 1) == 0 ? std::numeric_limits<double>::infinity()
                                         : std::numeric_limits<double>::quiet_NaN();
    } else {
        // Exponent 0 holds zero and the denormals, scaled like exponent 1.
        const int scale = (exponent == 0 ? 1 : exponent) - 16383 - 63;
        magnitude = std::ldexp(static_cast<double>(mantissa), scale);
    }
    return negative ? -magnitude : magnitude;
}

class TParser {
public:
    TParser(const QByteArray& bytes, qsizetype position, const QString& source)
        : FData(bytes.constData()), FSize(bytes.size()), FPos(position), FSource(source) {}

    TStreamComponent ReadRoot() {
        if (FPos < 0 || FPos > FSize)
            Fail(FPos, QStringLiteral("the position lies outside the data"));
        if (FSize - FPos < 4 || std::memcmp(FData + FPos, "TPF0", 4) != 0)
            Fail(FPos, QStringLiteral("'TPF0' signature expected"));
        FPos += 4;
        return ReadComponent(0);
    }

    qsizetype Position() const { return FPos; }

    [[noreturn]] void Fail(qsizetype at, const QString& what) const {
        const QString where = FSource.isEmpty() ? QStringLiteral("component stream") : FSource;
        throw EReadError(QStringLiteral("Error reading %1 at byte %2: %3").arg(where).arg(at).arg(what));
    }

private:
    using TKind = TStreamValue::TKind;

    bool Fits(std::uint64_t count) const { return count <= static_cast<std::uint64_t>(FSize - FPos); }

    // `at` is where the item that does not fit starts.
    [[noreturn]] void FailPastEnd(qsizetype at, const QString& what) const {
        Fail(at, what + QStringLiteral(" runs past the end of the data"));
    }

    std::uint8_t PeekByte(const char* expected) const {
        if (FPos >= FSize)
            Fail(FPos, QStringLiteral("%1 expected, but the data ends").arg(QLatin1String(expected)));
        return static_cast<std::uint8_t>(FData[FPos]);
    }

    std::uint8_t ReadByte(const char* expected) {
        const std::uint8_t b = PeekByte(expected);
        ++FPos;
        return b;
    }

    template <typename T>
    T ReadFixed(const char* what) {
        if (!Fits(sizeof(T)))
            FailPastEnd(FPos, QLatin1String(what));
        const T value = qFromLittleEndian<T>(FData + FPos);
        FPos += sizeof(T);
        return value;
    }

    // The caller has made sure that the bytes are there.
    QByteArray ReadChunk(std::uint64_t count) {
        QByteArray chunk(FData + FPos, static_cast<qsizetype>(count));
        FPos += static_cast<qsizetype>(count);
        return chunk;
    }

    // A string with one length byte: names, identifiers, short strings.
    QByteArray ReadShortString(const char* what) {
        const qsizetype at = FPos;
        const std::uint8_t length = ReadByte(what);
        if (!Fits(length))
            FailPastEnd(at, QLatin1String(what));
        return ReadChunk(length);
    }

    // A string or block with a 32-bit length; the length is checked before anything is allocated.
    QByteArray ReadLongChunk(const char* what) {
        const qsizetype at = FPos;
        const std::uint32_t length = ReadFixed<std::uint32_t>(what);
        if (!Fits(length))
            FailPastEnd(at, QStringLiteral("%1 of %2 bytes").arg(QLatin1String(what)).arg(length));
        return ReadChunk(length);
    }

    static bool IsIntegerTag(std::uint8_t tag) {
        return tag == TStreamValue::vaInt8 || tag == TStreamValue::vaInt16 || tag == TStreamValue::vaInt32;
    }

    std::int64_t ReadInteger(std::uint8_t tag) {
        switch (tag) {
            case TStreamValue::vaInt8:
                return ReadFixed<std::int8_t>("8-bit integer");
            case TStreamValue::vaInt16:
                return ReadFixed<std::int16_t>("16-bit integer");
            case TStreamValue::vaInt32:
                return ReadFixed<std::int32_t>("32-bit integer");
            default:
                return ReadFixed<std::int64_t>("64-bit integer");
        }
    }

    TStreamComponent ReadComponent(int depth) {
        const qsizetype start = FPos;
        if (depth > kMaxDepth)
            Fail(start, QStringLiteral("components nested too deeply"));
        TStreamComponent component;
        const std::uint8_t prefix = PeekByte("class name");
        if ((prefix & 0xF0) == 0xF0) {
            ++FPos;
            component.Flags = prefix & 0x0F;
            if (component.Flags & TStreamComponent::ffChildPos) {
                const qsizetype at = FPos;
                const std::uint8_t tag = ReadByte("child position");
                if (!IsIntegerTag(tag))
                    Fail(at, QStringLiteral("integer expected for the child position, found value type %1")
                                 .arg(tag));
                component.ChildPos = static_cast<int>(ReadInteger(tag));
            }
        }
        const qsizetype classAt = FPos;
        component.ClassName = Decode8Bit(ReadShortString("class name"));
        if (component.ClassName.isEmpty())
            Fail(classAt, QStringLiteral("class name expected"));
        component.Name = Decode8Bit(ReadShortString("component name"));
        ReadProperties(component.Properties, depth);
        while (PeekByte("child component or the end of the children") != 0)
            component.Children.push_back(ReadComponent(depth + 1));
        ++FPos;
        return component;
    }

    void ReadProperties(std::vector<TStreamProperty>& properties, int depth) {
        while (true) {
            const QByteArray name = ReadShortString("property name");
            if (name.isEmpty())
                return;
            TStreamProperty property;
            property.Name = Decode8Bit(name);
            property.Value = ReadValue(depth);
            properties.push_back(std::move(property));
        }
    }

    TStreamValue ReadValue(int depth) {
        const qsizetype at = FPos;
        if (depth > kMaxDepth)
            Fail(at, QStringLiteral("values nested too deeply"));
        TStreamValue v;
        const std::uint8_t tag = ReadByte("value type");
        if (tag > TStreamValue::vaUTF8String)
            Fail(at, QStringLiteral("unknown value type %1").arg(tag));
        v.Kind = static_cast<TKind>(tag);
        switch (v.Kind) {
            case TStreamValue::vaNull:
            case TStreamValue::vaFalse:
            case TStreamValue::vaTrue:
            case TStreamValue::vaNil:
                break;
            case TStreamValue::vaList:
                while (PeekByte("list item or the end of the list") != 0)
                    v.List.push_back(ReadValue(depth + 1));
                ++FPos;
                break;
            case TStreamValue::vaInt8:
            case TStreamValue::vaInt16:
            case TStreamValue::vaInt32:
            case TStreamValue::vaInt64:
                v.Int = ReadInteger(tag);
                break;
            case TStreamValue::vaExtended: {
                if (!Fits(10))
                    FailPastEnd(FPos, QStringLiteral("extended float"));
                const auto mantissa = ReadFixed<std::uint64_t>("extended float");
                v.Float = ExtendedToDouble(mantissa, ReadFixed<std::uint16_t>("extended float"));
                break;
            }
            case TStreamValue::vaString:
            case TStreamValue::vaIdent:
                v.Bytes = ReadShortString(tag == TStreamValue::vaString ? "string" : "identifier");
                v.Text = Decode8Bit(v.Bytes);
                break;
            case TStreamValue::vaLString:
                v.Bytes = ReadLongChunk("string");
                v.Text = Decode8Bit(v.Bytes);
                break;
            case TStreamValue::vaBinary:
                v.Bytes = ReadLongChunk("binary data");
                break;
            case TStreamValue::vaSet:
                while (true) {
                    const QByteArray name = ReadShortString("set element");
                    if (name.isEmpty())
                        break;
                    v.Names.append(Decode8Bit(name));
                }
                break;
            case TStreamValue::vaCollection:
                ReadCollection(v, depth);
                break;
            case TStreamValue::vaSingle:
                v.Float = std::bit_cast<float>(ReadFixed<std::uint32_t>("4-byte float"));
                break;
            case TStreamValue::vaCurrency:
                v.Float = static_cast<double>(ReadFixed<std::int64_t>("currency")) / 10000.0;
                break;
            case TStreamValue::vaDate:
                v.Float = std::bit_cast<double>(ReadFixed<std::uint64_t>("date"));
                break;
            case TStreamValue::vaWString: {
                const qsizetype countAt = FPos;
                const std::uint32_t count = ReadFixed<std::uint32_t>("wide string");
                if (!Fits(std::uint64_t{count} * 2))
                    FailPastEnd(countAt, QStringLiteral("wide string of %1 characters").arg(count));
                v.Text.resize(static_cast<qsizetype>(count));
                QChar* out = v.Text.data();
                for (std::uint32_t i = 0; i < count; ++i)
                    out[i] = QChar(qFromLittleEndian<quint16>(FData + FPos + 2 * qsizetype{i}));
                FPos += 2 * qsizetype{count};
                // As from the text form: every string has its UTF-8 bytes.
                v.Bytes = v.Text.toUtf8();
                break;
            }
            case TStreamValue::vaUTF8String:
                v.Bytes = ReadLongChunk("UTF-8 string");
                v.Text = QString::fromUtf8(v.Bytes);
                break;
        }
        return v;
    }

    // Items until a 0 byte; each is an optional integer order value, the list
    // marker (byte 1), and properties closed by an empty name.
    void ReadCollection(TStreamValue& v, int depth) {
        while (true) {
            const qsizetype at = FPos;
            std::uint8_t b = ReadByte("collection item or the end of the collection");
            if (b == 0)
                return;
            TStreamValue::TItem item;
            if (IsIntegerTag(b)) {
                item.HasOrder = true;
                item.Order.Kind = static_cast<TKind>(b);
                item.Order.Int = ReadInteger(b);
                if (ReadByte("collection item") != TStreamValue::vaList)
                    Fail(FPos - 1, QStringLiteral("collection item expected after its order value"));
            } else if (b != TStreamValue::vaList) {
                Fail(at, QStringLiteral("collection item expected, found byte %1").arg(b));
            }
            ReadProperties(item.Properties, depth + 1);
            v.Items.push_back(std::move(item));
        }
    }

    const char* FData;
    qsizetype FSize;
    qsizetype FPos;
    QString FSource;
};

}  // namespace

TStreamComponent TBinaryStreamReader::Read(const QByteArray& bytes, qsizetype& position,
                                           const QString& sourceName) {
    TParser parser(bytes, position, sourceName);
    TStreamComponent component = parser.ReadRoot();
    position = parser.Position();
    return component;
}

TStreamComponent TBinaryStreamReader::Parse(const QByteArray& bytes, const QString& sourceName) {
    TParser parser(bytes, 0, sourceName);
    TStreamComponent component = parser.ReadRoot();
    if (parser.Position() != bytes.size())
        parser.Fail(parser.Position(), QStringLiteral("data after the end of the component"));
    return component;
}
