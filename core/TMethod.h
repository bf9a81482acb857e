#pragma once

#include <QMetaMethod>
#include <QMetaType>
#include <QPointer>

#include <array>
#include <exception>

// An event: an object together with one of its methods, empty by default. Form
// descriptions bind events by the method's name ("OnClick = lblSiteClick"), so the
// method is a slot found through the meta-object system.
//
// A class with events says what each passes in class information named after the
// event: Q_CLASSINFO("OnClick", "QObject*"), Q_CLASSINFO("OnClose",
// "QObject*,tk::TCloseAction&"). A handler is checked against it when it is bound
// (Bind, and the form reader), so that a handler whose parameters changed is refused
// there, with both names, rather than called with what it does not take.
class TMethod {
public:
    TMethod() = default;
    TMethod(QObject* data, QMetaMethod code)
        : FData(data), FCode(code), FIndex(code.methodIndex()), FParameterCount(code.parameterCount()) {}

    // The method of `data` called `name`; empty when there is none.
    static TMethod Find(QObject* data, const QByteArray& name);
    // The method of `data` called `name` as the handler of `source`'s `event`. Raises
    // EInvalidOperation naming both when there is no such method or it takes other
    // parameters than the event passes.
    static TMethod Bind(const QObject* source, const char* event, QObject* data, const QByteArray& name);
    // Why `method` cannot handle `source`'s `event`, in a sentence naming both; empty
    // when it can.
    static QString Mismatch(const QObject* source, const char* event, const QMetaMethod& method);

    bool Assigned() const { return FData && FCode.isValid(); }
    QObject* Data() const { return FData; }
    const QMetaMethod& Code() const { return FCode; }

    // Calls the method; the arguments are passed by address, so reference
    // parameters (Action, Handled) come back changed. An exception that the handler
    // raises goes to the exception handler, and the caller carries on; without one it
    // goes to the caller.
    template <typename... Args>
    void operator()(Args&... args) const {
        std::array<void*, sizeof...(Args) + 1> argv{nullptr, static_cast<void*>(&args)...};
        Invoke(static_cast<int>(sizeof...(Args)), argv.data());
    }

    bool operator==(const TMethod& other) const { return FData == other.FData && FCode == other.FCode; }

    // Where the exceptions of handlers go: the application object shows them while it
    // exists. Null for none.
    using TExceptionHandler = void (*)(std::exception_ptr);
    static void SetExceptionHandler(TExceptionHandler handler);

private:
    static TExceptionHandler FExceptionHandler;
    void Invoke(int argc, void** argv) const;

    QPointer<QObject> FData;
    QMetaMethod FCode;
    // Of FCode, looked up once: some events come hundreds of thousands of times a second.
    int FIndex = -1;
    int FParameterCount = 0;
};

Q_DECLARE_METATYPE(TMethod)
