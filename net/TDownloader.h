#pragma once

#include "core/TEvent.h"
#include "net/HttpParsing.h"
#include "platform/Http.h"
#include "platform/SystemError.h"

#include <QObject>

#include <memory>
#include <optional>

struct TCodeSignature;

// Why a download ended without the file.
enum class TDownloadFailureKind {
    None,
    Cancelled,           // by Cancel, or by the progress handler
    InvalidAddress,      // the URL names no server that can be reached
    Network,             // no answer, or no usable one; see TDownloadFailure::Network
    HttpStatus,          // the server answered with a status outside 2xx
    EmptyBody,           // the server answered with nothing to save
    Interrupted,         // the body stopped coming: a stall, a broken connection, a short body
    WriteFailed,         // the file could not be created or written
    Damaged,             // the file does not match a SHA-256 that the server stated
    MoreThanAnnounced,   // the body ran past the length or the range its answer announced
    SignatureBroken,     // the installer was changed after it was signed
    SignedByOther,       // the installer is signed, but not by the publisher; see Signer
    SignatureUntrusted,  // no trusted authority vouches for the installer's signer
};

// How a download ended. Only a completed one has put a file at the target.
enum class TDownloadOutcome { Completed, Cancelled, Failed };

struct TDownloadFailure {
    TDownloadFailureKind Kind = TDownloadFailureKind::None;
    // The server the URL names, "host" or "host:port".
    QString Server;
    // What the internet layer said, for Network and Interrupted.
    TInternetFailure Network;
    // HttpStatus: the status and its reason phrase.
    std::uint32_t Status = 0;
    QString StatusText;
    // WriteFailed: the system's reason.
    TSystemError WriteError;
    // SignedByOther: the organisation that signed the file, and the one that should have.
    QString Signer;
    QString Publisher;
    // How far the transfer got: body bytes in the file, and the body's whole size
    // (0 when the server did not say).
    quint64 Received = 0;
    quint64 Total = 0;
};

// Fetches one URL with a GET and writes the body into a file, calling OnProgress
// after every block it writes.
//
// OnProgress is a handler of the form
//     void Handler(QObject* Sender, quint32 Total, quint32 Received, bool& Cancel)
// Total is the body's whole size (0 when unknown), Received the bytes of it in the
// file so far. Setting Cancel stops the transfer after the next read; Cancel() stops
// it at once, at any stage. A cancelled download removes what it wrote.
//
// The body goes to a file beside the target that replaces the target only once it is
// complete, so a failed download never leaves a partial file at the target's name nor
// spoils a file that was there. When the transfer broke off, that file is kept (for
// the downloader's life) and the next Download of the same URL to the same file asks
// the server only for the missing bytes, guarded by the first answer's validator
// (If-Range with its ETag, else its Last-Modified): a 206 continues the file, a 200
// starts it over, and a 416 or any other answer starts over once. A 206 continues
// only the same file: its validator and its complete length must be the first
// answer's, or it is asked for whole again, once.
//
// When an answer states a SHA-256 of the whole file (Repr-Digest: sha-256=:...:, or
// the older Digest: SHA-256=..., each over as many header lines as it takes), the file
// is hashed as it is written, the part kept from an earlier attempt included, and it
// takes the target's place only when it matches every SHA-256 stated; otherwise the
// download fails as Damaged and nothing of it is kept. Other algorithms, and a value
// that is no SHA-256, are no statement. A body that runs past the length or the range
// its answer announced fails as MoreThanAnnounced, and nothing of it is kept either.
//
// With a Publisher set, a complete file is an installer whose Authenticode signature
// is checked before it takes the target's place: one that was changed after it was
// signed, that no trusted authority vouches for, or that another organisation signed
// fails the download, and nothing of it is kept; an unsigned one completes, and
// Verified says it was not.
class TDownloader : public QObject {
    Q_OBJECT
    Q_PROPERTY(TMethod OnProgress READ OnProgress WRITE SetOnProgress)

public:
    explicit TDownloader(QObject* parent = nullptr);
    ~TDownloader() override;

    TMethod OnProgress() const { return FOnProgress; }
    void SetOnProgress(const TMethod& value) { FOnProgress = value; }

    // Completed when the whole body of a successful (2xx) response is at the target;
    // Cancelled or Failed otherwise, and then the target is as it was (see
    // LastFailure). Returns only when the transfer has ended; meanwhile the event
    // loop runs. Raises EInvalidOperation when called while a Download of this
    // downloader runs (from a handler that runs meanwhile); the running one goes on.
    TDownloadOutcome Download(const QString& url, const QString& fileName);
    // Stops a download under way at once, whatever it waits for. Meant for handlers
    // that run while Download waits.
    void Cancel();
    // Why the last Download failed or was cancelled; Kind None after a success. A failure
    // is logged with all of it (kw.net), and a signature refused with the verdict's
    // detail (kw.signature).
    const TDownloadFailure& LastFailure() const { return FFailure; }

    // The organisation (as its certificates name it) whose signature a downloaded
    // installer must carry; empty, the default, for a file that is no installer.
    QString Publisher() const { return FPublisher; }
    void SetPublisher(const QString& value) { FPublisher = value; }
    // Whether the last completed download carried the Publisher's verified signature;
    // false for an unsigned one.
    bool Verified() const { return FVerified; }
    // What the server said of the last completed download's file (its first answer's
    // validators and stated SHA-256s), and the file's own SHA-256, which is worked out
    // as it is written when a SHA-256 was stated or a Publisher is set (empty otherwise).
    const TVersion& CompletedVersion() const { return FCompletedVersion; }
    const QByteArray& CompletedSha256() const { return FCompletedSha256; }

private:
    struct TResumePoint;

    // What an answer's headers say to do with its body.
    enum class TStart { Fresh, Continue, StartOver, Failed };
    TStart Answer(IHttpRequest& request, bool resuming);
    TDownloadOutcome Transfer(IHttpRequest& request, bool continuing);
    TDownloadOutcome Fail(TDownloadFailureKind kind);
    TDownloadOutcome NetworkFailure(const IHttpRequest& request);
    // The failure that a complete file's signature makes it, if any.
    std::optional<TDownloadFailureKind> Refusal(const TCodeSignature& signature);

    TEvent<QObject*, quint32, quint32, bool&> FOnProgress;
    TDownloadFailure FFailure;
    QString FUrl;  // of the download under way, or the last one
    std::unique_ptr<TResumePoint> FResume;
    QString FPublisher;
    bool FVerified = false;
    TVersion FCompletedVersion;
    QByteArray FCompletedSha256;
    IHttpRequest* FRequest = nullptr;
    bool FCancelled = false;
    bool FRunning = false;
};
