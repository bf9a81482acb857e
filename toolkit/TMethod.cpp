#include "toolkit/TMethod.h"

#include "toolkit/TApplication.h"

#include <QDebug>

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

void TMethod::Invoke(int argc, void** argv) const {
    if (!Assigned())
        return;
    if (FCode.parameterCount() != argc) {
        qWarning("Event handler %s takes %d arguments, the event passes %d",
                 FCode.methodSignature().constData(), FCode.parameterCount(), argc);
        return;
    }
    // The call goes straight into the moc-generated dispatcher of our own class,
    // so an exception from the handler never unwinds through Qt's code.
    QObject* target = FData.data();
    TApplication::Guard(
        [&] { target->qt_metacall(QMetaObject::InvokeMetaMethod, FCode.methodIndex(), argv); });
}
