#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// HTTP in the shape of the internet calls the downloader is written against: open a
// session, connect to a server, open a request, add headers, send it, query the
// response's headers, read the body in pieces the caller pulls, close (destroy) each
// handle. None raises. Proxies come from the environment (http_proxy, https_proxy,
// no_proxy); redirects are followed (at most 20, so a loop fails), but never from
// https to plain http. https is verified against the system's trusted authorities, or
// those that SSL_CERT_FILE and SSL_CERT_DIR name. A connection that cannot be made
// within the connect time-out, a transfer that stays below one byte a second for the
// stall time-out, or an answer whose headers do not end within it, fails instead of
// hanging.
//
// Send and ReadFile return once their answer is there, but every wait for the network
// runs the calling thread's Qt event loop: windows repaint, input is handled, timers
// fire. A handler that runs meanwhile may call Abort, which ends the wait at once.
// Memory does not grow with the size of the body: what the caller has not pulled yet
// waits in a buffer of fixed size, and the server is held back meanwhile.

enum class TInternetScheme { Http, Https };

inline constexpr std::uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;

struct TInternetTimeouts {
    int ConnectSeconds = 60;
    int StallSeconds = 60;
};

// Why a request failed, in terms a person can act on.
enum class TInternetError {
    None,
    Aborted,               // Abort was called
    InvalidAddress,        // the address names nothing that can be fetched
    NameNotResolved,       // the name of the server (or of the proxy) is unknown
    CannotConnect,         // no connection could be made; see TConnectReason
    NoAnswer,              // connected, but no answer came
    AnswerUnfinished,      // the answer began, but its headers did not end within the
                           // stall time-out, or broke off before they did
    NotHttp,               // the server answered with something that is not HTTP
    ProxyRefused,          // the proxy declined to reach the server; see Status
    ConnectionBroken,      // the answer broke off: stalled, reset, or cut short
    UntrustedCertificate,  // the server's certificate could not be verified
    InsecureRedirect,      // an https address redirected to plain http
    RedirectNotWeb,        // a redirect pointed to something that is no http or https
                           // address (file:, ftp:, garbage); Detail is it, as sent
    SecureChannelFailed,   // any other failure of the secure channel
    TooManyRedirects,
    Other,
};

enum class TConnectReason { Other, Refused, TimedOut, HostUnreachable, NetworkUnreachable };

struct TInternetFailure {
    TInternetError Error = TInternetError::None;
    // The server that was being reached, as "host" or "host:port" (the port only when
    // it is not the scheme's); after a redirect, the server redirected to.
    QString Server;
    // "host:port" of the proxy when the proxy, not the server, is the part that failed.
    QString Proxy;
    TConnectReason Reason = TConnectReason::Other;
    // The library's own words where they say more than the kind: the certificate's
    // problem, the address an insecure redirect pointed to, the Location of a redirect
    // that is no web address (as the server sent it), an unexpected failure.
    QString Detail;
    // ProxyRefused: the status the proxy answered with.
    std::uint32_t Status = 0;
};

// A request, from HttpOpenRequest to InternetCloseHandle.
class IHttpRequest {
public:
    virtual ~IHttpRequest() = default;
    // Adds header lines ("Name: value", separated by CRLF) to the request; before Send.
    virtual bool AddRequestHeaders(const QString& headers) = 0;
    // Sends the request and receives the headers of the final response (after
    // redirects); false when no response arrived (see Failure). Once only.
    virtual bool Send() = 0;
    // The final response's status code (200, 404, ...), after a successful Send.
    virtual bool QueryStatusCode(std::uint32_t& status) = 0;
    // Its reason phrase ("Not Found"), or the standard one where it sent none.
    virtual bool QueryStatusText(QString& text) = 0;
    // Its Content-Length as a number; false when it has none or when it does not fit.
    virtual bool QueryContentLength(std::uint32_t& length) = 0;
    // The value of one of its headers (name in any letter case): every field line of
    // that name, joined with ", " in the order received, as HTTP joins repeated lines
    // into one list; false when absent.
    virtual bool QueryHeader(const QString& name, QString& value) = 0;
    // Reads `toRead` body bytes into `buffer`, fewer only where the body ends;
    // `read` is 0 at the end of the body. False when the transfer broke off
    // (including a body shorter than its Content-Length; see Failure); bytes that
    // arrived before the break are still handed out first.
    virtual bool ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) = 0;
    // Ends the request: a wait under way returns at once, and every later Send or
    // ReadFile fails with TInternetError::Aborted. Meant for handlers that run while
    // the request waits.
    virtual void Abort() = 0;
    // Why the last Send or ReadFile failed.
    virtual TInternetFailure Failure() const = 0;
};

class IInternetConnection {
public:
    virtual ~IInternetConnection() = default;
    virtual std::unique_ptr<IHttpRequest> OpenRequest(const QString& verb, const QString& objectName) = 0;
};

class IInternetSession {
public:
    virtual ~IInternetSession() = default;
    // `serverName` is a host name or address without port and without brackets
    // (an IPv6 address is given bare); null when it cannot name a server.
    virtual std::unique_ptr<IInternetConnection> Connect(const QString& serverName, std::uint16_t port,
                                                         TInternetScheme scheme) = 0;
};

// A session whose requests carry `userAgent`; null when none can be opened.
std::unique_ptr<IInternetSession> InternetOpen(const QString& userAgent);

// Gets what sessions need ready in the background (the HTTP library is loaded on
// first use), so that the first InternetOpen does not keep its caller waiting for it.
// Optional; later calls do nothing.
void PrepareInternet();

// The system's transport: "libcurl" or "WinInet", for messages and for the tests that
// say what one of them cannot tell.
QString InternetTransportName();

// The time-outs of sessions opened from now on (tests shorten them).
void SetInternetTimeouts(const TInternetTimeouts& timeouts);
TInternetTimeouts InternetTimeouts();

// For the implementations. Whether `name` can stand as the server of an address: not
// empty, and without blanks, control characters or the delimiters that would change
// what the address names (/?#@[]\).
bool IsServerName(const QString& name);
// "host", or "host:port" when `port` is not the scheme's own: the server as a failure
// names it (TInternetFailure::Server).
QString ServerName(const QString& host, std::uint16_t port, TInternetScheme scheme);
// The object name as it goes into the request line: a leading slash where it has
// none, and what would not survive there (blanks, control characters, anything beyond
// ASCII, as UTF-8) percent-encoded; the rest (existing escapes, the query) unchanged.
QString RequestPath(const QString& objectName);

// The standard reason phrase of an HTTP status ("Not Found" for 404); empty for a
// status without one.
QString HttpReasonPhrase(std::uint32_t status);
