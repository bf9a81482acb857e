#include "net/TDownloader.h"

#include "core/Exception.h"
#include "net/HttpParsing.h"
#include "net/TPartialFile.h"
#include "net/TURLParser.h"
#include "platform/CodeSignature.h"
#include "platform/Http.h"
#include "platform/Log.h"

#include <QScopeGuard>

#include <algorithm>
#include <optional>

Q_LOGGING_CATEGORY(lcNet, "kw.net", QtInfoMsg)

namespace {

// Every read asks for one byte less than the buffer holds.
constexpr std::uint32_t BufferSize = 1024;
constexpr std::uint32_t ReadSize = BufferSize - 1;

// What an answer says of the file's version, from its headers.
TVersion VersionOfAnswer(IHttpRequest& request) {
    return VersionOf([&request](const QString& name) {
        QString value;
        request.QueryHeader(name, value);
        return value;
    });
}

}  // namespace

// A transfer that broke off, kept so that the next Download of the same URL to the
// same file can continue it.
struct TDownloader::TResumePoint {
    QString Url;
    TPartialFile File;
    // What the first answer said of the file; a continuation must say the same. Its
    // validator is empty when the transfer can only start over.
    TVersion First;
    // The file's whole size, 0 while unknown.
    quint64 Total = 0;
    // One past the last byte of the file that the answer under way may bring: the end
    // of a 206's range, else Total; 0 when the answer does not say.
    quint64 End = 0;
    // The SHA-256 values the file must have: every one that an answer stated.
    std::vector<QByteArray> Sha256;

    TResumePoint(QString url, const QString& target) : Url(std::move(url)), File(target) {}
};

TDownloader::TDownloader(QObject* parent) : QObject(parent) {}

TDownloader::~TDownloader() = default;

TDownloadOutcome TDownloader::Download(const QString& url, const QString& fileName) {
    // A handler that runs while this one waits must not start another over the state
    // (the resume point, the partial file) that the running transfer holds.
    if (FRunning)
        throw EInvalidOperation(
            QStringLiteral("A download is already under way; it must end before another starts."));
    FRunning = true;
    const auto running = qScopeGuard([this] { FRunning = false; });
    FFailure = TDownloadFailure();
    FUrl = url;
    FCancelled = false;
    FVerified = false;
    FCompletedVersion = TVersion();
    FCompletedSha256.clear();
    const TURLParser parser(url);
    FFailure.Server = parser.Host;
    const std::optional<TServer> server = ServerOf(parser);
    if (!server)
        return Fail(TDownloadFailureKind::InvalidAddress);
    if (fileName.isEmpty()) {
        FFailure.WriteError = {TSystemErrorKind::NotFound, QStringLiteral("no file name was given")};
        return Fail(TDownloadFailureKind::WriteFailed);
    }

    if (FResume && (FResume->Url != url || FResume->File.Target() != fileName))
        FResume.reset();
    bool resuming = FResume && !FResume->First.Validator().isEmpty() && FResume->File.Size() > 0;
    if (!resuming)
        FResume.reset();

    // Declared in this order so that they close in the reverse one: request,
    // connection, session. The user agent is "Test" on purpose: the program has always
    // sent it, and servers and their logs may rely on it.
    const std::unique_ptr<IInternetSession> session = InternetOpen(QStringLiteral("Test"));
    if (!session) {
        FFailure.Network.Error = TInternetError::Other;
        FFailure.Network.Detail = QStringLiteral("no internet session can be opened");
        return Fail(TDownloadFailureKind::Network);
    }
    const std::unique_ptr<IInternetConnection> connection =
        session->Connect(server->Name, server->Port, server->Scheme);
    if (!connection)
        return Fail(TDownloadFailureKind::InvalidAddress);

    for (;;) {
        const std::unique_ptr<IHttpRequest> request =
            connection->OpenRequest(QStringLiteral("GET"), parser.Path);
        if (!request) {
            FFailure.Network.Error = TInternetError::Other;
            return Fail(TDownloadFailureKind::Network);
        }
        if (resuming)
            request->AddRequestHeaders(QStringLiteral("Range: bytes=%1-\r\nIf-Range: %2")
                                           .arg(FResume->File.Size())
                                           .arg(FResume->First.Validator()));
        FRequest = request.get();
        const struct TForget {
            IHttpRequest*& Request;
            ~TForget() { Request = nullptr; }
        } forget{FRequest};
        if (FCancelled)
            request->Abort();
        if (!request->Send())
            return NetworkFailure(*request);

        switch (Answer(*request, resuming)) {
            case TStart::Failed:
                return TDownloadOutcome::Failed;
            case TStart::StartOver:
                // Once: the next request asks for the whole file.
                FResume.reset();
                resuming = false;
                continue;
            case TStart::Fresh:
                if (!FResume)
                    FResume = std::make_unique<TResumePoint>(url, fileName);
                return Transfer(*request, false);
            case TStart::Continue:
                return Transfer(*request, true);
        }
    }
}

void TDownloader::Cancel() {
    FCancelled = true;
    if (FRequest)
        FRequest->Abort();
}

TDownloader::TStart TDownloader::Answer(IHttpRequest& request, bool resuming) {
    std::uint32_t status = 0;
    request.QueryStatusCode(status);
    const bool success = status >= 200 && status <= 299;
    if (resuming) {
        QString range;
        quint64 end = 0, size = 0;
        const quint64 kept = static_cast<quint64>(FResume->File.Size());
        if (status != 206 || !request.QueryHeader(QStringLiteral("Content-Range"), range) ||
            !ParseContentRange(range, kept, end, size))
            // A 200 is the whole file, changed or not; anything else (416, a range
            // that does not fit, an error) is answered by asking for the whole file again.
            return success && status != 206 ? TStart::Fresh : TStart::StartOver;
        std::uint32_t length = 0;
        if (size == 0 && request.QueryContentLength(length))
            size = kept + length;
        // A server or a cache in between may send the rest of another version: only
        // the same validator and the same size continue what is kept.
        const TVersion now = VersionOfAnswer(request);
        const TVersion& first = FResume->First;
        const bool sameVersion = now.Validator() == first.Validator() &&
                                 (first.Tag.isEmpty() || now.Tag.isEmpty() || now.Tag == first.Tag);
        const bool sameSize = FResume->Total == 0 || size == FResume->Total;
        if (!sameVersion || !sameSize)
            return TStart::StartOver;
        if (size != 0)
            FResume->Total = size;
        FResume->End = FResume->Total == 0 ? end : std::min(end, FResume->Total);
        FResume->Sha256.insert(FResume->Sha256.end(), now.Sha256.begin(), now.Sha256.end());
        return TStart::Continue;
    }
    // A part of the file that nobody asked for is no more use than an error page.
    if (!success || status == 206) {
        FFailure.Status = status;
        request.QueryStatusText(FFailure.StatusText);
        Fail(TDownloadFailureKind::HttpStatus);
        return TStart::Failed;
    }
    return TStart::Fresh;
}

TDownloadOutcome TDownloader::Transfer(IHttpRequest& request, bool continuing) {
    TPartialFile& file = FResume->File;
    if (!continuing) {
        FResume->First = VersionOfAnswer(request);
        FResume->Sha256 = FResume->First.Sha256;
        std::uint32_t length = 0;
        FResume->Total = request.QueryContentLength(length) ? length : 0;
        FResume->End = FResume->Total;
    }
    const auto writeFailed = [&] {
        FFailure.WriteError = file.Error();
        FResume.reset();
        return Fail(TDownloadFailureKind::WriteFailed);
    };
    if (!file.Open(continuing))
        return writeFailed();
    // Hashed as it is written, to be checked or, for an installer, recorded; a part
    // kept from before is read back once.
    const bool hashing = !FResume->Sha256.empty() || !FPublisher.isEmpty();
    if (hashing && !file.StartHashing())
        return writeFailed();

    quint64 received = static_cast<quint64>(file.Size());
    const quint64 total = FResume->Total;
    const quint32 announced = static_cast<quint32>(std::min<quint64>(total, 0xFFFFFFFFu));
    const auto stopped = [&](TDownloadFailureKind kind) {
        FFailure.Received = received;
        FFailure.Total = total;
        if (kind != TDownloadFailureKind::Interrupted)
            FResume.reset();
        return Fail(kind);
    };
    bool cancel = false;
    for (;;) {
        // Each block is read straight into what the file writes out in large pieces.
        char* block = file.Room(ReadSize);
        if (!block) {
            FFailure.WriteError = file.Error();
            return stopped(TDownloadFailureKind::WriteFailed);
        }
        std::uint32_t count = 0;
        const bool read = request.ReadFile(block, ReadSize, count);
        // A stop asked for in the last progress call takes effect after this read.
        if (cancel || FCancelled)
            return stopped(TDownloadFailureKind::Cancelled);
        if (!read) {
            FFailure.Network = request.Failure();
            // What arrived is kept for a retry when the server named a version it can continue.
            if (FResume->First.Validator().isEmpty())
                FResume.reset();
            return stopped(TDownloadFailureKind::Interrupted);
        }
        if (count == 0)
            break;
        // Bytes past what the answer announced belong to no version of the file; the
        // count never reads more than the whole.
        if (FResume->End != 0 && received + count > FResume->End)
            return stopped(TDownloadFailureKind::MoreThanAnnounced);
        file.Wrote(count);
        received += count;
        FOnProgress(this, announced, static_cast<quint32>(std::min<quint64>(received, 0xFFFFFFFFu)), cancel);
    }

    if (received == 0)
        return stopped(TDownloadFailureKind::EmptyBody);
    if (total != 0 && received != total) {
        if (FResume->First.Validator().isEmpty())
            FResume.reset();
        return stopped(TDownloadFailureKind::Interrupted);
    }
    QByteArray digest;
    if (hashing) {
        if (!file.FinishHashing(digest)) {
            FFailure.WriteError = file.Error();
            return stopped(TDownloadFailureKind::WriteFailed);
        }
        for (const QByteArray& stated : FResume->Sha256)
            if (digest != stated)
                return stopped(TDownloadFailureKind::Damaged);
    }
    if (!FPublisher.isEmpty()) {
        // Checked where it lies, before it takes the target's name: a file that fails
        // never replaces the installer that was there.
        if (!file.Close()) {
            FFailure.WriteError = file.Error();
            return stopped(TDownloadFailureKind::WriteFailed);
        }
        const TCodeSignature signature = CheckCodeSignature(file.FileName());
        if (FCancelled)
            return stopped(TDownloadFailureKind::Cancelled);
        // In the order of TSignatureStatus.
        static constexpr const char* Verdicts[] = {"trusted", "unsigned", "broken", "untrusted"};
        const char* verdict = Verdicts[int(signature.Status)];
        if (const std::optional<TDownloadFailureKind> refused = Refusal(signature)) {
            qCWarning(lcSignature).noquote()
                << "refused" << FUrl << "signed by" << signature.Organisation << verdict << signature.Detail;
            return stopped(*refused);
        }
        qCDebug(lcSignature).noquote() << FUrl << verdict << signature.Organisation << signature.Detail;
        FVerified = signature.Status == TSignatureStatus::Trusted;
    }
    if (!file.Commit()) {
        FFailure.WriteError = file.Error();
        return stopped(TDownloadFailureKind::WriteFailed);
    }
    FCompletedVersion = FResume->First;
    FCompletedSha256 = digest;
    FResume.reset();
    return TDownloadOutcome::Completed;
}

std::optional<TDownloadFailureKind> TDownloader::Refusal(const TCodeSignature& signature) {
    switch (signature.Status) {
        case TSignatureStatus::Unsigned:
            return std::nullopt;
        case TSignatureStatus::Broken:
            return TDownloadFailureKind::SignatureBroken;
        case TSignatureStatus::Untrusted:
            return TDownloadFailureKind::SignatureUntrusted;
        case TSignatureStatus::Trusted:
            break;
    }
    if (signature.Organisation == FPublisher)
        return std::nullopt;
    FFailure.Signer = signature.Organisation;
    FFailure.Publisher = FPublisher;
    return TDownloadFailureKind::SignedByOther;
}

TDownloadOutcome TDownloader::NetworkFailure(const IHttpRequest& request) {
    FFailure.Network = request.Failure();
    if (FCancelled || FFailure.Network.Error == TInternetError::Aborted) {
        FResume.reset();
        return Fail(TDownloadFailureKind::Cancelled);
    }
    return Fail(TDownloadFailureKind::Network);
}

TDownloadOutcome TDownloader::Fail(TDownloadFailureKind kind) {
    FFailure.Kind = kind;
    // In the order of TDownloadFailureKind.
    static constexpr const char* Kinds[] = {
        "none",
        "cancelled",
        "invalid address",
        "network",
        "HTTP status",
        "empty body",
        "interrupted",
        "write failed",
        "damaged",
        "more than announced",
        "signature broken",
        "signed by another",
        "signature untrusted",
    };
    static_assert(std::size(Kinds) == std::size_t(TDownloadFailureKind::SignatureUntrusted) + 1);
    const TInternetFailure& network = FFailure.Network;
    if (kind != TDownloadFailureKind::Cancelled)
        qCWarning(lcNet).noquote().nospace()
            << "download of " << FUrl << " failed: " << Kinds[int(kind)] << " (internet error "
            << int(network.Error) << " " << network.Detail << ", server " << network.Server << ", status "
            << FFailure.Status << " " << FFailure.StatusText << ", write error " << FFailure.WriteError.Text
            << ", " << FFailure.Received << " of " << FFailure.Total << " bytes)";
    return kind == TDownloadFailureKind::Cancelled ? TDownloadOutcome::Cancelled : TDownloadOutcome::Failed;
}
