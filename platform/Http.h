#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// HTTP in the shape of the seven internet calls the downloader is written against:
// open a session, connect to a server, open a request, send it, query the content
// length, read the body in pieces the caller pulls, close (destroy) each handle.
// All calls block the calling thread; none raises. Proxies come from the
// environment (http_proxy, https_proxy, no_proxy); redirects are followed (at most
// 20, so a loop fails); https is verified against the trusted authorities. A
// connection that cannot be made within the connect time-out, or a transfer that
// stays below one byte a second for the stall time-out, fails instead of hanging.
// Memory does not grow with the size of the body: what the caller has not pulled
// yet waits in a buffer of fixed size, and the server is held back meanwhile.

enum class TInternetScheme { Http, Https };

inline constexpr std::uint16_t INTERNET_DEFAULT_HTTP_PORT = 80;
inline constexpr std::uint16_t INTERNET_DEFAULT_HTTPS_PORT = 443;

struct TInternetTimeouts {
    int ConnectSeconds = 60;
    int StallSeconds = 60;
};

// A request, from HttpOpenRequest to InternetCloseHandle.
class IHttpRequest {
public:
    virtual ~IHttpRequest() = default;
    // Sends the request and receives the headers of the final response (after
    // redirects); false when no response arrived (no network, name not resolved,
    // refused, timed out, too many redirects, certificate not trusted). Once only.
    virtual bool Send() = 0;
    // The final response's status code (200, 404, ...), after a successful Send.
    virtual bool QueryStatusCode(std::uint32_t& status) = 0;
    // The final response's Content-Length as a number; false when it has none or
    // when it does not fit.
    virtual bool QueryContentLength(std::uint32_t& length) = 0;
    // Reads `toRead` body bytes into `buffer`, fewer only where the body ends;
    // `read` is 0 at the end of the body. False when the transfer broke off
    // (including a body shorter than its Content-Length); bytes that arrived before
    // the break are still handed out first.
    virtual bool ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) = 0;
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

// The time-outs of sessions opened from now on (tests shorten them).
void SetInternetTimeouts(const TInternetTimeouts& timeouts);
TInternetTimeouts InternetTimeouts();
