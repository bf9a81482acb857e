#include "core/TMethod.h"

#include "core/Exception.h"

#include <QDebug>
#include <QMetaProperty>

namespace {

// A type by its own name: a typedef by what it stands for ("quint32" is "uint"),
// keeping a reference's "&".
QByteArray Canonical(const QByteArray& written) {
    const bool reference = written.endsWith('&');
    const QByteArray base = reference ? written.chopped(1) : written;
    const QMetaType type = QMetaType::fromName(base);
    return (type.isValid() && type.name() ? QByteArray(type.name()) : base) + (reference ? "&" : "");
}

// A handler's parameter by the type it really is, where moc records its type: a
// value's. Of a reference moc keeps only the name as the source spells it, so
// "TCloseAction&" under a using-directive is not the event's "tk::TCloseAction&";
// typedefs that the meta-type system knows are resolved ("quint32&" is "uint&").
QByteArray ParameterType(const QMetaMethod& method, int i) {
    const QByteArray written = method.parameterTypes().value(i);
    const QMetaType type = method.parameterMetaType(i);
    if (!type.isValid() || !type.name())
        return Canonical(written);
    return QByteArray(type.name()) + (written.endsWith('&') ? "&" : "");
}

// What `source`'s `event` passes, read from the event's property; null when it has
// no such property, or one that no TEvent stands behind.
TMethod::TParameters EventParameters(const QObject* source, const char* event) {
    const QMetaObject* meta = source->metaObject();
    const int index = meta->indexOfProperty(event);
    if (index < 0)
        return nullptr;
    const QMetaProperty property = meta->property(index);
    if (property.metaType() != QMetaType::fromType<TMethod>())
        return nullptr;
    return property.read(source).value<TMethod>().Parameters();
}

// Whether `method` takes exactly `parameters`: the same types, each by reference
// where they say so.
bool Takes(const QMetaMethod& method, const QList<QByteArray>& parameters) {
    if (method.parameterCount() != parameters.size())
        return false;
    for (int i = 0; i < method.parameterCount(); ++i)
        if (ParameterType(method, i) != parameters[i])
            return false;
    return true;
}

}  // namespace

TMethod::TExceptionHandler TMethod::FExceptionHandler = nullptr;

void TMethod::SetExceptionHandler(TExceptionHandler handler) {
    FExceptionHandler = handler;
}

TMethod TMethod::Find(QObject* data, const QByteArray& name) {
    if (!data)
        return {};
    const QMetaObject* meta = data->metaObject();
    for (int i = meta->methodCount() - 1; i >= 0; --i) {
        const QMetaMethod method = meta->method(i);
        if (method.name() == name)
            return TMethod(data, method);
    }
    return {};
}

QString TMethod::Mismatch(const QObject* source, const char* event, const QMetaMethod& method) {
    const TParameters parameters = EventParameters(source, event);
    const QString handler = QString::fromLatin1(method.methodSignature());
    const QMetaObject* meta = source->metaObject();
    const QString eventName =
        QStringLiteral("%1 of %2").arg(QLatin1String(event), QLatin1String(meta->className()));
    if (!parameters)
        return QStringLiteral("The event %1 does not say what it passes, so %2 cannot be bound to it")
            .arg(eventName, handler);
    const QList<QByteArray> expected = parameters();
    if (Takes(method, expected))
        return {};
    return QStringLiteral("The handler %1 does not take what the event %2 passes (%3)")
        .arg(handler, eventName, QString::fromLatin1(expected.join(", ")));
}

TMethod TMethod::Bind(const QObject* source, const char* event, QObject* data, const QByteArray& name) {
    const TMethod method = Find(data, name);
    if (!method.Assigned())
        throw EInvalidOperation(QStringLiteral("%1 has no method %2 for the event %3")
                                    .arg(QLatin1String(data ? data->metaObject()->className() : "Nothing"),
                                         QString::fromLatin1(name), QLatin1String(event)));
    if (const QString mismatch = Mismatch(source, event, method.Code()); !mismatch.isEmpty())
        throw EInvalidOperation(mismatch);
    return method;
}

TMethod TMethod::Fitting(const TMethod& handler, const QList<QByteArray>& parameters) {
    if (!handler.Assigned() || Takes(handler.FCode, parameters))
        return handler;
    qWarning("The handler %s does not take what the event passes (%s)",
             handler.FCode.methodSignature().constData(), parameters.join(", ").constData());
    return {};
}

void TMethod::Invoke(void** argv) const {
    if (!Assigned())
        return;
    // The call goes straight into the moc-generated dispatcher of our own class,
    // so an exception from the handler never unwinds through Qt's code.
    QObject* target = FData.data();
    try {
        target->qt_metacall(QMetaObject::InvokeMetaMethod, FIndex, argv);
    } catch (...) {
        if (!FExceptionHandler)
            throw;
        FExceptionHandler(std::current_exception());
    }
}
