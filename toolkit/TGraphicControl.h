#pragma once

#include "toolkit/TControl.h"

// A control without children of its own: labels, pictures, shapes.
class TGraphicControl : public TControl {
    Q_OBJECT

public:
    explicit TGraphicControl(QWidget* parent = nullptr) : TControl(parent) {}
};
