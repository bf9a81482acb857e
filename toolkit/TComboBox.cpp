#include "toolkit/TComboBox.h"

#include "toolkit/TextMetrics.h"

#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

using namespace tk;

TComboBox::TComboBox(QWidget* parent)
    : TWinControl(parent), FCombo(new QComboBox(this)), FItems(new TStrings(this)) {
    FCombo->setFocusPolicy(Qt::StrongFocus);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(FCombo);
    FCombo->setFont(font());
    FCombo->setMaxVisibleItems(FDropDownCount);
    SetStyle(csDropDown);
    connect(FItems, &TStrings::Changed, this, &TComboBox::ItemsChanged);
    // Qt raises activated only for the user's choice, with the mouse or the keys.
    connect(FCombo, &QComboBox::activated, this, [this] { Change(); });
    TWinControl::SetBounds(0, 0, 145, FixedHeight());
    FCombo->setGeometry(rect());
}

void TComboBox::SetStyle(TComboBoxStyle value) {
    FStyle = value;
    const bool editable = value == csDropDown || value == csSimple;
    if (FCombo->isEditable() == editable)
        return;
    const QSignalBlocker quiet(FCombo);
    FCombo->setEditable(editable);
    if (QLineEdit* edit = FCombo->lineEdit()) {
        FCombo->setInsertPolicy(QComboBox::NoInsert);
        connect(edit, &QLineEdit::textEdited, this, [this] { Change(); });
    }
}

void TComboBox::SetDropDownCount(int value) {
    FDropDownCount = std::max(1, value);
    FCombo->setMaxVisibleItems(FDropDownCount);
}

int TComboBox::ItemIndex() const {
    return Loading() ? FLoadedIndex : FCombo->currentIndex();
}

void TComboBox::SetItemIndex(int value) {
    if (Loading()) {
        FLoadedIndex = value;
        return;
    }
    const QSignalBlocker quiet(FCombo);
    FCombo->setCurrentIndex(value >= 0 && value < FCombo->count() ? value : -1);
}

QString TComboBox::Text() const {
    return FCombo->currentText();
}

void TComboBox::SetText(const QString& value) {
    if (FCombo->isEditable()) {
        const QSignalBlocker quiet(FCombo);
        FCombo->setEditText(value);
        return;
    }
    if (const int index = FItems->IndexOf(value); index >= 0)
        SetItemIndex(index);
}

// The list follows Items: changed texts in place, keeping the selection; a new
// count refills it and keeps the selected index while it exists.
void TComboBox::ItemsChanged() {
    const QStringList& items = FItems->List();
    const QSignalBlocker quiet(FCombo);
    if (FCombo->count() == items.size()) {
        for (int i = 0; i < items.size(); ++i)
            if (FCombo->itemText(i) != items[i])
                FCombo->setItemText(i, items[i]);
        return;
    }
    const int index = FCombo->currentIndex();
    const QString text = FCombo->currentText();
    FCombo->clear();
    FCombo->addItems(items);
    FCombo->setCurrentIndex(index < items.size() ? index : -1);
    if (FCombo->isEditable())
        FCombo->setEditText(text);
}

void TComboBox::Change() {
    FOnChange(this);
}

void TComboBox::Loaded() {
    TWinControl::Loaded();
    SetItemIndex(FLoadedIndex);
}

int TComboBox::FixedHeight() const {
    return GetTextMetrics(font()).Height() + 8;
}

void TComboBox::SetBounds(int left, int top, int width, int /*height*/) {
    TWinControl::SetBounds(left, top, width, FixedHeight());
    FCombo->setGeometry(rect());
}

void TComboBox::FontChanged() {
    FCombo->setFont(font());
    TWinControl::FontChanged();
    if (!Loading())
        SetBounds(Left(), Top(), Width(), Height());
}

void TComboBox::resizeEvent(QResizeEvent* event) {
    TWinControl::resizeEvent(event);
    FCombo->setGeometry(rect());
}
