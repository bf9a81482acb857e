#pragma once

#include "toolkit/TGraphicControl.h"
#include "toolkit/TextMetrics.h"

// A line of text. With AutoSize it is exactly as large as its text in its font;
// without, a box made for one line still grows to the line of the faces the text
// is drawn in (a CJK face drawing what the font lacks has a taller line), so no
// text is cut. With Transparent whatever lies below shows through. "&x" underlines x unless
// ShowAccelChar is off.
//
// A label with an OnClick handler is a link. Tab reaches it (a click does not
// focus it), Enter and Space click it, and while it has the focus it is
// underlined, as under the mouse, inside the style's focus frame.
class TLabel : public TGraphicControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(tk::TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(tk::TTextLayout Layout READ Layout WRITE SetLayout)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool ShowAccelChar READ ShowAccelChar WRITE SetShowAccelChar)

public:
    explicit TLabel(QWidget* parent = nullptr);

    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    tk::TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(tk::TAlignment value);
    tk::TTextLayout Layout() const { return FLayout; }
    void SetLayout(tk::TTextLayout value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);

    void SetBounds(int left, int top, int width, int height) override;

    // The height the caption takes at the label's width: whole lines of the faces it
    // is drawn in, as many as it wraps into. What AutoSize gives it.
    int TextHeight() const;
    // The height it was given from outside (its form's, say), before it grew to its line.
    int BoxHeight() const { return FBoxHeight; }

    bool IsLink() const { return OnClick().Assigned(); }

protected:
    void CaptionChanged() override { AdjustBounds(); }
    void ClickHandlerChanged() override;
    void FontChanged() override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int TextFlags() const;
    void AdjustBounds();
    // The caption's line in the label's font, kept until either changes.
    const TTextLine& Line() const;

    tk::TAlignment FAlignment = tk::taLeftJustify;
    tk::TTextLayout FLayout = tk::tlTop;
    bool FAutoSize = true;
    bool FTransparent = false;
    bool FWordWrap = false;
    bool FShowAccelChar = true;
    bool FAdjusting = false;
    // The height given from outside, which a label without AutoSize keeps unless its
    // line needs more.
    int FBoxHeight = 13;
    mutable TTextLine FLine;
    mutable QString FLineText, FLineFont;
};
