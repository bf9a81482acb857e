#pragma once

#include <QString>

// The maker's web site: the base of every fixed page and download address and
// the default of every configured link. No path, no trailing slash.
inline QString SiteBaseURL() {
    return QStringLiteral("http://www.kestrelweave.com");
}
