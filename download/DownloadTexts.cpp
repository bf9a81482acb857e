#include "download/DownloadTexts.h"

#include "download/TDownloader.h"
#include "i18n/TCustomTranslator.h"

namespace {

constexpr TDownloadText AllTexts[] = {
    DownloadText::TryAgain,
    DownloadText::ServerNotFound,
    DownloadText::ProxyNotFound,
    DownloadText::CannotConnect,
    DownloadText::CannotConnectProxy,
    DownloadText::Refused,
    DownloadText::TimedOut,
    DownloadText::HostUnreachable,
    DownloadText::NetworkUnreachable,
    DownloadText::ServerAnswered,
    DownloadText::ProxyAnswered,
    DownloadText::StoppedOf,
    DownloadText::Stopped,
    DownloadText::ServerSilent,
    DownloadText::ProxySilent,
    DownloadText::Untrusted,
    DownloadText::InsecureRedirect,
    DownloadText::SecureChannel,
    DownloadText::TooManyRedirects,
    DownloadText::InvalidAddress,
    DownloadText::WriteFailed,
    DownloadText::EmptyBody,
    DownloadText::Failed,
    DownloadText::Damaged,
};

// Kilobytes as a person reads them: whole ones, in groups of three ("1,536").
QString Kilobytes(quint64 bytes) {
    QString digits = QString::number(bytes / 1024);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, QLatin1Char(','));
    return digits;
}

QString Status(std::uint32_t status, const QString& text) {
    const QString code = QString::number(status);
    return text.isEmpty() ? code : code + QLatin1Char(' ') + text;
}

}  // namespace

std::span<const TDownloadText> DownloadTexts() {
    return AllTexts;
}

QString TextOf(const TDownloadText& text, TCustomTranslator* translator) {
    const QString id = QLatin1String(text.Id);
    // Asked only for ids it has: a translator may be set to raise for unknown ones.
    if (translator && translator->StringTable().Find(id)) {
        const QString translated = translator->GetTextById(id);
        if (!translated.isEmpty())
            return translated;
    }
    return QString::fromUtf8(text.English);
}

QString FailureSentence(const TDownloadFailure& failure, const QString& url, const QString& fileName,
                        TCustomTranslator* translator) {
    using namespace DownloadText;
    const auto text = [translator](const TDownloadText& which) { return TextOf(which, translator); };
    const TInternetFailure& network = failure.Network;
    const QString server = network.Server.isEmpty() ? failure.Server : network.Server;
    const bool proxy = !network.Proxy.isEmpty();
    const QString party = proxy ? network.Proxy : server;

    switch (failure.Kind) {
        case TDownloadFailureKind::None:
        case TDownloadFailureKind::Cancelled:
            return QString();
        case TDownloadFailureKind::InvalidAddress:
            return text(InvalidAddress).arg(url);
        case TDownloadFailureKind::HttpStatus:
            return text(ServerAnswered).arg(Status(failure.Status, failure.StatusText));
        case TDownloadFailureKind::EmptyBody:
            return text(EmptyBody);
        case TDownloadFailureKind::Damaged:
            return text(Damaged);
        case TDownloadFailureKind::Interrupted:
            if (network.Error == TInternetError::UntrustedCertificate ||
                network.Error == TInternetError::SecureChannelFailed)
                break;
            return failure.Total != 0
                       ? text(StoppedOf).arg(Kilobytes(failure.Received), Kilobytes(failure.Total))
                       : text(Stopped).arg(Kilobytes(failure.Received));
        case TDownloadFailureKind::WriteFailed:
            return text(WriteFailed).arg(fileName, failure.WriteError);
        case TDownloadFailureKind::Network:
            break;
    }

    switch (network.Error) {
        case TInternetError::NameNotResolved:
            return text(proxy ? ProxyNotFound : ServerNotFound).arg(party);
        case TInternetError::CannotConnect: {
            // In the order of TConnectReason; Other keeps the system's words.
            static constexpr const TDownloadText* Reasons[] = {nullptr, &Refused, &TimedOut, &HostUnreachable,
                                                               &NetworkUnreachable};
            const TDownloadText* reason = Reasons[static_cast<int>(network.Reason)];
            return text(proxy ? CannotConnectProxy : CannotConnect)
                .arg(party, reason ? text(*reason) : network.Detail);
        }
        case TInternetError::NoAnswer:
            return text(proxy ? ProxySilent : ServerSilent).arg(party);
        case TInternetError::ProxyRefused:
            return text(ProxyAnswered)
                .arg(network.Proxy, Status(network.Status, HttpReasonPhrase(network.Status)));
        case TInternetError::ConnectionBroken:
            return text(Stopped).arg(Kilobytes(failure.Received));
        case TInternetError::UntrustedCertificate:
            return text(Untrusted).arg(server, network.Detail);
        case TInternetError::InsecureRedirect:
            return text(InsecureRedirect).arg(server, network.Detail);
        case TInternetError::SecureChannelFailed:
            return text(SecureChannel).arg(server, network.Detail);
        case TInternetError::TooManyRedirects:
            return text(TooManyRedirects).arg(server);
        case TInternetError::InvalidAddress:
            return text(InvalidAddress).arg(url);
        case TInternetError::None:
        case TInternetError::Aborted:
        case TInternetError::Other:
            break;
    }
    return text(Failed).arg(network.Detail);
}
