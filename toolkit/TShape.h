#pragma once

#include "toolkit/TBrush.h"
#include "toolkit/TGraphicControl.h"
#include "toolkit/TPen.h"

// A rectangle, square, rounded rectangle, ellipse or circle drawn with Pen and
// filled with Brush, fitted into the control's bounds. Outside the figure the
// control is transparent.
class TShape : public TGraphicControl {
    Q_OBJECT
    Q_PROPERTY(TShapeType Shape READ Shape WRITE SetShape)
    Q_PROPERTY(TBrush* Brush READ Brush)
    Q_PROPERTY(TPen* Pen READ Pen)

public:
    enum TShapeType : int { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };
    Q_ENUM(TShapeType)

    explicit TShape(QWidget* parent = nullptr);

    TShapeType Shape() const { return FShape; }
    void SetShape(TShapeType value);
    TBrush* Brush() const { return FBrush; }
    TPen* Pen() const { return FPen; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TShapeType FShape = stRectangle;
    TBrush* FBrush;
    TPen* FPen;
};
