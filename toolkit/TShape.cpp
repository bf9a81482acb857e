#include "toolkit/TShape.h"

#include <QPainter>

#include <algorithm>

TShape::TShape(QWidget* parent) : TGraphicControl(parent), FBrush(new TBrush(this)), FPen(new TPen(this)) {
    connect(FBrush, &TBrush::Changed, this, qOverload<>(&QWidget::update));
    connect(FPen, &TPen::Changed, this, qOverload<>(&QWidget::update));
    resize(65, 65);
}

void TShape::SetShape(TShapeType value) {
    if (FShape == value)
        return;
    FShape = value;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    const QPen pen = FPen->ToQPen();
    const int penWidth = pen.style() == Qt::NoPen ? 0 : FPen->Width();
    // The outline lies inside the bounds: a pen of width w covers the outer w pixels.
    QRectF figure(penWidth / 2.0, penWidth / 2.0, width() - penWidth, height() - penWidth);
    if (figure.width() < 0 || figure.height() < 0)
        return;
    const qreal side = std::min(figure.width(), figure.height());
    if (FShape == stSquare || FShape == stRoundSquare || FShape == stCircle) {
        const QPointF centre = figure.center();
        figure.setSize(QSizeF(side, side));
        figure.moveCenter(centre);
    }
    QPainter painter(this);
    painter.setPen(pen);
    painter.setBrush(FBrush->ToQBrush());
    if (FBrush->Style() != TBrush::bsSolid && FBrush->Style() != TBrush::bsClear)
        painter.setBackgroundMode(Qt::TransparentMode);
    switch (FShape) {
        case stRectangle:
        case stSquare:
            if (penWidth == 0)
                painter.fillRect(figure, painter.brush());
            else
                painter.drawRect(figure);
            break;
        case stRoundRect:
        case stRoundSquare:
            painter.setRenderHint(QPainter::Antialiasing);
            painter.drawRoundedRect(figure, side / 8, side / 8);
            break;
        case stEllipse:
        case stCircle:
            painter.setRenderHint(QPainter::Antialiasing);
            painter.drawEllipse(figure);
            break;
    }
}
