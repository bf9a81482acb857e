#pragma once

#include "toolkit/Types.h"

#include <QBrush>
#include <QObject>

// How a shape's inside is filled: a colour and a fill style.
class TBrush : public QObject {
    Q_OBJECT
    Q_PROPERTY(tk::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(TBrushStyle Style READ Style WRITE SetStyle)

public:
    enum TBrushStyle : int {
        bsSolid,
        bsClear,
        bsHorizontal,
        bsVertical,
        bsFDiagonal,
        bsBDiagonal,
        bsCross,
        bsDiagCross
    };
    Q_ENUM(TBrushStyle)

    explicit TBrush(QObject* parent = nullptr) : QObject(parent) {}

    tk::TColor Color() const { return FColor; }
    void SetColor(tk::TColor value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);

    // No brush at all for bsClear.
    QBrush ToQBrush() const;

Q_SIGNALS:
    void Changed();

private:
    tk::TColor FColor = tk::clWhite;
    TBrushStyle FStyle = bsSolid;
};
