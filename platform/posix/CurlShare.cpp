#include "platform/posix/CurlShare.h"

std::shared_ptr<TCurlShare> TCurlShare::Make() {
    std::shared_ptr<TCurlShare> share(new TCurlShare);
    share->FShare = Curl()->ShareInit();
    if (!share->FShare)
        return nullptr;
    const auto set = [&](CURLSHoption option, auto value) {
        return Curl()->ShareSetopt(share->FShare, option, value) == CURLSHE_OK;
    };
    const bool ok =
        set(CURLSHOPT_LOCKFUNC, &TCurlShare::Lock) && set(CURLSHOPT_UNLOCKFUNC, &TCurlShare::Unlock) &&
        set(CURLSHOPT_USERDATA, static_cast<void*>(share.get())) &&
        set(CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT) && set(CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) &&
        set(CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
    return ok ? share : nullptr;
}

TCurlShare::~TCurlShare() {
    // Every transfer that used it has been cleaned up: each held it until then.
    if (FShare)
        Curl()->ShareCleanup(FShare);
}

void TCurlShare::Lock(CURL* /*easy*/, curl_lock_data data, curl_lock_access /*access*/, void* self) {
    static_cast<TCurlShare*>(self)->FLocks[data].lock();
}

void TCurlShare::Unlock(CURL* /*easy*/, curl_lock_data data, void* self) {
    static_cast<TCurlShare*>(self)->FLocks[data].unlock();
}
