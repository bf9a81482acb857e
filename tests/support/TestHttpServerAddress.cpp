// What the test server's stand-ins on every system share: where a route is, and the
// bytes its file routes send.

#include "tests/support/TestHttpServer.h"

QString TTestHttpServer::Url(const QString& path) const {
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(FTls ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(FPort)
        .arg(path);
}

QByteArray TTestHttpServer::Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}
