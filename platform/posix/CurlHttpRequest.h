#pragma once

#include "platform/Http.h"

#include "platform/posix/CurlLibrary.h"

#include <QByteArray>
#include <QObject>

#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// What one request is made of: the full URL and what the session adds to it.
struct TCurlRequestSettings {
    QByteArray Url;
    TInternetScheme Scheme = TInternetScheme::Http;
    QByteArray Verb;
    QByteArray UserAgent;
    // Trusted authorities instead of the system's, when either is set.
    QByteArray AuthorityFile;
    QByteArray AuthorityFolder;
    TInternetTimeouts Timeouts;
};

// One request over libcurl's multi interface, run by a transfer thread of its own,
// so that nothing libcurl does (name lookup, connecting, the TLS handshake with the
// loading of the trusted authorities, decrypting) ever holds the caller's thread.
// The caller's Send and ReadFile wait in its Qt event loop, woken by the transfer
// thread when what they wait for has come.
//
// The body is pulled by the caller: the write callback fills a buffer of fixed size
// and pauses the transfer when a piece does not fit; ReadFile asks the thread to
// resume once there is room again. While paused, libcurl reads nothing more from the
// socket, so a fast server is held back by TCP instead of filling memory.
//
// The easy and multi handles belong to the transfer thread while it runs; everything
// both threads touch is in the members below FLock and guarded by it.
class TCurlHttpRequest : public IHttpRequest {
public:
    // Null when libcurl refuses the handle or one of the options.
    static std::unique_ptr<TCurlHttpRequest> Open(const TCurlRequestSettings& settings);
    // Aborts the transfer and waits for its thread, which stops at its next step.
    ~TCurlHttpRequest() override;
    TCurlHttpRequest(const TCurlHttpRequest&) = delete;
    TCurlHttpRequest& operator=(const TCurlHttpRequest&) = delete;

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
    struct TEasyDeleter {
        void operator()(CURL* easy) const { Curl()->EasyCleanup(easy); }
    };
    struct TMultiDeleter {
        void operator()(CURLM* multi) const { Curl()->MultiCleanup(multi); }
    };
    struct TListDeleter {
        void operator()(curl_slist* list) const { Curl()->SlistFreeAll(list); }
    };
    struct THeader {
        QByteArray Name;
        QByteArray Value;
    };

    TCurlHttpRequest();
    bool Configure(const TCurlRequestSettings& settings);

    // The caller's side. Runs the event loop until `ready` holds (true), or the
    // transfer ended or was aborted first (false); `ready` is asked under FLock.
    template <typename TReady>
    bool Wait(std::unique_lock<std::mutex>& lock, TReady ready);
    void WakeTransfer();

    // The transfer thread's side.
    void Run();
    void Finish(CURLcode result);
    TInternetFailure Describe(CURLcode result) const;
    // Wakes the caller's event loop when it waits; under FLock.
    void WakeCaller();
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    std::size_t Write(const char* data, std::size_t size);
    void Header(const char* data, std::size_t size);
    const THeader* FindHeader(const QByteArray& name) const;

    std::unique_ptr<CURLM, TMultiDeleter> FMulti;
    std::unique_ptr<CURL, TEasyDeleter> FEasy;
    std::unique_ptr<curl_slist, TListDeleter> FRequestHeaders;
    // Receives the transfer thread's wake-ups in the caller's thread.
    std::unique_ptr<QObject> FCaller;
    std::thread FThread;
    TInternetScheme FScheme = TInternetScheme::Http;
    char FErrorText[CURL_ERROR_SIZE] = {};
    bool FSent = false;
    // Of the response being received; written by the transfer thread alone.
    QByteArray FResponseUrl;
    bool FAnswered = false;

    mutable std::mutex FLock;
    // Body bytes received and not yet pulled: FBuffer[FHead, FTail).
    std::vector<char> FBuffer;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    // The status line's reason phrase and the headers of the latest response.
    QByteArray FStatusText;
    std::vector<THeader> FHeaders;
    long FStatus = 0;
    curl_off_t FContentLength = -1;
    bool FPaused = false;
    bool FResumeAsked = false;
    bool FBodyStarted = false;
    // The headers of a response that libcurl will not follow have all arrived.
    bool FFinalHeaders = false;
    bool FAborted = false;
    bool FDone = false;
    CURLcode FResult = CURLE_OK;
    TInternetFailure FFailure;
    bool FCallerWaiting = false;
    bool FWakePosted = false;
};
