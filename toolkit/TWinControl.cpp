#include "toolkit/TWinControl.h"

#include <QChildEvent>

#include <algorithm>

using namespace tk;

TWinControl::TWinControl(QWidget* parent) : TControl(parent) {}

QList<TControl*> TWinControl::Controls() const {
    QList<TControl*> controls;
    for (QObject* child : children())
        if (auto* control = qobject_cast<TControl*>(child); control && !control->isWindow())
            controls.append(control);
    return controls;
}

void TWinControl::Loaded() {
    TControl::Loaded();
    AlignControls();
}

void TWinControl::AlignControls() {
    if (FAligning || Loading())
        return;
    FAligning = true;
    QRect client = rect();
    const QList<TControl*> controls = Controls();
    for (const TAlign align : {alTop, alBottom, alLeft, alRight, alClient}) {
        QList<TControl*> row;
        for (TControl* control : controls)
            if (control->FAlign == align && control->FVisible)
                row.append(control);
        // Within one alignment, the design position decides the order.
        std::stable_sort(row.begin(), row.end(), [align](TControl* a, TControl* b) {
            switch (align) {
                case alTop:
                    return a->y() < b->y();
                case alBottom:
                    return a->y() + a->height() > b->y() + b->height();
                case alLeft:
                    return a->x() < b->x();
                case alRight:
                    return a->x() + a->width() > b->x() + b->width();
                default:
                    return false;
            }
        });
        for (TControl* control : row) {
            QRect r;
            switch (align) {
                case alTop:
                    r = QRect(client.left(), client.top(), client.width(), control->height());
                    client.setTop(client.top() + r.height());
                    break;
                case alBottom:
                    r = QRect(client.left(), client.bottom() + 1 - control->height(), client.width(),
                              control->height());
                    client.setBottom(r.top() - 1);
                    break;
                case alLeft:
                    r = QRect(client.left(), client.top(), control->width(), client.height());
                    client.setLeft(client.left() + r.width());
                    break;
                case alRight:
                    r = QRect(client.right() + 1 - control->width(), client.top(), control->width(),
                              client.height());
                    client.setRight(r.left() - 1);
                    break;
                default:
                    r = client;
                    break;
            }
            control->setGeometry(r.normalized());
        }
    }
    FAligning = false;
}

void TWinControl::resizeEvent(QResizeEvent* event) {
    TControl::resizeEvent(event);
    AlignControls();
}

void TWinControl::childEvent(QChildEvent* event) {
    TControl::childEvent(event);
    if (event->removed())
        AlignControls();
}

void TWinControl::SetTabStop(bool value) {
    FTabStop = value;
    QWidget* target = this;
    while (target->focusProxy())
        target = target->focusProxy();
    target->setFocusPolicy(value ? Qt::StrongFocus : Qt::ClickFocus);
}
