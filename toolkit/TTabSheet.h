#pragma once

#include "toolkit/TWinControl.h"

class TPageControl;

// One page of a TPageControl, created as its child. Its Caption is the text of
// its tab. The page control places it in its client area and shows it only while
// it is the active page; its own controls lie relative to it.
class TTabSheet : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int PageIndex READ PageIndex WRITE SetPageIndex STORED false)
    Q_PROPERTY(bool TabVisible READ TabVisible WRITE SetTabVisible)

public:
    explicit TTabSheet(QWidget* parent = nullptr);
    ~TTabSheet() override;

    // The page control it belongs to: its parent, when that is one.
    TPageControl* PageControl() const { return FPageControl; }
    // Its place among the page control's pages; -1 without a page control.
    int PageIndex() const;
    void SetPageIndex(int value);
    // A page whose tab is hidden cannot become the active page.
    bool TabVisible() const { return FTabVisible; }
    void SetTabVisible(bool value);

    // The page control decides where a page lies.
    void SetBounds(int left, int top, int width, int height) override;

protected:
    void CaptionChanged() override;
    void paintEvent(QPaintEvent* event) override;

private:
    TPageControl* FPageControl = nullptr;
    bool FTabVisible = true;

    friend class TPageControl;
};
