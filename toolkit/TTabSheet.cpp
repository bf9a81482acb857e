#include "toolkit/TTabSheet.h"

#include "toolkit/TPageControl.h"

#include <QPainter>

TTabSheet::TTabSheet(QWidget* parent) : TWinControl(parent) {
    if (auto* pageControl = qobject_cast<TPageControl*>(parent))
        pageControl->InsertPage(this);
}

TTabSheet::~TTabSheet() {
    if (FPageControl)
        FPageControl->RemovePage(this);
}

int TTabSheet::PageIndex() const {
    return FPageControl ? static_cast<int>(FPageControl->FPages.indexOf(this)) : -1;
}

void TTabSheet::SetPageIndex(int value) {
    if (FPageControl)
        FPageControl->MovePage(this, value);
}

void TTabSheet::SetTabVisible(bool value) {
    if (FTabVisible == value)
        return;
    FTabVisible = value;
    if (FPageControl)
        FPageControl->TabVisibilityChanged(this);
}

void TTabSheet::SetBounds(int left, int top, int width, int height) {
    if (FPageControl)
        FPageControl->PlacePages();
    else
        TWinControl::SetBounds(left, top, width, height);
}

void TTabSheet::CaptionChanged() {
    if (FPageControl)
        FPageControl->TabsChanged();
}

void TTabSheet::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), BackgroundColor());
}
