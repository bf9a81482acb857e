// What the test server's stand-ins on every system share: where a route is, the
// bytes its file routes send, and how its records read.

#include "tests/support/TestHttpServer.h"

#include <QJsonDocument>
#include <QJsonObject>

QString TTestHttpServer::Url(const QString& path) const {
    return QStringLiteral("%1://%2:%3%4")
        .arg(FTls ? QStringLiteral("https") : QStringLiteral("http"), FHost)
        .arg(FPort)
        .arg(path);
}

void TTestHttpServer::TakeRecords(std::vector<TRecordedRequest>& requests) {
    qsizetype end;
    while ((end = FPending.indexOf('\n')) >= 0) {
        const QJsonObject record = QJsonDocument::fromJson(FPending.left(end)).object();
        FPending.remove(0, end + 1);
        const auto text = [&record](const char* name) {
            return record.value(QLatin1String(name)).toString();
        };
        requests.push_back(TRecordedRequest{text("line"), text("host"), text("agent"),
                                            record.value(QLatin1String("absolute")).toBool(), text("range"),
                                            text("if_range"), text("condition"),
                                            record.value(QLatin1String("connection")).toInt()});
    }
}

QByteArray TTestHttpServer::Pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

QString TSecureServers::Error() const {
    if (!Tls.Started())
        return QStringLiteral("https server: ") + Tls.Error();
    if (!Tunnel.Started())
        return QStringLiteral("tunnelling proxy: ") + Tunnel.Error();
    return QString();
}
