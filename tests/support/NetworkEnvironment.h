#pragma once

#include "platform/Http.h"

#include <QByteArray>

#include <array>
#include <optional>

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
