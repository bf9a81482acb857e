#include "platform/HttpTransfer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QThread>

#include <limits>
#include <system_error>

// ---- Redirects -------------------------------------------------------------------------

TRedirect JudgeRedirect(const QUrl& from, const QString& location, int followed) {
    TRedirect redirect;
    redirect.Target = from.resolved(QUrl(location));
    const QString scheme = redirect.Target.scheme().toLower();
    const bool web = scheme == QLatin1String("http") || scheme == QLatin1String("https");
    if (!redirect.Target.isValid() || redirect.Target.host().isEmpty() || !web ||
        redirect.Target.port() == 0) {
        redirect.Refusal = TInternetError::RedirectNotWeb;
        redirect.Detail = location;
    } else if (from.scheme().toLower() == QLatin1String("https") && scheme == QLatin1String("http")) {
        redirect.Refusal = TInternetError::InsecureRedirect;
        redirect.Detail = redirect.Target.toString();
    } else if (followed >= MaxRedirects) {
        redirect.Refusal = TInternetError::TooManyRedirects;
    }
    return redirect;
}

// ---- What the transfer thread and the caller share -------------------------------------

THttpChannel::THttpChannel(std::size_t bufferSize) : FBody(bufferSize, [this] { WakeCaller(); }) {}

THttpChannel::~THttpChannel() = default;

void THttpChannel::Respond(THttpResponse response) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        if (FResponded || FDone)
            return;
        FResponse = std::move(response);
        FResponse.StatusText = FResponse.StatusText.trimmed();
        FResponded = true;
    }
    WakeCaller();
}

bool THttpChannel::Responded() const {
    const std::lock_guard<std::mutex> lock(FLock);
    return FResponded;
}

void THttpChannel::Finish(TInternetFailure failure) {
    {
        const std::lock_guard<std::mutex> lock(FLock);
        if (FDone)
            return;
        FDone = true;
        FFailure = std::move(failure);
    }
    // Closed once the outcome is stored: a reader that finds the end asks for it. The
    // ring wakes the caller.
    FBody.Close();
}

bool THttpChannel::Response(THttpResponse& response) const {
    const std::lock_guard<std::mutex> lock(FLock);
    if (!FResponded)
        return false;
    response = FResponse;
    return true;
}

TInternetFailure THttpChannel::Failure() const {
    if (Aborted()) {
        TInternetFailure failure;
        failure.Error = TInternetError::Aborted;
        return failure;
    }
    const std::lock_guard<std::mutex> lock(FLock);
    return FFailure;
}

void THttpChannel::RunEnded() {
    bool outcome = false;
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FRunEnded = true;
        outcome = FDone;
    }
    // Only an abort leaves a transport without an outcome.
    if (!outcome) {
        TInternetFailure failure;
        failure.Error = TInternetError::Aborted;
        Finish(std::move(failure));
    }
}

bool THttpChannel::WaitForResponse() {
    const auto ended = [this] { return FResponded || FDone || Aborted(); };
    if (QAbstractEventDispatcher::instance()) {
        RunEventLoopUntil(
            [&] {
                const std::lock_guard<std::mutex> lock(FLock);
                return ended();
            },
            std::chrono::milliseconds::zero());
    } else {
        // A thread without an event loop has nothing to keep running: it sleeps until
        // the transfer thread has news.
        std::unique_lock<std::mutex> lock(FLock);
        FCallerSleeping = true;
        FChanged.wait(lock, ended);
        FCallerSleeping = false;
    }
    return Responded();
}

void THttpChannel::WaitForBody(std::size_t batch, std::chrono::milliseconds pace) {
    if (QAbstractEventDispatcher::instance())
        RunEventLoopUntil([&] { return !FBody.WatchForBytes(batch); }, pace);
    else
        FBody.WaitForBytes(batch, pace);
}

bool THttpChannel::Leave() {
    std::unique_ptr<QObject> caller;
    {
        const std::lock_guard<std::mutex> callerLock(FCallerLock);
        caller = std::move(FCaller);
    }
    const std::lock_guard<std::mutex> lock(FLock);
    return FRunEnded;
}

void THttpChannel::WakeCaller() {
    bool post = false;
    {
        const std::lock_guard<std::mutex> lock(FLock);
        if (FCallerSleeping)
            FChanged.notify_all();
        // One wake-up is enough until the caller has looked again.
        post = FCallerWaiting && !FWakePosted;
        FWakePosted = FWakePosted || post;
    }
    // Posted without FLock: the caller, woken, runs at once and wants it.
    if (!post)
        return;
    const std::lock_guard<std::mutex> callerLock(FCallerLock);
    if (FCaller)
        QCoreApplication::postEvent(FCaller.get(), new QEvent(QEvent::User));
}

template <typename TLook>
void THttpChannel::RunEventLoopUntil(TLook look, std::chrono::milliseconds pace) {
    QObject& caller = CallerOfThisThread();
    int timer = 0;
    for (;;) {
        // Waiting is announced before looking, so that news which comes after the look
        // is posted.
        {
            const std::lock_guard<std::mutex> lock(FLock);
            FCallerWaiting = true;
            FWakePosted = false;
        }
        if (look())
            break;
        if (pace > std::chrono::milliseconds::zero() && !timer)
            timer = caller.startTimer(pace);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    {
        const std::lock_guard<std::mutex> lock(FLock);
        FCallerWaiting = false;
        FWakePosted = false;
    }
    if (timer)
        caller.killTimer(timer);
}

QObject& THttpChannel::CallerOfThisThread() {
    // Posted events reach the event loop of the thread their object lives in: the
    // object lives in the thread that waits, whichever that is. Only that thread
    // replaces it, so it reads FCaller without the lock.
    if (!FCaller || FCaller->thread() != QThread::currentThread()) {
        auto caller = std::make_unique<QObject>();
        const std::lock_guard<std::mutex> callerLock(FCallerLock);
        std::swap(FCaller, caller);
    }
    return *FCaller;
}

// ---- The caller's side -----------------------------------------------------------------

namespace {

std::atomic<int> gTransferThreads = 0;

}  // namespace

int RunningTransferThreads() {
    return gTransferThreads;
}

struct THttpTransferRequest::TShared {
    explicit TShared(std::unique_ptr<IHttpTransport> transport)
        : Channel(BufferSize), Transport(std::move(transport)) {}

    THttpChannel Channel;
    std::unique_ptr<IHttpTransport> Transport;
};

THttpTransferRequest::THttpTransferRequest(std::unique_ptr<IHttpTransport> transport)
    : FShared(std::make_shared<TShared>(std::move(transport))), FChannel(&FShared->Channel) {}

THttpTransferRequest::~THttpTransferRequest() {
    Abort();
    const bool runEnded = FChannel->Leave();
    if (!FThread.joinable())
        return;
    if (runEnded || FShared->Transport->EndsPromptly())
        FThread.join();
    else
        FThread.detach();
}

bool THttpTransferRequest::AddRequestHeaders(const QString& headers) {
    if (FSent)
        return false;
    QStringList lines;
    for (const QString& line : headers.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        // A line break or a zero inside a line would end the header there and start
        // another that nobody asked for.
        if (line.indexOf(u':') <= 0 || line.contains(u'\r') || line.contains(u'\n') ||
            line.contains(QChar(0)))
            return false;
        lines.append(line);
    }
    FChannel->AddHeaderLines(lines);
    return true;
}

bool THttpTransferRequest::Send() {
    if (FSent.exchange(true))
        return false;
    if (FChannel->Aborted())
        return false;
    try {
        FThread = std::thread([shared = FShared] {
            ++gTransferThreads;
            shared->Transport->Run(shared->Channel);
            shared->Channel.RunEnded();
            --gTransferThreads;
        });
    } catch (const std::system_error& error) {
        TInternetFailure failure;
        failure.Error = TInternetError::Other;
        failure.Detail = QString::fromLocal8Bit(error.what());
        FChannel->Finish(std::move(failure));
        return false;
    }
    return FChannel->WaitForResponse();
}

bool THttpTransferRequest::QueryStatusCode(std::uint32_t& status) {
    THttpResponse response;
    if (!FChannel->Response(response) || response.Status == 0)
        return false;
    status = response.Status;
    return true;
}

bool THttpTransferRequest::QueryStatusText(QString& text) {
    THttpResponse response;
    if (!FChannel->Response(response) || response.Status == 0)
        return false;
    text = response.StatusText.isEmpty() ? HttpReasonPhrase(response.Status) : response.StatusText;
    return true;
}

bool THttpTransferRequest::QueryContentLength(std::uint32_t& length) {
    THttpResponse response;
    if (!FChannel->Response(response) || response.ContentLength < 0 ||
        response.ContentLength > std::numeric_limits<std::uint32_t>::max())
        return false;
    length = static_cast<std::uint32_t>(response.ContentLength);
    return true;
}

bool THttpTransferRequest::QueryHeader(const QString& name, QString& value) {
    THttpResponse response;
    FChannel->Response(response);
    bool found = false;
    for (const auto& [headerName, headerValue] : response.Headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        value = found ? value + QStringLiteral(", ") + headerValue : headerValue;
        found = true;
    }
    return found;
}

bool THttpTransferRequest::ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) {
    read = 0;
    if (!FSent)
        return false;
    TByteRing& body = FChannel->Body();
    for (;;) {
        read += static_cast<std::uint32_t>(body.Read(buffer + read, toRead - read));
        if (body.Aborted())
            return false;
        if (read == toRead)
            return true;
        if (body.Drained())
            return read > 0 || FChannel->Failure().Error == TInternetError::None;
        FChannel->WaitForBody(WakeBatch, TricklePace);
    }
}

void THttpTransferRequest::Abort() {
    if (FChannel->Abort() && FSent)
        FShared->Transport->Interrupt();
}

TInternetFailure THttpTransferRequest::Failure() const {
    return FChannel->Failure();
}
