#include "net/HttpParsing.h"

#include "net/TURLParser.h"

#include <QList>

#include <limits>

namespace {

// The 32 bytes that `text` gives in base64, or nothing when it gives anything else.
QByteArray Sha256Bytes(QStringView text) {
    const auto decoded =
        QByteArray::fromBase64Encoding(text.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 32)
        return QByteArray();
    return decoded.decoded;
}

// The SHA-256 values that a header's list of digests states, each as it reads
// ("sha-256=:B64:, sha-512=:B64:" in Repr-Digest, `colons`; "SHA-256=B64,MD5=B64" in
// Digest); an empty one where a member names SHA-256 but its value is none.
// Algorithm names in any letter case.
std::vector<QByteArray> StatedSha256s(const QString& list, bool colons) {
    std::vector<QByteArray> stated;
    for (const QStringView member : QStringView(list).split(QLatin1Char(','))) {
        const qsizetype equals = member.indexOf(QLatin1Char('='));
        if (equals < 0 ||
            member.left(equals).trimmed().compare(QLatin1String("sha-256"), Qt::CaseInsensitive) != 0)
            continue;
        // A structured field's parameters follow a semicolon; base64 has none.
        QStringView value = member.mid(equals + 1);
        value = value.left(value.indexOf(QLatin1Char(';'))).trimmed();
        if (colons) {
            const bool framed =
                value.size() >= 2 && value.startsWith(QLatin1Char(':')) && value.endsWith(QLatin1Char(':'));
            value = framed ? value.mid(1, value.size() - 2) : QStringView();
        }
        stated.push_back(Sha256Bytes(value));
    }
    return stated;
}

}  // namespace

std::optional<TServer> ServerOf(const TURLParser& url) {
    TServer server;
    const qsizetype marker = url.URL.indexOf(QLatin1String("://"));
    if (marker > 0 && url.URL.left(marker).compare(QLatin1String("https"), Qt::CaseInsensitive) == 0) {
        server.Scheme = TInternetScheme::Https;
        server.Port = INTERNET_DEFAULT_HTTPS_PORT;
    }

    QString portText;
    if (url.Host.startsWith(QLatin1Char('['))) {
        const qsizetype close = url.Host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        server.Name = url.Host.mid(1, close - 1);
        const QString rest = url.Host.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))
            return std::nullopt;
        portText = rest.mid(1);
    } else {
        const qsizetype colon = url.Host.indexOf(QLatin1Char(':'));
        server.Name = url.Host.left(colon);
        if (colon >= 0)
            portText = url.Host.mid(colon + 1);
    }

    // "host:" with nothing after the colon means the default port, as in any URL.
    if (!portText.isEmpty()) {
        if (portText.size() > 5)
            return std::nullopt;
        std::uint32_t port = 0;
        for (const QChar c : portText) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
            port = port * 10 + static_cast<std::uint32_t>(c.unicode() - '0');
        }
        if (port == 0 || port > std::numeric_limits<std::uint16_t>::max())
            return std::nullopt;
        server.Port = static_cast<std::uint16_t>(port);
    }
    return server;
}

TVersion VersionOf(const std::function<QString(const QString& name)>& header) {
    TVersion version;
    version.Tag = header(QStringLiteral("ETag")).trimmed();
    version.Modified = header(QStringLiteral("Last-Modified")).trimmed();
    // Repr-Digest is a dictionary, in which a name given twice means its last value;
    // Digest is a plain list, each of whose SHA-256 values must hold.
    const std::vector<QByteArray> stated = StatedSha256s(header(QStringLiteral("Repr-Digest")), true);
    if (!stated.empty() && !stated.back().isEmpty())
        version.Sha256.push_back(stated.back());
    for (const QByteArray& digest : StatedSha256s(header(QStringLiteral("Digest")), false))
        if (!digest.isEmpty())
            version.Sha256.push_back(digest);
    return version;
}

bool ParseContentRange(const QString& text, quint64 first, quint64& end, quint64& size) {
    const QString value = text.trimmed();
    if (!value.startsWith(QLatin1String("bytes "), Qt::CaseInsensitive))
        return false;
    const QString range = value.mid(6).trimmed();
    const qsizetype dash = range.indexOf(QLatin1Char('-'));
    const qsizetype slash = range.indexOf(QLatin1Char('/'));
    if (dash <= 0 || slash <= dash)
        return false;
    bool okFirst = false, okLast = false;
    const quint64 start = range.left(dash).toULongLong(&okFirst);
    const quint64 last = range.mid(dash + 1, slash - dash - 1).toULongLong(&okLast);
    if (!okFirst || !okLast || start != first || last < start)
        return false;
    end = last + 1;
    const QString whole = range.mid(slash + 1);
    if (whole == QLatin1String("*")) {
        size = 0;
        return true;
    }
    bool okSize = false;
    size = whole.toULongLong(&okSize);
    return okSize && size > last;
}
