#include "toolkit/TPicture.h"

#include "toolkit/Exception.h"

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

QHash<QString, TPicture::TDecoder>& Decoders() {
    static QHash<QString, TPicture::TDecoder> decoders{
        {QStringLiteral("TBitmap"),
         [](const QByteArray& data) { return QImage::fromData(SizedPayload(data), "BMP"); }},
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
    emit Changed();
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
