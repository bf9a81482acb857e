#pragma once

#include "platform/Http.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class TTestHttpServer;

// The machine's own proxy and trust settings must not route loopback tests elsewhere
// or decide which certificates count: the variables that set them are unset for the
// life of the object and restored after, as are the HTTP service's time-outs, which
// tests shorten.
class TNetworkEnvironment {
public:
    TNetworkEnvironment();
    ~TNetworkEnvironment();
    TNetworkEnvironment(const TNetworkEnvironment&) = delete;
    TNetworkEnvironment& operator=(const TNetworkEnvironment&) = delete;

private:
    static constexpr std::array<const char*, 9> Names{"http_proxy", "https_proxy",   "HTTPS_PROXY",
                                                      "all_proxy",  "ALL_PROXY",     "no_proxy",
                                                      "NO_PROXY",   "SSL_CERT_FILE", "SSL_CERT_DIR"};
    std::array<std::optional<QByteArray>, Names.size()> FSaved;
    TInternetTimeouts FTimeouts;
};

// What a test may ask that not every transport can do.
enum class TTransportLimit {
    ChunkedBodyCut,    // tell a chunked body that breaks off before its last chunk from a whole one
    ProxyForLoopback,  // send requests for loopback addresses through a proxy
    UnfinishedAnswer,  // tell headers that stop coming before their end from no answer at all
};
// Empty when the transport in use can; else why it cannot, for the test to say as it
// skips.
QString WhyTransportCannot(TTransportLimit limit);

// Proxies as a person sets them for the system. Each is "HOST:PORT", empty for none;
// Bypass lists the hosts reached directly, separated by commas. Loopback addresses
// go through a proxy like any other host unless Bypass names them.
struct TProxySettings {
    QString Http;
    QString Https;
    QString Bypass;
};

// The system's proxies for the life of the object, where the transport reads them:
// the variables http_proxy, https_proxy and no_proxy for curl, the Internet Settings
// in the registry for WinInet; as they were again after.
class TScopedProxies {
public:
    explicit TScopedProxies(const TProxySettings& settings);
    ~TScopedProxies();
    TScopedProxies(const TScopedProxies&) = delete;
    TScopedProxies& operator=(const TScopedProxies&) = delete;

private:
    struct TSaved;
    std::unique_ptr<TSaved> FSaved;
};

// The test authority that signed the certificate of `server` (a Tls or Tunnel one),
// trusted for the life of the object: curl finds it through SSL_CERT_FILE, or through
// SSL_CERT_DIR as a hashed folder. WinInet trusts what the system's store holds, and
// under Wine a process sees that store as it was at its first verification: there the
// first trust adds every test authority to the user's store for the rest of the
// program, so that a server can be untrusted only in a program of its own.
class TScopedTrust {
public:
    enum class TForm { File, Folder };
    explicit TScopedTrust(const TTestHttpServer& server, TForm form = TForm::File);
    ~TScopedTrust();
    TScopedTrust(const TScopedTrust&) = delete;
    TScopedTrust& operator=(const TScopedTrust&) = delete;

    // Empty where a test may find a server untrusted after other tests trusted
    // theirs; else why it may not.
    static QString WhyNotUntrusted();

private:
    struct TSaved;
    std::unique_ptr<TSaved> FSaved;
};
