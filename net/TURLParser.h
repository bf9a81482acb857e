#pragma once

#include <QString>

// Splits a download URL into the host that a connection is opened to and the
// object path that the request names. The scheme is dropped unexamined and a
// port stays part of Host; nothing is decoded, folded or trimmed.
//
//   http://server:8080/dir/setup.exe?x=1   Host "server:8080", Path "/dir/setup.exe?x=1"
//   http://server                          Host "server",      Path "/"
class TURLParser {
public:
    explicit TURLParser(const QString& url) { Parse(url); }

    void Parse(const QString& url);

    QString URL;
    QString Host;
    QString Path;
};
