#include "toolkit/TIcon.h"

#include "toolkit/Exception.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>

bool TIcon::ReadDefinedProperty(const QString& name, const TStreamValue& value) {
    if (name != QLatin1String("Data") || value.Kind != TStreamValue::vaBinary)
        return false;
    QByteArray bytes = value.Bytes;
    QBuffer buffer(&bytes);
    QImageReader reader(&buffer, "ICO");
    QIcon icon;
    // An .ico file holds one picture per size; the window manager picks among them.
    do {
        const QImage image = reader.read();
        if (image.isNull())
            break;
        icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    if (icon.isNull())
        throw EReadError(QStringLiteral("The icon data is damaged"));
    FIcon = icon;
    emit Changed();
    return true;
}
