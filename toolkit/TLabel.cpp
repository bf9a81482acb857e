#include "toolkit/TLabel.h"

#include "toolkit/TextMetrics.h"

#include <QPainter>

using namespace tk;

TLabel::TLabel(QWidget* parent) : TGraphicControl(parent) {
    SetParentColor(true);
    resize(65, 13);
}

void TLabel::SetAutoSize(bool value) {
    FAutoSize = value;
    AdjustBounds();
}

void TLabel::SetTransparent(bool value) {
    FTransparent = value;
    update();
}

void TLabel::SetAlignment(TAlignment value) {
    FAlignment = value;
    update();
}

void TLabel::SetLayout(TTextLayout value) {
    FLayout = value;
    update();
}

void TLabel::SetWordWrap(bool value) {
    FWordWrap = value;
    AdjustBounds();
}

void TLabel::SetShowAccelChar(bool value) {
    FShowAccelChar = value;
    AdjustBounds();
}

void TLabel::FontChanged() {
    AdjustBounds();
    update();
}

int TLabel::TextFlags() const {
    int flags = FShowAccelChar ? Qt::TextShowMnemonic : 0;
    flags |= FWordWrap ? Qt::TextWordWrap : Qt::TextSingleLine;
    flags |= FAlignment == taRightJustify ? Qt::AlignRight
             : FAlignment == taCenter     ? Qt::AlignHCenter
                                          : Qt::AlignLeft;
    flags |= FLayout == tlBottom ? Qt::AlignBottom : FLayout == tlCenter ? Qt::AlignVCenter : Qt::AlignTop;
    return flags;
}

void TLabel::SetBounds(int left, int top, int width, int height) {
    TGraphicControl::SetBounds(left, top, width, height);
    if (!FAdjusting)
        AdjustBounds();
}

// Sizes the label to its text. A right-aligned label keeps its right edge, so a
// longer translation grows to the left.
void TLabel::AdjustBounds() {
    if (!FAutoSize || FAdjusting || Loading() || Align() != alNone)
        return;
    const QFontMetrics metrics(font());
    const QString text = Caption().isEmpty() ? QStringLiteral(" ") : Caption();
    const int wrapWidth = FWordWrap ? std::max(1, width()) : 0x3FFFFFFF;
    const QRect extent =
        metrics.boundingRect(QRect(0, 0, wrapWidth, 0x3FFFFFFF), TextFlags() & ~Qt::AlignBottom, text);
    const int w = FWordWrap ? width() : extent.width();
    const int lineHeight = GetTextMetrics(font()).Height();
    const int h = FWordWrap
                      ? std::max(lineHeight, extent.height() * lineHeight / std::max(1, metrics.height()))
                      : lineHeight;
    const int left = FAlignment == taRightJustify && !FWordWrap ? Left() + Width() - w : Left();
    FAdjusting = true;
    TGraphicControl::SetBounds(left, Top(), w, h);
    FAdjusting = false;
}

void TLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!FTransparent)
        painter.fillRect(rect(), BackgroundColor());
    painter.setFont(font());
    painter.setPen(Enabled() ? Font()->TextColor() : ColorToQColor(clGrayText));
    // Lines sit on the classic baseline, which lies lower than Qt's own.
    const int drop = GetTextMetrics(font()).Ascent - QFontMetrics(font()).ascent();
    painter.drawText(rect().translated(0, FLayout == tlTop ? drop : 0), TextFlags(), Caption());
}
