#include "net/TURLParser.h"

void TURLParser::Parse(const QString& url) {
    URL = url;
    Host = url;
    Path = QStringLiteral("/");
    QString rest = url;
    // The first "://" anywhere counts, even one inside a query string.
    const qsizetype scheme = rest.indexOf(QLatin1String("://"));
    if (scheme >= 0) {
        rest.remove(0, scheme + 3);
        Host = rest;
    }
    // A "/" at the very start (an empty host) does not split.
    const qsizetype slash = Host.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        Path = rest.mid(slash);
        Host.truncate(slash);
    }
}
