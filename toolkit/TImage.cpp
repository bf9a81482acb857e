#include "toolkit/TImage.h"

#include <QPainter>

TImage::TImage(QWidget* parent) : TGraphicControl(parent), FPicture(new TPicture(this)) {
    connect(FPicture, &TPicture::Changed, this, qOverload<>(&QWidget::update));
    resize(105, 105);
}

void TImage::SetStretch(bool value) {
    FStretch = value;
    update();
}

void TImage::SetCenter(bool value) {
    FCenter = value;
    update();
}

void TImage::SetProportional(bool value) {
    FProportional = value;
    update();
}

void TImage::SetTransparent(bool value) {
    FTransparent = value;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    const QImage& image = FPicture->Image();
    if (image.isNull())
        return;
    QSize size = image.size();
    if (FStretch)
        size = FProportional ? size.scaled(this->size(), Qt::KeepAspectRatio) : this->size();
    QRect target(QPoint(0, 0), size);
    if (FCenter)
        target.moveCenter(rect().center());
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, FStretch);
    painter.drawImage(target, image);
}
