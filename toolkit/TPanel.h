#pragma once

#include "toolkit/TWinControl.h"

// A container with a background colour, optional bevels and a centred caption.
class TPanel : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(tk::TBevelCut BevelInner READ BevelInner WRITE SetBevelInner)
    Q_PROPERTY(tk::TBevelCut BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(int BevelWidth READ BevelWidth WRITE SetBevelWidth)
    Q_PROPERTY(tk::TFormBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(tk::TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool ParentBackground READ ParentBackground WRITE SetParentBackground)
    Q_PROPERTY(bool FullRepaint READ FullRepaint WRITE SetFullRepaint)
    Q_PROPERTY(bool DoubleBuffered READ DoubleBuffered WRITE SetDoubleBuffered)

public:
    explicit TPanel(QWidget* parent = nullptr);

    tk::TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(tk::TBevelCut value);
    tk::TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(tk::TBevelCut value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);
    tk::TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(tk::TFormBorderStyle value);
    tk::TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(tk::TAlignment value);
    bool ParentBackground() const { return FParentBackground; }
    void SetParentBackground(bool value) { FParentBackground = value; }
    bool FullRepaint() const { return FFullRepaint; }
    void SetFullRepaint(bool value) { FFullRepaint = value; }
    // Every window is painted off-screen first; the flag is kept for the forms.
    bool DoubleBuffered() const { return FDoubleBuffered; }
    void SetDoubleBuffered(bool value) { FDoubleBuffered = value; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    tk::TBevelCut FBevelInner = tk::bvNone;
    tk::TBevelCut FBevelOuter = tk::bvRaised;
    int FBevelWidth = 1;
    tk::TFormBorderStyle FBorderStyle = tk::bsNone;
    tk::TAlignment FAlignment = tk::taCenter;
    bool FParentBackground = true;
    bool FFullRepaint = true;
    bool FDoubleBuffered = false;
};
