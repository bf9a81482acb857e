#include "tests/support/Input.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <memory>

void LeftClickAt(QWidget* widget, QPointF at, TDelivery delivery) {
    auto press = std::make_unique<QMouseEvent>(QEvent::MouseButtonPress, at, widget->mapToGlobal(at),
                                               Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    auto release = std::make_unique<QMouseEvent>(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at),
                                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    if (delivery == TDelivery::Posted) {
        QApplication::postEvent(widget, press.release());
        QApplication::postEvent(widget, release.release());
    } else {
        QApplication::sendEvent(widget, press.get());
        QApplication::sendEvent(widget, release.get());
    }
}

void LeftClick(QWidget* widget, TDelivery delivery) {
    LeftClickAt(widget, QPointF(widget->width() / 2.0, widget->height() / 2.0), delivery);
}
