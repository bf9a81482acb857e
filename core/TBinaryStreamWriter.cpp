#include "core/TBinaryStreamWriter.h"

#include <QtEndian>

#include <bit>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

class TWriter {
public:
    QByteArray Take() { return std::move(FOut); }

    void WriteComponent(const TStreamComponent& component) {
        if (component.Flags != 0) {
            FOut += static_cast<char>(0xF0 | (component.Flags & 0x0F));
            if (component.Flags & TStreamComponent::ffChildPos)
                WriteSmallestInteger(component.ChildPos);
        }
        if (component.ClassName.isEmpty())
            Reject("an empty class name");
        WriteShort(component.ClassName.toUtf8(), "a class name over 255 bytes");
        WriteShort(component.Name.toUtf8(), "a component name over 255 bytes");
        WriteProperties(component.Properties);
        for (const TStreamComponent& child : component.Children)
            WriteComponent(child);
        FOut += '\0';
    }

private:
    [[noreturn]] static void Reject(const char* what) {
        throw std::invalid_argument(std::string("The binary component stream cannot hold ") + what);
    }

    template <typename T>
    void WriteFixed(T value) {
        char buffer[sizeof(T)];
        qToLittleEndian<T>(value, buffer);
        FOut.append(buffer, sizeof(T));
    }

    void WriteShort(const QByteArray& bytes, const char* what) {
        if (bytes.size() > 255)
            Reject(what);
        FOut += static_cast<char>(bytes.size());
        FOut += bytes;
    }

    void WriteLong(const QByteArray& bytes) {
        WriteFixed<std::uint32_t>(static_cast<std::uint32_t>(bytes.size()));
        FOut += bytes;
    }

    void WriteTag(TStreamValue::TKind kind) { FOut += static_cast<char>(kind); }

    void WriteSmallestInteger(std::int64_t value) {
        TStreamValue v;
        v.Int = value;
        using TLimits = std::numeric_limits<std::int32_t>;
        v.Kind = value >= -128 && value <= 127                        ? TStreamValue::vaInt8
                 : value >= -32768 && value <= 32767                  ? TStreamValue::vaInt16
                 : value >= TLimits::min() && value <= TLimits::max() ? TStreamValue::vaInt32
                                                                      : TStreamValue::vaInt64;
        WriteValue(v);
    }

    void WriteProperties(const std::vector<TStreamProperty>& properties) {
        for (const TStreamProperty& property : properties) {
            if (property.Name.isEmpty())
                Reject("an empty property name");
            WriteShort(property.Name.toUtf8(), "a property name over 255 bytes");
            WriteValue(property.Value);
        }
        FOut += '\0';
    }

    static QByteArray EightBit(const TStreamValue& v) {
        return v.Bytes.isEmpty() ? v.Text.toUtf8() : v.Bytes;
    }

    template <typename T>
    void WriteInteger(std::int64_t value) {
        if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max())
            Reject("an integer too wide for its value type");
        WriteFixed<T>(static_cast<T>(value));
    }

    void WriteExtended(double value) {
        std::uint64_t mantissa = 0;
        std::uint16_t signExponent = std::signbit(value) ? 0x8000 : 0;
        if (std::isnan(value)) {
            signExponent |= 0x7FFF;
            mantissa = 0xC000000000000000ULL;
        } else if (std::isinf(value)) {
            signExponent |= 0x7FFF;
            mantissa = 0x8000000000000000ULL;
        } else if (value != 0) {
            // Every double, denormals included, is a normal extended number.
            int exponent = 0;
            const double fraction = std::frexp(std::fabs(value), &exponent);
            mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
            signExponent |= static_cast<std::uint16_t>(exponent - 1 + 16383);
        }
        WriteFixed<std::uint64_t>(mantissa);
        WriteFixed<std::uint16_t>(signExponent);
    }

    void WriteValue(const TStreamValue& v) {
        WriteTag(v.Kind);
        switch (v.Kind) {
            case TStreamValue::vaNull:
            case TStreamValue::vaFalse:
            case TStreamValue::vaTrue:
            case TStreamValue::vaNil:
                break;
            case TStreamValue::vaList:
                for (const TStreamValue& item : v.List) {
                    if (item.Kind == TStreamValue::vaNull)
                        Reject("a null inside a list");
                    WriteValue(item);
                }
                FOut += '\0';
                break;
            case TStreamValue::vaInt8:
                WriteInteger<std::int8_t>(v.Int);
                break;
            case TStreamValue::vaInt16:
                WriteInteger<std::int16_t>(v.Int);
                break;
            case TStreamValue::vaInt32:
                WriteInteger<std::int32_t>(v.Int);
                break;
            case TStreamValue::vaInt64:
                WriteFixed<std::int64_t>(v.Int);
                break;
            case TStreamValue::vaExtended:
                WriteExtended(v.Float);
                break;
            case TStreamValue::vaString:
            case TStreamValue::vaIdent:
                WriteShort(EightBit(v), "a short string over 255 bytes");
                break;
            case TStreamValue::vaLString:
                WriteLong(EightBit(v));
                break;
            case TStreamValue::vaBinary:
                WriteLong(v.Bytes);
                break;
            case TStreamValue::vaSet:
                for (const QString& name : v.Names) {
                    if (name.isEmpty())
                        Reject("an empty set element");
                    WriteShort(name.toUtf8(), "a set element over 255 bytes");
                }
                FOut += '\0';
                break;
            case TStreamValue::vaCollection:
                for (const TStreamValue::TItem& item : v.Items) {
                    if (item.HasOrder) {
                        if (item.Order.Kind != TStreamValue::vaInt8 &&
                            item.Order.Kind != TStreamValue::vaInt16 &&
                            item.Order.Kind != TStreamValue::vaInt32)
                            Reject("an order value that is not a 8, 16 or 32-bit integer");
                        WriteValue(item.Order);
                    }
                    WriteTag(TStreamValue::vaList);
                    WriteProperties(item.Properties);
                }
                FOut += '\0';
                break;
            case TStreamValue::vaSingle:
                WriteFixed<std::uint32_t>(std::bit_cast<std::uint32_t>(static_cast<float>(v.Float)));
                break;
            case TStreamValue::vaCurrency: {
                const double scaled = std::round(v.Float * 10000.0);
                if (!(std::fabs(scaled) < 9.2e18))
                    Reject("a currency value beyond 64 bits");
                WriteFixed<std::int64_t>(static_cast<std::int64_t>(scaled));
                break;
            }
            case TStreamValue::vaDate:
                WriteFixed<std::uint64_t>(std::bit_cast<std::uint64_t>(v.Float));
                break;
            case TStreamValue::vaWString:
                WriteFixed<std::uint32_t>(static_cast<std::uint32_t>(v.Text.size()));
                for (const QChar ch : v.Text)
                    WriteFixed<std::uint16_t>(ch.unicode());
                break;
            case TStreamValue::vaUTF8String:
                WriteLong(v.Text.toUtf8());
                break;
            default:
                Reject("an unknown value type");
        }
    }

    QByteArray FOut;
};

}  // namespace

QByteArray TBinaryStreamWriter::Write(const TStreamComponent& component) {
    TWriter writer;
    writer.WriteComponent(component);
    return "TPF0" + writer.Take();
}
