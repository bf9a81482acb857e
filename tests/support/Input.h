#pragma once

#include <QPointF>

class QWidget;

// Mouse input as the window system delivers it: handled at once, or queued for
// the next processing of messages (as a click made while the program is busy).
enum class TDelivery { Sent, Posted };

// A left press and release at `at` (widget coordinates).
void LeftClickAt(QWidget* widget, QPointF at, TDelivery delivery = TDelivery::Sent);
// The same in the middle of the widget.
void LeftClick(QWidget* widget, TDelivery delivery = TDelivery::Sent);
