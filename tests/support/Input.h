#pragma once

#include <QPointF>
#include <Qt>

class QWidget;

// Mouse input as the window system delivers it: handled at once, or queued for
// the next processing of messages (as a click made while the program is busy).
enum class TDelivery { Sent, Posted };

// A left press and release at `at` (widget coordinates).
void LeftClickAt(QWidget* widget, QPointF at, TDelivery delivery = TDelivery::Sent);
// The same in the middle of the widget.
void LeftClick(QWidget* widget, TDelivery delivery = TDelivery::Sent);

// A key press and release, delivered as the keyboard delivers them: to the control
// that has the focus in `window`, or to the window when none has.
void PressKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
              TDelivery delivery = TDelivery::Sent);
// Presses Tab in the control's window until the focus is on `control`; false when
// a whole round of Tab never reaches it.
bool TabTo(QWidget* control);

// The ways a user sets off a link: the mouse, Enter or Space once Tab has reached
// it, or the press action that assistive technology calls.
enum class TActivation { Click, Enter, Space, PressAction };
const char* NameOf(TActivation how);
// Sets off `link` that way; the click has happened when it returns. A link that
// Tab cannot reach is a test failure.
void Activate(QWidget* link, TActivation how);
