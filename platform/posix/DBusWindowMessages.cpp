#include "platform/posix/DBusWindowMessages.h"

#include <QDBusConnection>
#include <QMutexLocker>

const QString TDBusWindowMessages::ObjectPath = QStringLiteral("/org/kestrelweave/WindowMessages");
const QString TDBusWindowMessages::Interface = QStringLiteral("org.kestrelweave.WindowMessages");
const QString TDBusWindowMessages::SignalName = QStringLiteral("Broadcast");

namespace {

// The range that registered window messages take on Windows.
constexpr unsigned FirstMessageId = 0xC000;
constexpr unsigned LastMessageId = 0xFFFF;

}  // namespace

unsigned TDBusWindowMessages::RegisterWindowMessage(const QString& name) {
    if (name.isEmpty())
        return 0;
    const QString key = name.toCaseFolded();
    QMutexLocker locker(&FIdsLock);
    const auto found = FIds.constFind(key);
    if (found != FIds.constEnd())
        return *found;
    const unsigned id = FirstMessageId + unsigned(FIds.size());
    if (id > LastMessageId)
        return 0;
    FIds.insert(key, id);
    return id;
}

bool TDBusWindowMessages::Listen(TBroadcastHandler handler) {
    if (!handler) {
        Disconnect();
        FHandler = nullptr;
        return true;
    }
    if (!Connect())
        return false;
    FHandler = std::move(handler);
    return true;
}

bool TDBusWindowMessages::Broadcast(const QString& name) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage signal = QDBusMessage::createSignal(ObjectPath, Interface, SignalName);
    signal << name;
    return bus.send(signal);
}

bool TDBusWindowMessages::Connect() {
    if (FReceiver)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    auto receiver =
        std::make_unique<TBroadcastReceiver>([this](const QDBusMessage& message) { Deliver(message); });
    // Any sender: an installer posts from a connection of its own.
    if (!bus.connect(QString(), ObjectPath, Interface, SignalName, receiver.get(),
                     SLOT(OnBroadcast(QDBusMessage))))
        return false;
    FReceiver = std::move(receiver);
    return true;
}

void TDBusWindowMessages::Disconnect() {
    if (!FReceiver)
        return;
    QDBusConnection::sessionBus().disconnect(QString(), ObjectPath, Interface, SignalName, FReceiver.get(),
                                             SLOT(OnBroadcast(QDBusMessage)));
    // A handler that stops listening runs inside the receiver's slot.
    if (FDelivering)
        FReceiver.release()->deleteLater();
    else
        FReceiver.reset();
}

void TDBusWindowMessages::Deliver(const QDBusMessage& message) {
    // Exactly one string; anything else on this signal is not a window message.
    if (message.signature() != QLatin1String("s") || !FHandler)
        return;
    const unsigned id = RegisterWindowMessage(message.arguments().constFirst().toString());
    // A copy: the handler may stop listening, which replaces FHandler while it runs.
    const TBroadcastHandler handler = FHandler;
    if (id == 0)
        return;
    const bool outer = !FDelivering;
    FDelivering = true;
    handler(id);
    if (outer)
        FDelivering = false;
}

TDBusWindowMessages::~TDBusWindowMessages() {
    // Still listening at exit, after the bus thread has gone: destroying the receiver
    // would wait for that thread for ever. The process is ending; leave it to the system.
    if (FReceiver)
        static_cast<void>(FReceiver.release());
}

// The process-wide instance outlives the application object and the bus connection.
IWindowMessages& SystemWindowMessages() {
    static TDBusWindowMessages messages;
    return messages;
}
