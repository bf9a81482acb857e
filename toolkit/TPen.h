#pragma once

#include "toolkit/Types.h"

#include <QObject>
#include <QPen>

// How a shape's outline is drawn: a colour, a line style and a width in pixels.
class TPen : public QObject {
    Q_OBJECT
    Q_PROPERTY(tk::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TPenStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)

public:
    enum TPenStyle : int { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
    Q_ENUM(TPenStyle)

    explicit TPen(QObject* parent = nullptr) : QObject(parent) {}

    tk::TColor Color() const { return FColor; }
    void SetColor(tk::TColor value);
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value);
    int Width() const { return FWidth; }
    // At least 1.
    void SetWidth(int value);

    // No pen at all for psClear.
    QPen ToQPen() const;

Q_SIGNALS:
    void Changed();

private:
    tk::TColor FColor = tk::clBlack;
    TPenStyle FStyle = psSolid;
    int FWidth = 1;
};
