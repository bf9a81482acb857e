#pragma once

#include "platform/Http.h"
#include "platform/win32/WinApi.h"

#include <QString>

#include <cstdint>

// Turning what WinInet reports into a TInternetFailure, and the two things about a
// request that WinInet does not say by itself: which proxy it goes through, and why a
// connection could not be made.

// "host:port" of the proxy that `session` sends requests for `host` to, or empty when
// it connects directly (no proxy set up, or `host` is on the bypass list).
QString WinInetProxyFor(HINTERNET session, TInternetScheme scheme, const QString& host);

// What a failed WinInet call was doing: one error code means different things before
// the connection was made, before the answer came, and while the body arrived.
struct TWinInetAttempt {
    QString Server;  // as ServerName
    QString Host;    // the server's name and port
    std::uint16_t Port = 0;
    QString Proxy;  // "host:port" of the proxy the request went through, or empty
    TInternetScheme Scheme = TInternetScheme::Http;
    bool Connected = false;  // the connection was made
    bool Answered = false;   // the response's headers had arrived
    double Seconds = 0;      // how long the failed call took
    int ConnectSeconds = 0;  // the connect time-out
};

// Called on the thread whose WinInet call failed, right after it, for the extended
// error's text (InternetGetLastResponseInfoW is per thread).
TInternetFailure DescribeWinInetError(DWORD error, const TWinInetAttempt& attempt);
