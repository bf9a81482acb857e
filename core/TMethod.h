#pragma once

#include <QList>
#include <QMetaMethod>
#include <QMetaType>
#include <QPointer>

#include <exception>

template <typename... Args>
class TEvent;

// A handler: an object together with one of its methods, empty by default. Form
// descriptions bind handlers by the method's name ("OnClick = lblSiteClick"), so the
// method is a slot found through the meta-object system. It is the value of an event's
// property; the event itself is a TEvent, whose type says what it passes and which
// alone calls the handler.
class TMethod {
public:
    // What an event passes: its parameter types by the meta-type system's names.
    using TParameters = QList<QByteArray> (*)();

    TMethod() = default;
    TMethod(QObject* data, QMetaMethod code) : FData(data), FCode(code), FIndex(code.methodIndex()) {}

    // The method of `data` called `name`; empty when there is none.
    static TMethod Find(QObject* data, const QByteArray& name);
    // The method of `data` called `name` as the handler of `source`'s `event`. Raises
    // EInvalidOperation naming both when there is no such method or it takes other
    // parameters than the event passes.
    static TMethod Bind(const QObject* source, const char* event, QObject* data, const QByteArray& name);
    // Why `method` cannot handle `source`'s `event`, in a sentence naming both; empty
    // when it can. What the event passes is read from its property.
    static QString Mismatch(const QObject* source, const char* event, const QMetaMethod& method);

    bool Assigned() const { return FData && FCode.isValid(); }
    QObject* Data() const { return FData; }
    const QMetaMethod& Code() const { return FCode; }
    // What the event passes, for a value read from an event's property; null for a
    // method found by name.
    TParameters Parameters() const { return FParameters; }

    bool operator==(const TMethod& other) const { return FData == other.FData && FCode == other.FCode; }

    // Where the exceptions of handlers go: the application object shows them while it
    // exists. Null for none.
    using TExceptionHandler = void (*)(std::exception_ptr);
    static void SetExceptionHandler(TExceptionHandler handler);

private:
    template <typename... Args>
    friend class TEvent;

    TMethod(const TMethod& handler, TParameters parameters) : TMethod(handler) { FParameters = parameters; }
    // `handler` when it takes exactly `parameters`, empty (with a warning) otherwise.
    static TMethod Fitting(const TMethod& handler, const QList<QByteArray>& parameters);
    // Calls the method with arguments laid out as moc lays them out; their types are
    // the ones Fitting checked.
    void Invoke(void** argv) const;

    static TExceptionHandler FExceptionHandler;

    QPointer<QObject> FData;
    QMetaMethod FCode;
    // Of FCode, looked up once: some events come hundreds of thousands of times a second.
    int FIndex = -1;
    TParameters FParameters = nullptr;
};

Q_DECLARE_METATYPE(TMethod)
