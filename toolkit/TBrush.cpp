#include "toolkit/TBrush.h"

void TBrush::SetColor(tk::TColor value) {
    if (FColor == value)
        return;
    FColor = value;
    Q_EMIT Changed();
}

void TBrush::SetStyle(TBrushStyle value) {
    if (FStyle == value)
        return;
    FStyle = value;
    Q_EMIT Changed();
}

QBrush TBrush::ToQBrush() const {
    Qt::BrushStyle style = Qt::SolidPattern;
    switch (FStyle) {
        case bsSolid:
            style = Qt::SolidPattern;
            break;
        case bsClear:
            return Qt::NoBrush;
        case bsHorizontal:
            style = Qt::HorPattern;
            break;
        case bsVertical:
            style = Qt::VerPattern;
            break;
        case bsFDiagonal:
            style = Qt::FDiagPattern;
            break;
        case bsBDiagonal:
            style = Qt::BDiagPattern;
            break;
        case bsCross:
            style = Qt::CrossPattern;
            break;
        case bsDiagCross:
            style = Qt::DiagCrossPattern;
            break;
    }
    return QBrush(tk::ColorToQColor(FColor), style);
}
