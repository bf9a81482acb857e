#include "platform/posix/EnvironmentProxy.h"

#include <arpa/inet.h>

#include <QList>

#include <array>

namespace {

// What comes before the first `separator`, or all of `text` when there is none.
QByteArray Before(const QByteArray& text, char separator) {
    const qsizetype at = text.indexOf(separator);
    return at < 0 ? text : text.left(at);
}

QByteArray Variable(const char* name) {
    return qgetenv(name).trimmed();
}

QByteArray FirstSet(std::initializer_list<QByteArray> names) {
    for (const QByteArray& name : names) {
        const QByteArray value = Variable(name.constData());
        if (!value.isEmpty())
            return value;
    }
    return QByteArray();
}

// An IPv4 address in `text`, or false.
bool ParseIPv4(const QByteArray& text, std::uint32_t& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, text.constData(), &parsed) != 1)
        return false;
    address = ntohl(parsed.s_addr);
    return true;
}

bool SameIPv6(const QByteArray& a, const QByteArray& b) {
    std::array<unsigned char, 16> first{}, second{};
    return ::inet_pton(AF_INET6, a.constData(), first.data()) == 1 &&
           ::inet_pton(AF_INET6, b.constData(), second.data()) == 1 && first == second;
}

// One no_proxy entry against a host: a name matches itself and its subdomains; an
// address matches itself, or its network when the entry has a prefix length.
bool Matches(QByteArray entry, const QByteArray& host) {
    while (entry.startsWith('.'))
        entry.remove(0, 1);
    if (entry.isEmpty())
        return false;
    std::uint32_t hostAddress = 0;
    if (ParseIPv4(host, hostAddress)) {
        const qsizetype slash = entry.indexOf('/');
        std::uint32_t network = 0;
        if (!ParseIPv4(Before(entry, '/'), network))
            return false;
        bool ok = true;
        const int bits = slash < 0 ? 32 : entry.mid(slash + 1).toInt(&ok);
        if (!ok || bits < 0 || bits > 32)
            return false;
        const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t(0) << (32 - bits);
        return (hostAddress & mask) == (network & mask);
    }
    if (host.contains(':'))
        return SameIPv6(Before(entry, '/'), host);
    const QByteArray lowerHost = host.toLower();
    const QByteArray lowerEntry = entry.toLower();
    if (lowerHost == lowerEntry)
        return true;
    return lowerHost.endsWith('.' + lowerEntry);
}

bool Bypassed(QByteArray host) {
    const QByteArray list = FirstSet({"no_proxy", "NO_PROXY"});
    if (list.isEmpty())
        return false;
    if (list == "*")
        return true;
    if (host.startsWith('[') && host.endsWith(']'))
        host = host.mid(1, host.size() - 2);
    while (host.endsWith('.'))
        host.chop(1);
    QByteArray normalized = list;
    normalized.replace(' ', ',');
    for (const QByteArray& entry : normalized.split(','))
        if (Matches(entry.trimmed(), host))
            return true;
    return false;
}

// "host:port" of a proxy string "[scheme://][user[:password]@]host[:port][/...]".
QString HostAndPort(QByteArray proxy) {
    const qsizetype scheme = proxy.indexOf("://");
    if (scheme >= 0)
        proxy.remove(0, scheme + 3);
    proxy = Before(proxy, '/');
    const qsizetype at = proxy.lastIndexOf('@');
    if (at >= 0)
        proxy.remove(0, at + 1);
    const qsizetype bracket = proxy.lastIndexOf(']');
    const qsizetype colon = proxy.lastIndexOf(':');
    const bool hasPort = colon >= 0 && colon > bracket && (bracket >= 0 || proxy.count(':') == 1);
    if (!hasPort)
        proxy += ":1080";
    return QString::fromUtf8(proxy);
}

}  // namespace

QString EnvironmentProxy(const QByteArray& scheme, const QByteArray& host) {
    if (Bypassed(host))
        return QString();
    const QByteArray lower = scheme.toLower();
    // Only the lower-case http_proxy: HTTP_PROXY may be set by a web server for a
    // script from a request's "Proxy:" header.
    QByteArray proxy =
        lower == "http" ? Variable("http_proxy") : FirstSet({lower + "_proxy", scheme.toUpper() + "_PROXY"});
    if (proxy.isEmpty())
        proxy = FirstSet({"all_proxy", "ALL_PROXY"});
    return proxy.isEmpty() ? QString() : HostAndPort(proxy);
}
