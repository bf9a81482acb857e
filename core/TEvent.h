#pragma once

#include "core/TMethod.h"

#include <QMetaType>

#include <memory>
#include <type_traits>

// An event of a component: its handler, and in its type what it passes. The type is
// the one place an event's parameters are written: the binding (TMethod::Bind, the
// form reader) checks a handler against them through the event's property, and the
// compiler checks every call. A class publishes an event as a TMethod property that
// reads and writes its field:
//
//     Q_PROPERTY(TMethod OnClick READ OnClick WRITE SetOnClick)
//     TMethod OnClick() const { return FOnClick; }
//     void SetOnClick(const TMethod& value) { FOnClick = value; }
//     TNotifyEvent FOnClick;
//     ...
//     FOnClick(this);
template <typename... Args>
class TEvent {
public:
    // The handler, and what this event passes: the value of the event's property.
    operator TMethod() const { return TMethod(FHandler, &Parameters); }

    // Takes `handler` when it takes exactly what the event passes. One that does not
    // could only be called with what it does not take: the event stays empty, and a
    // warning names the handler. Binding by name (TMethod::Bind) refuses it earlier,
    // naming the event as well.
    TEvent& operator=(const TMethod& handler) {
        FHandler = TMethod::Fitting(handler, Parameters());
        return *this;
    }

    bool Assigned() const { return FHandler.Assigned(); }

    // Calls the handler, if any. Reference parameters (Action, Handled) come back
    // changed. An exception that the handler raises goes to the exception handler
    // (TMethod::SetExceptionHandler), and the caller carries on; without one it goes
    // to the caller.
    void operator()(Args... args) const {
        // As moc lays out a call: the return value's place, then each argument's address.
        void* argv[] = {nullptr, const_cast<void*>(static_cast<const void*>(std::addressof(args)))...};
        FHandler.Invoke(argv);
    }

    // The parameter types by the meta-type system's names, as a handler's are compared:
    // "QObject*", "uint" for quint32, "bool&" for a reference a handler may change.
    static QList<QByteArray> Parameters() { return {TypeName<Args>()...}; }

private:
    template <typename T>
    static QByteArray TypeName() {
        using TBase = std::remove_reference_t<T>;
        // A const reference is passed as a value is: moc writes both the same way.
        const bool changeable = std::is_lvalue_reference_v<T> && !std::is_const_v<TBase>;
        return QByteArray(QMetaType::fromType<std::remove_cv_t<TBase>>().name()) + (changeable ? "&" : "");
    }

    TMethod FHandler;
};

// The event that passes only its sender (OnClick, OnChange, OnShow).
using TNotifyEvent = TEvent<QObject*>;
