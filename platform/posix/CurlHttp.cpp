#include "platform/Http.h"
#include "platform/HttpTransfer.h"
#include "platform/posix/CurlHttpTransport.h"
#include "platform/posix/CurlLibrary.h"

#include <curl/curl.h>

#include <QThreadPool>

#include <atomic>

// Sessions and connections only gather what a request needs; each request is one
// libcurl transfer of its own (see TCurlHttpTransport) on a thread of its own (see
// THttpTransferRequest). The requests of one connection share libcurl's cache of
// open connections (TCurlShare), so that they reuse one where the server keeps it.

namespace {

class TCurlConnection : public IInternetConnection {
public:
    TCurlConnection(QByteArray origin, TCurlRequestSettings settings)
        : FOrigin(std::move(origin)), FSettings(std::move(settings)) {}

    std::unique_ptr<IHttpRequest> OpenRequest(const QString& verb, const QString& objectName) override {
        TCurlRequestSettings settings = FSettings;
        settings.Url = FOrigin + RequestPath(objectName).toLatin1();
        settings.Verb = verb.isEmpty() ? QByteArray("GET") : verb.toUtf8();
        std::unique_ptr<TCurlHttpTransport> transport = TCurlHttpTransport::Open(settings);
        if (!transport)
            return nullptr;
        return std::make_unique<THttpTransferRequest>(std::move(transport));
    }

private:
    QByteArray FOrigin;
    TCurlRequestSettings FSettings;
};

class TCurlSession : public IInternetSession {
public:
    explicit TCurlSession(const QString& userAgent) {
        FSettings.UserAgent = userAgent.toUtf8();
        FSettings.Timeouts = InternetTimeouts();
        // As for curl and OpenSSL: these replace the system's store of trusted
        // authorities, each alone or both together.
        FSettings.AuthorityFile = qgetenv("SSL_CERT_FILE");
        FSettings.AuthorityFolder = qgetenv("SSL_CERT_DIR");
    }

    std::unique_ptr<IInternetConnection> Connect(const QString& serverName, std::uint16_t port,
                                                 TInternetScheme scheme) override {
        if (!IsServerName(serverName) || port == 0)
            return nullptr;
        QByteArray host = serverName.toUtf8();
        // An IPv6 address is the only server name with a colon.
        if (host.contains(':'))
            host = '[' + host + ']';
        const QByteArray origin = (scheme == TInternetScheme::Https ? "https://" : "http://") + host + ':' +
                                  QByteArray::number(port);
        TCurlRequestSettings settings = FSettings;
        settings.Scheme = scheme;
        settings.Share = TCurlShare::Make();
        return std::make_unique<TCurlConnection>(origin, settings);
    }

private:
    TCurlRequestSettings FSettings;
};

}  // namespace

std::unique_ptr<IInternetSession> InternetOpen(const QString& userAgent) {
    if (!Curl())
        return nullptr;
    return std::make_unique<TCurlSession>(userAgent);
}

QString InternetTransportName() {
    return QStringLiteral("libcurl");
}

void PrepareInternet() {
    static std::atomic<bool> started = false;
    if (started.exchange(true))
        return;
    // The application waits for the pool's tasks when it ends, but not for the end of
    // their threads, so the thread hands back what OpenSSL keeps for it while the
    // task still runs.
    QThreadPool::globalInstance()->start([] {
        Curl();
        ReleaseTlsThreadState();
    });
}
