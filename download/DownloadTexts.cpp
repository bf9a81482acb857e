#include "download/DownloadTexts.h"

#include "i18n/TCustomTranslator.h"
#include "i18n/files/TTranslationCatalogue.h"
#include "net/TDownloader.h"
#include "platform/Shell.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

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
    DownloadText::Progress,
    DownloadText::RedirectNotWeb,
    DownloadText::NotHttp,
    DownloadText::AnswerUnfinished,
    DownloadText::SignatureBroken,
    DownloadText::SignedByOther,
    DownloadText::SignatureUntrusted,
    DownloadText::VerifiedPublisher,
    DownloadText::StartUnverified,
    DownloadText::StartAnyway,
    DownloadText::DontStart,
    DownloadText::MoreThanAnnounced,
    DownloadText::BadRequest,
    DownloadText::Unauthorized,
    DownloadText::Forbidden,
    DownloadText::NotFound,
    DownloadText::ProxyAuthentication,
    DownloadText::RequestTimeout,
    DownloadText::Gone,
    DownloadText::TooManyRequests,
    DownloadText::InternalError,
    DownloadText::BadGateway,
    DownloadText::Busy,
    DownloadText::GatewayTimeout,
    DownloadText::NoSpace,
    DownloadText::QuotaExceeded,
    DownloadText::AccessDenied,
    DownloadText::ReadOnly,
    DownloadText::NameTooLong,
    DownloadText::NoSuchFile,
    DownloadText::InputOutput,
    DownloadText::FileTooLarge,
    DownloadText::Update,
    DownloadText::UpdateTool,
    DownloadText::UpdateQuestion,
    DownloadText::StartMissing,
    DownloadText::StartNoProgram,
    DownloadText::StartNoOpener,
    DownloadText::StartFailed,
};

constexpr quint64 Kilobyte = 1024;

// `value` in ASCII digits, in groups of three parted by `separator`, written at the
// end of `end` backwards; the first character written.
char16_t* WriteGrouped(quint32 value, const QString& separator, char16_t* end) {
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0)
            for (qsizetype i = separator.size() - 1; i >= 0; --i)
                *--end = separator.at(i).unicode();
        *--end = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
        ++digits;
    } while (value != 0);
    return end;
}

// The sentence of its own for a server's answer `status`, if it has one. The server's
// reason phrase is never shown: it is English whatever the language.
const TDownloadText* StatusSentence(std::uint32_t status) {
    using namespace DownloadText;
    static constexpr std::pair<std::uint32_t, const TDownloadText*> Sentences[] = {
        {400, &BadRequest},          {401, &Unauthorized},   {403, &Forbidden}, {404, &NotFound},
        {407, &ProxyAuthentication}, {408, &RequestTimeout}, {410, &Gone},      {429, &TooManyRequests},
        {500, &InternalError},       {502, &BadGateway},     {503, &Busy},      {504, &GatewayTimeout},
    };
    for (const auto& [code, sentence] : Sentences)
        if (code == status)
            return sentence;
    return nullptr;
}

// The system's or Qt's words for a failure, set in a sentence that ends itself:
// without the full stop that Windows puts at the end of its messages.
QString Reason(QString words) {
    while (words.endsWith(u'.'))
        words.chop(1);
    return words;
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

QLocale LocaleOf(TCustomTranslator* translator) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    if (!translator || translator->ActiveLanguage() <= 1 ||
        translator->ActiveLanguage() > translator->LangNames()->Count())
        return english;
    const QString code = TTranslationCatalogue::LanguageCode(
        translator->LangNames()->Strings(translator->ActiveLanguage() - 1));
    return code.isEmpty() ? english : QLocale(code);
}

TKilobyteFigures KilobyteFigures(quint64 done, quint64 whole) {
    TKilobyteFigures figures{done / Kilobyte, whole / Kilobyte};
    if (done < whole && figures.Done == figures.Whole && figures.Done > 0)
        --figures.Done;
    return figures;
}

TProgressText::TProgressText() {
    SetLanguage(nullptr);
}

void TProgressText::SetLanguage(TCustomTranslator* translator) {
    FLocale = LocaleOf(translator);
    const QString text = TextOf(DownloadText::Progress, translator);
    qsizetype done = text.indexOf(QLatin1String("%1"));
    qsizetype whole = text.indexOf(QLatin1String("%2"));
    if (done < 0 || whole < 0) {
        // A translation that lost a number keeps the English line.
        SetLanguage(nullptr);
        return;
    }
    FWholeFirst = whole < done;
    const qsizetype first = std::min(done, whole), second = std::max(done, whole);
    FBefore = text.left(first);
    FBetween = text.mid(first + 2, second - first - 2);
    FAfter = text.mid(second + 2);
    FGroupSeparator =
        FLocale.numberOptions().testFlag(QLocale::OmitGroupSeparator) ? QString() : FLocale.groupSeparator();
    // Written by hand only where that gives what QLocale gives.
    char16_t buffer[64];
    const quint32 probe = 1234567890;
    char16_t* const end = buffer + std::size(buffer);
    const char16_t* start = WriteGrouped(probe, FGroupSeparator, end);
    FPlainDigits = QStringView(start, end) == FLocale.toString(probe);
}

QString TProgressText::Format(quint32 done, quint32 whole) const {
    if (!FPlainDigits) {
        const QString a = FLocale.toString(FWholeFirst ? whole : done);
        const QString b = FLocale.toString(FWholeFirst ? done : whole);
        return FBefore + a + FBetween + b + FAfter;
    }
    // Ten digits and three separators a number, each at most a few characters.
    char16_t first[64], second[64];
    const char16_t* a = WriteGrouped(FWholeFirst ? whole : done, FGroupSeparator, first + std::size(first));
    const char16_t* b = WriteGrouped(FWholeFirst ? done : whole, FGroupSeparator, second + std::size(second));
    const qsizetype aLength = first + std::size(first) - a, bLength = second + std::size(second) - b;
    QString line(FBefore.size() + aLength + FBetween.size() + bLength + FAfter.size(), Qt::Uninitialized);
    QChar* out = line.data();
    const auto put = [&out](const QChar* from, qsizetype count) {
        std::copy(from, from + count, out);
        out += count;
    };
    put(FBefore.constData(), FBefore.size());
    put(reinterpret_cast<const QChar*>(a), aLength);
    put(FBetween.constData(), FBetween.size());
    put(reinterpret_cast<const QChar*>(b), bLength);
    put(FAfter.constData(), FAfter.size());
    return line;
}

QString SystemErrorWords(const TSystemError& error, TCustomTranslator* translator) {
    using namespace DownloadText;
    // In the order of TSystemErrorKind; Other keeps the system's words.
    static constexpr const TDownloadText* Words[] = {
        nullptr,      &NoSpace,    &QuotaExceeded, &AccessDenied, &ReadOnly,
        &NameTooLong, &NoSuchFile, &InputOutput,   &FileTooLarge,
    };
    static_assert(std::size(Words) == static_cast<std::size_t>(TSystemErrorKind::FileTooLarge) + 1);
    const TDownloadText* words = Words[static_cast<int>(error.Kind)];
    return words ? TextOf(*words, translator) : Reason(error.Text);
}

QString StartFailureSentence(const QString& name, const TStartResult& result, TCustomTranslator* translator) {
    using namespace DownloadText;
    switch (result.Failure) {
        case TStartFailure::None:
        case TStartFailure::Declined:
            return QString();
        case TStartFailure::FileMissing:
            return TextOf(StartMissing, translator).arg(name);
        case TStartFailure::NoProgram:
            return TextOf(StartNoProgram, translator).arg(name);
        case TStartFailure::OpenerMissing:
            return TextOf(StartNoOpener, translator).arg(name, result.Opener);
        case TStartFailure::Failed:
            return TextOf(StartFailed, translator).arg(name, SystemErrorWords(result.Reason, translator));
    }
    return QString();
}

namespace {

// Japanese and Chinese break a line between any two characters, so a sentence in them
// may end with one or two characters alone on its last line, where a reader takes them
// for a stray. Word joiners between its last three characters, and what closes them,
// keep them together. A sentence that ends in other letters is left as it is: its
// words hold together anyway.
QString KeepEndTogether(QString sentence) {
    std::vector<qsizetype> joins;
    bool wide = false;
    int letters = 0;
    for (qsizetype at = sentence.size(); at > 0;) {
        qsizetype start = at - 1;
        char32_t c = sentence.at(start).unicode();
        if (QChar::isLowSurrogate(c) && start > 0 && sentence.at(start - 1).isHighSurrogate()) {
            --start;
            c = QChar::surrogateToUcs4(sentence.at(start), sentence.at(start + 1));
        }
        if (QChar::isSpace(c))
            break;
        if (!QChar::isPunct(c) && !QChar::isSymbol(c)) {
            // The scripts that break anywhere begin at the CJK radicals.
            wide = wide || c >= 0x2E80;
            if (++letters == 3)
                break;
        }
        if (start > 0)
            joins.push_back(start);
        at = start;
    }
    if (wide)
        for (const qsizetype at : joins)  // from the end, so that each place stays where it was
            sentence.insert(at, QChar(0x2060));
    return sentence;
}

QString SentenceOf(const TDownloadFailure& failure, const QString& url, const QString& fileName,
                   TCustomTranslator* translator, const std::function<QString(const QString&)>& shorten) {
    using namespace DownloadText;
    const auto text = [translator](const TDownloadText& which) { return TextOf(which, translator); };
    const auto place = [&shorten](const QString& name) { return shorten ? shorten(name) : name; };
    // Kilobytes as a person reads them: whole ones, grouped as the language groups
    // digits ("1,536", "1.536", "1 536").
    const QLocale locale = LocaleOf(translator);
    const auto Kilobytes = [&locale](quint64 kilobytes) { return locale.toString(kilobytes); };
    const TKilobyteFigures figures = KilobyteFigures(failure.Received, failure.Total);
    const TInternetFailure& network = failure.Network;
    const QString server = network.Server.isEmpty() ? failure.Server : network.Server;
    const bool proxy = !network.Proxy.isEmpty();
    const QString party = proxy ? network.Proxy : server;

    switch (failure.Kind) {
        case TDownloadFailureKind::None:
        case TDownloadFailureKind::Cancelled:
            return QString();
        case TDownloadFailureKind::InvalidAddress:
            return text(InvalidAddress).arg(place(url));
        case TDownloadFailureKind::HttpStatus:
            if (const TDownloadText* sentence = StatusSentence(failure.Status))
                return text(*sentence);
            return text(ServerAnswered).arg(failure.Status);
        case TDownloadFailureKind::EmptyBody:
            return text(EmptyBody);
        case TDownloadFailureKind::Damaged:
            return text(Damaged);
        case TDownloadFailureKind::MoreThanAnnounced:
            return text(MoreThanAnnounced);
        case TDownloadFailureKind::SignatureBroken:
            return text(SignatureBroken);
        case TDownloadFailureKind::SignedByOther:
            return text(SignedByOther).arg(place(failure.Signer), failure.Publisher);
        case TDownloadFailureKind::SignatureUntrusted:
            return text(SignatureUntrusted);
        case TDownloadFailureKind::Interrupted:
            if (network.Error == TInternetError::UntrustedCertificate ||
                network.Error == TInternetError::SecureChannelFailed)
                break;
            return failure.Total != 0 ? text(StoppedOf).arg(Kilobytes(figures.Done), Kilobytes(figures.Whole))
                                      : text(Stopped).arg(Kilobytes(figures.Done));
        case TDownloadFailureKind::WriteFailed:
            return text(WriteFailed).arg(place(fileName), SystemErrorWords(failure.WriteError, translator));
        case TDownloadFailureKind::Network:
            break;
    }

    switch (network.Error) {
        case TInternetError::NameNotResolved:
            return text(proxy ? ProxyNotFound : ServerNotFound).arg(place(party));
        case TInternetError::CannotConnect: {
            // In the order of TConnectReason; Other keeps the system's words.
            static constexpr const TDownloadText* Reasons[] = {nullptr, &Refused, &TimedOut, &HostUnreachable,
                                                               &NetworkUnreachable};
            const TDownloadText* reason = Reasons[static_cast<int>(network.Reason)];
            return text(proxy ? CannotConnectProxy : CannotConnect)
                .arg(place(party), reason ? text(*reason) : Reason(network.Detail));
        }
        case TInternetError::NoAnswer:
            return text(proxy ? ProxySilent : ServerSilent).arg(place(party));
        case TInternetError::ProxyRefused:
            // A proxy's other answers are the server's sentences, which speak of a server.
            if (network.Status == 407)
                return text(ProxyAuthentication);
            return text(ProxyAnswered).arg(place(network.Proxy), QString::number(network.Status));
        case TInternetError::AnswerUnfinished:
            return text(AnswerUnfinished);
        case TInternetError::NotHttp:
            return text(NotHttp);
        case TInternetError::ConnectionBroken:
            return text(Stopped).arg(Kilobytes(figures.Done));
        case TInternetError::UntrustedCertificate:
            return text(Untrusted).arg(place(server), Reason(network.Detail));
        case TInternetError::InsecureRedirect:
            return text(InsecureRedirect).arg(place(server), place(network.Detail));
        case TInternetError::RedirectNotWeb:
            return text(RedirectNotWeb).arg(place(network.Detail));
        case TInternetError::SecureChannelFailed:
            return text(SecureChannel).arg(place(server), Reason(network.Detail));
        case TInternetError::TooManyRedirects:
            return text(TooManyRedirects).arg(place(server));
        case TInternetError::InvalidAddress:
            return text(InvalidAddress).arg(place(url));
        case TInternetError::None:
        case TInternetError::Aborted:
        case TInternetError::Other:
            break;
    }
    return text(Failed).arg(Reason(network.Detail));
}

}  // namespace

QString FailureSentence(const TDownloadFailure& failure, const QString& url, const QString& fileName,
                        TCustomTranslator* translator,
                        const std::function<QString(const QString&)>& shorten) {
    return KeepEndTogether(SentenceOf(failure, url, fileName, translator, shorten));
}
