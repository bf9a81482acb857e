#pragma once

#include "toolkit/TControl.h"

// A control that contains others: it aligns its children with Align set
// (top, bottom, left, right, then client, in that order) whenever its size or
// a child's alignment changes, and hands its font and colour on to the children
// that take their parent's.
class TWinControl : public TControl {
    Q_OBJECT

public:
    explicit TWinControl(QWidget* parent = nullptr);

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
    bool FAligning = false;
};
