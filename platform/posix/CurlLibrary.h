#pragma once

#include <curl/curl.h>

// libcurl, loaded when the first internet session opens rather than at start: with
// its TLS, Kerberos, LDAP and SSH libraries it would double the dynamic linker's
// work at every start of a program that downloads only when asked to.
struct TCurlLibrary {
    decltype(&::curl_easy_init) EasyInit;
    decltype(&::curl_easy_cleanup) EasyCleanup;
    decltype(&::curl_easy_setopt) EasySetopt;
    decltype(&::curl_easy_getinfo) EasyGetinfo;
    decltype(&::curl_easy_pause) EasyPause;
    decltype(&::curl_easy_strerror) EasyStrerror;
    decltype(&::curl_multi_init) MultiInit;
    decltype(&::curl_multi_cleanup) MultiCleanup;
    decltype(&::curl_multi_add_handle) MultiAddHandle;
    decltype(&::curl_multi_remove_handle) MultiRemoveHandle;
    decltype(&::curl_multi_perform) MultiPerform;
    decltype(&::curl_multi_poll) MultiPoll;
    decltype(&::curl_multi_wakeup) MultiWakeup;
    decltype(&::curl_multi_info_read) MultiInfoRead;
    decltype(&::curl_slist_append) SlistAppend;
    decltype(&::curl_slist_free_all) SlistFreeAll;
    decltype(&::curl_share_init) ShareInit;
    decltype(&::curl_share_setopt) ShareSetopt;
    decltype(&::curl_share_cleanup) ShareCleanup;
};

// The library, loaded and globally initialised once per process (thread-safe) and
// never unloaded; null when it is missing or lacks a function, and then no
// internet session opens.
const TCurlLibrary* Curl();

// Frees what libcurl's TLS library keeps for the calling thread (OpenSSL's error
// queue and the like), for a thread that ends while the process may be ending too.
// Left to the thread's own end, OpenSSL's clean-up at exit can delete the key that
// finds it first, and the state is lost: a leak for the sanitizers, nothing worse.
void ReleaseTlsThreadState();
