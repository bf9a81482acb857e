#pragma once

#include "toolkit/TTabSheet.h"
#include "toolkit/TWinControl.h"

// A stack of pages (TTabSheet children) with a row of tabs above them, one tab
// per page, showing the page's Caption. Only the active page is shown, in the
// client area below the tabs, laid out as the system's tab control does: a
// 471 x 255 control with one row of tabs holds its pages at 4, 24, 463 x 227.
// With MultiLine the tabs that do not fit wrap onto further rows, each row
// stretched to the full width, and the row of the active tab lies next to the
// pages. The user changes pages by clicking a tab, with the arrow keys while the
// control has the focus, and with Ctrl+Tab and Ctrl+Shift+Tab from anywhere on
// it; only those changes raise OnChanging (which may refuse) and OnChange.
class TPageControl : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(TTabSheet* ActivePage READ ActivePage WRITE SetActivePage)
    Q_PROPERTY(int ActivePageIndex READ ActivePageIndex WRITE SetActivePageIndex STORED false)
    Q_PROPERTY(bool MultiLine READ MultiLine WRITE SetMultiLine)
    Q_PROPERTY(int TabHeight READ TabHeight WRITE SetTabHeight)
    Q_PROPERTY(int TabWidth READ TabWidth WRITE SetTabWidth)
    Q_PROPERTY(TMethod OnChange READ OnChange WRITE SetOnChange)
    Q_PROPERTY(TMethod OnChanging READ OnChanging WRITE SetOnChanging)

public:
    explicit TPageControl(QWidget* parent = nullptr);
    ~TPageControl() override;

    int PageCount() const { return static_cast<int>(FPages.size()); }
    // Null for an index outside 0..PageCount()-1.
    TTabSheet* Pages(int index) const { return FPages.value(index); }

    TTabSheet* ActivePage() const { return FActivePage; }
    // Shows `page` and hides the one before; a page of another control, or one
    // whose tab is hidden, is refused. Raises no event.
    void SetActivePage(TTabSheet* page);
    // -1 without an active page; an index outside the pages leaves none active.
    int ActivePageIndex() const;
    void SetActivePageIndex(int value);
    bool MultiLine() const { return FMultiLine; }
    void SetMultiLine(bool value);
    // Zero: sized to the font (tabs) and to the caption (each tab).
    int TabHeight() const { return FTabHeight; }
    void SetTabHeight(int value);
    int TabWidth() const { return FTabWidth; }
    void SetTabWidth(int value);
    TMethod OnChange() const { return FOnChange; }
    void SetOnChange(const TMethod& value) { FOnChange = value; }
    TMethod OnChanging() const { return FOnChanging; }
    void SetOnChanging(const TMethod& value) { FOnChanging = value; }

    // Makes `page` active as the user would, by its tab: OnChanging may refuse,
    // OnChange follows.
    void ChangeActivePage(TTabSheet* page);
    // The next (or previous) page with a visible tab after the active one, wrapping
    // around; made active as the user would make it, events included.
    void SelectNextPage(bool forward);

    // The area the pages fill.
    QRect DisplayRect() const;
    // The rows of tabs, and where the tab of `page` lies (empty when it has none).
    int RowCount() const { return FRowCount; }
    QRect TabRect(const TTabSheet* page) const;
    // The page whose tab lies at `point`, or null.
    TTabSheet* PageAt(const QPoint& point) const;

    void SetBounds(int left, int top, int width, int height) override;

protected:
    void Loaded() override;
    void FontChanged() override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Ctrl+Tab and Ctrl+Shift+Tab, wherever the focus lies on the control.
    bool DialogKey(int key, Qt::KeyboardModifiers modifiers) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    friend class TTabSheet;

    struct TTab {
        TTabSheet* Page;
        QRect Bounds;
    };

    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void MovePage(TTabSheet* page, int index);
    void TabVisibilityChanged(TTabSheet* page);
    // A caption, a font or the set of tabs changed: lays the tabs out again.
    void TabsChanged();
    void LayoutTabs();
    void PlacePages();
    int RowHeight() const;
    // Where the pages' frame starts, below the rows of tabs.
    int FrameTop() const;
    TTabSheet* NeighbourPage(TTabSheet* from, bool forward, bool wrap) const;
    void DrawTab(QPainter& painter, const TTab& tab, bool active) const;

    QList<TTabSheet*> FPages;
    TTabSheet* FActivePage = nullptr;
    QList<TTab> FTabs;
    TNotifyEvent FOnChange;
    TEvent<QObject*, bool&> FOnChanging;
    int FRowCount = 1;
    int FTabHeight = 0;
    int FTabWidth = 0;
    bool FMultiLine = false;
};
