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
// from another thread. The open handles are kept below FLock; the transfer thread
// takes a handle's value under it right before each call, and whoever closes a handle
// (Interrupt, or the transfer thread after each hop) first takes it out, so each is
// closed exactly once, and no call is made on a handle that Interrupt has taken but one
// already on its way. Under Wine a closed handle does not end a call blocked on it (the
// call's time-out does), so the request does not wait for this thread when it goes.
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
    // AnswerUnfinished. False with the failure stored in `error` (0: the guard ended it).
    bool SendGuarded(HINTERNET request, DWORD& error);
    // Moves FHop to where a redirect points; false when the transfer ends there instead.
    bool Redirect(const QString& location, DWORD status, int redirects, QString& verb);
    bool Keep(HINTERNET handle, HINTERNET TWinInetHttpTransport::*slot);
    HINTERNET Held(HINTERNET TWinInetHttpTransport::*slot) const;
    void CloseHandles();
    // The final response's status, headers and length, handed to the channel.
    THttpResponse Response(HINTERNET request, DWORD status) const;
    void ReadBody(const QString& verb, const THttpResponse& response);
    TWinInetAttempt Attempt(TClock::time_point started) const;
    void Fail(TInternetFailure failure);
    void Fail(TInternetError error, const QString& detail = QString());

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
