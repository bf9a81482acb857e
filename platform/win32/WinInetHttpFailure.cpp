#include "platform/win32/WinInetHttpFailure.h"

#include "platform/win32/WinText.h"

#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

// Winsock's codes, which WinInet passes on unchanged from some reads (a receive
// time-out ends InternetQueryDataAvailable with WSAETIMEDOUT under Wine).
constexpr DWORD SocketTimedOut = WSAETIMEDOUT;
constexpr DWORD SocketReset = WSAECONNRESET;
constexpr DWORD SocketAborted = WSAECONNABORTED;
// The longest a failed connection's probe (see ProbeConnection) may take.
constexpr int ProbeSeconds = 5;

// Case-insensitive match of `text` against `pattern`, where * stands for any run of
// characters, as in the bypass list of the system's proxy settings. After a mismatch
// only the latest star takes one more character, so a hostile name costs at most
// pattern times text steps.
bool WildcardMatch(QStringView pattern, QStringView text) {
    qsizetype p = 0, t = 0, star = -1, resume = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = t;
        } else if (p < pattern.size() && pattern[p].toCaseFolded() == text[t].toCaseFolded()) {
            ++p;
            ++t;
        } else if (star >= 0) {
            p = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

bool IsLoopback(const QString& host) {
    return host.compare(u"localhost", Qt::CaseInsensitive) == 0 || host.startsWith(u"127.") || host == u"::1";
}

// The entries of a list separated by semicolons or blanks. Split by hand: this runs on
// transfer threads, and a regular expression would leave Qt a per-thread matching
// stack whose clean-up at the end of a MinGW thread has been seen to crash under Wine.
QStringList ListEntries(const QString& list) {
    QStringList entries;
    QString entry;
    for (const QChar c : list) {
        if (c == u';' || c.isSpace()) {
            if (!entry.isEmpty())
                entries << std::exchange(entry, QString());
        } else {
            entry += c;
        }
    }
    if (!entry.isEmpty())
        entries << entry;
    return entries;
}

// Whether the bypass list (entries separated by semicolons or blanks) sends `host`
// past the proxy. <local> stands for names without a dot; loopback addresses never
// go through a proxy unless the list holds <-loopback>.
bool Bypassed(const QString& bypass, const QString& host) {
    const QStringList entries = ListEntries(bypass);
    if (IsLoopback(host) && !entries.contains(QStringLiteral("<-loopback>"), Qt::CaseInsensitive))
        return true;
    for (QString entry : entries) {
        if (entry.compare(u"<local>", Qt::CaseInsensitive) == 0) {
            if (!host.contains(u'.') && !host.contains(u':'))
                return true;
            continue;
        }
        const qsizetype scheme = entry.indexOf(QStringLiteral("://"));
        if (scheme >= 0)
            entry = entry.mid(scheme + 3);
        if (WildcardMatch(entry, host))
            return true;
    }
    return false;
}

// The entry of a proxy list ("host:port", or "http=host:port;https=host:port") that
// serves `scheme`, with the port filled in where the entry has none.
QString ProxyEntry(const QString& list, TInternetScheme scheme) {
    const QString wanted =
        scheme == TInternetScheme::Https ? QStringLiteral("https=") : QStringLiteral("http=");
    QString chosen;
    for (const QString& entry : ListEntries(list)) {
        if (entry.startsWith(wanted, Qt::CaseInsensitive)) {
            chosen = entry.mid(wanted.size());
            break;
        }
        if (!entry.contains(u'=') && chosen.isEmpty())
            chosen = entry;
    }
    const qsizetype prefix = chosen.indexOf(QStringLiteral("://"));
    if (prefix >= 0)
        chosen = chosen.mid(prefix + 3);
    while (chosen.endsWith(u'/'))
        chosen.chop(1);
    if (chosen.isEmpty())
        return chosen;
    const qsizetype colon = chosen.lastIndexOf(u':');
    if (colon < 0 || chosen.indexOf(u']', colon) >= 0)
        chosen += QStringLiteral(":80");
    return chosen;
}

// Splits "host:port" or "[v6]:port".
bool SplitHostPort(const QString& text, QString& host, std::uint16_t& port) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 0xFFFF)
        return false;
    host = text.left(colon);
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    port = static_cast<std::uint16_t>(number);
    return !host.isEmpty();
}

TConnectReason ReasonOf(int socketError) {
    switch (socketError) {
        case WSAECONNREFUSED:
            return TConnectReason::Refused;
        case WSAETIMEDOUT:
            return TConnectReason::TimedOut;
        case WSAEHOSTUNREACH:
            return TConnectReason::HostUnreachable;
        case WSAENETUNREACH:
            return TConnectReason::NetworkUnreachable;
        default:
            return TConnectReason::Other;
    }
}

TConnectReason ProbeAddress(const ADDRINFOW& address, int seconds) {
    const SOCKET probe = socket(address.ai_family, address.ai_socktype, address.ai_protocol);
    if (probe == INVALID_SOCKET)
        return TConnectReason::Other;
    u_long nonBlocking = 1;
    ioctlsocket(probe, FIONBIO, &nonBlocking);
    int error = 0;
    if (connect(probe, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
        error = WSAGetLastError();
        if (error == WSAEWOULDBLOCK) {
            fd_set writable, failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(probe, &writable);
            FD_SET(probe, &failed);
            timeval limit{seconds, 0};
            if (select(0, nullptr, &writable, &failed, &limit) == 0) {
                error = WSAETIMEDOUT;
            } else {
                int value = 0;
                int size = sizeof value;
                getsockopt(probe, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&value), &size);
                error = value;
            }
        }
    }
    closesocket(probe);
    return ReasonOf(error);
}

// WinInet says only that it could not connect, not why. So the reason is asked of the
// network directly: one connection attempt of our own to the same place, whose
// Winsock error tells a refusal from an unreachable host. It runs on the request's
// own thread, after WinInet gave up, and is bounded by ProbeSeconds.
TConnectReason ProbeConnection(const QString& host, std::uint16_t port, int seconds) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return TConnectReason::Other;
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW* found = nullptr;
    TConnectReason reason = TConnectReason::Other;
    if (GetAddrInfoW(Wide(host), Wide(QString::number(port)), &hints, &found) == 0) {
        for (const ADDRINFOW* address = found; address; address = address->ai_next) {
            reason = ProbeAddress(*address, seconds);
            if (reason != TConnectReason::Other)
                break;
        }
        FreeAddrInfoW(found);
    }
    WSACleanup();
    return reason;
}

// The certificate's problem in words, or empty for a code that is not about the
// server's certificate.
QString CertificateProblem(DWORD error) {
    switch (error) {
        case ERROR_INTERNET_INVALID_CA:
        case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
        case static_cast<DWORD>(CERT_E_UNTRUSTEDCA):
        case static_cast<DWORD>(CERT_E_CHAINING):
        case static_cast<DWORD>(SEC_E_UNTRUSTED_ROOT):
            return QStringLiteral("the certificate was not issued by a trusted authority");
        case ERROR_INTERNET_SEC_CERT_CN_INVALID:
        case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
        case static_cast<DWORD>(SEC_E_WRONG_PRINCIPAL):
            return QStringLiteral("the certificate was issued for another name");
        case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
        case static_cast<DWORD>(CERT_E_EXPIRED):
        case static_cast<DWORD>(SEC_E_CERT_EXPIRED):
            return QStringLiteral("the certificate has expired or is not yet valid");
        case ERROR_INTERNET_SEC_CERT_REVOKED:
        case static_cast<DWORD>(CERT_E_REVOKED):
        case static_cast<DWORD>(CRYPT_E_REVOKED):
            return QStringLiteral("the certificate has been revoked");
        case ERROR_INTERNET_SEC_CERT_NO_REV:
        case ERROR_INTERNET_SEC_CERT_REV_FAILED:
        case static_cast<DWORD>(CRYPT_E_NO_REVOCATION_CHECK):
        case static_cast<DWORD>(CRYPT_E_REVOCATION_OFFLINE):
            return QStringLiteral("the certificate's revocation could not be checked");
        case ERROR_INTERNET_SEC_INVALID_CERT:
        case ERROR_INTERNET_SEC_CERT_ERRORS:
        case static_cast<DWORD>(SEC_E_CERT_UNKNOWN):
            return QStringLiteral("the certificate is not valid");
        default:
            return QString();
    }
}

// The server's own words that come with ERROR_INTERNET_EXTENDED_ERROR.
QString LastResponseInfo() {
    DWORD code = 0;
    DWORD length = 0;
    InternetGetLastResponseInfoW(&code, nullptr, &length);
    if (length == 0)
        return QString();
    std::vector<wchar_t> text(length + 1);
    if (!InternetGetLastResponseInfoW(&code, text.data(), &length))
        return QString();
    return FromWide(text.data(), std::min<qsizetype>(length, static_cast<qsizetype>(text.size()))).trimmed();
}

// WinInet's words for its own codes, the system's for the rest.
QString WinInetMessage(DWORD error) {
    const HMODULE wininet = GetModuleHandleW(L"wininet.dll");
    const QString own = wininet ? SystemMessage(error, wininet) : QString();
    return own.isEmpty() || own == QStringLiteral("error %1").arg(error) ? SystemMessage(error) : own;
}

}  // namespace

QString WinInetProxyFor(HINTERNET session, TInternetScheme scheme, const QString& host) {
    DWORD size = 0;
    InternetQueryOptionW(session, INTERNET_OPTION_PROXY, nullptr, &size);
    if (size < sizeof(INTERNET_PROXY_INFO))
        return QString();
    // The strings follow the structure in the same block; 8-byte units keep its pointers aligned.
    std::vector<std::uint64_t> block((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t));
    if (!InternetQueryOptionW(session, INTERNET_OPTION_PROXY, block.data(), &size))
        return QString();
    const auto* info = reinterpret_cast<const INTERNET_PROXY_INFO*>(block.data());
    if (info->dwAccessType != INTERNET_OPEN_TYPE_PROXY || !info->lpszProxy)
        return QString();
    const QString bypass = info->lpszProxyBypass ? FromWide(info->lpszProxyBypass) : QString();
    if (Bypassed(bypass, host))
        return QString();
    return ProxyEntry(FromWide(info->lpszProxy), scheme);
}

TInternetFailure DescribeWinInetError(DWORD error, const TWinInetAttempt& attempt) {
    TInternetFailure failure;
    failure.Server = attempt.Server;
    const QString certificate = CertificateProblem(error);
    if (!certificate.isEmpty()) {
        failure.Error = TInternetError::UntrustedCertificate;
        failure.Detail = certificate;
        return failure;
    }
    switch (error) {
        case ERROR_INTERNET_OPERATION_CANCELLED:
            failure.Error = TInternetError::Aborted;
            break;
        case ERROR_INTERNET_INVALID_URL:
        case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
            failure.Error = TInternetError::InvalidAddress;
            break;
        case ERROR_INTERNET_NAME_NOT_RESOLVED:
            // With a proxy, WinInet looks up the proxy's name and leaves the server's to it.
            failure.Error = TInternetError::NameNotResolved;
            failure.Proxy = attempt.Proxy;
            break;
        case ERROR_INTERNET_CANNOT_CONNECT:
        case ERROR_INTERNET_SERVER_UNREACHABLE:
        case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
            failure.Error = TInternetError::CannotConnect;
            failure.Proxy = attempt.Proxy;
            // A failure that took the whole connect time-out is that time-out.
            if (attempt.ConnectSeconds > 0 && attempt.Seconds >= 0.9 * attempt.ConnectSeconds) {
                failure.Reason = TConnectReason::TimedOut;
            } else {
                // With a proxy, the connection that failed is the one to the proxy.
                QString host = attempt.Host;
                std::uint16_t port = attempt.Port;
                if (attempt.Proxy.isEmpty() || SplitHostPort(attempt.Proxy, host, port))
                    failure.Reason =
                        ProbeConnection(host, port, std::clamp(attempt.ConnectSeconds, 1, ProbeSeconds));
            }
            break;
        case ERROR_INTERNET_TIMEOUT:
        case SocketTimedOut:
            if (!attempt.Connected) {
                failure.Error = TInternetError::CannotConnect;
                failure.Reason = TConnectReason::TimedOut;
                failure.Proxy = attempt.Proxy;
                break;
            }
            [[fallthrough]];
        case ERROR_HTTP_INVALID_SERVER_RESPONSE:
            // Before the headers were in, the answer could not be read as HTTP.
            if (!attempt.Answered) {
                failure.Error = TInternetError::NotHttp;
                break;
            }
            [[fallthrough]];
        case ERROR_INTERNET_CONNECTION_RESET:
        case ERROR_INTERNET_CONNECTION_ABORTED:
        case ERROR_INTERNET_DISCONNECTED:
        case ERROR_HTTP_INVALID_HEADER:
        case SocketReset:
        case SocketAborted:
            // WinInet reads the headers within HttpSendRequest and says nothing of them
            // until they have ended, so headers that stop coming before their end
            // cannot be told from an answer that never began: both are NoAnswer here.
            // (Headers that keep coming a byte at a time are caught by the transport's
            // guard, see TWinInetHttpTransport::SendGuarded.)
            if (attempt.Answered) {
                failure.Error = TInternetError::ConnectionBroken;
            } else {
                failure.Error = TInternetError::NoAnswer;
                // Plain http through a proxy talks to the proxy alone; https goes through a
                // tunnel to the server, whose silence it may be.
                if (attempt.Scheme == TInternetScheme::Http)
                    failure.Proxy = attempt.Proxy;
            }
            break;
        case ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR:
            failure.Error = TInternetError::InsecureRedirect;
            break;
        case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        case ERROR_INTERNET_CLIENT_AUTH_CERT_NEEDED:
            failure.Error = TInternetError::SecureChannelFailed;
            failure.Detail = WinInetMessage(error);
            break;
        case ERROR_INTERNET_EXTENDED_ERROR:
            failure.Error = TInternetError::Other;
            failure.Detail = LastResponseInfo();
            break;
        default:
            // The secure channel's own codes (SEC_E_...) come through as they are.
            failure.Error = (error & 0xFFFF0000u) == 0x80090000u ? TInternetError::SecureChannelFailed
                                                                 : TInternetError::Other;
            failure.Detail = WinInetMessage(error);
            break;
    }
    if (failure.Detail.isEmpty() && failure.Error == TInternetError::Other)
        failure.Detail = WinInetMessage(error);
    return failure;
}
