#pragma once

#include "platform/Http.h"
#include "platform/win32/WinInetHttpTransfer.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

// One request over WinInet, whose blocking calls all run on a transfer thread of the
// request's own (TWinInetTransfer), so that nothing WinInet does (name look-up,
// connecting, the TLS handshake, waiting for the server) ever holds the caller's
// thread. The caller's Send and ReadFile wait in its Qt event loop, woken by the
// transfer thread through an event posted to an object of the caller's thread.
//
// Abort closes the open handles at once, which makes a blocked WinInet call return
// on Windows; the caller's wait ends at once in any case, without waiting for that
// call. A transfer thread still inside WinInet when its request is destroyed is left
// to end by itself (under Wine a closed handle does not end a blocked call: the call's
// time-out does) and keeps what it uses alive until then (the shared transfer).
class TWinInetHttpRequest : public IHttpRequest {
public:
    explicit TWinInetHttpRequest(TWinInetRequestSettings settings);
    ~TWinInetHttpRequest() override;
    TWinInetHttpRequest(const TWinInetHttpRequest&) = delete;
    TWinInetHttpRequest& operator=(const TWinInetHttpRequest&) = delete;

    bool AddRequestHeaders(const QString& headers) override;
    bool Send() override;
    bool QueryStatusCode(std::uint32_t& status) override;
    bool QueryStatusText(QString& text) override;
    bool QueryContentLength(std::uint32_t& length) override;
    bool QueryHeader(const QString& name, QString& value) override;
    bool ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) override;
    void Abort() override;
    TInternetFailure Failure() const override;

private:
    // Runs the event loop until `ready` holds (true), or the transfer ended or was
    // aborted first (false); `ready` is asked under the transfer's lock.
    template <typename TReady>
    bool Wait(std::unique_lock<std::mutex>& lock, TReady ready);

    std::shared_ptr<TWinInetTransfer> FTransfer;
    // Receives the transfer thread's wake-ups in the caller's thread.
    std::unique_ptr<QObject> FCaller;
    std::thread FThread;
    bool FSent = false;
};
