#include "toolkit/TButton.h"

#include "toolkit/TForm.h"

#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>

TButton::TButton(QWidget* parent) : TWinControl(parent), FButton(new QPushButton(this)) {
    // Enter and Escape are the form's business (Default, Cancel), whatever has the focus.
    FButton->setAutoDefault(false);
    FButton->setFocusPolicy(Qt::StrongFocus);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(FButton);
    FButton->setFont(font());
    connect(FButton, &QPushButton::clicked, this, [this] { Click(); });
    resize(75, 25);
}

// A hidden control hears of its new size only once shown; the push button takes
// it at once, so that it always covers the control.
void TButton::SetBounds(int left, int top, int width, int height) {
    TWinControl::SetBounds(left, top, width, height);
    FButton->setGeometry(rect());
}

void TButton::resizeEvent(QResizeEvent* event) {
    TWinControl::resizeEvent(event);
    FButton->setGeometry(rect());
}

void TButton::SetDefault(bool value) {
    FDefault = value;
    // Only the look: the form decides what Enter does.
    FButton->setDefault(value);
}

void TButton::CaptionChanged() {
    FButton->setText(Caption());
}

bool TButton::CanFocus() const {
    const TForm* form = ParentForm();
    return form && isEnabled() && isVisibleTo(form);
}

void TButton::Click() {
    // The handler may close and free the form; hold on to this button's fate.
    const QPointer<TButton> self(this);
    if (FModalResult != tk::mrNone)
        if (TForm* form = ParentForm())
            form->SetModalResult(FModalResult);
    if (self)
        TWinControl::Click();
}

void TButton::FontChanged() {
    FButton->setFont(font());
    TWinControl::FontChanged();
}
