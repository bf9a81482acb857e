#include "toolkit/TPen.h"

#include <algorithm>

void TPen::SetColor(tk::TColor value) {
    if (FColor == value)
        return;
    FColor = value;
    Q_EMIT Changed();
}

void TPen::SetStyle(TPenStyle value) {
    if (FStyle == value)
        return;
    FStyle = value;
    Q_EMIT Changed();
}

void TPen::SetWidth(int value) {
    value = std::max(1, value);
    if (FWidth == value)
        return;
    FWidth = value;
    Q_EMIT Changed();
}

QPen TPen::ToQPen() const {
    Qt::PenStyle style = Qt::SolidLine;
    switch (FStyle) {
        case psSolid:
        case psInsideFrame:
            style = Qt::SolidLine;
            break;
        case psDash:
            style = Qt::DashLine;
            break;
        case psDot:
            style = Qt::DotLine;
            break;
        case psDashDot:
            style = Qt::DashDotLine;
            break;
        case psDashDotDot:
            style = Qt::DashDotDotLine;
            break;
        case psClear:
            return Qt::NoPen;
    }
    QPen pen(tk::ColorToQColor(FColor), FWidth, style);
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}
