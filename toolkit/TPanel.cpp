#include "toolkit/TPanel.h"

#include <QPainter>

using namespace tk;

TPanel::TPanel(QWidget* parent) : TWinControl(parent) {
    resize(185, 41);
}

void TPanel::SetBevelInner(TBevelCut value) {
    FBevelInner = value;
    update();
}

void TPanel::SetBevelOuter(TBevelCut value) {
    FBevelOuter = value;
    update();
}

void TPanel::SetBevelWidth(int value) {
    FBevelWidth = std::max(1, value);
    update();
}

void TPanel::SetBorderStyle(TFormBorderStyle value) {
    FBorderStyle = value;
    update();
}

void TPanel::SetAlignment(TAlignment value) {
    FAlignment = value;
    update();
}

void TPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QRect r = rect();
    painter.fillRect(r, BackgroundColor());
    const QColor light = ColorToQColor(clBtnHighlight);
    const QColor dark = ColorToQColor(clBtnShadow);
    auto bevel = [&](TBevelCut cut) {
        if (cut == bvNone)
            return;
        for (int i = 0; i < FBevelWidth; ++i) {
            if (cut != bvSpace) {
                const QColor topLeft = cut == bvRaised ? light : dark;
                const QColor bottomRight = cut == bvRaised ? dark : light;
                painter.setPen(topLeft);
                painter.drawLine(r.topLeft(), r.topRight());
                painter.drawLine(r.topLeft(), r.bottomLeft());
                painter.setPen(bottomRight);
                painter.drawLine(r.bottomLeft(), r.bottomRight());
                painter.drawLine(r.topRight(), r.bottomRight());
            }
            r.adjust(1, 1, -1, -1);
        }
    };
    if (FBorderStyle == bsSingle) {
        painter.setPen(ColorToQColor(clWindowFrame));
        painter.drawRect(r.adjusted(0, 0, -1, -1));
        r.adjust(1, 1, -1, -1);
    }
    bevel(FBevelOuter);
    bevel(FBevelInner);
    if (!Caption().isEmpty()) {
        const int h = FAlignment == taLeftJustify    ? Qt::AlignLeft
                      : FAlignment == taRightJustify ? Qt::AlignRight
                                                     : Qt::AlignHCenter;
        painter.setFont(font());
        painter.setPen(Font()->TextColor());
        painter.drawText(r, h | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, Caption());
    }
}
