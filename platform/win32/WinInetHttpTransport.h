#pragma once

#include "platform/Http.h"
#include "platform/HttpTransfer.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/WinInetHttpFailure.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

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

// One request over WinInet in its synchronous mode, every blocking call made on the
// request's transfer thread (THttpTransferRequest).
//
// Redirects are followed here rather than by WinInet (INTERNET_FLAG_NO_AUTO_REDIRECT):
// each hop is a new request to the server that the Location names, so that an https
// address redirected to plain http fails instead of going on in the clear, a loop ends
// after 20 hops, and a failure names the server it was reaching.
//
// After the final response's headers, the body is read a piece at a time, each once
// the channel has room for it, so that a fast server is held back by TCP.
//
// Handles: WinInet has no other way to end a synchronous call than closing its handle
// from another thread. But WinInet hands a closed handle's value to the next handle it
// opens, in any request of the process: a value that the transfer thread took and
// passes to a call after Interrupt closed it would reach another request's handle. So
// the open handles are kept below FLock, and the transfer thread holds the request
// handle's value in a TRequestUse from taking it until the calls made with it returned.
// Interrupt closes the handles at once only when no use is under way, or when the one
// under way is a blocking call that WinInet has reported progress from (OnStatus):
// such a call holds the handle itself, so closing ends it and its value stays taken
// until it returns. Otherwise the use closes them as it ends. Whoever closes a handle
// first takes it out, so each is closed exactly once. Under Wine a closed handle does
// not end a call blocked on it (the call's time-out does), and a call that reported
// nothing yet runs to its time-out too, so the request does not wait for this thread
// when it goes.
class TWinInetHttpTransport : public IHttpTransport {
public:
    explicit TWinInetHttpTransport(TWinInetRequestSettings settings);
    TWinInetHttpTransport(const TWinInetHttpTransport&) = delete;
    TWinInetHttpTransport& operator=(const TWinInetHttpTransport&) = delete;

    void Run(THttpChannel& channel) override;
    void Interrupt() override;
    bool EndsPromptly() const override { return false; }

private:
    using TClock = std::chrono::steady_clock;
    class TRequestUse;
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
    // HttpSendRequestW on the hop's request, guarded: headers that keep arriving past
    // twice the stall time-out after the connection was made end the transfer as
    // AnswerUnfinished. False with the failure stored in `error` (0: the guard or
    // Interrupt ended it).
    bool SendGuarded(DWORD& error);
    // Reads the final response's status and, for a redirect, its Location (empty for
    // the final response, which goes to `response`); false when the transfer ends.
    bool ReadAnswer(DWORD& status, QString& location, THttpResponse& response);
    // Moves FHop to where a redirect points; false when the transfer ends there instead.
    bool Redirect(const QString& location, DWORD status, int redirects, QString& verb);
    // Stores the hop's handles, just opened and set up; false (and both closed) when the
    // transfer was aborted meanwhile.
    bool Keep(HINTERNET connection, HINTERNET request);
    void CloseHandles();
    // From OnStatus, on the transfer thread: WinInet reported progress.
    void Progressed();
    // The final response's status, headers and length, handed to the channel.
    THttpResponse Response(HINTERNET request, DWORD status) const;
    void ReadBody(const QString& verb, const THttpResponse& response);
    TWinInetAttempt Attempt(TClock::time_point started) const;
    void Fail(TInternetFailure failure);
    void Fail(TInternetError error, const QString& detail = QString());
    // The proxy answered the tunnel's CONNECT with `status` instead of opening it.
    void FailProxyRefused(std::uint32_t status);

    // The transport whose thread this is (see OnStatus).
    static thread_local TWinInetHttpTransport* FCurrent;

    const TWinInetRequestSettings FSettings;
    // "Name: value\r\n" lines, added to the request of every hop.
    QString FHeaders;

    mutable std::mutex FLock;
    // Guarded by FLock: the handles of the hop under way, and whether Interrupt came.
    HINTERNET FConnection = nullptr;
    HINTERNET FRequest = nullptr;
    bool FInterrupted = false;
    // The request's value is in a TRequestUse; for a blocking call; that call reported
    // progress.
    bool FInUse = false;
    bool FUseBlocks = false;
    bool FUseProgressed = false;

    // The transfer thread's own.
    THttpChannel* FChannel = nullptr;
    THop FHop;
    QString FServer;
    QString FProxy;
    bool FConnected = false;
    bool FAnswered = false;
    // When the hop's connection was made (steady clock, in milliseconds; 0: not yet),
    // for the guard that SendHop runs beside HttpSendRequestW.
    std::atomic<std::int64_t> FConnectedAt = 0;
};
