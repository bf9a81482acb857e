#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// HTTP in the shape of the seven internet calls the downloader is written against:
// open a session, connect to a server, open a request, send it, query the content
// length, read the body in pieces the caller pulls, close (destroy) each handle.
// All calls block the calling thread; none raises. Proxies come from the
// environment (http_proxy, https_proxy, no_proxy); redirects are followed; a
// connection that cannot be made within the connect time-out, or a transfer that
// stays below one byte a second for the stall time-out, fails instead of hanging.

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
    // Sends the request and receives the response headers; false when no
    // response arrived (no network, name not resolved, refused, timed out).
    virtual bool Send() = 0;
    // The response's status code (200, 404, ...), after a successful Send.
    virtual bool QueryStatusCode(std::uint32_t& status) = 0;
    // The response's Content-Length as a number; false when it has none.
    virtual bool QueryContentLength(std::uint32_t& length) = 0;
    // Reads up to `toRead` body bytes into `buffer`; `read` is 0 at the end of the
    // body. False when the transfer broke off (including a body shorter than its
    // Content-Length).
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
    virtual std::unique_ptr<IInternetConnection> Connect(const QString& serverName, std::uint16_t port,
                                                         TInternetScheme scheme) = 0;
};

// A session whose requests carry `userAgent`; null when none can be opened.
std::unique_ptr<IInternetSession> InternetOpen(const QString& userAgent);

// The time-outs of sessions opened from now on (tests shorten them).
void SetInternetTimeouts(const TInternetTimeouts& timeouts);
TInternetTimeouts InternetTimeouts();
