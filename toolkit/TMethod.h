#pragma once

#include <QMetaMethod>
#include <QMetaType>
#include <QPointer>

#include <array>

// An event: an object together with one of its methods, empty by default. Form
// descriptions bind events by the method's name ("OnClick = lblSiteClick"), so the
// method is a slot found through the meta-object system.
class TMethod {
public:
    TMethod() = default;
    TMethod(QObject* data, QMetaMethod code) : FData(data), FCode(code) {}

    // The method of `data` called `name`; empty when there is none.
    static TMethod Find(QObject* data, const QByteArray& name);

    bool Assigned() const { return FData && FCode.isValid(); }
    QObject* Data() const { return FData; }
    const QMetaMethod& Code() const { return FCode; }

    // Calls the method; the arguments are passed by address, so reference
    // parameters (Action, Handled) come back changed. A handler that raises is
    // shown by TApplication and the caller carries on.
    template <typename... Args>
    void operator()(Args&... args) const {
        std::array<void*, sizeof...(Args) + 1> argv{nullptr, static_cast<void*>(&args)...};
        Invoke(static_cast<int>(sizeof...(Args)), argv.data());
    }

    bool operator==(const TMethod& other) const { return FData == other.FData && FCode == other.FCode; }

private:
    void Invoke(int argc, void** argv) const;

    QPointer<QObject> FData;
    QMetaMethod FCode;
};

Q_DECLARE_METATYPE(TMethod)
