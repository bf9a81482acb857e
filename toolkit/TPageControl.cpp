#include "toolkit/TPageControl.h"

#include "toolkit/TextMetrics.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>

using namespace tk;

namespace {

// Room on either side of a caption on its tab.
constexpr int kTabPadding = 6;
// Tabs larger than any screen are cut to this.
constexpr int kMaxTabSize = 0x7FFF;

}  // namespace

TPageControl::TPageControl(QWidget* parent) : TWinControl(parent) {
    setFocusPolicy(Qt::StrongFocus);
    resize(289, 193);
}

TPageControl::~TPageControl() {
    // The pages die with the widget, after this object: they must not call back.
    for (TTabSheet* page : std::as_const(FPages))
        page->FPageControl = nullptr;
}

void TPageControl::InsertPage(TTabSheet* page) {
    FPages.append(page);
    page->FPageControl = this;
    page->SetVisible(false);
    TabsChanged();
}

void TPageControl::RemovePage(TTabSheet* page) {
    if (FActivePage == page) {
        TTabSheet* next = NeighbourPage(page, true, false);
        if (!next)
            next = NeighbourPage(page, false, false);
        FActivePage = nullptr;
        SetActivePage(next);
    }
    FPages.removeAll(page);
    page->FPageControl = nullptr;
    TabsChanged();
}

void TPageControl::MovePage(TTabSheet* page, int index) {
    const qsizetype from = FPages.indexOf(page);
    if (from < 0)
        return;
    FPages.move(from, std::clamp<qsizetype>(index, 0, FPages.size() - 1));
    TabsChanged();
}

void TPageControl::TabVisibilityChanged(TTabSheet* page) {
    if (page == FActivePage && !page->TabVisible()) {
        TTabSheet* next = NeighbourPage(page, true, false);
        if (!next)
            next = NeighbourPage(page, false, false);
        page->SetVisible(false);
        FActivePage = nullptr;
        SetActivePage(next);
    }
    TabsChanged();
}

TTabSheet* TPageControl::NeighbourPage(TTabSheet* from, bool forward, bool wrap) const {
    const qsizetype count = FPages.size();
    const qsizetype start = FPages.indexOf(from);
    for (qsizetype step = 1; step <= count; ++step) {
        qsizetype i = start < 0 ? (forward ? step - 1 : count - step) : start + (forward ? step : -step);
        if (i < 0 || i >= count) {
            if (!wrap)
                return nullptr;
            i = (i + count) % count;
        }
        if (FPages[i] != from && FPages[i]->TabVisible())
            return FPages[i];
    }
    return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* page) {
    if (page && (page->FPageControl != this || !page->TabVisible()))
        return;
    if (page == FActivePage)
        return;
    TTabSheet* old = FActivePage;
    FActivePage = page;
    // Focus inside the page that goes away comes to the tabs, as it does when
    // the user clicks one.
    if (old && old->isAncestorOf(QApplication::focusWidget()) && TabStop())
        setFocus(Qt::OtherFocusReason);
    if (page) {
        page->SetVisible(true);
        page->raise();
    }
    if (old)
        old->SetVisible(false);
    LayoutTabs();
    update();
    if (QAccessible::isActive()) {
        QAccessible::State selected;
        selected.selected = true;
        for (TTabSheet* tab : {old, page}) {
            if (!tab)
                continue;
            QAccessibleStateChangeEvent event(tab, selected);
            QAccessible::updateAccessibility(&event);
        }
    }
}

int TPageControl::ActivePageIndex() const {
    return static_cast<int>(FPages.indexOf(FActivePage));
}

void TPageControl::SetActivePageIndex(int value) {
    if (value < 0 || value >= FPages.size()) {
        if (FActivePage) {
            FActivePage->SetVisible(false);
            FActivePage = nullptr;
            LayoutTabs();
            update();
        }
        return;
    }
    SetActivePage(FPages[value]);
}

void TPageControl::SetMultiLine(bool value) {
    FMultiLine = value;
    TabsChanged();
}

void TPageControl::SetTabHeight(int value) {
    FTabHeight = std::clamp(value, 0, kMaxTabSize);
    TabsChanged();
}

void TPageControl::SetTabWidth(int value) {
    FTabWidth = std::clamp(value, 0, kMaxTabSize);
    TabsChanged();
}

void TPageControl::Loaded() {
    TWinControl::Loaded();
    if (!FActivePage)
        SetActivePage(NeighbourPage(nullptr, true, false));
    TabsChanged();
}

void TPageControl::FontChanged() {
    TWinControl::FontChanged();
    TabsChanged();
}

void TPageControl::SetBounds(int left, int top, int width, int height) {
    TWinControl::SetBounds(left, top, width, height);
    TabsChanged();
}

void TPageControl::resizeEvent(QResizeEvent* event) {
    TWinControl::resizeEvent(event);
    TabsChanged();
}

void TPageControl::TabsChanged() {
    if (Loading())
        return;
    LayoutTabs();
    PlacePages();
    update();
}

int TPageControl::RowHeight() const {
    return FTabHeight > 0 ? FTabHeight : GetTextMetrics(font()).Height() + 5;
}

void TPageControl::LayoutTabs() {
    FTabs.clear();
    const QFontMetrics metrics(font());
    const int available = std::max(1, width() - 4);
    QList<QList<int>> rows(1);
    QList<int> widths;
    qint64 x = 0;
    for (TTabSheet* page : std::as_const(FPages)) {
        if (!page->TabVisible())
            continue;
        const int text = metrics.size(Qt::TextShowMnemonic, page->Caption()).width();
        const int w = FTabWidth > 0 ? FTabWidth : std::min(text, kMaxTabSize) + 2 * kTabPadding;
        if (FMultiLine && x > 0 && x + w > available) {
            rows.append(QList<int>());
            x = 0;
        }
        rows.last().append(static_cast<int>(FTabs.size()));
        FTabs.append({page, QRect()});
        widths.append(w);
        x += w;
    }
    FRowCount = static_cast<int>(rows.size());
    int activeRow = 0;
    for (int r = 0; r < FRowCount; ++r)
        for (int k : rows[r])
            if (FTabs[k].Page == FActivePage)
                activeRow = r;
    const int height = RowHeight();
    for (int r = 0; r < FRowCount; ++r) {
        // The rows turn so that the active tab's row lies next to the pages.
        const int position = (r + FRowCount - 1 - activeRow) % FRowCount;
        const int y = static_cast<int>(std::min<qint64>(2 + qint64(position) * height, QWIDGETSIZE_MAX));
        const QList<int>& row = rows[r];
        qint64 total = 0;
        for (int k : row)
            total += widths[k];
        const qint64 extra = FRowCount > 1 ? std::max<qint64>(0, available - total) : 0;
        const qint64 n = row.size();
        qint64 left = 2;
        for (qint64 i = 0; i < n; ++i) {
            const qint64 w = widths[row[i]] + extra * (i + 1) / n - extra * i / n;
            // Tabs beyond any width a widget can have are never seen; they only must not wrap around.
            FTabs[row[i]].Bounds = QRect(static_cast<int>(std::min<qint64>(left, QWIDGETSIZE_MAX)), y,
                                         static_cast<int>(w), height);
            left += w;
        }
    }
}

int TPageControl::FrameTop() const {
    return static_cast<int>(std::min<qint64>(2 + qint64(FRowCount) * RowHeight(), QWIDGETSIZE_MAX));
}

QRect TPageControl::DisplayRect() const {
    const int top = FrameTop() + 4;
    return QRect(4, top, std::max(0, width() - 8), std::max(0, height() - top - 4));
}

void TPageControl::PlacePages() {
    const QRect area = DisplayRect();
    for (TTabSheet* page : std::as_const(FPages))
        page->setGeometry(area);
}

QRect TPageControl::TabRect(const TTabSheet* page) const {
    for (const TTab& tab : FTabs)
        if (tab.Page == page)
            return tab.Bounds;
    return QRect();
}

TTabSheet* TPageControl::PageAt(const QPoint& point) const {
    // The active tab stands out above its neighbours and is found first.
    for (const TTab& tab : FTabs)
        if (tab.Page == FActivePage && tab.Bounds.adjusted(-2, -2, 2, 0).contains(point))
            return tab.Page;
    for (const TTab& tab : FTabs)
        if (tab.Bounds.contains(point))
            return tab.Page;
    return nullptr;
}

void TPageControl::ChangeActivePage(TTabSheet* page) {
    if (!page || page == FActivePage)
        return;
    const QPointer<TPageControl> self(this);
    bool allow = true;
    FOnChanging(this, allow);
    if (!self || !allow)
        return;
    SetActivePage(page);
    FOnChange(this);
}

void TPageControl::SelectNextPage(bool forward) {
    ChangeActivePage(NeighbourPage(FActivePage, forward, true));
}

void TPageControl::mousePressEvent(QMouseEvent* event) {
    TWinControl::mousePressEvent(event);
    if (event->button() != Qt::LeftButton)
        return;
    if (TTabSheet* page = PageAt(event->position().toPoint())) {
        if (TabStop())
            setFocus(Qt::MouseFocusReason);
        ChangeActivePage(page);
    }
}

bool TPageControl::DialogKey(int key, Qt::KeyboardModifiers modifiers) {
    if (!modifiers.testFlag(Qt::ControlModifier) || (key != Qt::Key_Tab && key != Qt::Key_Backtab) ||
        !isVisible() || !isEnabled())
        return false;
    SelectNextPage(key == Qt::Key_Tab && !modifiers.testFlag(Qt::ShiftModifier));
    return true;
}

void TPageControl::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const int key = event->key();
    if (DialogKey(key, modifiers))
        return;
    if (hasFocus() && !(modifiers & (Qt::ControlModifier | Qt::AltModifier))) {
        switch (key) {
            case Qt::Key_Left:
            case Qt::Key_Up:
                ChangeActivePage(NeighbourPage(FActivePage, false, false));
                return;
            case Qt::Key_Right:
            case Qt::Key_Down:
                ChangeActivePage(NeighbourPage(FActivePage, true, false));
                return;
            case Qt::Key_Home:
                ChangeActivePage(NeighbourPage(nullptr, true, false));
                return;
            case Qt::Key_End:
                ChangeActivePage(NeighbourPage(nullptr, false, false));
                return;
            default:
                break;
        }
    }
    TWinControl::keyPressEvent(event);
}

void TPageControl::focusInEvent(QFocusEvent* event) {
    TWinControl::focusInEvent(event);
    update();
}

void TPageControl::focusOutEvent(QFocusEvent* event) {
    TWinControl::focusOutEvent(event);
    update();
}

// Tabs and frame in the classic raised style: light top and left edges, dark
// bottom and right ones. The active tab is raised by two pixels and opens into
// the frame below it.
void TPageControl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor face = BackgroundColor();
    painter.fillRect(rect(), face);
    const QColor light = ColorToQColor(clBtnHighlight);
    const QColor light3D = ColorToQColor(cl3DLight);
    const QColor shadow = ColorToQColor(clBtnShadow);
    const QColor dark = ColorToQColor(cl3DDkShadow);

    const int top = FrameTop();
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.setPen(light);
    painter.drawLine(0, top, right - 1, top);
    painter.drawLine(0, top, 0, bottom - 1);
    painter.setPen(light3D);
    painter.drawLine(1, top + 1, right - 2, top + 1);
    painter.drawLine(1, top + 1, 1, bottom - 2);
    painter.setPen(dark);
    painter.drawLine(0, bottom, right, bottom);
    painter.drawLine(right, top, right, bottom);
    painter.setPen(shadow);
    painter.drawLine(1, bottom - 1, right - 1, bottom - 1);
    painter.drawLine(right - 1, top + 1, right - 1, bottom - 1);

    painter.setFont(font());
    const TTab* active = nullptr;
    for (const TTab& tab : std::as_const(FTabs)) {
        if (tab.Page == FActivePage)
            active = &tab;
        else
            DrawTab(painter, tab, false);
    }
    if (active)
        DrawTab(painter, *active, true);
}

void TPageControl::DrawTab(QPainter& painter, const TTab& tab, bool active) const {
    const QColor face = BackgroundColor();
    QRect r = tab.Bounds;
    if (active)
        r.adjust(-2, -2, 2, 0);
    const int left = r.left(), top = r.top(), right = r.right();
    // The active tab covers the frame's top edges below it.
    const int bottom = active ? FrameTop() + 1 : r.bottom();
    painter.fillRect(QRect(QPoint(left + 1, top + 1), QPoint(right - 2, bottom)), face);
    painter.setPen(ColorToQColor(clBtnHighlight));
    painter.drawLine(left, top + 2, left, bottom);
    painter.drawPoint(left + 1, top + 1);
    painter.drawLine(left + 2, top, right - 2, top);
    painter.setPen(ColorToQColor(cl3DDkShadow));
    painter.drawPoint(right - 1, top + 1);
    painter.drawLine(right, top + 2, right, bottom);
    painter.setPen(ColorToQColor(clBtnShadow));
    painter.drawLine(right - 1, top + 2, right - 1, bottom);

    const QRect text = tab.Bounds.translated(0, active ? -1 : 1);
    painter.setPen(isEnabled() ? Font()->TextColor() : ColorToQColor(clGrayText));
    painter.drawText(text, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic, tab.Page->Caption());
    if (active && hasFocus()) {
        const QSize size = QFontMetrics(font()).size(Qt::TextShowMnemonic, tab.Page->Caption());
        QRect focus(QPoint(0, 0), size + QSize(6, 2));
        focus.moveCenter(text.center());
        painter.setPen(QPen(Font()->TextColor(), 1, Qt::DotLine));
        painter.drawRect(focus.adjusted(0, 0, -1, -1));
    }
}
