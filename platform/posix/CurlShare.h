#pragma once

#include "platform/posix/CurlLibrary.h"

#include <memory>
#include <mutex>

// What the requests of one connection share in libcurl: its cache of open
// connections, resolved names and TLS sessions, so that a request that follows
// another to the same server goes over the connection that one left open. Each
// request's transfer holds it (a transfer thread may outlive the connection) and
// libcurl locks each kind of data from whichever transfer thread uses it.
class TCurlShare {
public:
    // Null when libcurl refuses to share.
    static std::shared_ptr<TCurlShare> Make();
    ~TCurlShare();
    TCurlShare(const TCurlShare&) = delete;
    TCurlShare& operator=(const TCurlShare&) = delete;

    CURLSH* Handle() const { return FShare; }

private:
    TCurlShare() = default;
    static void Lock(CURL* easy, curl_lock_data data, curl_lock_access access, void* self);
    static void Unlock(CURL* easy, curl_lock_data data, void* self);

    CURLSH* FShare = nullptr;
    std::mutex FLocks[CURL_LOCK_DATA_LAST];
};
