#include "platform/win32/WinInetHttpTransport.h"

#include "platform/win32/WinText.h"

#include <QStringList>
#include <QUrl>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// The most the transfer thread asks of WinInet at once: a small part of the channel's
// ring, so that the two threads rarely wait for each other.
constexpr DWORD Piece = 64 * 1024;
// How often a request is sent again when WinInet asks for it (ERROR_INTERNET_FORCE_RETRY).
constexpr int MaxRetries = 3;
// WinInet reports progress only for handles with a context other than zero.
constexpr DWORD_PTR Context = 1;

bool IsRedirect(DWORD status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool QueryNumber(HINTERNET request, DWORD info, DWORD& value) {
    DWORD size = sizeof value;
    return HttpQueryInfoW(request, info | HTTP_QUERY_FLAG_NUMBER, &value, &size, nullptr);
}

bool QueryText(HINTERNET request, DWORD info, QString& text) {
    std::vector<wchar_t> buffer(1024);
    // The size needed can only grow between two calls when the server is hostile; a
    // few tries are enough for any honest one.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
        if (HttpQueryInfoW(request, info, buffer.data(), &size, nullptr)) {
            const auto* end = std::find(buffer.data(), buffer.data() + buffer.size(), L'\0');
            text = FromWide(buffer.data(), end - buffer.data());
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(std::max<std::size_t>(buffer.size() * 2, size / sizeof(wchar_t) + 1));
    }
    return false;
}

// Whether the answer was HTTP: a status line of HTTP/1.0 or later, and at least one
// header line. WinInet takes an answer without a status line (garbage, HTTP/0.9) for
// a body, and stands a status line of its own before it: "HTTP/0.9", or under Wine
// "HTTP/1.0 200 OK" without a single header, which no HTTP server sends.
bool IsHttpAnswer(HINTERNET request) {
    QString version, raw;
    if (!QueryText(request, HTTP_QUERY_VERSION, version) ||
        !QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw))
        return false;
    version = version.trimmed();
    const QStringList lines = raw.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    return version.startsWith(QLatin1String("HTTP/"), Qt::CaseInsensitive) &&
           version.compare(QLatin1String("HTTP/0.9"), Qt::CaseInsensitive) != 0 && lines.size() > 1;
}

// False when the answer to an https request did not come through the secure channel:
// a proxy that refused the tunnel answers itself, and WinInet hands that over as if
// the server had sent it.
bool CameSecurely(HINTERNET request) {
    DWORD flags = 0;
    DWORD size = sizeof flags;
    return !InternetQueryOptionW(request, INTERNET_OPTION_SECURITY_FLAGS, &flags, &size) ||
           (flags & SECURITY_FLAG_SECURE) != 0;
}

}  // namespace

thread_local TWinInetHttpTransport* TWinInetHttpTransport::FCurrent = nullptr;

// The hop's request handle in the transfer thread's hands: taken under FLock, and
// given back once the calls made with it returned; a blocking use is for one call.
// While it is held, Interrupt leaves the closing to it (see the class comment).
class TWinInetHttpTransport::TRequestUse {
public:
    TRequestUse(TWinInetHttpTransport& transport, bool blocking) : FTransport(transport) {
        const std::lock_guard<std::mutex> lock(FTransport.FLock);
        if (FTransport.FInterrupted || !FTransport.FRequest)
            return;
        FHandle = FTransport.FRequest;
        FTransport.FInUse = true;
        FTransport.FUseBlocks = blocking;
        FTransport.FUseProgressed = false;
    }
    ~TRequestUse() {
        if (!FHandle)
            return;
        bool interrupted = false;
        {
            const std::lock_guard<std::mutex> lock(FTransport.FLock);
            FTransport.FInUse = false;
            interrupted = FTransport.FInterrupted;
        }
        // What Interrupt left open for this use.
        if (interrupted)
            FTransport.CloseHandles();
    }
    TRequestUse(const TRequestUse&) = delete;
    TRequestUse& operator=(const TRequestUse&) = delete;

    // Null once Interrupt came: the transfer ends.
    HINTERNET Handle() const { return FHandle; }

private:
    TWinInetHttpTransport& FTransport;
    HINTERNET FHandle = nullptr;
};

TWinInetHttpTransport::TWinInetHttpTransport(TWinInetRequestSettings settings)
    : FSettings(std::move(settings)) {}

// In the synchronous mode, WinInet reports progress on the thread that made the call:
// here, whether the connection was made, which tells a connect time-out from a server
// that does not answer. Calls on other threads (closing a handle) are not ours.
void CALLBACK TWinInetHttpTransport::OnStatus(HINTERNET, DWORD_PTR, DWORD status, void*, DWORD) {
    if (!FCurrent)
        return;
    FCurrent->Progressed();
    switch (status) {
        case INTERNET_STATUS_CONNECTED_TO_SERVER:
        case INTERNET_STATUS_SENDING_REQUEST:
        case INTERNET_STATUS_REQUEST_SENT:
        case INTERNET_STATUS_RECEIVING_RESPONSE:
        case INTERNET_STATUS_RESPONSE_RECEIVED:
            if (!FCurrent->FConnected)
                FCurrent->FConnectedAt =
                    std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch())
                        .count();
            FCurrent->FConnected = true;
            break;
        default:
            break;
    }
}

void TWinInetHttpTransport::Run(THttpChannel& channel) {
    FChannel = &channel;
    for (const QString& line : channel.HeaderLines())
        FHeaders += line + QStringLiteral("\r\n");
    FCurrent = this;
    Follow();
    FCurrent = nullptr;
    CloseHandles();
}

void TWinInetHttpTransport::Follow() {
    FHop = {FSettings.Host, FSettings.Port, FSettings.Scheme, FSettings.Object};
    QString verb = FSettings.Verb;
    for (int redirects = 0;; ++redirects) {
        FServer = ServerName(FHop.Host, FHop.Port, FHop.Scheme);
        FProxy = WinInetProxyFor(FSettings.Session.get(), FHop.Scheme, FHop.Host);
        FConnected = false;
        FConnectedAt = 0;
        if (!OpenHop(verb) || !SendHop())
            return;
        DWORD status = 0;
        QString location;
        THttpResponse response;
        if (!ReadAnswer(status, location, response))
            return;
        if (location.isEmpty()) {
            FAnswered = true;
            FChannel->Respond(response);
            return ReadBody(verb, response);
        }
        if (!Redirect(location, status, redirects, verb))
            return;
        CloseHandles();
    }
}

bool TWinInetHttpTransport::ReadAnswer(DWORD& status, QString& location, THttpResponse& response) {
    const TRequestUse use(*this, false);
    HINTERNET request = use.Handle();
    if (!request)
        return false;
    // A server that closed without a word, or answered with no status line at all.
    if (!QueryNumber(request, HTTP_QUERY_STATUS_CODE, status) || status < 100 || status > 999) {
        Fail(TInternetError::NoAnswer);
        return false;
    }
    if (!IsHttpAnswer(request)) {
        Fail(TInternetError::NotHttp);
        return false;
    }
    if (FHop.Scheme == TInternetScheme::Https && !CameSecurely(request)) {
        FailProxyRefused(status);
        return false;
    }
    if (IsRedirect(status) && QueryText(request, HTTP_QUERY_LOCATION, location))
        location = location.trimmed();
    else
        location.clear();
    if (location.isEmpty())
        response = Response(request, status);
    return true;
}

bool TWinInetHttpTransport::Redirect(const QString& location, DWORD status, int redirects, QString& verb) {
    QUrl here;
    here.setScheme(FHop.Scheme == TInternetScheme::Https ? QStringLiteral("https") : QStringLiteral("http"));
    here.setHost(FHop.Host);
    here.setPort(FHop.Port);
    const TRedirect redirect = JudgeRedirect(here.resolved(QUrl(FHop.Object)), location, redirects);
    // Named by the server that redirected, with where it pointed.
    if (redirect.Refusal != TInternetError::None) {
        Fail(redirect.Refusal, redirect.Detail);
        return false;
    }
    const QUrl& target = redirect.Target;
    THop next;
    next.Scheme =
        target.scheme().toLower() == QLatin1String("https") ? TInternetScheme::Https : TInternetScheme::Http;
    const int port = target.port(next.Scheme == TInternetScheme::Https ? INTERNET_DEFAULT_HTTPS_PORT
                                                                       : INTERNET_DEFAULT_HTTP_PORT);
    next.Host = target.host(QUrl::EncodeUnicode);
    next.Port = static_cast<std::uint16_t>(port);
    next.Object = target.path(QUrl::FullyEncoded);
    if (next.Object.isEmpty())
        next.Object = QStringLiteral("/");
    if (target.hasQuery())
        next.Object += u'?' + target.query(QUrl::FullyEncoded);
    // As browsers do: See Other is fetched with GET, and so is a POST moved elsewhere.
    if ((status == 303 && verb != QLatin1String("HEAD")) ||
        ((status == 301 || status == 302) && verb == QLatin1String("POST")))
        verb = QStringLiteral("GET");
    FHop = next;
    return true;
}

// The connection and request handles of FHop, set up while only this thread knows
// them, then kept where Abort finds them; false when the transfer has ended (aborted,
// or failed: see Fail).
bool TWinInetHttpTransport::OpenHop(const QString& verb) {
    HINTERNET connection = InternetConnectW(FSettings.Session.get(), Wide(FHop.Host), FHop.Port, nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, Context);
    if (!connection) {
        Fail(DescribeWinInetError(GetLastError(), Attempt(TClock::now())));
        return false;
    }
    // Set before the request exists, so that it inherits it.
    InternetSetStatusCallbackW(connection, &TWinInetHttpTransport::OnStatus);

    // Always from the server, never into the cache or the cookie jar, no dialogs, and
    // redirects are ours to follow. Nothing that would relax the checks of https.
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI |
                  INTERNET_FLAG_NO_AUTO_REDIRECT | INTERNET_FLAG_NO_COOKIES;
    if (FHop.Scheme == TInternetScheme::Https)
        flags |= INTERNET_FLAG_SECURE;
    HINTERNET request = HttpOpenRequestW(connection, Wide(verb), Wide(FHop.Object), nullptr, nullptr, nullptr,
                                         flags, Context);
    if (!request) {
        const DWORD error = GetLastError();
        InternetCloseHandle(connection);
        Fail(DescribeWinInetError(error, Attempt(TClock::now())));
        return false;
    }

    // Set on the request itself: Wine takes the receive and send time-outs from the
    // request handle alone. Zero would mean no limit: a dead server must end the call.
    const DWORD connectMs = static_cast<DWORD>(std::max(1, FSettings.Timeouts.ConnectSeconds)) * 1000;
    const DWORD stallMs = static_cast<DWORD>(std::max(1, FSettings.Timeouts.StallSeconds)) * 1000;
    for (const auto& [option, value] : {std::pair{INTERNET_OPTION_CONNECT_TIMEOUT, connectMs},
                                        std::pair{INTERNET_OPTION_RECEIVE_TIMEOUT, stallMs},
                                        std::pair{INTERNET_OPTION_SEND_TIMEOUT, stallMs}}) {
        DWORD milliseconds = value;
        InternetSetOptionW(request, option, &milliseconds, sizeof milliseconds);
    }
    if (!FHeaders.isEmpty() &&
        !HttpAddRequestHeadersW(request, Wide(FHeaders), static_cast<DWORD>(FHeaders.size()),
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE)) {
        const DWORD error = GetLastError();
        InternetCloseHandle(request);
        InternetCloseHandle(connection);
        Fail(TInternetError::Other, SystemMessage(error, GetModuleHandleW(L"wininet.dll")));
        return false;
    }
    return Keep(connection, request);
}

bool TWinInetHttpTransport::SendHop() {
    for (int retry = 0;; ++retry) {
        const TClock::time_point started = TClock::now();
        DWORD error = 0;
        if (SendGuarded(error))
            return true;
        // The guard or Interrupt has ended the transfer.
        if (error == 0)
            return false;
        // WinInet has done a round of its own (a proxy's authentication, a connection
        // that the server had closed) and wants the request sent again.
        if (error == ERROR_INTERNET_FORCE_RETRY && retry < MaxRetries)
            continue;
        // A proxy that refused the tunnel for https may leave its answer with the request.
        DWORD status = 0;
        bool refused = false;
        if (FHop.Scheme == TInternetScheme::Https && !FProxy.isEmpty()) {
            const TRequestUse use(*this, false);
            if (!use.Handle())
                return false;
            refused =
                QueryNumber(use.Handle(), HTTP_QUERY_STATUS_CODE, status) && status >= 300 && status < 600;
        }
        if (refused) {
            FailProxyRefused(status);
            return false;
        }
        Fail(DescribeWinInetError(error, Attempt(started)));
        return false;
    }
}

// WinInet reads the headers within HttpSendRequestW, and its receive time-out starts
// anew with every byte: headers sent a byte a second would hold the call for as long as
// the server likes. A silent server is ended by that time-out one stall time-out after
// the connection was made, so a call still under way at twice that has been receiving
// all along: its headers did not end in time. (Headers that stop coming before they
// end look like no answer at all; WinInet tells nothing of them before they end.)
bool TWinInetHttpTransport::SendGuarded(DWORD& error) {
    error = 0;
    const TRequestUse use(*this, true);
    if (!use.Handle())
        return false;
    std::mutex lock;
    std::condition_variable changed;
    bool returned = false;
    bool overdue = false;
    const auto limit = std::chrono::milliseconds(2000 * std::max(1, FSettings.Timeouts.StallSeconds));
    const auto watch = [&] {
        std::unique_lock<std::mutex> held(lock);
        while (!returned) {
            changed.wait_for(held, std::chrono::milliseconds(250));
            const std::int64_t connected = FConnectedAt;
            const auto now =
                std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now().time_since_epoch());
            if (!returned && connected != 0 && now - std::chrono::milliseconds(connected) > limit) {
                overdue = true;
                break;
            }
        }
        if (!overdue)
            return;
        held.unlock();
        TInternetFailure failure;
        failure.Error = TInternetError::AnswerUnfinished;
        failure.Server = FServer;
        FChannel->Finish(std::move(failure));
        // Interrupt closes the handle once the call has reported progress, which it
        // may not have yet on a retry: asked again until the call returned.
        held.lock();
        while (!returned) {
            held.unlock();
            Interrupt();
            held.lock();
            changed.wait_for(held, std::chrono::milliseconds(250));
        }
    };
    // Without a thread for the guard the call goes unguarded, as it did before.
    std::thread guard;
    try {
        guard = std::thread(watch);
    } catch (const std::system_error&) {
    }
    const bool sent = HttpSendRequestW(use.Handle(), nullptr, 0, nullptr, 0);
    error = sent ? 0 : GetLastError();
    {
        const std::lock_guard<std::mutex> held(lock);
        returned = true;
    }
    changed.notify_all();
    if (guard.joinable())
        guard.join();
    if (overdue) {
        error = 0;
        return false;
    }
    // A failure without a code is none WinInet should give; it is not the guard's.
    if (!sent && error == 0)
        error = ERROR_INTERNET_INTERNAL_ERROR;
    return sent;
}

bool TWinInetHttpTransport::Keep(HINTERNET connection, HINTERNET request) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        if (!FInterrupted) {
            FConnection = connection;
            FRequest = request;
            return true;
        }
    }
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    return false;
}

void TWinInetHttpTransport::Progressed() {
    const std::lock_guard<std::mutex> lock(FLock);
    FUseProgressed = FInUse;
}

void TWinInetHttpTransport::CloseHandles() {
    HINTERNET request = nullptr;
    HINTERNET connection = nullptr;
    {
        const std::lock_guard<std::mutex> lock(FLock);
        request = std::exchange(FRequest, nullptr);
        connection = std::exchange(FConnection, nullptr);
    }
    if (request)
        InternetCloseHandle(request);
    if (connection)
        InternetCloseHandle(connection);
}

void TWinInetHttpTransport::Interrupt() {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        // From now on Keep closes what the transfer thread opens, and no use takes a handle.
        FInterrupted = true;
        // The use under way closes them as it ends, unless its call holds the handle itself.
        if (FInUse && !(FUseBlocks && FUseProgressed))
            return;
    }
    CloseHandles();
}

// Everything the caller may ask of the final response, read once here so that its
// questions never touch a handle that the transfer thread is reading from.
THttpResponse TWinInetHttpTransport::Response(HINTERNET request, DWORD status) const {
    THttpResponse response;
    response.Status = status;
    QueryText(request, HTTP_QUERY_STATUS_TEXT, response.StatusText);
    QString lengthText;
    if (QueryText(request, HTTP_QUERY_CONTENT_LENGTH, lengthText)) {
        bool ok = false;
        const qint64 value = lengthText.trimmed().toLongLong(&ok);
        if (ok && value >= 0)
            response.ContentLength = value;
    }
    QString raw;
    if (QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF, raw)) {
        const QStringList lines = raw.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        // The first line is the status line.
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(u':');
            if (colon > 0)
                response.Headers.emplace_back(lines[i].left(colon).trimmed(),
                                              lines[i].mid(colon + 1).trimmed());
        }
    }
    return response;
}

void TWinInetHttpTransport::ReadBody(const QString& verb, const THttpResponse& response) {
    // WinInet ends a body that breaks off before its Content-Length as if it were
    // complete, so the bytes are counted here. A chunked body, and the answers that
    // have none, carry a length that says nothing about what follows.
    const bool chunked =
        std::any_of(response.Headers.begin(), response.Headers.end(), [](const auto& header) {
            return header.first.compare(u"Transfer-Encoding", Qt::CaseInsensitive) == 0 &&
                   header.second.compare(u"identity", Qt::CaseInsensitive) != 0;
        });
    const qint64 expected =
        !chunked && verb != QLatin1String("HEAD") && response.Status != 204 && response.Status != 304
            ? response.ContentLength
            : -1;
    std::vector<char> piece(Piece);
    qint64 received = 0;
    for (;;) {
        // Waits for room before reading, so that a fast server is held back by TCP.
        if (!FChannel->Body().WaitForRoom(Piece))
            return;
        // A synchronous InternetReadFile waits until it has all it was asked for, so it
        // is asked only for what has arrived: bytes that came before a stall are then
        // handed out before the stall's time-out ends the transfer. Each call a use of
        // its own, as each may block.
        const TClock::time_point started = TClock::now();
        DWORD available = 0;
        DWORD got = 0;
        bool done = false;
        DWORD error = 0;
        {
            const TRequestUse use(*this, true);
            if (!use.Handle())
                return;
            done = InternetQueryDataAvailable(use.Handle(), &available, 0, 0);
            error = done ? 0 : GetLastError();
        }
        if (done) {
            const TRequestUse use(*this, true);
            if (!use.Handle())
                return;
            done = InternetReadFile(use.Handle(), piece.data(),
                                    available > 0 ? std::min(available, Piece) : Piece, &got);
            error = done ? 0 : GetLastError();
        }
        if (!done)
            return Fail(DescribeWinInetError(error, Attempt(started)));
        if (got == 0) {
            if (expected >= 0 && received < expected)
                return Fail(
                    TInternetError::ConnectionBroken,
                    QStringLiteral("the body ended after %1 of %2 bytes").arg(received).arg(expected));
            return FChannel->Finish({});
        }
        received += got;
        // There is room: only this thread fills the ring.
        if (!FChannel->Body().Write(piece.data(), got))
            return;
    }
}

TWinInetAttempt TWinInetHttpTransport::Attempt(TClock::time_point started) const {
    TWinInetAttempt attempt;
    attempt.Server = FServer;
    attempt.Host = FHop.Host;
    attempt.Port = FHop.Port;
    attempt.Proxy = FProxy;
    attempt.Scheme = FHop.Scheme;
    attempt.Connected = FConnected;
    attempt.Answered = FAnswered;
    attempt.Seconds = std::chrono::duration<double>(TClock::now() - started).count();
    attempt.ConnectSeconds = FSettings.Timeouts.ConnectSeconds;
    return attempt;
}

void TWinInetHttpTransport::Fail(TInternetFailure failure) {
    if (failure.Server.isEmpty())
        failure.Server = FServer;
    FChannel->Finish(std::move(failure));
}

void TWinInetHttpTransport::Fail(TInternetError error, const QString& detail) {
    TInternetFailure failure;
    failure.Error = error;
    failure.Detail = detail;
    Fail(std::move(failure));
}

void TWinInetHttpTransport::FailProxyRefused(std::uint32_t status) {
    TInternetFailure failure;
    failure.Error = TInternetError::ProxyRefused;
    failure.Proxy = FProxy;
    failure.Status = status;
    Fail(std::move(failure));
}
