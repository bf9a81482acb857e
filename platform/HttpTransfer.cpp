#include "platform/HttpTransfer.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
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
    const std::lock_guard<std::mutex> lock(FLock);
    if (FResponded || FDone)
        return;
    FResponse = std::move(response);
    FResponse.StatusText = FResponse.StatusText.trimmed();
    FResponded = true;
    WakeCaller();
}

bool THttpChannel::Responded() const {
    const std::lock_guard<std::mutex> lock(FLock);
    return FResponded;
}

bool THttpChannel::Deliver(const char* data, std::size_t size) {
    const std::lock_guard<std::mutex> lock(FLock);
    if (FAborted)
        return false;
    // An empty buffer takes a piece larger than itself rather than refuse it for ever.
    if (FHead == FTail && FBuffer.size() < size)
        FBuffer.resize(size);
    if (Free() < size) {
        FRoomWanted = std::max(size, FBuffer.size() / 2);
        return false;
    }
    if (FBuffer.size() - FTail < size) {
        std::memmove(FBuffer.data(), FBuffer.data() + FHead, FTail - FHead);
        FTail -= FHead;
        FHead = 0;
    }
    std::memcpy(FBuffer.data() + FTail, data, size);
    FTail += size;
    WakeCaller();
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
    const std::lock_guard<std::mutex> lock(FLock);
    if (FDone)
        return;
    FDone = true;
    FFailure = std::move(failure);
    WakeCaller();
}

void THttpChannel::WakeCaller() {
    if (FCallerSleeping)
        FChanged.notify_all();
    // One wake-up is enough until the caller has looked again.
    if (!FCaller || !FCallerWaiting || FWakePosted)
        return;
    FWakePosted = true;
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
            const std::lock_guard<std::mutex> lock(shared->Channel.FLock);
            if (!shared->Channel.FDone) {
                // Only an abort leaves a transport without an outcome.
                shared->Channel.FDone = true;
                shared->Channel.FFailure.Error = TInternetError::Aborted;
            }
            shared->Channel.FThreadDone = true;
            shared->Channel.WakeCaller();
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
    for (const auto& [headerName, headerValue] : FChannel->FResponse.Headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
            value = headerValue;
            return true;
        }
    }
    return false;
}

bool THttpTransferRequest::ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) {
    read = 0;
    if (!FSent)
        return false;
    THttpChannel& channel = *FChannel;
    std::unique_lock<std::mutex> lock(channel.FLock);
    bool roomMade = false;
    while (read < toRead) {
        if (channel.FAborted)
            return false;
        if (channel.FHead < channel.FTail) {
            const std::size_t count = std::min<std::size_t>(channel.FTail - channel.FHead, toRead - read);
            std::memcpy(buffer + read, channel.FBuffer.data() + channel.FHead, count);
            channel.FHead += count;
            read += static_cast<std::uint32_t>(count);
            if (channel.FHead == channel.FTail)
                channel.FHead = channel.FTail = 0;
            // The transport may wait for the room this made.
            if (channel.FTransportSleeping)
                channel.FChanged.notify_all();
            if (channel.FRoomWanted != 0 && channel.Free() >= channel.FRoomWanted) {
                channel.FRoomWanted = 0;
                roomMade = true;
            }
        } else if (channel.FDone) {
            break;
        } else {
            Wait(lock, [&channel] { return channel.FHead < channel.FTail; });
        }
    }
    const bool ok = read == toRead || read > 0 || channel.FFailure.Error == TInternetError::None;
    lock.unlock();
    if (roomMade)
        FShared->Transport->RoomAvailable();
    return ok;
}

void THttpTransferRequest::Abort() {
    {
        const std::lock_guard<std::mutex> lock(FChannel->FLock);
        if (FChannel->FAborted)
            return;
        FChannel->FAborted = true;
        FChannel->WakeCaller();
        FChannel->FChanged.notify_all();
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
bool THttpTransferRequest::Wait(std::unique_lock<std::mutex>& lock, TReady ready) {
    THttpChannel& channel = *FChannel;
    const auto news = [&] { return ready() || channel.FAborted || channel.FDone; };
    while (!ready()) {
        if (channel.FAborted || channel.FDone)
            return false;
        // A thread without an event loop has nothing to keep running: it sleeps until
        // the transfer thread has news.
        if (!QAbstractEventDispatcher::instance()) {
            channel.FCallerSleeping = true;
            channel.FChanged.wait(lock, news);
            channel.FCallerSleeping = false;
            continue;
        }
        channel.FCallerWaiting = true;
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        lock.lock();
        channel.FCallerWaiting = false;
        channel.FWakePosted = false;
    }
    return true;
}
