#include "core/TMethod.h"

#include "core/Exception.h"

#include <QDebug>
#include <QMetaClassInfo>

namespace {

// A type by its own name: a typedef by what it stands for ("quint32" is "uint"),
// keeping a reference's "&".
QByteArray Canonical(const QByteArray& written) {
    const bool reference = written.endsWith('&');
    const QByteArray base = reference ? written.chopped(1) : written;
    const QMetaType type = QMetaType::fromName(base);
    return (type.isValid() && type.name() ? QByteArray(type.name()) : base) + (reference ? "&" : "");
}

// The parameter types an event passes, as its class information names them; empty
// with `found` false when the class names none for it.
QList<QByteArray> EventParameters(const QMetaObject* meta, const char* event, bool* found) {
    const int index = meta->indexOfClassInfo(event);
    *found = index >= 0;
    if (index < 0)
        return {};
    const QByteArray normalized =
        QMetaObject::normalizedSignature(QByteArray("f(") + meta->classInfo(index).value() + ')');
    const QByteArray list = normalized.mid(2, normalized.size() - 3);
    QList<QByteArray> types;
    if (!list.isEmpty())
        for (const QByteArray& type : list.split(','))
            types.append(Canonical(type));
    return types;
}

// A handler's parameter by the type it really is: moc writes it as the source spells
// it ("TCloseAction&" under a using-directive), the type's own name is qualified.
QByteArray ParameterType(const QMetaMethod& method, int i) {
    const QByteArray written = method.parameterTypes().value(i);
    const QMetaType type = method.parameterMetaType(i);
    if (!type.isValid() || !type.name())
        return Canonical(written);
    return QByteArray(type.name()) + (written.endsWith('&') ? "&" : "");
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
    const QMetaObject* meta = source->metaObject();
    bool declared = false;
    const QList<QByteArray> expected = EventParameters(meta, event, &declared);
    const QString handler = QString::fromLatin1(method.methodSignature());
    const QString eventName =
        QStringLiteral("%1 of %2").arg(QLatin1String(event), QLatin1String(meta->className()));
    if (!declared)
        return QStringLiteral("The event %1 does not say what it passes, so %2 cannot be bound to it")
            .arg(eventName, handler);
    QList<QByteArray> actual;
    for (int i = 0; i < method.parameterCount(); ++i)
        actual.append(ParameterType(method, i));
    if (actual == expected)
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

void TMethod::Invoke(int argc, void** argv) const {
    if (!Assigned())
        return;
    if (FParameterCount != argc) {
        qWarning("Event handler %s takes %d arguments, the event passes %d",
                 FCode.methodSignature().constData(), FParameterCount, argc);
        return;
    }
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
