#include "platform/CodeSignature.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QObject>

#include <atomic>
#include <thread>

// Hashing a large installer takes a noticeable moment, and on Windows the check may
// read the certificate store: a thread of its own keeps the window answering.
TCodeSignature CheckCodeSignature(const QString& path) {
    if (!QAbstractEventDispatcher::instance())
        return CheckCodeSignatureNow(path);
    TCodeSignature signature;
    std::atomic<bool> done = false;
    // A call posted to it wakes the wait below once the check is done.
    QObject waker;
    std::thread worker([&] {
        signature = CheckCodeSignatureNow(path);
        done = true;
        QMetaObject::invokeMethod(
            &waker, [] {}, Qt::QueuedConnection);
    });
    while (!done)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    worker.join();
    return signature;
}
