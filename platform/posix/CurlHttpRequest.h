#pragma once

#include "platform/Http.h"

#include "platform/posix/CurlLibrary.h"

#include <QByteArray>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;
class QTimer;

// What one request is made of: the full URL and what the session adds to it.
struct TCurlRequestSettings {
    QByteArray Url;
    QByteArray Verb;
    QByteArray UserAgent;
    // Trusted authorities instead of the system's, when either is set.
    QByteArray AuthorityFile;
    QByteArray AuthorityFolder;
    TInternetTimeouts Timeouts;
};

// One request over libcurl's multi interface, driven by Qt's event loop: libcurl
// tells which sockets to watch and when to call it back (QSocketNotifier, QTimer),
// and Send and ReadFile run the loop until what they wait for is there. The body is
// pulled by the caller: the write callback fills a buffer of fixed size and pauses
// the transfer when a piece does not fit; the next ReadFile that empties the buffer
// resumes it. While paused, libcurl reads nothing more from the socket, so a fast
// server is held back by TCP instead of filling memory.
class TCurlHttpRequest : public IHttpRequest {
public:
    // Null when libcurl refuses the handle or one of the options.
    static std::unique_ptr<TCurlHttpRequest> Open(const TCurlRequestSettings& settings);
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
    // The notifiers of one socket, each enabled while libcurl waits for that direction.
    struct TWatch {
        std::unique_ptr<QSocketNotifier> Read;
        std::unique_ptr<QSocketNotifier> Write;
    };
    struct THeader {
        QByteArray Name;
        QByteArray Value;
    };

    TCurlHttpRequest();
    bool Configure(const TCurlRequestSettings& settings);
    // Runs the event loop until `ready` holds (true), or the transfer ended or was
    // aborted first (false).
    bool Wait(const std::function<bool()>& ready);
    // Lets libcurl act on a socket that is ready, or on its time-out.
    void Act(curl_socket_t socket, int events);
    void Watch(curl_socket_t socket, int what);
    void Notify(std::unique_ptr<QSocketNotifier>& notifier, curl_socket_t socket, bool enabled, bool forReading);
    void Retire(std::unique_ptr<QSocketNotifier>& notifier);
    void Fail(CURLcode code);
    const THeader* FindHeader(const QByteArray& name) const;

    static int OnSocket(CURL* easy, curl_socket_t socket, int what, void* self, void* socketData);
    static int OnTimer(CURLM* multi, long milliseconds, void* self);
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    std::size_t Write(const char* data, std::size_t size);
    void Header(const char* data, std::size_t size);

    std::unique_ptr<CURLM, TMultiDeleter> FMulti;
    std::unique_ptr<CURL, TEasyDeleter> FEasy;
    std::unique_ptr<curl_slist, TListDeleter> FRequestHeaders;
    std::map<curl_socket_t, TWatch> FWatches;
    // Notifiers libcurl is done with; freed where none of them can be emitting.
    std::vector<std::unique_ptr<QSocketNotifier>> FRetired;
    std::unique_ptr<QTimer> FTimer;
    QByteArray FScheme;
    // Body bytes received and not yet pulled: FBuffer[FHead, FTail).
    std::vector<char> FBuffer;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    // The address, the status line's reason phrase and the headers of the latest response.
    QByteArray FResponseUrl;
    QByteArray FStatusText;
    std::vector<THeader> FHeaders;
    char FErrorText[CURL_ERROR_SIZE] = {};
    bool FAdded = false;
    bool FSent = false;
    bool FPaused = false;
    bool FAnswered = false;
    bool FBodyStarted = false;
    // The headers of a response that libcurl will not follow have all arrived.
    bool FFinalHeaders = false;
    bool FAborted = false;
    bool FClosing = false;
    bool FDone = false;
    CURLcode FResult = CURLE_OK;
};
