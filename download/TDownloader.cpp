#include "download/TDownloader.h"

#include "download/TURLParser.h"
#include "platform/Http.h"

#include <QSaveFile>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// Every read asks for one byte less than the buffer holds.
constexpr std::uint32_t BufferSize = 1024;
constexpr std::uint32_t ReadSize = BufferSize - 1;

struct TServer {
    QString Name;
    std::uint16_t Port = INTERNET_DEFAULT_HTTP_PORT;
    TInternetScheme Scheme = TInternetScheme::Http;
};

// The server that `url` names: the parser's Host split into name and port (an IPv6
// address in brackets), the port defaulting to the scheme's; https when the text
// before the first "://" says so, plain HTTP for anything else. Nothing when the
// port is not a number from 1 to 65535 or the brackets do not close.
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

}  // namespace

TDownloader::TDownloader(QObject* parent) : QObject(parent) {}

TDownloader::~TDownloader() = default;

bool TDownloader::Download(const QString& url, const QString& fileName) {
    const TURLParser parser(url);
    const std::optional<TServer> server = ServerOf(parser);
    if (!server)
        return false;

    // Declared in this order so that they close in the reverse one: request,
    // connection, session.
    const std::unique_ptr<IInternetSession> session = InternetOpen(QStringLiteral("Test"));
    if (!session)
        return false;
    const std::unique_ptr<IInternetConnection> connection =
        session->Connect(server->Name, server->Port, server->Scheme);
    if (!connection)
        return false;
    const std::unique_ptr<IHttpRequest> request = connection->OpenRequest(QStringLiteral("GET"), parser.Path);
    if (!request || !request->Send())
        return false;

    // An error page is not the file that was asked for.
    std::uint32_t status = 0;
    if (!request->QueryStatusCode(status) || status < 200 || status > 299)
        return false;
    std::uint32_t length = 0;
    const bool lengthKnown = request->QueryContentLength(length);
    quint32 total = lengthKnown ? length : 0;

    // The body goes to a temporary file beside the target, which replaces the target
    // only once the body is complete; anything else leaves the target as it was.
    QSaveFile file(fileName);
    if (fileName.isEmpty() || !file.open(QIODevice::WriteOnly))
        return false;

    quint64 received = 0;
    bool cancel = false;
    bool result = false;
    bool complete = false;
    char buffer[BufferSize];
    for (;;) {
        std::uint32_t count = 0;
        if (!request->ReadFile(buffer, ReadSize, count))
            break;
        if (count == 0) {
            complete = !lengthKnown || received == length;
            break;
        }
        // A stop asked for in the last progress call takes effect after this read.
        if (cancel)
            break;
        if (file.write(buffer, count) != count)
            break;
        received += count;
        if (FOnProgress.Assigned()) {
            QObject* sender = this;
            quint32 receivedSoFar = static_cast<quint32>(std::min<quint64>(received, 0xFFFFFFFFu));
            FOnProgress(sender, total, receivedSoFar, cancel);
        }
        result = true;
    }

    if (!cancel && complete && result && file.commit())
        return true;
    file.cancelWriting();
    // A cancelled download that wrote a block still counts as done; its file is gone.
    return cancel && result;
}
