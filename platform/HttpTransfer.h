#pragma once

#include "platform/ByteRing.h"
#include "platform/Http.h"

#include <QString>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class QObject;

// ---- Redirects, as every transport follows them ----------------------------------------

// At most this many redirects in one request, so that a loop fails.
inline constexpr int MaxRedirects = 20;

// A redirect judged: where it leads, or why it is not followed. Only addresses of http
// and https on a valid port are followed, never from https to plain http (whatever
// the request began with), and no more than MaxRedirects.
struct TRedirect {
    TInternetError Refusal = TInternetError::None;
    QUrl Target;     // resolved against the address that redirected
    QString Detail;  // a refusal's: where it pointed (as the server wrote it, when no web address)
};
// The redirect from `from` to `location` (the Location header as sent), after
// `followed` earlier ones in the same request.
TRedirect JudgeRedirect(const QUrl& from, const QString& location, int followed);

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
    // lines, hands the final response to Respond and its body to the channel's Body()
    // (a piece that does not fit is written again after WaitForRoom), and ends with
    // Finish. Returns soon after Interrupt.
    virtual void Run(THttpChannel& channel) = 0;
    // Any thread, once the channel is aborted: ends the transfer thread's blocking
    // calls at once.
    virtual void Interrupt() = 0;
    // Whether Run surely returns soon after Interrupt. A request that goes waits for
    // its transfer thread only then; otherwise the thread ends by itself (at its
    // time-out), keeping what it uses alive until then.
    virtual bool EndsPromptly() const { return true; }
};

// What the transfer thread and the caller share: the request's header lines, the final
// response, the body on its way (a ring that the transport writes and the caller
// reads), and the outcome; and how the caller waits for them. The transport uses the
// first group of calls, THttpTransferRequest the second.
//
// The caller waits in its thread's event loop when that thread runs one, woken by
// events posted to an object that lives in the thread that waits (made there when it
// first waits), and asleep in a thread without one.
class THttpChannel {
public:
    explicit THttpChannel(std::size_t bufferSize);
    ~THttpChannel();
    THttpChannel(const THttpChannel&) = delete;
    THttpChannel& operator=(const THttpChannel&) = delete;

    // ---- The transfer thread's side.
    // The request's header lines ("Name: value"), fixed before the transfer starts.
    const QStringList& HeaderLines() const { return FHeaderLines; }
    bool Aborted() const { return FBody.Aborted(); }
    // The final response: from now on the caller may read its headers and body.
    void Respond(THttpResponse response);
    bool Responded() const;
    // Where the body goes: the transport is the ring's writer.
    TByteRing& Body() { return FBody; }
    // The end of the transfer: a failure, or (Error None) the whole body delivered.
    void Finish(TInternetFailure failure);

    // ---- The caller's side.
    // Before the transfer starts.
    void AddHeaderLines(const QStringList& lines) { FHeaderLines += lines; }
    // The final response; false until it came.
    bool Response(THttpResponse& response) const;
    // Why the transfer failed: Aborted once aborted.
    TInternetFailure Failure() const;
    // Ends the caller's waits and the ring's; true the first time.
    bool Abort() { return FBody.Abort(); }
    // The transfer thread's last call, after the transport's Run: a transfer that ended
    // without an outcome was aborted.
    void RunEnded();
    // Until the response came (true), or the transfer ended without one (false).
    bool WaitForResponse();
    // Until the body has something for its reader: `batch` bytes, its end, or an abort;
    // looking every `pace` as well, so that a slow transfer is seen at that pace.
    void WaitForBody(std::size_t batch, std::chrono::milliseconds pace);
    // The caller goes: no wake-up is posted to it any more. True when the transfer
    // thread has ended.
    bool Leave();

private:
    // Any thread, without a lock held: there is news for the caller.
    void WakeCaller();
    // Runs the calling thread's event loop until `look` holds (asked without a lock).
    template <typename TLook>
    void RunEventLoopUntil(TLook look, std::chrono::milliseconds pace);
    QObject& CallerOfThisThread();

    QStringList FHeaderLines;
    TByteRing FBody;
    mutable std::mutex FLock;
    // Wakes a caller without an event loop that waits for the response.
    std::condition_variable FChanged;
    bool FResponded = false;
    THttpResponse FResponse;
    bool FDone = false;
    TInternetFailure FFailure;
    bool FRunEnded = false;
    // How the caller waits: asleep on FChanged, or in its event loop.
    bool FCallerSleeping = false;
    bool FCallerWaiting = false;
    bool FWakePosted = false;
    // Receives the wake-ups in the thread that waits; null until then, and once the
    // caller left. Made and dropped by the caller's thread under FCallerLock, which
    // alone guards posting to it.
    std::unique_ptr<QObject> FCaller;
    std::mutex FCallerLock;
};

// The transfer threads of this process whose transport has not returned yet: those of
// requests under way, and any that a request left to end by itself.
int RunningTransferThreads();

// One request whose transfer runs on a thread of its own, over a system's transport,
// so that nothing the network does (name look-up, connecting, the TLS handshake,
// waiting for the server) ever holds the caller's thread. Send and ReadFile wait in
// the Qt event loop of the thread that calls them, woken by the transfer thread, or
// asleep in a thread without one; one thread at a time calls them, any thread may
// Abort. The body waits in a buffer of fixed size: a transport that finds it full
// stops reading, so a fast server is held back by TCP instead of filling memory.
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
    static constexpr std::chrono::milliseconds TricklePace{16};

private:
    struct TShared;

    std::shared_ptr<TShared> FShared;
    THttpChannel* FChannel = nullptr;
    std::thread FThread;
    // Read by Abort, which may come from another thread.
    std::atomic<bool> FSent = false;
};
