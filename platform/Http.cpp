#include "platform/Http.h"

#include <mutex>

namespace {

std::mutex SettingsLock;
TInternetTimeouts Timeouts;

}  // namespace

void SetInternetTimeouts(const TInternetTimeouts& timeouts) {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    Timeouts = timeouts;
}

TInternetTimeouts InternetTimeouts() {
    const std::lock_guard<std::mutex> lock(SettingsLock);
    return Timeouts;
}

bool IsServerName(const QString& name) {
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (c.unicode() <= 0x20 || c.unicode() == 0x7F || QStringView(u"/?#@[]\\").contains(c))
            return false;
    return true;
}

QString ServerName(const QString& host, std::uint16_t port, TInternetScheme scheme) {
    const std::uint16_t own =
        scheme == TInternetScheme::Https ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    return port == own ? host : host + u':' + QString::number(port);
}

QString RequestPath(const QString& objectName) {
    const QByteArray name = objectName.toUtf8();
    QString path;
    path.reserve(name.size() + 1);
    if (!name.startsWith('/'))
        path += u'/';
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F) {
            static constexpr char Hex[] = "0123456789ABCDEF";
            path += u'%';
            path += QLatin1Char(Hex[byte >> 4]);
            path += QLatin1Char(Hex[byte & 0x0F]);
        } else {
            path += QLatin1Char(c);
        }
    }
    return path;
}

QString HttpReasonPhrase(std::uint32_t status) {
    struct TPhrase {
        std::uint32_t Status;
        const char* Text;
    };
    static constexpr TPhrase Phrases[] = {
        {200, "OK"},
        {201, "Created"},
        {202, "Accepted"},
        {203, "Non-Authoritative Information"},
        {204, "No Content"},
        {205, "Reset Content"},
        {206, "Partial Content"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Found"},
        {303, "See Other"},
        {304, "Not Modified"},
        {307, "Temporary Redirect"},
        {308, "Permanent Redirect"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Timeout"},
        {409, "Conflict"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Content Too Large"},
        {414, "URI Too Long"},
        {415, "Unsupported Media Type"},
        {416, "Range Not Satisfiable"},
        {417, "Expectation Failed"},
        {421, "Misdirected Request"},
        {425, "Too Early"},
        {426, "Upgrade Required"},
        {428, "Precondition Required"},
        {429, "Too Many Requests"},
        {431, "Request Header Fields Too Large"},
        {451, "Unavailable For Legal Reasons"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Timeout"},
        {505, "HTTP Version Not Supported"},
        {511, "Network Authentication Required"},
    };
    for (const TPhrase& phrase : Phrases)
        if (phrase.Status == status)
            return QString::fromLatin1(phrase.Text);
    return QString();
}
