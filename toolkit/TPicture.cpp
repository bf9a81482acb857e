#include "toolkit/TPicture.h"

#include "core/Exception.h"

#include <QHash>
#include <QtEndian>

namespace {

// A size-prefixed graphic: a 32-bit little-endian byte count, then that many bytes.
QByteArray SizedPayload(const QByteArray& data) {
    if (data.size() < 4)
        return {};
    const quint32 size = qFromLittleEndian<quint32>(data.constData());
    if (size > static_cast<quint32>(data.size() - 4))
        return {};
    return data.mid(4, static_cast<qsizetype>(size));
}

quint32 Bytes4(const QByteArray& data, qsizetype at) {
    return qFromLittleEndian<quint32>(data.constData() + at);
}

// The common bitmaps, uncompressed 24 and 32 bits a pixel, are read here: Qt's
// reader would first look through every image format plug-in, a cost the windows
// pay at start-up. Others go to Qt.
QImage DecodeBitmap(const QByteArray& bmp) {
    constexpr qsizetype HeaderSize = 14 + 40;
    if (bmp.size() < HeaderSize || !bmp.startsWith("BM") || Bytes4(bmp, 14) < 40)
        return QImage::fromData(bmp, "BMP");
    const qint32 width = static_cast<qint32>(Bytes4(bmp, 18));
    const qint32 rawHeight = static_cast<qint32>(Bytes4(bmp, 22));
    const int bits = qFromLittleEndian<quint16>(bmp.constData() + 28);
    const quint32 compression = Bytes4(bmp, 30);
    const quint32 offset = Bytes4(bmp, 10);
    const qint64 height = rawHeight < 0 ? -qint64(rawHeight) : qint64(rawHeight);  // negative: top-down
    if ((bits != 24 && bits != 32) || compression != 0 || width <= 0 || height <= 0 || width > 0x7FFF ||
        height > 0x7FFF)
        return QImage::fromData(bmp, "BMP");
    const qsizetype rowBytes = (qsizetype(width) * bits / 8 + 3) & ~qsizetype(3);
    if (offset > quint32(bmp.size()) || quint32(bmp.size()) - offset < quint64(rowBytes) * quint64(height))
        return {};
    QImage image(width, int(height), QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const qint64 row = rawHeight < 0 ? y : height - 1 - y;
        const auto* source = reinterpret_cast<const uchar*>(bmp.constData()) + offset + rowBytes * row;
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += bits / 8)
            target[x] = qRgb(source[2], source[1], source[0]);
    }
    return image;
}

QHash<QString, TPicture::TDecoder>& Decoders() {
    static QHash<QString, TPicture::TDecoder> decoders{
        {QStringLiteral("TBitmap"), [](const QByteArray& data) { return DecodeBitmap(SizedPayload(data)); }},
        {QStringLiteral("TIcon"), [](const QByteArray& data) { return QImage::fromData(data, "ICO"); }},
    };
    return decoders;
}

}  // namespace

void TPicture::RegisterGraphicClass(const QString& name, TDecoder decoder) {
    Decoders().insert(name, std::move(decoder));
}

void TPicture::SetImage(const QImage& image, const QString& graphicClass) {
    FImage = image;
    FGraphicClass = graphicClass;
    Q_EMIT Changed();
}

void TPicture::LoadFromData(const QByteArray& data) {
    if (data.isEmpty()) {
        SetImage({}, {});
        return;
    }
    const int nameLength = static_cast<unsigned char>(data.at(0));
    if (nameLength == 0 || nameLength >= data.size())
        throw EReadError(QStringLiteral("Invalid picture data"));
    const QString graphicClass = QString::fromLatin1(data.mid(1, nameLength));
    const auto decoder = Decoders().constFind(graphicClass);
    if (decoder == Decoders().cend())
        throw EReadError(QStringLiteral("Unknown picture file extension (%1)").arg(graphicClass));
    const QImage image = (*decoder)(data.mid(1 + nameLength));
    if (image.isNull())
        throw EReadError(QStringLiteral("The %1 picture data is damaged").arg(graphicClass));
    SetImage(image, graphicClass);
}

bool TPicture::ReadDefinedProperty(const QString& name, const TStreamValue& value) {
    if (name != QLatin1String("Data") || value.Kind != TStreamValue::vaBinary)
        return false;
    LoadFromData(value.Bytes);
    return true;
}
