#include "platform/win32/WinInetHttpRequest.h"

#include "platform/win32/WinText.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <limits>
#include <system_error>

TWinInetHttpRequest::TWinInetHttpRequest(TWinInetRequestSettings settings)
    : FTransfer(std::make_shared<TWinInetTransfer>(std::move(settings))),
      FCaller(std::make_unique<QObject>()) {
    FTransfer->FCaller = FCaller.get();
}

TWinInetHttpRequest::~TWinInetHttpRequest() {
    FTransfer->Abort();
    bool threadDone = false;
    {
        const std::lock_guard<std::mutex> lock(FTransfer->FLock);
        FTransfer->FCaller = nullptr;
        threadDone = FTransfer->FThreadDone;
    }
    if (!FThread.joinable())
        return;
    // Under Wine a closed handle does not end a call that is blocked on it; that call
    // ends at its time-out, without keeping the caller.
    if (threadDone)
        FThread.join();
    else
        FThread.detach();
}

bool TWinInetHttpRequest::AddRequestHeaders(const QString& headers) {
    if (FSent)
        return false;
    QString lines;
    for (const QString& line : headers.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        // A line break or a zero inside a line would end the header there and start
        // another that nobody asked for.
        if (line.indexOf(u':') <= 0 || line.contains(u'\r') || line.contains(u'\n') || HasEmbeddedZero(line))
            return false;
        lines += line + QStringLiteral("\r\n");
    }
    FTransfer->FHeaders += lines;
    return true;
}

bool TWinInetHttpRequest::Send() {
    if (FSent)
        return false;
    FSent = true;
    TWinInetTransfer& transfer = *FTransfer;
    std::unique_lock<std::mutex> lock(transfer.FLock);
    if (transfer.FAborted)
        return false;
    try {
        FThread = std::thread([shared = FTransfer] { shared->Run(); });
    } catch (const std::system_error& error) {
        transfer.FDone = true;
        transfer.FFailure.Error = TInternetError::Other;
        transfer.FFailure.Detail = QString::fromLocal8Bit(error.what());
        return false;
    }
    return Wait(lock, [&transfer] { return transfer.FHeadersReady; });
}

bool TWinInetHttpRequest::QueryStatusCode(std::uint32_t& status) {
    const std::lock_guard<std::mutex> lock(FTransfer->FLock);
    if (!FTransfer->FHeadersReady)
        return false;
    status = FTransfer->FStatus;
    return true;
}

bool TWinInetHttpRequest::QueryStatusText(QString& text) {
    const std::lock_guard<std::mutex> lock(FTransfer->FLock);
    if (!FTransfer->FHeadersReady)
        return false;
    text = FTransfer->FStatusText.isEmpty() ? HttpReasonPhrase(FTransfer->FStatus) : FTransfer->FStatusText;
    return true;
}

bool TWinInetHttpRequest::QueryContentLength(std::uint32_t& length) {
    const std::lock_guard<std::mutex> lock(FTransfer->FLock);
    const qint64 value = FTransfer->FContentLength;
    if (!FTransfer->FHeadersReady || value < 0 || value > std::numeric_limits<std::uint32_t>::max())
        return false;
    length = static_cast<std::uint32_t>(value);
    return true;
}

bool TWinInetHttpRequest::QueryHeader(const QString& name, QString& value) {
    const std::lock_guard<std::mutex> lock(FTransfer->FLock);
    for (const auto& [headerName, headerValue] : FTransfer->FResponseHeaders) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0) {
            value = headerValue;
            return true;
        }
    }
    return false;
}

bool TWinInetHttpRequest::ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) {
    read = 0;
    if (!FSent)
        return false;
    TWinInetTransfer& transfer = *FTransfer;
    std::unique_lock<std::mutex> lock(transfer.FLock);
    while (read < toRead) {
        if (transfer.FAborted)
            return false;
        if (transfer.FHead < transfer.FTail) {
            const std::size_t count = std::min<std::size_t>(transfer.FTail - transfer.FHead, toRead - read);
            std::memcpy(buffer + read, transfer.FBuffer.data() + transfer.FHead, count);
            transfer.FHead += count;
            read += static_cast<std::uint32_t>(count);
            if (transfer.FHead == transfer.FTail)
                transfer.FHead = transfer.FTail = 0;
            transfer.FChanged.notify_all();
        } else if (transfer.FDone) {
            return read > 0 || transfer.FFailure.Error == TInternetError::None;
        } else {
            Wait(lock, [&transfer] { return transfer.FHead < transfer.FTail; });
        }
    }
    return true;
}

void TWinInetHttpRequest::Abort() {
    FTransfer->Abort();
}

TInternetFailure TWinInetHttpRequest::Failure() const {
    const std::lock_guard<std::mutex> lock(FTransfer->FLock);
    if (FTransfer->FAborted) {
        TInternetFailure failure;
        failure.Error = TInternetError::Aborted;
        return failure;
    }
    return FTransfer->FFailure;
}

template <typename TReady>
bool TWinInetHttpRequest::Wait(std::unique_lock<std::mutex>& lock, TReady ready) {
    TWinInetTransfer& transfer = *FTransfer;
    while (!ready()) {
        if (transfer.FAborted || transfer.FDone)
            return false;
        // A thread without an event loop has nothing to keep running: it sleeps until
        // the transfer thread has news.
        if (!QAbstractEventDispatcher::instance()) {
            transfer.FChanged.wait(lock);
            continue;
        }
        transfer.FCallerWaiting = true;
        lock.unlock();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        lock.lock();
        transfer.FCallerWaiting = false;
        transfer.FWakePosted = false;
    }
    return true;
}
