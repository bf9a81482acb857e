#include "platform/posix/CurlHttpTransport.h"

#include "platform/posix/EnvironmentProxy.h"

#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

namespace {

constexpr long ReceiveBufferSize = 4 * CURL_MAX_WRITE_SIZE;
// The longest the transfer thread sleeps without looking at its flags; a wake-up
// ends the sleep at once, so this only bounds what a lost one could cost.
constexpr int PollMilliseconds = 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(a) == lower(b);
           });
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

TConnectReason ReasonOf(long osError) {
    switch (osError) {
        case ECONNREFUSED:
            return TConnectReason::Refused;
        case ETIMEDOUT:
            return TConnectReason::TimedOut;
        case EHOSTUNREACH:
            return TConnectReason::HostUnreachable;
        case ENETUNREACH:
            return TConnectReason::NetworkUnreachable;
        default:
            return TConnectReason::Other;
    }
}

// The server an address names, as a failure names it.
QString ServerOf(const QUrl& url) {
    const TInternetScheme scheme =
        url.scheme() == QLatin1String("https") ? TInternetScheme::Https : TInternetScheme::Http;
    const int port =
        url.port(scheme == TInternetScheme::Https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    return ServerName(url.host(), static_cast<std::uint16_t>(port), scheme);
}

// The failures that libcurl's code alone tells.
TInternetError ErrorOf(CURLcode result) {
    switch (result) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return TInternetError::NameNotResolved;
        case CURLE_PEER_FAILED_VERIFICATION:
            return TInternetError::UntrustedCertificate;
        case CURLE_TOO_MANY_REDIRECTS:
            return TInternetError::TooManyRedirects;
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CIPHER:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ENGINE_NOTFOUND:
        case CURLE_SSL_ENGINE_SETFAILED:
        case CURLE_SSL_ENGINE_INITFAILED:
        case CURLE_SSL_CRL_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_INVALIDCERTSTATUS:
        case CURLE_SSL_CLIENTCERT:
        case CURLE_USE_SSL_FAILED:
            return TInternetError::SecureChannelFailed;
        default:
            return TInternetError::Other;
    }
}

// libcurl's message without the prefix that only says which layer spoke.
QString WithoutLayer(const char* message) {
    QString text = QString::fromUtf8(message).trimmed();
    for (const char* prefix : {"SSL certificate problem: ", "SSL: "})
        if (text.startsWith(QLatin1String(prefix)))
            return text.mid(static_cast<qsizetype>(std::strlen(prefix)));
    return text;
}

}  // namespace

std::unique_ptr<TCurlHttpTransport> TCurlHttpTransport::Open(const TCurlRequestSettings& settings) {
    std::unique_ptr<TCurlHttpTransport> transport(new TCurlHttpTransport());
    if (!transport->Configure(settings))
        return nullptr;
    return transport;
}

bool TCurlHttpTransport::Configure(const TCurlRequestSettings& settings) {
    FMulti.reset(Curl()->MultiInit());
    FEasy.reset(Curl()->EasyInit());
    if (!FMulti || !FEasy)
        return false;
    FScheme = settings.Scheme;

    CURL* easy = FEasy.get();
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && Curl()->EasySetopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, settings.Url.constData());
    if (settings.Share) {
        FShare = settings.Share;
        set(CURLOPT_SHARE, FShare->Handle());
    }
    if (settings.Verb == "GET")
        set(CURLOPT_HTTPGET, 1L);
    else if (settings.Verb == "HEAD")
        set(CURLOPT_NOBODY, 1L);
    else
        set(CURLOPT_CUSTOMREQUEST, settings.Verb.constData());
    if (!settings.UserAgent.isEmpty())
        set(CURLOPT_USERAGENT, settings.UserAgent.constData());
    // No CURLOPT_PROXY: libcurl then takes http_proxy, https_proxy and no_proxy
    // from the environment, which is the preconfigured proxy of this platform.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    // What was asked for over https must not continue in the clear.
    set(CURLOPT_REDIR_PROTOCOLS_STR, FScheme == TInternetScheme::Https ? "https" : "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    // The rules are judged at each redirect (see Header); these only back them up.
    set(CURLOPT_MAXREDIRS, static_cast<long>(MaxRedirects));
    // A proxy's answer to CONNECT is not a response of ours.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.AuthorityFile.isEmpty() || !settings.AuthorityFolder.isEmpty()) {
        const auto orNull = [](const QByteArray& text) {
            return text.isEmpty() ? nullptr : text.constData();
        };
        set(CURLOPT_CAINFO, orNull(settings.AuthorityFile));
        set(CURLOPT_CAPATH, orNull(settings.AuthorityFolder));
    }
    // Zero would mean "no limit" to libcurl; a dead server must always end the call.
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(std::max(1, settings.Timeouts.ConnectSeconds)));
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1, settings.Timeouts.StallSeconds)));
    // libcurl must not use signals in a thread of ours (name look-up time-outs).
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_BUFFERSIZE, ReceiveBufferSize);
    set(CURLOPT_ERRORBUFFER, static_cast<char*>(FErrorText));
    set(CURLOPT_WRITEFUNCTION, &TCurlHttpTransport::OnWrite);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_HEADERFUNCTION, &TCurlHttpTransport::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    set(CURLOPT_RESOLVER_START_FUNCTION, &TCurlHttpTransport::OnResolverStart);
    set(CURLOPT_RESOLVER_START_DATA, static_cast<void*>(this));
    // Unknown to a libcurl older than 7.87, which is no reason to refuse the request.
    FQuickExit = Curl()->EasySetopt(easy, CURLOPT_QUICK_EXIT, 1L) == CURLE_OK;
    return ok;
}

TCurlHttpTransport::~TCurlHttpTransport() {
    FRequestHeaders.reset();
    FEasy.reset();
    FMulti.reset();
}

void TCurlHttpTransport::Interrupt() {
    if (FRunning)
        Curl()->MultiWakeup(FMulti.get());
}

bool TCurlHttpTransport::EndsPromptly() const {
    // Pairs with the fence in OnResolverStart: either this sees the look-up, or the
    // look-up sees the abort that came before this and does not start.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return FQuickExit || !FLookingUp;
}

void TCurlHttpTransport::Run(THttpChannel& channel) {
    FChannel = &channel;
    CURLM* multi = FMulti.get();
    CURL* easy = FEasy.get();
    TInternetFailure failure;
    failure.Error = TInternetError::Other;
    for (const QString& line : channel.HeaderLines()) {
        curl_slist* list = Curl()->SlistAppend(FRequestHeaders.get(), line.toUtf8().constData());
        if (!list)
            return channel.Finish(failure);
        // The first append makes the list; later ones return its unchanged head.
        if (!FRequestHeaders)
            FRequestHeaders.reset(list);
    }
    if ((FRequestHeaders &&
         Curl()->EasySetopt(easy, CURLOPT_HTTPHEADER, FRequestHeaders.get()) != CURLE_OK) ||
        Curl()->MultiAddHandle(multi, easy) != CURLM_OK)
        return channel.Finish(failure);
    FRunning = true;
    while (!channel.Aborted()) {
        if (FHeldBack != 0) {
            // Paused, libcurl reads nothing from the socket: the server is held back.
            if (!channel.Body().WaitForRoom(std::exchange(FHeldBack, 0)))
                break;
            // May hand the held-back piece to OnWrite before it returns.
            if (Curl()->EasyPause(easy, CURLPAUSE_CONT) != CURLE_OK) {
                channel.Finish(Describe(CURLE_RECV_ERROR));
                break;
            }
        }
        int running = 0;
        if (Curl()->MultiPerform(multi, &running) != CURLM_OK) {
            channel.Finish(Describe(CURLE_RECV_ERROR));
            break;
        }
        int queued = 0;
        std::optional<CURLcode> result;
        while (CURLMsg* message = Curl()->MultiInfoRead(multi, &queued))
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy)
                result = message->data.result;
        if (result) {
            if (*result != CURLE_OK) {
                channel.Finish(Describe(*result));
                break;
            }
            // An answer without a body (a HEAD, a 204) ends without a first piece.
            channel.Respond(Response());
            channel.Finish({});
            break;
        }
        // Until a socket is ready, libcurl's next time-out, or a wake-up; a paused
        // transfer waits for room instead.
        if (FHeldBack == 0)
            Curl()->MultiPoll(multi, nullptr, 0, PollMilliseconds, nullptr);
    }
    FRunning = false;
    Curl()->MultiRemoveHandle(multi, easy);
}

long TCurlHttpTransport::ResponseCode() const {
    long code = 0;
    Curl()->EasyGetinfo(FEasy.get(), CURLINFO_RESPONSE_CODE, &code);
    return code;
}

THttpResponse TCurlHttpTransport::Response() const {
    const long code = ResponseCode();
    curl_off_t length = -1;
    Curl()->EasyGetinfo(FEasy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    THttpResponse response;
    response.Status = code > 0 ? static_cast<std::uint32_t>(code) : 0;
    response.StatusText = QString::fromLatin1(FStatusText);
    response.ContentLength = length;
    for (const THeader& header : FHeaders)
        response.Headers.emplace_back(QString::fromLatin1(header.Name), QString::fromLatin1(header.Value));
    return response;
}

const TCurlHttpTransport::THeader* TCurlHttpTransport::FindHeader(const QByteArray& name) const {
    for (const THeader& header : FHeaders)
        if (header.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &header;
    return nullptr;
}

std::size_t TCurlHttpTransport::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<TCurlHttpTransport*>(self)->Write(data, size * count);
}

std::size_t TCurlHttpTransport::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    // Anything but the size taken ends the transfer.
    return static_cast<TCurlHttpTransport*>(self)->Header(data, size * count) ? size * count : 0;
}

// On the transfer thread, before libcurl starts a name look-up; non-zero refuses it.
int TCurlHttpTransport::OnResolverStart(void* /*resolver*/, void* /*reserved*/, void* self) {
    auto* transport = static_cast<TCurlHttpTransport*>(self);
    transport->FLookingUp = true;
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return transport->FChannel->Aborted() ? 1 : 0;
}

std::size_t TCurlHttpTransport::Write(const char* data, std::size_t size) {
    // Body data also proves that the final headers are in: it covers a redirect that
    // libcurl declined to follow although it carried a Location.
    if (!FChannel->Responded())
        FChannel->Respond(Response());
    // Anything but the size taken ends the transfer: nothing, once aborted.
    if (size == 0 || FChannel->Body().Write(data, size))
        return size;
    if (FChannel->Aborted())
        return 0;
    // libcurl keeps this piece and offers it again once Run has room for it.
    FHeldBack = size;
    return CURL_WRITEFUNC_PAUSE;
}

bool TCurlHttpTransport::Header(const char* data, std::size_t size) {
    const std::string_view line(data, size);
    if (StartsWithNoCase(line, "HTTP/")) {
        // A new response (an interim one, or one after a redirect): its headers alone count.
        const char* url = nullptr;
        Curl()->EasyGetinfo(FEasy.get(), CURLINFO_EFFECTIVE_URL, &url);
        FResponseUrl = QByteArray(url ? url : "");
        FAnswered = true;
        // An answer needs a connection, and so the look-up that made it has ended.
        FLookingUp = false;
        FInHeaders = true;
        std::string_view rest = Trimmed(line);
        const std::size_t afterVersion = rest.find(' ');
        rest =
            afterVersion == std::string_view::npos ? std::string_view() : Trimmed(rest.substr(afterVersion));
        const std::size_t afterCode = rest.find(' ');
        rest = afterCode == std::string_view::npos ? std::string_view() : Trimmed(rest.substr(afterCode));
        FHeaders.clear();
        FStatusText = QByteArray(rest.data(), static_cast<qsizetype>(rest.size()));
        return true;
    }
    const std::string_view content = Trimmed(line);
    if (!content.empty()) {
        const std::size_t colon = content.find(':');
        if (colon != std::string_view::npos) {
            const std::string_view name = Trimmed(content.substr(0, colon));
            const std::string_view value = Trimmed(content.substr(colon + 1));
            FHeaders.push_back({QByteArray(name.data(), static_cast<qsizetype>(name.size())),
                                QByteArray(value.data(), static_cast<qsizetype>(value.size()))});
        }
        return true;
    }
    // The blank line that ends a response's headers. An interim answer (1xx) and a
    // redirect that libcurl is about to follow are not the final response; a redirect
    // that the rules refuse ends the transfer before libcurl follows it.
    FInHeaders = false;
    if (const THeader* location = RedirectLocation()) {
        FRedirect = JudgeRedirect(QUrl(QString::fromUtf8(FResponseUrl)), QString::fromLatin1(location->Value),
                                  FRedirects++);
        return FRedirect.Refusal == TInternetError::None;
    }
    if (ResponseCode() >= 200)
        FChannel->Respond(Response());
    return true;
}

const TCurlHttpTransport::THeader* TCurlHttpTransport::RedirectLocation() const {
    const long code = ResponseCode();
    const THeader* location = FindHeader("Location");
    return code >= 300 && code < 400 && location && !location->Value.isEmpty() ? location : nullptr;
}

// Why libcurl ended the transfer, in the transfer thread once it has; the headers it
// reads are only written by this thread.
TInternetFailure TCurlHttpTransport::Describe(CURLcode result) const {
    CURL* easy = FEasy.get();
    const char* effective = nullptr;
    long osError = 0, proxyStatus = 0;
    curl_off_t connected = 0;
    Curl()->EasyGetinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    Curl()->EasyGetinfo(easy, CURLINFO_OS_ERRNO, &osError);
    Curl()->EasyGetinfo(easy, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    Curl()->EasyGetinfo(easy, CURLINFO_CONNECT_TIME_T, &connected);
    const QUrl url(QString::fromUtf8(effective ? effective : ""));
    const QString proxy = EnvironmentProxy(url.scheme().toLatin1(), url.host(QUrl::FullyEncoded).toLatin1());

    TInternetFailure failure;
    failure.Server = ServerOf(url);
    failure.Detail = WithoutLayer(FErrorText[0] ? FErrorText : Curl()->EasyStrerror(result));
    // Named by the server that redirected, with where it pointed.
    if (FRedirect.Refusal != TInternetError::None) {
        failure.Error = FRedirect.Refusal;
        failure.Server = ServerOf(QUrl(QString::fromUtf8(FResponseUrl)));
        failure.Detail = FRedirect.Detail;
        return failure;
    }
    if (!proxy.isEmpty() && proxyStatus >= 300) {
        failure.Error = TInternetError::ProxyRefused;
        failure.Proxy = proxy;
        failure.Status = static_cast<std::uint32_t>(proxyStatus);
        return failure;
    }
    switch (result) {
        case CURLE_URL_MALFORMAT:
        case CURLE_UNSUPPORTED_PROTOCOL:
        case CURLE_WEIRD_SERVER_REPLY:
            DescribeRefusal(result, failure);
            break;
        case CURLE_COULDNT_RESOLVE_PROXY:
            failure.Error = TInternetError::NameNotResolved;
            failure.Proxy = proxy;
            break;
        case CURLE_COULDNT_CONNECT:
            failure.Error = TInternetError::CannotConnect;
            failure.Reason = ReasonOf(osError);
            failure.Proxy = proxy;
            if (failure.Reason == TConnectReason::Other && osError != 0)
                failure.Detail = QString::fromLocal8Bit(std::strerror(static_cast<int>(osError)));
            break;
        case CURLE_OPERATION_TIMEDOUT:
            if (connected == 0) {
                failure.Error = TInternetError::CannotConnect;
                failure.Reason = TConnectReason::TimedOut;
                failure.Proxy = proxy;
                break;
            }
            [[fallthrough]];
        case CURLE_GOT_NOTHING:
        case CURLE_RECV_ERROR:
        case CURLE_SEND_ERROR:
        case CURLE_PARTIAL_FILE:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            DescribeBreak(failure, proxyStatus, proxy);
            break;
        default:
            failure.Error = ErrorOf(result);
            break;
    }
    return failure;
}

// An address or an answer that libcurl refused: the redirect's fault when the latest
// response redirected, and then named by the server that redirected, not by where it
// pointed.
void TCurlHttpTransport::DescribeRefusal(CURLcode result, TInternetFailure& failure) const {
    const THeader* location = RedirectLocation();
    const QUrl redirecting(QString::fromUtf8(FResponseUrl));
    if (result == CURLE_URL_MALFORMAT) {
        failure.Error = location ? TInternetError::RedirectNotWeb : TInternetError::InvalidAddress;
        if (location) {
            failure.Server = ServerOf(redirecting);
            failure.Detail = QString::fromLatin1(location->Value);
        }
        return;
    }
    // The same codes stand for a redirect that libcurl refused to follow (one that the
    // rules let pass, so only libcurl's own checks are left) and for an answer without
    // a status line (HTTP/0.9, or no HTTP at all).
    if (location) {
        failure.Error = TInternetError::RedirectNotWeb;
        failure.Server = ServerOf(redirecting);
        failure.Detail = QString::fromLatin1(location->Value);
    } else {
        failure.Error = TInternetError::NotHttp;
    }
}

// A transfer that broke off or stayed silent, named by how far its answer had come.
void TCurlHttpTransport::DescribeBreak(TInternetFailure& failure, long proxyStatus,
                                       const QString& proxy) const {
    // Header bytes do not count as speed to libcurl: a server that sends its headers a
    // byte a second, or never ends them, times out here as well.
    if (FInHeaders) {
        failure.Error = TInternetError::AnswerUnfinished;
    } else if (FAnswered) {
        failure.Error = TInternetError::ConnectionBroken;
    } else {
        failure.Error = TInternetError::NoAnswer;
        // Through a proxy, the silence is the proxy's unless it had opened a tunnel to
        // the server.
        if (proxyStatus < 200 || proxyStatus >= 300)
            failure.Proxy = proxy;
    }
}
