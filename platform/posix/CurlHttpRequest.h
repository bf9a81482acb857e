#pragma once

#include "platform/Http.h"

#include "platform/posix/CurlLibrary.h"

#include <QByteArray>

#include <cstddef>
#include <memory>
#include <vector>

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

// One request over libcurl's multi interface, driven only from inside Send and
// ReadFile, so the caller pulls the body: the write callback fills a buffer of fixed
// size and pauses the transfer when a piece does not fit; the next ReadFile that
// empties the buffer resumes it. While paused, libcurl reads nothing more from the
// socket, so a fast server is held back by TCP instead of filling memory.
class TCurlHttpRequest : public IHttpRequest {
public:
    // Null when libcurl refuses the handle or one of the options.
    static std::unique_ptr<TCurlHttpRequest> Open(const TCurlRequestSettings& settings);
    ~TCurlHttpRequest() override;
    TCurlHttpRequest(const TCurlHttpRequest&) = delete;
    TCurlHttpRequest& operator=(const TCurlHttpRequest&) = delete;

    bool Send() override;
    bool QueryStatusCode(std::uint32_t& status) override;
    bool QueryContentLength(std::uint32_t& length) override;
    bool ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) override;

private:
    struct TEasyDeleter {
        void operator()(CURL* easy) const { Curl()->EasyCleanup(easy); }
    };
    struct TMultiDeleter {
        void operator()(CURLM* multi) const { Curl()->MultiCleanup(multi); }
    };

    TCurlHttpRequest() = default;
    bool Configure(const TCurlRequestSettings& settings);
    // Lets libcurl do what it can without waiting, then notes whether it finished.
    void Perform();
    // Waits (bounded) until a socket of the transfer is ready.
    void Poll();
    void Fail(CURLcode code);

    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    std::size_t Write(const char* data, std::size_t size);
    void Header(const char* data, std::size_t size);

    std::unique_ptr<CURLM, TMultiDeleter> FMulti;
    std::unique_ptr<CURL, TEasyDeleter> FEasy;
    // Body bytes received and not yet pulled: FBuffer[FHead, FTail).
    std::vector<char> FBuffer;
    std::size_t FHead = 0;
    std::size_t FTail = 0;
    bool FAdded = false;
    bool FSent = false;
    bool FPaused = false;
    bool FBodyStarted = false;
    // The headers of a response that libcurl will not follow have all arrived.
    bool FFinalHeaders = false;
    bool FLocationInBlock = false;
    bool FDone = false;
    CURLcode FResult = CURLE_OK;
};
