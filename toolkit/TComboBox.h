#pragma once

#include "core/TStrings.h"
#include "toolkit/TWinControl.h"

class QComboBox;

// A combo box over its Items, with ItemIndex the selected item (-1: none). It
// hosts a native combo box that fills it, so it takes the focus and is read like
// any combo box. csDropDownList offers the list alone, no typing; csDropDown and
// csSimple add an edit field. Its height follows its font (21 pixels for Tahoma
// 8 pt), whatever is asked. OnChange is raised when the user picks an item or
// types, never when the program sets ItemIndex, Items or Text.
class TComboBox : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(tk::TComboBoxStyle Style READ Style WRITE SetStyle)
    Q_PROPERTY(int DropDownCount READ DropDownCount WRITE SetDropDownCount)
    Q_PROPERTY(TStrings* Items READ Items)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(bool Sorted READ Sorted WRITE SetSorted)
    Q_PROPERTY(TMethod OnChange READ OnChange WRITE SetOnChange)

public:
    explicit TComboBox(QWidget* parent = nullptr);

    tk::TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(tk::TComboBoxStyle value);
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int value);
    TStrings* Items() const { return FItems; }
    int ItemIndex() const;
    // An index outside the items selects none.
    void SetItemIndex(int value);
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value) { FItemHeight = value; }
    // The edit field's text, or the selected item's; a list-only box selects the
    // item of that text (letter case ignored) and otherwise keeps its selection.
    QString Text() const;
    void SetText(const QString& value);
    bool Sorted() const { return FItems->Sorted(); }
    void SetSorted(bool value) { FItems->SetSorted(value); }
    TMethod OnChange() const { return FOnChange; }
    void SetOnChange(const TMethod& value) { FOnChange = value; }

    void SetBounds(int left, int top, int width, int height) override;

    QComboBox* ComboBox() const { return FCombo; }

protected:
    void Loaded() override;
    void FontChanged() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ItemsChanged();
    void Change();
    int FixedHeight() const;

    QComboBox* FCombo;
    TStrings* FItems;
    TNotifyEvent FOnChange;
    tk::TComboBoxStyle FStyle = tk::csDropDown;
    int FDropDownCount = 8;
    int FItemHeight = 13;
    // ItemIndex as a form description sets it, before its Items are read.
    int FLoadedIndex = -1;
};
