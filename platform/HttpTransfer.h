#pragma once

#include "platform/Http.h"

#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class QObject;

// The final response of a request, as a transport hands it over.
struct THttpResponse {
    std::uint32_t Status = 0;
    QString StatusText;  // empty when the server sent none
    qint64 ContentLength = -1;
    std::vector<std::pair<QString, QString>> Headers;
};

class THttpChannel;

// What only one system can do for a request: open it, send it, read its answer, end
// it at once, and name its failures. Everything else (the transfer thread's life, the
// buffer, waiting, cancel) is THttpTransferRequest's, the same on every system.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    // The transfer thread's whole life: sends the request with the channel's header
    // lines, hands the final response to Respond and its body to Deliver (waiting for
    // room with WaitForRoom, or once refused, for RoomAvailable), and ends with Finish.
    // Returns soon after Interrupt.
    virtual void Run(THttpChannel& channel) = 0;
    // Any thread, once the channel is aborted: ends the transfer thread's blocking
    // calls at once.
    virtual void Interrupt() = 0;
    // Any thread: room came free in the buffer after Deliver had refused a piece.
    virtual void RoomAvailable() {}
    // Whether Run surely returns soon after Interrupt. A request that goes waits for
    // its transfer thread only then; otherwise the thread ends by itself (at its
    // time-out), keeping what it uses alive until then.
    virtual bool EndsPromptly() const { return true; }
};

// What the transfer thread and the caller share. The caller's side is
// THttpTransferRequest's; the transfer thread uses the public calls.
class THttpChannel {
public:
    THttpChannel();

    // The request's header lines ("Name: value"), fixed before the transfer starts.
    const QStringList& HeaderLines() const { return FHeaderLines; }
    bool Aborted() const;
    // The final response: from now on the caller may read its headers and body.
    void Respond(THttpResponse response);
    bool Responded() const;
    // Puts the whole piece into the buffer, or nothing when it does not fit; the
    // transport is then told by RoomAvailable once half the buffer (or the piece, when
    // larger) is free. False also once aborted.
    bool Deliver(const char* data, std::size_t size);
    // Waits until `size` bytes fit into the buffer; false once aborted.
    bool WaitForRoom(std::size_t size);
    // The end of the transfer: a failure, or (Error None) the whole body delivered.
    void Finish(TInternetFailure failure);

private:
    friend class THttpTransferRequest;

    // Wakes the caller for news, with `lock` held on FLock; releases it.
    void WakeCaller(std::unique_lock<std::mutex>& lock);
    std::size_t Free() const { return FBuffer.size() - (FTail - FHead); }

    QStringList FHeaderLines;
    mutable std::mutex FLock;
    // Wakes the transfer thread (room in the buffer, Abort), and a caller without an
    // event loop.
    std::condition_variable FChanged;
    // A ring of body bytes received and not yet pulled: from FHead to FTail, counted
    // from the start of the body (or of the last time it ran empty), each at its
    // count modulo the size. The caller may be reading a part at the head without
    // the lock (see THttpTransferRequest::ReadFile); the transport writes only after
    // the tail.
    std::vector<char> FBuffer;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    // Whether the transport is copying a piece in after the tail, without the lock.
    bool FFilling = false;
    // The free room that a refused piece waits for; 0 when none waits.
    std::size_t FRoomWanted = 0;
    // The body bytes waiting in the buffer at which a delivery wakes the caller.
    std::size_t FWakeAt = 1;
    // Who sleeps on FChanged: the transfer thread for room, a caller without event loop.
    bool FTransportSleeping = false;
    bool FCallerSleeping = false;
    bool FResponded = false;
    THttpResponse FResponse;
    bool FAborted = false;
    bool FDone = false;
    TInternetFailure FFailure;
    bool FThreadDone = false;
    // Receives the wake-ups in the caller's thread; null once the request is gone.
    // Set under FLock, and under FCallerLock too, which alone guards posting to it.
    QObject* FCaller = nullptr;
    std::mutex FCallerLock;
    bool FCallerWaiting = false;
    bool FWakePosted = false;
};

// One request whose transfer runs on a thread of its own, over a system's transport,
// so that nothing the network does (name look-up, connecting, the TLS handshake,
// waiting for the server) ever holds the caller's thread. Send and ReadFile wait in
// the caller's Qt event loop, woken by the transfer thread, or on a condition
// variable in a thread without one. The body waits in a buffer of fixed size: a
// transport that finds it full stops reading, so a fast server is held back by TCP
// instead of filling memory.
class THttpTransferRequest : public IHttpRequest {
public:
    explicit THttpTransferRequest(std::unique_ptr<IHttpTransport> transport);
    // Aborts the transfer; waits for its thread when the transport ends promptly.
    ~THttpTransferRequest() override;
    THttpTransferRequest(const THttpTransferRequest&) = delete;
    THttpTransferRequest& operator=(const THttpTransferRequest&) = delete;

    // Each line must be "Name: value" without a line break or a zero inside; false
    // (and nothing added) otherwise.
    bool AddRequestHeaders(const QString& headers) override;
    bool Send() override;
    bool QueryStatusCode(std::uint32_t& status) override;
    bool QueryStatusText(QString& text) override;
    bool QueryContentLength(std::uint32_t& length) override;
    bool QueryHeader(const QString& name, QString& value) override;
    bool ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) override;
    void Abort() override;
    TInternetFailure Failure() const override;

    // What the buffer holds at most.
    static constexpr std::size_t BufferSize = 1024 * 1024;
    // A reader that waits for the body is woken once this much of it waits, or after
    // TricklePace, whichever comes first: a fast transfer wakes it once per batch
    // rather than once per piece the network brings, and a slow one is seen at the
    // screen's pace.
    static constexpr std::size_t WakeBatch = BufferSize / 2;
    static constexpr int TricklePaceMilliseconds = 16;
    // How much of the buffer ReadFile takes for itself at a time, to hand out in
    // blocks without taking the lock for each; the room comes free once it is read.
    static constexpr std::size_t ClaimSize = 32 * 1024;

private:
    struct TShared;
    // Under the channel's lock: gives back the part read, and claims the next one.
    // ReleaseClaim is true when the transport waits for the room it made.
    bool ReleaseClaim();
    void Claim();
    // Runs the event loop (or sleeps) until `ready` holds (true), or the transfer
    // ended or was aborted first (false); `ready` is asked under the channel's lock.
    // With `batch`, deliveries wake it only once that many body bytes wait, and it
    // looks by itself every TricklePace.
    template <typename TReady>
    bool Wait(std::unique_lock<std::mutex>& lock, TReady ready, std::size_t batch = 1);

    std::shared_ptr<TShared> FShared;
    THttpChannel* FChannel = nullptr;
    std::unique_ptr<QObject> FCaller;
    std::thread FThread;
    bool FSent = false;
    // The part of the buffer that ReadFile claimed: FClaimSize bytes from the head,
    // of which FClaimLeft, at FClaim, are still to be handed out.
    const char* FClaim = nullptr;
    std::size_t FClaimLeft = 0;
    std::size_t FClaimSize = 0;
};
