#pragma once

#include "platform/Http.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/WinInetHttpFailure.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// What one request is made of: its session and where it goes.
struct TWinInetRequestSettings {
    // The session's handle (InternetOpenW); closed with the last request that uses it.
    std::shared_ptr<void> Session;
    QString Host;  // bare, an IPv6 address without brackets
    std::uint16_t Port = 0;
    TInternetScheme Scheme = TInternetScheme::Http;
    QString Verb;
    QString Object;  // path and query, percent-encoded
    TInternetTimeouts Timeouts;
};

// The part of a request that its transfer thread runs (see TWinInetHttpRequest), and
// what the two threads share. WinInet is used in its synchronous mode here: every
// blocking call is made on the transfer thread.
//
// Redirects are followed here rather than by WinInet (INTERNET_FLAG_NO_AUTO_REDIRECT):
// each hop is a new request to the server that the Location names, so that an https
// address redirected to plain http fails instead of going on in the clear, a loop ends
// after 20 hops, and a failure names the server it was reaching.
//
// After the final response's headers, the body is read into a buffer of fixed size,
// and reading stops while it is full, so that a fast server is held back by TCP
// instead of filling memory.
//
// Handles: WinInet has no other way to end a synchronous call than closing its handle
// from another thread. The open handles are kept below FLock; the transfer thread
// takes a handle's value under it right before each call, and whoever closes a handle
// (Abort, or the transfer thread after each hop) first takes it out, so each is closed
// exactly once, and no call is made on a handle that Abort has taken but one already
// on its way.
//
// The members above FLock are fixed before the thread starts; those below it are
// guarded by it; the private ones belong to the transfer thread.
class TWinInetTransfer {
public:
    explicit TWinInetTransfer(TWinInetRequestSettings settings);
    TWinInetTransfer(const TWinInetTransfer&) = delete;
    TWinInetTransfer& operator=(const TWinInetTransfer&) = delete;

    // The transfer thread's whole life.
    void Run();
    // Any thread: ends the transfer, closes its handles, wakes whoever waits for it.
    void Abort();
    // Wakes the caller's event loop when it waits; under FLock.
    void WakeCaller();

    const TWinInetRequestSettings FSettings;
    // "Name: value\r\n" lines, added to the request of every hop.
    QString FHeaders;

    mutable std::mutex FLock;
    // Wakes the transfer thread (room in the buffer, Abort), and a caller without event loop.
    std::condition_variable FChanged;
    // Body bytes received and not yet pulled: FBuffer[FHead, FTail).
    std::vector<char> FBuffer;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    // The final response.
    bool FHeadersReady = false;
    DWORD FStatus = 0;
    QString FStatusText;
    qint64 FContentLength = -1;
    std::vector<std::pair<QString, QString>> FResponseHeaders;
    bool FAborted = false;
    bool FDone = false;  // the transfer has ended; FFailure says how when it failed
    TInternetFailure FFailure;
    bool FThreadDone = false;
    // Receives the wake-ups in the caller's thread; null once the request is gone.
    QObject* FCaller = nullptr;
    bool FCallerWaiting = false;
    bool FWakePosted = false;

private:
    using TClock = std::chrono::steady_clock;
    // Where one hop goes.
    struct THop {
        QString Host;
        std::uint16_t Port = 0;
        TInternetScheme Scheme = TInternetScheme::Http;
        QString Object;
    };

    static void CALLBACK OnStatus(HINTERNET handle, DWORD_PTR context, DWORD status, void* info,
                                  DWORD length);
    void Follow();
    bool OpenHop(const QString& verb);
    bool SendHop();
    // Moves FHop to where a redirect points; false when the transfer ends there instead.
    bool Redirect(const QString& location, DWORD status, int redirects, QString& verb);
    bool Keep(HINTERNET handle, HINTERNET TWinInetTransfer::*slot);
    HINTERNET Held(HINTERNET TWinInetTransfer::*slot) const;
    void CloseHandles();
    void Publish(HINTERNET request, DWORD status);
    void ReadBody(const QString& verb);
    TWinInetAttempt Attempt(TClock::time_point started) const;
    void Fail(TInternetFailure failure);
    void Fail(TInternetError error, const QString& detail = QString());
    void Succeed();

    // The transfer whose thread this is (see OnStatus).
    static thread_local TWinInetTransfer* FCurrent;

    // Guarded by FLock: the handles of the hop under way.
    HINTERNET FConnection = nullptr;
    HINTERNET FRequest = nullptr;

    THop FHop;
    QString FServer;
    QString FProxy;
    bool FConnected = false;
    bool FAnswered = false;
};
