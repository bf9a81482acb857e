#pragma once

#include <QDBusMessage>
#include <QHash>
#include <QMutex>
#include <QObject>

#include <functional>
#include <memory>

#include "platform/WindowMessages.h"

// Hands the bus signal on: Qt's bus connection delivers to a QObject's slot.
class TBroadcastReceiver : public QObject {
    Q_OBJECT

public:
    explicit TBroadcastReceiver(std::function<void(const QDBusMessage&)> deliver)
        : FDeliver(std::move(deliver)) {}

private Q_SLOTS:
    void OnBroadcast(const QDBusMessage& message) { FDeliver(message); }

private:
    std::function<void(const QDBusMessage&)> FDeliver;
};

// Registered window messages carried by the session bus: a broadcast is the signal
// org.kestrelweave.WindowMessages.Broadcast(string name) on /org/kestrelweave/WindowMessages,
// which any program can send, e.g. with dbus-send.
class TDBusWindowMessages : public IWindowMessages {
public:
    static const QString ObjectPath;
    static const QString Interface;
    static const QString SignalName;

    TDBusWindowMessages() = default;
    ~TDBusWindowMessages() override;
    TDBusWindowMessages(const TDBusWindowMessages&) = delete;
    TDBusWindowMessages& operator=(const TDBusWindowMessages&) = delete;

    // 0 for an empty name, and once all ids up to 0xFFFF are taken.
    unsigned RegisterWindowMessage(const QString& name) override;
    bool Listen(TBroadcastHandler handler) override;
    bool Broadcast(const QString& name) override;

private:
    bool Connect();
    void Disconnect();
    void Deliver(const QDBusMessage& message);

    QMutex FIdsLock;
    QHash<QString, unsigned> FIds;  // by case-folded name
    TBroadcastHandler FHandler;
    // The bus signal's receiver exists only while someone listens: Qt's bus thread
    // watches a receiver's destruction with a call that waits for that thread, so a
    // receiver destroyed after the thread has gone (at exit) would never return.
    std::unique_ptr<TBroadcastReceiver> FReceiver;
    bool FDelivering = false;
};
