#pragma once

#include <QByteArray>
#include <QString>

// The proxy that libcurl takes from the environment for a request to `host` over
// `scheme` ("http", "https"): http_proxy for http (lower case only), https_proxy or
// HTTPS_PROXY for https, then all_proxy or ALL_PROXY; none when no_proxy or NO_PROXY
// names the host. Returned as "host:port" (the port defaulting to 1080, as libcurl's
// does), empty when the request goes direct. Used to tell which party a failed
// connection was meant for.
QString EnvironmentProxy(const QByteArray& scheme, const QByteArray& host);
