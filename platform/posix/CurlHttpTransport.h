#pragma once

#include "platform/Http.h"
#include "platform/HttpTransfer.h"

#include "platform/posix/CurlLibrary.h"
#include "platform/posix/CurlShare.h"

#include <QByteArray>

#include <atomic>
#include <cstddef>
#include <memory>
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
    // What the requests of one connection share; none when null.
    std::shared_ptr<TCurlShare> Share;
};

// One request over libcurl's multi interface, run on the request's transfer thread
// (THttpTransferRequest), so that nothing libcurl does (name lookup, connecting, the
// TLS handshake with the loading of the trusted authorities, decrypting) ever holds
// the caller's thread.
//
// The write callback hands each piece to the channel's ring; a piece that does not fit
// pauses the transfer, and Run waits for room before it resumes it. While paused,
// libcurl reads nothing more from the socket, so a fast server is held back by TCP,
// and a paused transfer does not count as stalled.
//
// The easy and multi handles belong to the transfer thread while it runs; the other
// threads only wake it (curl_multi_wakeup).
//
// A name look-up runs on a thread of libcurl's own, and ending a transfer waits for it
// unless the transfer is marked for a quick exit (CURLOPT_QUICK_EXIT, libcurl 7.87 on):
// then the look-up is left to finish alone, and Run returns at once after Interrupt.
// A libcurl without it may keep Run waiting as long as the look-up takes, so from the
// start of a look-up until an answer begins the transport does not end promptly, and
// the request leaves its thread to end by itself.
class TCurlHttpTransport : public IHttpTransport {
public:
    // Null when libcurl refuses the handle or one of the options.
    static std::unique_ptr<TCurlHttpTransport> Open(const TCurlRequestSettings& settings);
    ~TCurlHttpTransport() override;
    TCurlHttpTransport(const TCurlHttpTransport&) = delete;
    TCurlHttpTransport& operator=(const TCurlHttpTransport&) = delete;

    void Run(THttpChannel& channel) override;
    void Interrupt() override;
    bool EndsPromptly() const override;

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

    TCurlHttpTransport() = default;
    bool Configure(const TCurlRequestSettings& settings);
    TInternetFailure Describe(CURLcode result) const;
    void DescribeRefusal(CURLcode result, TInternetFailure& failure) const;
    void DescribeBreak(TInternetFailure& failure, long proxyStatus, const QString& proxy) const;
    // The Location of the latest response when it is a redirect, as the server sent it.
    const THeader* RedirectLocation() const;
    long ResponseCode() const;
    // The latest response, as the channel takes it.
    THttpResponse Response() const;
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    static int OnResolverStart(void* resolver, void* reserved, void* self);
    std::size_t Write(const char* data, std::size_t size);
    // False ends the transfer: a redirect that the rules refuse.
    bool Header(const char* data, std::size_t size);
    const THeader* FindHeader(const QByteArray& name) const;

    // Outlives the handles that use it.
    std::shared_ptr<TCurlShare> FShare;
    std::unique_ptr<CURLM, TMultiDeleter> FMulti;
    std::unique_ptr<CURL, TEasyDeleter> FEasy;
    std::unique_ptr<curl_slist, TListDeleter> FRequestHeaders;
    TInternetScheme FScheme = TInternetScheme::Http;
    char FErrorText[CURL_ERROR_SIZE] = {};
    std::atomic<bool> FRunning = false;
    // Whether libcurl leaves a look-up under way to finish alone when the transfer ends.
    bool FQuickExit = false;
    // A look-up has started and no answer has begun since (see EndsPromptly).
    std::atomic<bool> FLookingUp = false;

    // The transfer thread's own.
    THttpChannel* FChannel = nullptr;
    // The size of the piece that libcurl holds back while paused; 0 when running.
    std::size_t FHeldBack = 0;
    // The response being received: its URL, status line's reason phrase and headers.
    QByteArray FResponseUrl;
    // The latest redirect as the rules judged it, and how many were followed before it.
    TRedirect FRedirect;
    int FRedirects = 0;
    QByteArray FStatusText;
    std::vector<THeader> FHeaders;
    bool FAnswered = false;
    // Between a status line and the blank line that ends its headers.
    bool FInHeaders = false;
};
