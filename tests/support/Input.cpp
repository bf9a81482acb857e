#include "tests/support/Input.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
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

void PressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers, TDelivery delivery) {
    QWidget* target = window->focusWidget() ? window->focusWidget() : window;
    const QString text = key == Qt::Key_Space                            ? QStringLiteral(" ")
                         : key == Qt::Key_Return || key == Qt::Key_Enter ? QStringLiteral("\r")
                                                                         : QString();
    auto press = std::make_unique<QKeyEvent>(QEvent::KeyPress, key, modifiers, text);
    auto release = std::make_unique<QKeyEvent>(QEvent::KeyRelease, key, modifiers, text);
    if (delivery == TDelivery::Posted) {
        QApplication::postEvent(target, press.release());
        QApplication::postEvent(target, release.release());
    } else {
        const QPointer<QWidget> alive(target);
        QApplication::sendEvent(target, press.get());
        // The press may have closed the window it was typed in.
        if (alive)
            QApplication::sendEvent(target, release.get());
    }
}

bool TabTo(QWidget* control) {
    QWidget* window = control->window();
    // Every control once, and one more for the window itself.
    const qsizetype round = window->findChildren<QWidget*>().size() + 1;
    for (qsizetype i = 0; i < round && window->focusWidget() != control; ++i)
        PressKey(window, Qt::Key_Tab);
    return window->focusWidget() == control;
}

const char* NameOf(TActivation how) {
    switch (how) {
        case TActivation::Click:
            return "Click";
        case TActivation::Enter:
            return "Enter";
        case TActivation::Space:
            return "Space";
        case TActivation::PressAction:
            return "PressAction";
    }
    return "";
}

void Activate(QWidget* link, TActivation how) {
    switch (how) {
        case TActivation::Click:
            LeftClick(link);
            return;
        case TActivation::Enter:
        case TActivation::Space:
            if (!TabTo(link)) {
                ADD_FAILURE() << link->objectName().toStdString() << " cannot be reached with Tab";
                return;
            }
            PressKey(link->window(), how == TActivation::Enter ? Qt::Key_Return : Qt::Key_Space);
            return;
        case TActivation::PressAction: {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(link);
            QAccessibleActionInterface* actions = accessible ? accessible->actionInterface() : nullptr;
            if (!actions || !actions->actionNames().contains(QAccessibleActionInterface::pressAction())) {
                ADD_FAILURE() << link->objectName().toStdString() << " has no press action";
                return;
            }
            actions->doAction(QAccessibleActionInterface::pressAction());
            // The action is queued behind the call that asked for it.
            QCoreApplication::sendPostedEvents(link, QEvent::MetaCall);
            return;
        }
    }
}
