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

// The site's pages, each the base URL and its path.
inline QString SitePageURL(const char* path) {
    return SiteBaseURL() + QLatin1String(path);
}
inline constexpr char ForumsPage[] = "/forums";
inline constexpr char NewsPage[] = "/news";
inline constexpr char SubscriptionPage[] = "/subscription.htm";
inline constexpr char FreewarePage[] = "/freeware.htm";
inline constexpr char FaqPage[] = "/faq.htm";

// The site's page of free programs.
inline QString FreewarePageURL() {
    return SitePageURL(FreewarePage);
}

// Where an installer of the site lies: the download folder and its file name.
inline QString InstallerURL(const QString& fileName) {
    return SiteBaseURL() + QStringLiteral("/download/") + fileName;
}

// The organisation whose signature an installer must carry, as its code-signing
// certificates name it; the machine's InstallerPublisher value under MakerKey, where
// an administrator set one, names another.
inline QString InstallerPublisher() {
    return QStringLiteral("Kestrelweave");
}

// The installer of the whole suite, beside the tools' own.
inline QString SuiteInstaller() {
    return QStringLiteral("Tessaly.exe");
}

// The registry keys the program reads and writes, below HKEY_LOCAL_MACHINE
// unless said otherwise.
inline QString MakerKey() {
    return QStringLiteral("SOFTWARE\\Kestrelweave");
}
// The tools' executable paths.
inline QString AppPathsKey() {
    return MakerKey() + QStringLiteral("\\AppPaths");
}
// The configured links (Subscription, Converter, HowToTranslateLink).
inline QString LinksKey() {
    return MakerKey() + QStringLiteral("\\Links");
}
// Below HKEY_CURRENT_USER: the launcher's own settings (LanguageIndex, CheckForUpdates).
inline QString ManagerKey() {
    return MakerKey() + QStringLiteral("\\Manager");
}
// Below HKEY_CURRENT_USER: one key per installer the program started (see app/InstallerRecords.h).
inline QString InstallersKey() {
    return ManagerKey() + QStringLiteral("\\Installers");
}

// Where support mail goes; also the text of the support links.
inline QString SupportMailbox() {
    return QStringLiteral("support@kestrelweave.com");
}
