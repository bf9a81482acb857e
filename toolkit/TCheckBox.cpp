#include "toolkit/TCheckBox.h"

#include <QCheckBox>
#include <QResizeEvent>
#include <QSignalBlocker>

#include <algorithm>

TCheckBox::TCheckBox(QWidget* parent) : TWinControl(parent), FCheckBox(new QCheckBox(this)) {
    FCheckBox->setFocusPolicy(Qt::StrongFocus);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(FCheckBox);
    FCheckBox->setFont(font());
    // Only a change the user makes is a click.
    connect(FCheckBox, &QCheckBox::clicked, this, [this] { Click(); });
    resize(97, 17);
}

bool TCheckBox::Checked() const {
    return FCheckBox->isChecked();
}

void TCheckBox::SetChecked(bool value) {
    const QSignalBlocker quiet(FCheckBox);
    FCheckBox->setChecked(value);
}

// As for a button: the native box covers the control, shown or not.
void TCheckBox::SetBounds(int left, int top, int width, int height) {
    if (!FAdjusting)
        FBoxHeight = height;
    TWinControl::SetBounds(left, top, width, std::max(height, FCheckBox->sizeHint().height()));
    FCheckBox->setGeometry(rect());
}

void TCheckBox::AdjustHeight() {
    FAdjusting = true;
    SetBounds(x(), y(), width(), FBoxHeight);
    FAdjusting = false;
}

void TCheckBox::resizeEvent(QResizeEvent* event) {
    TWinControl::resizeEvent(event);
    FCheckBox->setGeometry(rect());
}

void TCheckBox::CaptionChanged() {
    FCheckBox->setText(Caption());
    AdjustHeight();
}

void TCheckBox::FontChanged() {
    FCheckBox->setFont(font());
    AdjustHeight();
    TWinControl::FontChanged();
}
