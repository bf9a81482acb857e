#include "platform/HttpTransfer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <system_error>

// ---- The transfer thread's side --------------------------------------------------------

THttpChannel::THttpChannel() : FBuffer(THttpTransferRequest::BufferSize) {}

bool THttpChannel::Aborted() const {
    const std::lock_guard<std::mutex> lock(FLock);
    return FAborted;
}

void THttpChannel::Respond(THttpResponse response) {
    std::unique_lock<std::mutex> lock(FLock);
    if (FResponded || FDone)
        return;
    FResponse = std::move(response);
    FResponse.StatusText = FResponse.StatusText.trimmed();
    FResponded = true;
    WakeCaller(lock);
}

bool THttpChannel::Responded() const {
    const std::lock_guard<std::mutex> lock(FLock);
    return FResponded;
}

bool THttpChannel::Deliver(const char* data, std::size_t size) {
    std::unique_lock<std::mutex> lock(FLock);
    if (FAborted)
        return false;
    // An empty buffer takes a piece larger than itself rather than refuse it for ever.
    // (Empty, nothing of it is claimed.)
    if (FHead == FTail && FBuffer.size() < size) {
        FBuffer.resize(size);
        FHead = FTail = 0;
    }
    if (Free() < size) {
        FRoomWanted = std::max(size, FBuffer.size() / 2);
        return false;
    }
    // The room after the tail is the transport's alone until the tail moves: the
    // caller reads only before it, and keeps the counts where they are meanwhile. So
    // the copy is made without the lock, which the caller may want in the meantime.
    FFilling = true;
    const std::size_t at = FTail % FBuffer.size();
    const std::size_t first = std::min(size, FBuffer.size() - at);
    lock.unlock();
    std::memcpy(FBuffer.data() + at, data, first);
    std::memcpy(FBuffer.data(), data + first, size - first);
    lock.lock();
    FFilling = false;
    FTail += size;
    if (FTail - FHead >= FWakeAt)
        WakeCaller(lock);
    return true;
}

bool THttpChannel::WaitForRoom(std::size_t size) {
    std::unique_lock<std::mutex> lock(FLock);
    FTransportSleeping = true;
    FChanged.wait(lock, [&] { return FAborted || Free() >= std::min(size, FBuffer.size()); });
    FTransportSleeping = false;
    return !FAborted;
}

void THttpChannel::Finish(TInternetFailure failure) {
    std::unique_lock<std::mutex> lock(FLock);
    if (FDone)
        return;
    FDone = true;
    FFailure = std::move(failure);
    WakeCaller(lock);
}

void THttpChannel::WakeCaller(std::unique_lock<std::mutex>& lock) {
    if (FCallerSleeping)
        FChanged.notify_all();
    // One wake-up is enough until the caller has looked again.
    const bool post = FCaller && FCallerWaiting && !FWakePosted;
    FWakePosted = FWakePosted || post;
    // Posted without the lock: the caller, woken, runs at once and wants it.
    lock.unlock();
    if (!post)
        return;
    const std::lock_guard<std::mutex> callerLock(FCallerLock);
    if (FCaller)
        QCoreApplication::postEvent(FCaller, new QEvent(QEvent::User));
}

// ---- The caller's side -----------------------------------------------------------------

struct THttpTransferRequest::TShared {
    THttpChannel Channel;
    std::unique_ptr<IHttpTransport> Transport;
};

THttpTransferRequest::THttpTransferRequest(std::unique_ptr<IHttpTransport> transport)
    : FShared(std::make_shared<TShared>()), FCaller(std::make_unique<QObject>()) {
    FShared->Transport = std::move(transport);
    FChannel = &FShared->Channel;
    FChannel->FCaller = FCaller.get();
}

THttpTransferRequest::~THttpTransferRequest() {
    Abort();
    bool threadDone = false;
    {
        const std::lock_guard<std::mutex> lock(FChannel->FLock);
        const std::lock_guard<std::mutex> callerLock(FChannel->FCallerLock);
        FChannel->FCaller = nullptr;
        threadDone = FChannel->FThreadDone;
    }
    if (!FThread.joinable())
        return;
    if (threadDone || FShared->Transport->EndsPromptly())
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
    FChannel->FHeaderLines += lines;
    return true;
}

bool THttpTransferRequest::Send() {
    if (FSent)
        return false;
    FSent = true;
    std::unique_lock<std::mutex> lock(FChannel->FLock);
    if (FChannel->FAborted)
        return false;
    try {
        FThread = std::thread([shared = FShared] {
            shared->Transport->Run(shared->Channel);
            std::unique_lock<std::mutex> lock(shared->Channel.FLock);
            if (!shared->Channel.FDone) {
                // Only an abort leaves a transport without an outcome.
                shared->Channel.FDone = true;
                shared->Channel.FFailure.Error = TInternetError::Aborted;
            }
            shared->Channel.FThreadDone = true;
            shared->Channel.WakeCaller(lock);
        });
    } catch (const std::system_error& error) {
        FChannel->FDone = true;
        FChannel->FFailure.Error = TInternetError::Other;
        FChannel->FFailure.Detail = QString::fromLocal8Bit(error.what());
        return false;
    }
    return Wait(lock, [this] { return FChannel->FResponded; });
}

bool THttpTransferRequest::QueryStatusCode(std::uint32_t& status) {
    const std::lock_guard<std::mutex> lock(FChannel->FLock);
    if (!FChannel->FResponded || FChannel->FResponse.Status == 0)
        return false;
    status = FChannel->FResponse.Status;
    return true;
}

bool THttpTransferRequest::QueryStatusText(QString& text) {
    const std::lock_guard<std::mutex> lock(FChannel->FLock);
    if (!FChannel->FResponded || FChannel->FResponse.Status == 0)
        return false;
    const THttpResponse& response = FChannel->FResponse;
    text = response.StatusText.isEmpty() ? HttpReasonPhrase(response.Status) : response.StatusText;
    return true;
}

bool THttpTransferRequest::QueryContentLength(std::uint32_t& length) {
    const std::lock_guard<std::mutex> lock(FChannel->FLock);
    const qint64 value = FChannel->FResponse.ContentLength;
    if (!FChannel->FResponded || value < 0 || value > std::numeric_limits<std::uint32_t>::max())
        return false;
    length = static_cast<std::uint32_t>(value);
    return true;
}

bool THttpTransferRequest::QueryHeader(const QString& name, QString& value) {
    const std::lock_guard<std::mutex> lock(FChannel->FLock);
    bool found = false;
    for (const auto& [headerName, headerValue] : FChannel->FResponse.Headers) {
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
    THttpChannel& channel = *FChannel;
    std::unique_lock<std::mutex> lock(channel.FLock, std::defer_lock);
    bool roomMade = false;
    bool ok = true;
    for (;;) {
        // Most blocks come from the part claimed before, without the lock.
        const std::size_t count = std::min<std::size_t>(FClaimLeft, toRead - read);
        if (count > 0) {
            std::memcpy(buffer + read, FClaim, count);
            FClaim += count;
            FClaimLeft -= count;
            read += static_cast<std::uint32_t>(count);
        }
        if (read == toRead)
            break;
        if (!lock.owns_lock())
            lock.lock();
        roomMade = ReleaseClaim() || roomMade;
        if (channel.FAborted) {
            ok = false;
            break;
        }
        if (channel.FHead < channel.FTail) {
            Claim();
            lock.unlock();
        } else if (channel.FDone) {
            ok = read > 0 || channel.FFailure.Error == TInternetError::None;
            break;
        } else {
            Wait(
                lock, [&channel] { return channel.FHead < channel.FTail; }, WakeBatch);
        }
    }
    if (lock.owns_lock())
        lock.unlock();
    if (roomMade)
        FShared->Transport->RoomAvailable();
    return ok;
}

bool THttpTransferRequest::ReleaseClaim() {
    THttpChannel& channel = *FChannel;
    if (FClaimSize == 0)
        return false;
    channel.FHead += FClaimSize;
    FClaimSize = 0;
    // An empty ring starts again at its beginning, so that a reader that keeps up works
    // in the same few warm kilobytes rather than through the whole ring; not while the
    // transport is copying a piece in at the tail it counted from.
    if (channel.FHead == channel.FTail && !channel.FFilling)
        channel.FHead = channel.FTail = 0;
    // The transport may wait for the room this made.
    if (channel.FTransportSleeping)
        channel.FChanged.notify_all();
    if (channel.FRoomWanted == 0 || channel.Free() < channel.FRoomWanted)
        return false;
    channel.FRoomWanted = 0;
    return true;
}

void THttpTransferRequest::Claim() {
    THttpChannel& channel = *FChannel;
    const std::size_t size = channel.FBuffer.size();
    const std::size_t at = channel.FHead % size;
    FClaimSize = std::min({channel.FTail - channel.FHead, size - at, ClaimSize});
    FClaimLeft = FClaimSize;
    FClaim = channel.FBuffer.data() + at;
}

void THttpTransferRequest::Abort() {
    // What was claimed is not handed out any more.
    FClaimLeft = 0;
    {
        std::unique_lock<std::mutex> lock(FChannel->FLock);
        if (FChannel->FAborted)
            return;
        FChannel->FAborted = true;
        FChannel->FChanged.notify_all();
        FChannel->WakeCaller(lock);
    }
    if (FSent)
        FShared->Transport->Interrupt();
}

TInternetFailure THttpTransferRequest::Failure() const {
    const std::lock_guard<std::mutex> lock(FChannel->FLock);
    if (FChannel->FAborted) {
        TInternetFailure failure;
        failure.Error = TInternetError::Aborted;
        return failure;
    }
    return FChannel->FFailure;
}

template <typename TReady>
bool THttpTransferRequest::Wait(std::unique_lock<std::mutex>& lock, TReady ready, std::size_t batch) {
    THttpChannel& channel = *FChannel;
    const auto news = [&] {
        return channel.FTail - channel.FHead >= batch || ready() || channel.FAborted || channel.FDone;
    };
    const bool paced = batch > 1;
    channel.FWakeAt = batch;
    int timer = 0;
    while (!ready()) {
        if (channel.FAborted || channel.FDone)
            break;
        // A thread without an event loop has nothing to keep running: it sleeps until
        // the transfer thread has news.
        if (!QAbstractEventDispatcher::instance()) {
            channel.FCallerSleeping = true;
            if (paced)
                channel.FChanged.wait_for(lock, std::chrono::milliseconds(TricklePaceMilliseconds), news);
            else
                channel.FChanged.wait(lock, news);
            channel.FCallerSleeping = false;
            continue;
        }
        if (paced && !timer)
            timer = FCaller->startTimer(TricklePaceMilliseconds);
        channel.FCallerWaiting = true;
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        lock.lock();
        channel.FCallerWaiting = false;
        channel.FWakePosted = false;
    }
    channel.FWakeAt = 1;
    if (timer)
        FCaller->killTimer(timer);
    return ready();
}
