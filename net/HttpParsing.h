#pragma once

#include "platform/Http.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class TURLParser;

// What the downloader reads from an address and from an answer's headers, apart from
// any server, so that every form of them can be tried on its own.

struct TServer {
    QString Name;
    std::uint16_t Port = INTERNET_DEFAULT_HTTP_PORT;
    TInternetScheme Scheme = TInternetScheme::Http;
};

// The server that `url` names: the parser's Host split into name and port (an IPv6
// address in brackets), the port defaulting to the scheme's; https when the text
// before the first "://" says so, plain HTTP for anything else. Nothing when the
// port is not a number from 1 to 65535 or the brackets do not close.
std::optional<TServer> ServerOf(const TURLParser& url);

// An answer's ETag, Last-Modified and stated SHA-256s, as far as it has them.
struct TVersion {
    QString Tag;
    QString Modified;
    // Every SHA-256 that the answer states of the whole file; all must hold.
    std::vector<QByteArray> Sha256;

    // The strong validator, for If-Range: the ETag unless that is weak, else the
    // Last-Modified; empty when there is neither.
    QString Validator() const {
        if (!Tag.isEmpty() && !Tag.startsWith(QLatin1String("W/")))
            return Tag;
        return Modified;
    }
};

// An answer's version from its headers: `header` gives a header's value (every line
// of it joined with ", ", as IHttpRequest::QueryHeader gives it), empty when absent.
// Every SHA-256 stated in Repr-Digest (RFC 9530: sha-256=:BASE64:, the last one of the
// dictionary) and in Digest (RFC 3230: SHA-256=BASE64, each one); algorithm names in
// any letter case; other algorithms, and values that are no SHA-256 in base64, are no
// statement.
TVersion VersionOf(const std::function<QString(const QString& name)>& header);

// "bytes FIRST-LAST/SIZE" of a 206: true when the range starts at `first`; `end` is
// one past its last byte, `size` 0 when the server gave "*".
bool ParseContentRange(const QString& text, quint64 first, quint64& end, quint64& size);
