#include "platform/Http.h"
#include "platform/posix/CurlHttpRequest.h"
#include "platform/posix/CurlLibrary.h"

#include <curl/curl.h>

#include <QThreadPool>

#include <atomic>

#include <cstring>

// Sessions and connections only gather what a request needs; each request is one
// libcurl transfer of its own (see TCurlHttpRequest).

namespace {

// Characters that would change what the URL names if they stood in a server name.
bool IsServerName(const QByteArray& name) {
    if (name.isEmpty())
        return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || std::strchr("/?#@[]\\", c) != nullptr)
            return false;
    }
    return true;
}

// The object name as it goes into the URL: what libcurl's parser would refuse
// (blanks, control characters, bytes beyond ASCII) is percent-encoded, the rest
// (including existing escapes and the query) passes unchanged.
QByteArray ObjectPath(const QString& objectName) {
    const QByteArray name = objectName.toUtf8();
    QByteArray path;
    path.reserve(name.size() + 1);
    if (!name.startsWith('/'))
        path += '/';
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            static constexpr char Hex[] = "0123456789ABCDEF";
            path += '%';
            path += Hex[byte >> 4];
            path += Hex[byte & 0x0F];
        } else {
            path += c;
        }
    }
    return path;
}

class TCurlConnection : public IInternetConnection {
public:
    TCurlConnection(QByteArray origin, TCurlRequestSettings settings)
        : FOrigin(std::move(origin)), FSettings(std::move(settings)) {}

    std::unique_ptr<IHttpRequest> OpenRequest(const QString& verb, const QString& objectName) override {
        TCurlRequestSettings settings = FSettings;
        settings.Url = FOrigin + ObjectPath(objectName);
        settings.Verb = verb.isEmpty() ? QByteArray("GET") : verb.toUtf8();
        return TCurlHttpRequest::Open(settings);
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
        QByteArray host = serverName.toUtf8();
        if (!IsServerName(host) || port == 0)
            return nullptr;
        // An IPv6 address is the only server name with a colon.
        if (host.contains(':'))
            host = '[' + host + ']';
        const QByteArray origin = (scheme == TInternetScheme::Https ? "https://" : "http://") + host + ':' +
                                  QByteArray::number(port);
        TCurlRequestSettings settings = FSettings;
        settings.Scheme = scheme;
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

void PrepareInternet() {
    static std::atomic<bool> started = false;
    if (started.exchange(true))
        return;
    // The pool's threads are waited for when the application ends.
    QThreadPool::globalInstance()->start([] { Curl(); });
}
