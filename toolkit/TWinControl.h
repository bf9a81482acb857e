#pragma once

#include "toolkit/TControl.h"

// A control that contains others: it aligns its children with Align set
// (top, bottom, left, right, then client, in that order) whenever its size or
// a child's alignment changes, and hands its font and colour on to the children
// that take their parent's.
class TWinControl : public TControl {
    Q_OBJECT
    Q_PROPERTY(int TabOrder READ TabOrder WRITE SetTabOrder)
    Q_PROPERTY(bool TabStop READ TabStop WRITE SetTabStop)

public:
    explicit TWinControl(QWidget* parent = nullptr);

    // The control's place in its container's keyboard order; -1 after the numbered ones.
    int TabOrder() const { return FTabOrder; }
    void SetTabOrder(int value) { FTabOrder = value; }
    // Whether Tab reaches the control. The widget that takes its focus (the end of
    // its focus-proxy chain) is then reached by Tab, or only by a click.
    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool value);

    QList<TControl*> Controls() const;
    // Lays out the aligned children now.
    void AlignControls();

protected:
    void RequestAlign() override { AlignControls(); }
    // Children are aligned once the whole description is read, from their design
    // positions, not one by one as they arrive.
    void Loaded() override;
    void resizeEvent(QResizeEvent* event) override;
    void childEvent(QChildEvent* event) override;

private:
    int FTabOrder = -1;
    bool FTabStop = true;
    bool FAligning = false;
};
