#pragma once

#include "core/IStreamable.h"

#include <QImage>
#include <QObject>

#include <functional>

// A picture as form descriptions store it: its "Data" is the graphic's class name
// (one length byte, then the name) followed by that graphic's own data. Decoders
// are registered by graphic class; TBitmap (a BMP file behind a 32-bit size) and
// TIcon (an .ico file) are built in.
class TPicture : public QObject, public IStreamable {
    Q_OBJECT

public:
    using TDecoder = std::function<QImage(const QByteArray& data)>;

    explicit TPicture(QObject* parent = nullptr) : QObject(parent) {}

    const QImage& Image() const { return FImage; }
    QString GraphicClass() const { return FGraphicClass; }
    void SetImage(const QImage& image, const QString& graphicClass);
    void LoadFromData(const QByteArray& data);

    bool ReadDefinedProperty(const QString& name, const TStreamValue& value) override;

    // A decoder returns a null image for data it cannot read.
    static void RegisterGraphicClass(const QString& name, TDecoder decoder);

Q_SIGNALS:
    void Changed();

private:
    QImage FImage;
    QString FGraphicClass;
};
