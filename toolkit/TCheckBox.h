#pragma once

#include "toolkit/TWinControl.h"

class QCheckBox;

// A check box with its caption beside it. It hosts a native check box that fills it,
// so it takes the keyboard focus (Space toggles it) and is read by its caption and
// state like any check box. It is as high as its design says, or higher where its
// caption's line is (a CJK face draws a taller line). A change by the user raises OnClick after Checked has
// changed; setting Checked in code raises nothing.
class TCheckBox : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Checked READ Checked WRITE SetChecked)

public:
    explicit TCheckBox(QWidget* parent = nullptr);

    bool Checked() const;
    void SetChecked(bool value);

    void SetBounds(int left, int top, int width, int height) override;

    QCheckBox* CheckBox() const { return FCheckBox; }

protected:
    void FontChanged() override;
    void CaptionChanged() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The designed height, or the line's where that is more.
    void AdjustHeight();

    QCheckBox* FCheckBox;
    int FBoxHeight = 17;
    bool FAdjusting = false;
};
