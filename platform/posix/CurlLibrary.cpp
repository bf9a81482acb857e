#include "platform/posix/CurlLibrary.h"

#include "platform/posix/LoadedLibrary.h"

#include <dlfcn.h>

namespace {

const TCurlLibrary* Load() {
    // The run-time name of the library that the development package links against.
    void* library = ::dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return nullptr;
    static TCurlLibrary curl{};
    decltype(&::curl_global_init) globalInit = nullptr;
    const bool resolved = Resolve(library, "curl_global_init", globalInit) &&
                          Resolve(library, "curl_easy_init", curl.EasyInit) &&
                          Resolve(library, "curl_easy_cleanup", curl.EasyCleanup) &&
                          Resolve(library, "curl_easy_setopt", curl.EasySetopt) &&
                          Resolve(library, "curl_easy_getinfo", curl.EasyGetinfo) &&
                          Resolve(library, "curl_easy_pause", curl.EasyPause) &&
                          Resolve(library, "curl_easy_strerror", curl.EasyStrerror) &&
                          Resolve(library, "curl_multi_init", curl.MultiInit) &&
                          Resolve(library, "curl_multi_cleanup", curl.MultiCleanup) &&
                          Resolve(library, "curl_multi_add_handle", curl.MultiAddHandle) &&
                          Resolve(library, "curl_multi_remove_handle", curl.MultiRemoveHandle) &&
                          Resolve(library, "curl_multi_perform", curl.MultiPerform) &&
                          Resolve(library, "curl_multi_poll", curl.MultiPoll) &&
                          Resolve(library, "curl_multi_wakeup", curl.MultiWakeup) &&
                          Resolve(library, "curl_multi_info_read", curl.MultiInfoRead) &&
                          Resolve(library, "curl_slist_append", curl.SlistAppend) &&
                          Resolve(library, "curl_slist_free_all", curl.SlistFreeAll) &&
                          Resolve(library, "curl_share_init", curl.ShareInit) &&
                          Resolve(library, "curl_share_setopt", curl.ShareSetopt) &&
                          Resolve(library, "curl_share_cleanup", curl.ShareCleanup);
    // Once per process, before any other call into the library.
    if (!resolved || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        return nullptr;
    return &curl;
}

}  // namespace

const TCurlLibrary* Curl() {
    static const TCurlLibrary* const Library = Load();
    return Library;
}

void ReleaseTlsThreadState() {
    // Only a library that is already loaded: the thread never used it otherwise.
    void* crypto = ::dlopen("libcrypto.so.3", RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
    if (!crypto)
        return;
    void (*threadStop)() = nullptr;
    if (Resolve(crypto, "OPENSSL_thread_stop", threadStop))
        threadStop();
    ::dlclose(crypto);
}
