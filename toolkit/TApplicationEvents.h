#pragma once

#include "core/TEvent.h"
#include "toolkit/Messages.h"
#include "toolkit/TComponent.h"

// Puts a form's handlers on the application's message hook: OnMessage(TMsg&,
// bool& Handled) sees every message the loop takes from the queue before it is
// dispatched; setting Handled stops it there.
class TApplicationEvents : public TComponent {
    Q_OBJECT
    Q_PROPERTY(TMethod OnMessage READ OnMessage WRITE SetOnMessage)

public:
    explicit TApplicationEvents(QObject* owner = nullptr);
    ~TApplicationEvents() override;

    TMethod OnMessage() const { return FOnMessage; }
    void SetOnMessage(const TMethod& value) { FOnMessage = value; }

    void DoMessage(TMsg& message, bool& handled) const { FOnMessage(message, handled); }

private:
    TEvent<TMsg&, bool&> FOnMessage;
};
