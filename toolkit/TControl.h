#pragma once

#include "core/TEvent.h"
#include "toolkit/TFont.h"
#include "toolkit/Types.h"

#include <QWidget>

class TForm;

// The base of every visible component: position and size in pixels relative to
// the parent, visibility, Tag, cursor, font with ParentFont, colour with
// ParentColor, alignment in the parent, and the mouse events.
class TControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int Left READ Left WRITE SetLeft)
    Q_PROPERTY(int Top READ Top WRITE SetTop)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(tk::TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(tk::TAnchors Anchors READ Anchors WRITE SetAnchors)
    Q_PROPERTY(bool Visible READ Visible WRITE SetVisible)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)
    Q_PROPERTY(int Tag READ Tag WRITE SetTag)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(bool ParentShowHint READ ParentShowHint WRITE SetParentShowHint)
    Q_PROPERTY(tk::TCursor Cursor READ Cursor WRITE SetCursor)
    Q_PROPERTY(TFont* Font READ Font)
    Q_PROPERTY(bool ParentFont READ ParentFont WRITE SetParentFont)
    Q_PROPERTY(tk::TColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(TMethod OnClick READ OnClick WRITE SetOnClick)
    Q_PROPERTY(TMethod OnMouseEnter READ OnMouseEnter WRITE SetOnMouseEnter)
    Q_PROPERTY(TMethod OnMouseLeave READ OnMouseLeave WRITE SetOnMouseLeave)

public:
    explicit TControl(QWidget* parent = nullptr);

    QString Name() const { return objectName(); }
    int Left() const { return x(); }
    void SetLeft(int value) { SetBounds(value, Top(), Width(), Height()); }
    int Top() const { return y(); }
    void SetTop(int value) { SetBounds(Left(), value, Width(), Height()); }
    int Width() const { return width(); }
    void SetWidth(int value) { SetBounds(Left(), Top(), value, Height()); }
    int Height() const { return height(); }
    void SetHeight(int value) { SetBounds(Left(), Top(), Width(), value); }
    virtual void SetBounds(int left, int top, int width, int height);

    tk::TAlign Align() const { return FAlign; }
    void SetAlign(tk::TAlign value);
    tk::TAnchors Anchors() const { return FAnchors; }
    void SetAnchors(tk::TAnchors value) { FAnchors = value; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool value);
    // The control's own flag: a control on a disabled window keeps its look.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value) {
        FEnabled = value;
        setEnabled(value);
    }
    int Tag() const { return FTag; }
    void SetTag(int value) { FTag = value; }
    QString Hint() const { return FHint; }
    void SetHint(const QString& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return FParentShowHint; }
    void SetParentShowHint(bool value) { FParentShowHint = value; }
    tk::TCursor Cursor() const { return FCursor; }
    void SetCursor(tk::TCursor value);

    TFont* Font() const { return FFont; }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool value);
    tk::TColor Color() const { return FColor; }
    void SetColor(tk::TColor value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);
    // The colour the control is painted with, ParentColor resolved.
    QColor BackgroundColor() const;

    // The text of controls that have one (labels, panels, buttons, windows).
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);

    TMethod OnClick() const { return FOnClick; }
    void SetOnClick(const TMethod& value) {
        FOnClick = value;
        ClickHandlerChanged();
    }
    TMethod OnMouseEnter() const { return FOnMouseEnter; }
    void SetOnMouseEnter(const TMethod& value) { FOnMouseEnter = value; }
    TMethod OnMouseLeave() const { return FOnMouseLeave; }
    void SetOnMouseLeave(const TMethod& value) { FOnMouseLeave = value; }

    // Does what a click does: raises OnClick.
    virtual void Click();
    TControl* ParentControl() const;
    // The form the control lies on (itself for a form).
    TForm* ParentForm() const;

    // While a form description is read, controls defer their font and size work:
    // the reader creates them inside a TStreamingScope and ends their loading
    // state once every property is set.
    class TStreamingScope {
    public:
        TStreamingScope() { ++FStreamingDepth; }
        ~TStreamingScope() { --FStreamingDepth; }
        TStreamingScope(const TStreamingScope&) = delete;
        TStreamingScope& operator=(const TStreamingScope&) = delete;
    };
    bool Loading() const { return FLoading; }
    void BeginLoading() { FLoading = true; }
    // Applies what loading deferred, then Loaded().
    void EndLoading();
    // Runs once the whole form description has been read.
    virtual void Loaded() {}

protected:
    virtual void CaptionChanged() {}
    // OnClick was set or cleared.
    virtual void ClickHandlerChanged() {}
    // A key that the form offers to the focused control's containers, innermost
    // first, before the control itself sees it (Ctrl+Tab for a page control);
    // true when taken, and the control never sees the key.
    virtual bool DialogKey(int /*key*/, Qt::KeyboardModifiers /*modifiers*/) { return false; }
    virtual void FontChanged() { update(); }
    // Containers lay out their aligned children; plain controls have none.
    virtual void RequestAlign() {}

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void ApplyFont();
    void ApplyCursor();
    void ParentFontChanged();
    void ParentColorChanged();

    QString FCaption;
    QString FHint;
    TFont* FFont;
    TNotifyEvent FOnClick, FOnMouseEnter, FOnMouseLeave;
    tk::TAlign FAlign = tk::alNone;
    tk::TAnchors FAnchors = tk::TAnchors(tk::akLeft | tk::akTop);
    tk::TCursor FCursor = tk::crDefault;
    tk::TColor FColor = tk::clBtnFace;
    int FTag = 0;
    bool FVisible = true;
    bool FEnabled = true;
    bool FShowHint = false;
    bool FParentShowHint = true;
    bool FParentFont = true;
    bool FParentColor = false;
    bool FCopyingParentFont = false;
    bool FFontApplied = false;
    bool FLoading;
    static inline int FStreamingDepth = 0;
    bool FPressed = false;

    friend class TWinControl;
    friend class TForm;
};
