#include "toolkit/TIcon.h"

#include "core/Exception.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

namespace {

// Little-endian numbers; callers check the size first.
quint16 Word(const QByteArray& data, qsizetype at) {
    return quint16(uchar(data[at]) | uchar(data[at + 1]) << 8);
}
quint32 DWord(const QByteArray& data, qsizetype at) {
    return Word(data, at) | quint32(Word(data, at + 2)) << 16;
}

// One 32-bit icon image: a BITMAPINFOHEADER whose height counts the colour rows and
// the mask rows, then bottom-up BGRA rows; the alpha channel makes the mask redundant.
QImage DecodeDib32(const QByteArray& dib) {
    if (dib.size() < 40 || DWord(dib, 0) != 40 || Word(dib, 14) != 32 || DWord(dib, 16) != 0)
        return {};
    const qint32 width = static_cast<qint32>(DWord(dib, 4));
    const qint32 height = static_cast<qint32>(DWord(dib, 8)) / 2;
    if (width <= 0 || height <= 0 || width > 1024 || height > 1024)
        return {};
    const qsizetype rowBytes = qsizetype(width) * 4;
    if (dib.size() < 40 + rowBytes * height)
        return {};
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const uchar* source =
            reinterpret_cast<const uchar*>(dib.constData()) + 40 + rowBytes * (height - 1 - y);
        auto* target = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x, source += 4)
            target[x] = qRgba(source[2], source[1], source[0], source[3]);
    }
    return image;
}

// The images of an .ico file that we read ourselves (32-bit and PNG ones), which
// spares the start-up the loading of Qt's image format plug-ins. Null when any
// image is of another kind.
QList<QImage> DecodeIcon(const QByteArray& data) {
    if (data.size() < 6 || Word(data, 0) != 0 || Word(data, 2) != 1)
        return {};
    const int count = Word(data, 4);
    if (count == 0 || data.size() < 6 + 16 * qsizetype(count))
        return {};
    QList<QImage> images;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = 6 + 16 * qsizetype(i);
        const quint32 size = DWord(data, entry + 8);
        const quint32 offset = DWord(data, entry + 12);
        if (offset > quint32(data.size()) || size > quint32(data.size()) - offset)
            return {};
        const QByteArray image = data.mid(offset, size);
        const QImage decoded =
            image.startsWith("\x89PNG\r\n\x1a\n") ? QImage::fromData(image, "PNG") : DecodeDib32(image);
        if (decoded.isNull())
            return {};
        images.append(decoded);
    }
    return images;
}

}  // namespace

bool TIcon::ReadDefinedProperty(const QString& name, const TStreamValue& value) {
    if (name != QLatin1String("Data") || value.Kind != TStreamValue::vaBinary)
        return false;
    QList<QImage> images = DecodeIcon(value.Bytes);
    if (images.isEmpty()) {
        QByteArray bytes = value.Bytes;
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "ICO");
        do {
            const QImage image = reader.read();
            if (image.isNull())
                break;
            images.append(image);
        } while (reader.jumpToNextImage());
    }
    if (images.isEmpty())
        throw EReadError(QStringLiteral("The icon data is damaged"));
    // One picture per size; the window manager picks among them.
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    FIcon = icon;
    Q_EMIT Changed();
    return true;
}
