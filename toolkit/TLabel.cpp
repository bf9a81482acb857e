#include "toolkit/TLabel.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

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
    if (!FAdjusting) {
        FBoxHeight = height;
        AdjustBounds();
    }
}

const TTextLine& TLabel::Line() const {
    const QString text = Caption().isEmpty() ? QStringLiteral(" ") : Caption();
    const QString fontKey = font().key();
    if (text != FLineText || fontKey != FLineFont) {
        FLine = GetTextLine(font(), text);
        FLineText = text;
        FLineFont = fontKey;
    }
    return FLine;
}

int TLabel::TextHeight() const {
    const TTextLine& line = Line();
    if (!FWordWrap)
        return line.Height();
    const QString text = Caption().isEmpty() ? QStringLiteral(" ") : Caption();
    const QRect extent = QFontMetrics(font()).boundingRect(QRect(0, 0, std::max(1, width()), 0x3FFFFFFF),
                                                           TextFlags() & ~Qt::AlignBottom, text);
    return std::max(1, qRound(double(extent.height()) / std::max(1, line.QtLine.Height()))) * line.Height();
}

// Sizes the label to its text. A right-aligned label keeps its right edge, so a
// longer translation grows to the left.
void TLabel::AdjustBounds() {
    if (FAdjusting || Loading() || Align() != alNone)
        return;
    int left = Left(), w = Width(), h = Height();
    if (!FAutoSize) {
        h = FWordWrap ? h : std::max(FBoxHeight, Line().Height());
    } else {
        if (!FWordWrap) {
            const QString text = Caption().isEmpty() ? QStringLiteral(" ") : Caption();
            w = QFontMetrics(font())
                    .boundingRect(QRect(0, 0, 0x3FFFFFFF, 0x3FFFFFFF), TextFlags() & ~Qt::AlignBottom, text)
                    .width();
            if (FAlignment == taRightJustify)
                left = Left() + Width() - w;
        }
        h = TextHeight();
    }
    if (left == Left() && w == Width() && h == Height())
        return;
    FAdjusting = true;
    TGraphicControl::SetBounds(left, Top(), w, h);
    FAdjusting = false;
}

void TLabel::ClickHandlerChanged() {
    setFocusPolicy(IsLink() ? Qt::TabFocus : Qt::NoFocus);
    if (!IsLink() && hasFocus())
        clearFocus();
}

void TLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!FTransparent)
        painter.fillRect(rect(), BackgroundColor());
    // The focused link looks as it does under the mouse, in its own colours.
    const bool focused = hasFocus();
    QFont textFont = font();
    if (focused)
        textFont.setUnderline(true);
    painter.setFont(textFont);
    const QColor textColour = Enabled() ? Font()->TextColor() : ColorToQColor(clGrayText);
    painter.setPen(textColour);
    // Lines sit on the classic baseline, which lies lower than Qt's own.
    const TTextLine& line = Line();
    const int drop = line.Ascent - line.QtLine.Ascent;
    painter.drawText(rect().translated(0, FLayout == tlTop ? drop : 0), TextFlags(), Caption());
    if (focused) {
        // The style's frame, in the text's colour over the label's own background,
        // so that it shows on the blue panel as on the white one.
        QStyleOptionFocusRect frame;
        frame.initFrom(this);
        frame.backgroundColor = BackgroundColor();
        frame.palette.setColor(QPalette::Highlight, textColour);
        frame.palette.setColor(QPalette::Window, Qt::transparent);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
    }
}

void TLabel::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool activates = key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
    if (!IsLink() || !activates || (event->modifiers() & ~Qt::KeypadModifier)) {
        TGraphicControl::keyPressEvent(event);
        return;
    }
    event->accept();
    // Holding the key down clicks once.
    if (!event->isAutoRepeat())
        Click();
}

void TLabel::focusInEvent(QFocusEvent* event) {
    TGraphicControl::focusInEvent(event);
    update();
}

void TLabel::focusOutEvent(QFocusEvent* event) {
    TGraphicControl::focusOutEvent(event);
    update();
}
