#include "platform/posix/CurlHttpRequest.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

// Twice the largest piece libcurl hands to a write callback, so that a piece always
// fits once the caller has emptied the buffer.
constexpr std::size_t BufferSize = 2 * CURL_MAX_WRITE_SIZE;
// The longest single wait for the sockets; libcurl's own time-outs end a dead
// transfer, this only bounds how long one wait blocks before they are checked.
constexpr int PollMilliseconds = 500;
constexpr long MaxRedirects = 20;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
               return lower(a) == lower(b);
           });
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

}  // namespace

std::unique_ptr<TCurlHttpRequest> TCurlHttpRequest::Open(const TCurlRequestSettings& settings) {
    std::unique_ptr<TCurlHttpRequest> request(new TCurlHttpRequest());
    if (!request->Configure(settings))
        return nullptr;
    return request;
}

bool TCurlHttpRequest::Configure(const TCurlRequestSettings& settings) {
    FMulti.reset(Curl()->MultiInit());
    FEasy.reset(Curl()->EasyInit());
    if (!FMulti || !FEasy)
        return false;
    FBuffer.resize(BufferSize);

    CURL* easy = FEasy.get();
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
        ok = ok && Curl()->EasySetopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_URL, settings.Url.constData());
    if (settings.Verb == "GET")
        set(CURLOPT_HTTPGET, 1L);
    else if (settings.Verb == "HEAD")
        set(CURLOPT_NOBODY, 1L);
    else
        set(CURLOPT_CUSTOMREQUEST, settings.Verb.constData());
    if (!settings.UserAgent.isEmpty())
        set(CURLOPT_USERAGENT, settings.UserAgent.constData());
    // No CURLOPT_PROXY: libcurl then takes http_proxy, https_proxy and no_proxy
    // from the environment, which is the preconfigured proxy of this platform.
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, MaxRedirects);
    // A proxy's answer to CONNECT is not a response of ours.
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_SSL_VERIFYPEER, 1L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    if (!settings.AuthorityFile.isEmpty() || !settings.AuthorityFolder.isEmpty()) {
        const auto orNull = [](const QByteArray& text) { return text.isEmpty() ? nullptr : text.constData(); };
        set(CURLOPT_CAINFO, orNull(settings.AuthorityFile));
        set(CURLOPT_CAPATH, orNull(settings.AuthorityFolder));
    }
    // Zero would mean "no limit" to libcurl; a dead server must always end the call.
    set(CURLOPT_CONNECTTIMEOUT, static_cast<long>(std::max(1, settings.Timeouts.ConnectSeconds)));
    set(CURLOPT_LOW_SPEED_LIMIT, 1L);
    set(CURLOPT_LOW_SPEED_TIME, static_cast<long>(std::max(1, settings.Timeouts.StallSeconds)));
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_WRITEFUNCTION, &TCurlHttpRequest::OnWrite);
    set(CURLOPT_WRITEDATA, static_cast<void*>(this));
    set(CURLOPT_HEADERFUNCTION, &TCurlHttpRequest::OnHeader);
    set(CURLOPT_HEADERDATA, static_cast<void*>(this));
    return ok;
}

TCurlHttpRequest::~TCurlHttpRequest() {
    if (FAdded)
        Curl()->MultiRemoveHandle(FMulti.get(), FEasy.get());
    FEasy.reset();
    FMulti.reset();
}

bool TCurlHttpRequest::Send() {
    if (FSent)
        return false;
    FSent = true;
    if (Curl()->MultiAddHandle(FMulti.get(), FEasy.get()) != CURLM_OK) {
        Fail(CURLE_FAILED_INIT);
        return false;
    }
    FAdded = true;
    // Body data also proves that the final headers are in: it covers a redirect
    // that libcurl declined to follow although it carried a Location.
    const auto headersIn = [this] { return FFinalHeaders || FBodyStarted; };
    while (!headersIn() && !FDone) {
        Perform();
        if (!headersIn() && !FDone)
            Poll();
    }
    return headersIn() || FResult == CURLE_OK;
}

bool TCurlHttpRequest::QueryStatusCode(std::uint32_t& status) {
    long code = 0;
    if (!FSent || Curl()->EasyGetinfo(FEasy.get(), CURLINFO_RESPONSE_CODE, &code) != CURLE_OK || code <= 0)
        return false;
    status = static_cast<std::uint32_t>(code);
    return true;
}

bool TCurlHttpRequest::QueryContentLength(std::uint32_t& length) {
    curl_off_t value = -1;
    if (!FSent || Curl()->EasyGetinfo(FEasy.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &value) != CURLE_OK ||
        value < 0 || value > std::numeric_limits<std::uint32_t>::max())
        return false;
    length = static_cast<std::uint32_t>(value);
    return true;
}

bool TCurlHttpRequest::ReadFile(char* buffer, std::uint32_t toRead, std::uint32_t& read) {
    read = 0;
    if (!FSent)
        return false;
    while (read < toRead) {
        if (FHead < FTail) {
            const std::size_t count = std::min<std::size_t>(FTail - FHead, toRead - read);
            std::memcpy(buffer + read, FBuffer.data() + FHead, count);
            FHead += count;
            read += static_cast<std::uint32_t>(count);
            if (FHead == FTail)
                FHead = FTail = 0;
            continue;
        }
        if (FDone)
            return read > 0 || FResult == CURLE_OK;
        if (FPaused) {
            // May hand the held-back piece to OnWrite before it returns.
            FPaused = false;
            if (Curl()->EasyPause(FEasy.get(), CURLPAUSE_CONT) != CURLE_OK)
                Fail(CURLE_RECV_ERROR);
            continue;
        }
        Perform();
        if (FHead == FTail && !FDone && !FPaused)
            Poll();
    }
    return true;
}

void TCurlHttpRequest::Perform() {
    int running = 0;
    if (Curl()->MultiPerform(FMulti.get(), &running) != CURLM_OK) {
        Fail(CURLE_RECV_ERROR);
        return;
    }
    int queued = 0;
    while (CURLMsg* message = Curl()->MultiInfoRead(FMulti.get(), &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == FEasy.get()) {
            FDone = true;
            FResult = message->data.result;
        }
    }
}

void TCurlHttpRequest::Poll() {
    if (Curl()->MultiPoll(FMulti.get(), nullptr, 0, PollMilliseconds, nullptr) != CURLM_OK)
        Fail(CURLE_RECV_ERROR);
}

void TCurlHttpRequest::Fail(CURLcode code) {
    FDone = true;
    FResult = code;
}

std::size_t TCurlHttpRequest::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
    return static_cast<TCurlHttpRequest*>(self)->Write(data, size * count);
}

std::size_t TCurlHttpRequest::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    static_cast<TCurlHttpRequest*>(self)->Header(data, size * count);
    return size * count;
}

std::size_t TCurlHttpRequest::Write(const char* data, std::size_t size) {
    FBodyStarted = true;
    if (size == 0)
        return 0;
    if (FBuffer.size() - FTail < size && FHead > 0) {
        std::memmove(FBuffer.data(), FBuffer.data() + FHead, FTail - FHead);
        FTail -= FHead;
        FHead = 0;
    }
    // libcurl never hands over more than CURL_MAX_WRITE_SIZE at once; should it,
    // an empty buffer grows to take the piece rather than stall for ever.
    if (FHead == FTail && FBuffer.size() < size)
        FBuffer.resize(size);
    if (FBuffer.size() - FTail < size) {
        // libcurl keeps this piece and offers it again once resumed.
        FPaused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    std::memcpy(FBuffer.data() + FTail, data, size);
    FTail += size;
    return size;
}

void TCurlHttpRequest::Header(const char* data, std::size_t size) {
    const std::string_view line(data, size);
    if (StartsWithNoCase(line, "HTTP/")) {
        FLocationInBlock = false;
        return;
    }
    if (StartsWithNoCase(line, "Location:")) {
        FLocationInBlock = FLocationInBlock || !Trimmed(line.substr(9)).empty();
        return;
    }
    if (!Trimmed(line).empty())
        return;
    // The blank line that ends a response's headers. An interim answer (1xx) and a
    // redirect that libcurl is about to follow are not the final response.
    long code = 0;
    Curl()->EasyGetinfo(FEasy.get(), CURLINFO_RESPONSE_CODE, &code);
    const bool followed = code >= 300 && code < 400 && FLocationInBlock;
    if (code >= 200 && !followed)
        FFinalHeaders = true;
}
