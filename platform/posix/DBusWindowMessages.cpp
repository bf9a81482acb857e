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
    if (FConnected)
        return true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    // Any sender: an installer posts from a connection of its own.
    FConnected = bus.isConnected() && bus.connect(QString(), ObjectPath, Interface, SignalName, this,
                                                  SLOT(OnBroadcast(QDBusMessage)));
    return FConnected;
}

void TDBusWindowMessages::Disconnect() {
    if (!FConnected)
        return;
    QDBusConnection::sessionBus().disconnect(QString(), ObjectPath, Interface, SignalName, this,
                                             SLOT(OnBroadcast(QDBusMessage)));
    FConnected = false;
}

void TDBusWindowMessages::OnBroadcast(const QDBusMessage& message) {
    // Exactly one string; anything else on this signal is not a window message.
    if (message.signature() != QLatin1String("s") || !FHandler)
        return;
    const unsigned id = RegisterWindowMessage(message.arguments().constFirst().toString());
    // A copy: the handler may stop listening, which replaces FHandler while it runs.
    const TBroadcastHandler handler = FHandler;
    if (id != 0)
        handler(id);
}

// The process-wide instance outlives the application object and the bus connection; Qt
// drops the link between them when either goes.
IWindowMessages& SystemWindowMessages() {
    static TDBusWindowMessages messages;
    return messages;
}
