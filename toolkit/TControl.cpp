#include "toolkit/TControl.h"

#include "toolkit/TForm.h"
#include "toolkit/TScreen.h"
#include "toolkit/TWinControl.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QSignalBlocker>

using namespace tk;

TControl::TControl(QWidget* parent) : QWidget(parent), FFont(new TFont(this)), FLoading(FStreamingDepth > 0) {
    connect(FFont, &TFont::Changed, this, [this] {
        if (!FCopyingParentFont)
            FParentFont = false;
        ApplyFont();
    });
    connect(Screen(), &TScreen::CursorsChanged, this, &TControl::ApplyCursor);
    if (TControl* parentControl = ParentControl()) {
        const QSignalBlocker quiet(FFont);
        FFont->Assign(*parentControl->Font());
    }
    ApplyFont();
}

void TControl::EndLoading() {
    FLoading = false;
    ApplyFont();
    Loaded();
}

TControl* TControl::ParentControl() const {
    return isWindow() ? nullptr : qobject_cast<TControl*>(parentWidget());
}

TForm* TControl::ParentForm() const {
    for (QWidget* w = const_cast<TControl*>(this); w; w = w->parentWidget())
        if (auto* form = qobject_cast<TForm*>(w))
            return form;
    return nullptr;
}

void TControl::SetBounds(int left, int top, int width, int height) {
    setGeometry(left, top, std::max(0, width), std::max(0, height));
    if (FAlign != alNone)
        if (TControl* parent = ParentControl())
            parent->RequestAlign();
}

void TControl::SetAlign(TAlign value) {
    if (FAlign == value)
        return;
    FAlign = value;
    if (TControl* parent = ParentControl())
        parent->RequestAlign();
}

void TControl::SetVisible(bool value) {
    FVisible = value;
    setVisible(value);
    if (FAlign != alNone)
        if (TControl* parent = ParentControl())
            parent->RequestAlign();
}

void TControl::SetHint(const QString& value) {
    FHint = value;
    setToolTip(FShowHint ? FHint : QString());
}

void TControl::SetShowHint(bool value) {
    FShowHint = value;
    FParentShowHint = false;
    setToolTip(FShowHint ? FHint : QString());
}

void TControl::SetCursor(TCursor value) {
    FCursor = value;
    ApplyCursor();
}

void TControl::ApplyCursor() {
    if (FCursor == crDefault)
        unsetCursor();
    else
        setCursor(Screen()->Cursor(FCursor));
}

void TControl::SetCaption(const QString& value) {
    if (FCaption == value)
        return;
    FCaption = value;
    CaptionChanged();
    update();
    // A window's title tells assistive technology of itself.
    if (QAccessible::isActive() && !isWindow()) {
        QAccessibleEvent event(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
}

void TControl::SetParentFont(bool value) {
    FParentFont = value;
    if (value)
        ParentFontChanged();
}

void TControl::ParentFontChanged() {
    TControl* parent = ParentControl();
    if (!FParentFont || !parent)
        return;
    // Changed arrives only when the copy differs, and applies it.
    FCopyingParentFont = true;
    FFont->Assign(*parent->Font());
    FCopyingParentFont = false;
}

void TControl::ApplyFont() {
    if (FLoading)
        return;
    const QFont font = FFont->ToQFont();
    if (!FFontApplied || font != this->font()) {
        setFont(font);
        FFontApplied = true;
        FontChanged();
    } else {
        // Only the colour changed: nothing to measure again.
        update();
    }
    for (QObject* child : children())
        if (auto* control = qobject_cast<TControl*>(child); control && !control->isWindow())
            control->ParentFontChanged();
}

void TControl::SetColor(TColor value) {
    FColor = value;
    FParentColor = false;
    ParentColorChanged();
}

void TControl::SetParentColor(bool value) {
    FParentColor = value;
    ParentColorChanged();
}

void TControl::ParentColorChanged() {
    update();
    for (QObject* child : children())
        if (auto* control = qobject_cast<TControl*>(child); control && control->FParentColor)
            control->ParentColorChanged();
}

QColor TControl::BackgroundColor() const {
    if (FParentColor)
        if (TControl* parent = ParentControl())
            return parent->BackgroundColor();
    return ColorToQColor(FColor);
}

void TControl::Click() {
    FOnClick(this);
}

void TControl::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    FOnMouseEnter(this);
}

void TControl::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    FOnMouseLeave(this);
}

void TControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        FPressed = true;
    QWidget::mousePressEvent(event);
}

void TControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton)
        FPressed = false;
    QWidget::mouseReleaseEvent(event);
    if (click)
        Click();
}
