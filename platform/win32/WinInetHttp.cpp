#include "platform/Http.h"
#include "platform/HttpTransfer.h"
#include "platform/win32/WinInetHttpTransport.h"
#include "platform/win32/WinText.h"

#include <QThreadPool>
#include <QUrl>

#include <algorithm>
#include <atomic>

// HTTP over WinInet, in its synchronous mode on a thread per request (see
// TWinInetHttpTransport and THttpTransferRequest). Sessions and connections only gather
// what a request needs: a connection handle does no network work in WinInet, and a
// request that is redirected to another server needs one of its own for each hop
// anyway, so each request opens its own.
//
// The proxy is the system's (INTERNET_OPEN_TYPE_PRECONFIG), certificates are verified
// against the system's store, and the time-outs are those of InternetTimeouts at the
// time the session was opened.

namespace {

void SetTimeout(HINTERNET handle, DWORD option, int seconds) {
    // Zero would mean no limit to WinInet; a dead server must always end the call.
    DWORD milliseconds = static_cast<DWORD>(std::max(1, seconds)) * 1000;
    InternetSetOptionW(handle, option, &milliseconds, sizeof milliseconds);
}

class TWinInetConnection : public IInternetConnection {
public:
    explicit TWinInetConnection(TWinInetRequestSettings settings) : FSettings(std::move(settings)) {}

    std::unique_ptr<IHttpRequest> OpenRequest(const QString& verb, const QString& objectName) override {
        TWinInetRequestSettings settings = FSettings;
        settings.Verb = verb.isEmpty() ? QStringLiteral("GET") : verb;
        if (HasEmbeddedZero(settings.Verb) || settings.Verb.contains(u' '))
            return nullptr;
        settings.Object = RequestPath(objectName);
        return std::make_unique<THttpTransferRequest>(
            std::make_unique<TWinInetHttpTransport>(std::move(settings)));
    }

private:
    TWinInetRequestSettings FSettings;
};

class TWinInetSession : public IInternetSession {
public:
    TWinInetSession(std::shared_ptr<void> handle, const TInternetTimeouts& timeouts)
        : FHandle(std::move(handle)), FTimeouts(timeouts) {}

    std::unique_ptr<IInternetConnection> Connect(const QString& serverName, std::uint16_t port,
                                                 TInternetScheme scheme) override {
        if (!IsServerName(serverName) || port == 0)
            return nullptr;
        // WinInet takes names in ASCII: an international name goes in its ACE form.
        const QString host = QString::fromLatin1(QUrl::toAce(serverName));
        if (host.isEmpty())
            return nullptr;
        TWinInetRequestSettings settings;
        settings.Session = FHandle;
        settings.Host = host;
        settings.Port = port;
        settings.Scheme = scheme;
        settings.Timeouts = FTimeouts;
        return std::make_unique<TWinInetConnection>(std::move(settings));
    }

private:
    std::shared_ptr<void> FHandle;
    TInternetTimeouts FTimeouts;
};

}  // namespace

std::unique_ptr<IInternetSession> InternetOpen(const QString& userAgent) {
    if (HasEmbeddedZero(userAgent))
        return nullptr;
    HINTERNET handle = InternetOpenW(Wide(userAgent), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!handle)
        return nullptr;
    std::shared_ptr<void> session(handle, [](void* open) { InternetCloseHandle(open); });
    const TInternetTimeouts timeouts = InternetTimeouts();
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, timeouts.ConnectSeconds);
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, timeouts.StallSeconds);
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, timeouts.StallSeconds);
    return std::make_unique<TWinInetSession>(std::move(session), timeouts);
}

QString InternetTransportName() {
    return QStringLiteral("WinInet");
}

void PrepareInternet() {
    static std::atomic<bool> started = false;
    if (started.exchange(true))
        return;
    // WinInet is linked with the program, so there is no library to load; what makes
    // the first session slow is WinInet setting itself up and reading the system's
    // proxy settings, which one session opened and closed in the background does.
    // The pool's threads are waited for when the application ends.
    QThreadPool::globalInstance()->start([] {
        if (HINTERNET handle = InternetOpenW(L"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0))
            InternetCloseHandle(handle);
    });
}
