#pragma once

#include <QDBusMessage>
#include <QHash>
#include <QMutex>
#include <QObject>

#include "platform/WindowMessages.h"

// Registered window messages carried by the session bus: a broadcast is the signal
// org.kestrelweave.WindowMessages.Broadcast(string name) on /org/kestrelweave/WindowMessages,
// which any program can send, e.g. with dbus-send.
class TDBusWindowMessages : public QObject, public IWindowMessages {
    Q_OBJECT

public:
    static const QString ObjectPath;
    static const QString Interface;
    static const QString SignalName;

    TDBusWindowMessages() = default;

    // 0 for an empty name, and once all ids up to 0xFFFF are taken.
    unsigned RegisterWindowMessage(const QString& name) override;
    bool Listen(TBroadcastHandler handler) override;
    bool Broadcast(const QString& name) override;

private Q_SLOTS:
    void OnBroadcast(const QDBusMessage& message);

private:
    bool Connect();
    void Disconnect();

    QMutex FIdsLock;
    QHash<QString, unsigned> FIds;  // by case-folded name
    TBroadcastHandler FHandler;
    bool FConnected = false;
};
