#pragma once

#include <QString>

// The maker's web site: the base of every fixed page and download address and
// the default of every configured link. No path, no trailing slash.
inline QString SiteBaseURL() {
    return QStringLiteral("https://www.kestrelweave.com");
}

// The site's host name as the About page shows it.
inline QString SiteHostName() {
    return QStringLiteral("www.kestrelweave.com");
}

// The site's page of free programs.
inline QString FreewarePageURL() {
    return SiteBaseURL() + QStringLiteral("/freeware.htm");
}

// Where support mail goes; also the text of the support links.
inline QString SupportMailbox() {
    return QStringLiteral("support@kestrelweave.com");
}
