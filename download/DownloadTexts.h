#pragma once

#include <QLocale>
#include <QString>

#include <functional>
#include <span>

class TCustomTranslator;
struct TDownloadFailure;
struct TStartResult;
struct TSystemError;

// A text the download dialogs show of their own: built-in English (UTF-8), translated
// by the main window's translator when the translation file carries its string id.
struct TDownloadText {
    const char* Id;
    const char* English;
};

namespace DownloadText {
inline constexpr TDownloadText TryAgain{"IDS_20", "Try again"};
inline constexpr TDownloadText ServerNotFound{"IDS_21", "Could not find the server %1."};
inline constexpr TDownloadText ProxyNotFound{"IDS_22", "Could not find the proxy %1."};
inline constexpr TDownloadText CannotConnect{"IDS_23", "Could not connect to %1 (%2)."};
inline constexpr TDownloadText CannotConnectProxy{"IDS_24", "Could not connect to the proxy %1 (%2)."};
inline constexpr TDownloadText Refused{"IDS_25", "connection refused"};
inline constexpr TDownloadText TimedOut{"IDS_26", "timed out"};
inline constexpr TDownloadText HostUnreachable{"IDS_27", "no route to host"};
inline constexpr TDownloadText NetworkUnreachable{"IDS_28", "network unreachable"};
inline constexpr TDownloadText ServerAnswered{"IDS_29", "The server answered with error %1."};
inline constexpr TDownloadText ProxyAnswered{"IDS_30", "The proxy %1 answered with error %2."};
inline constexpr TDownloadText StoppedOf{"IDS_31", "The server stopped sending after %1 KB of %2 KB."};
inline constexpr TDownloadText Stopped{"IDS_32", "The server stopped sending after %1 KB."};
inline constexpr TDownloadText ServerSilent{"IDS_33", "The server %1 did not answer."};
inline constexpr TDownloadText ProxySilent{"IDS_34", "The proxy %1 did not answer."};
inline constexpr TDownloadText Untrusted{
    "IDS_35", "The connection to %1 is not secure: its certificate is not trusted (%2)."};
inline constexpr TDownloadText InsecureRedirect{
    "IDS_36", "The connection to %1 is not secure: it was redirected to plain http (%2)."};
inline constexpr TDownloadText SecureChannel{"IDS_37", "The secure connection to %1 failed (%2)."};
inline constexpr TDownloadText TooManyRedirects{"IDS_38", "The server %1 redirected too many times."};
inline constexpr TDownloadText InvalidAddress{"IDS_39", "The address %1 is not valid."};
inline constexpr TDownloadText WriteFailed{"IDS_40", "Could not write %1: %2."};
inline constexpr TDownloadText EmptyBody{"IDS_41", "The server sent an empty file."};
inline constexpr TDownloadText Failed{"IDS_42", "The download failed (%1)."};
inline constexpr TDownloadText Damaged{
    "IDS_43", "The downloaded file is damaged: it does not match the checksum that the server sent."};
inline constexpr TDownloadText Progress{"IDS_44", "%1 KB of %2 KB"};
inline constexpr TDownloadText RedirectNotWeb{
    "IDS_45", "The server sent the download to %1, which is not a web address."};
inline constexpr TDownloadText NotHttp{"IDS_46", "The server's answer was not HTTP."};
inline constexpr TDownloadText AnswerUnfinished{"IDS_47", "The server did not finish its answer."};
inline constexpr TDownloadText SignatureBroken{
    "IDS_48", "The installer's signature is broken: the file was changed after it was signed."};
inline constexpr TDownloadText SignedByOther{"IDS_49",
                                             "The installer is signed by \u201c%1\u201d, not by %2."};
inline constexpr TDownloadText SignatureUntrusted{
    "IDS_50", "The installer's signature does not come from a trusted authority."};
inline constexpr TDownloadText VerifiedPublisher{"IDS_51", "Verified publisher: %1"};
inline constexpr TDownloadText StartUnverified{
    "IDS_52", "The publisher of the %1 installer could not be verified. Start it anyway?"};
inline constexpr TDownloadText StartAnyway{"IDS_53", "Start anyway"};
inline constexpr TDownloadText DontStart{"IDS_54", "Don't start"};
inline constexpr TDownloadText MoreThanAnnounced{"IDS_55", "The server sent more than it announced."};
// The answers a server gives most, each in words of its own (ServerAnswered for the rest).
inline constexpr TDownloadText BadRequest{"IDS_56", "The server did not understand the request (400)."};
inline constexpr TDownloadText Unauthorized{"IDS_57", "The server asks for a user name and password (401)."};
inline constexpr TDownloadText Forbidden{"IDS_58",
                                         "The server does not allow this file to be downloaded (403)."};
inline constexpr TDownloadText NotFound{"IDS_59", "The server does not have this file (404)."};
inline constexpr TDownloadText ProxyAuthentication{"IDS_60",
                                                   "The proxy asks for a user name and password (407)."};
inline constexpr TDownloadText RequestTimeout{"IDS_61",
                                              "The server waited too long for the request; try again (408)."};
inline constexpr TDownloadText Gone{"IDS_62", "The server no longer has this file (410)."};
inline constexpr TDownloadText TooManyRequests{
    "IDS_63", "The server has had too many requests; try again later (429)."};
inline constexpr TDownloadText InternalError{"IDS_64",
                                             "The server had an internal error; try again later (500)."};
inline constexpr TDownloadText BadGateway{
    "IDS_65", "The server got a bad answer from a server behind it; try again later (502)."};
inline constexpr TDownloadText Busy{"IDS_66", "The server is busy; try again later (503)."};
inline constexpr TDownloadText GatewayTimeout{
    "IDS_67", "A server behind the server did not answer in time; try again later (504)."};
// The system's failures a person meets most, in words of the program's (the system's
// own words for the rest).
inline constexpr TDownloadText NoSpace{"IDS_68", "the disk is full"};
inline constexpr TDownloadText QuotaExceeded{"IDS_69", "your share of the disk is used up"};
inline constexpr TDownloadText AccessDenied{"IDS_70", "access is denied"};
inline constexpr TDownloadText ReadOnly{"IDS_71", "the disk is read-only"};
inline constexpr TDownloadText NameTooLong{"IDS_72", "the name is too long"};
inline constexpr TDownloadText NoSuchFile{"IDS_73", "the folder or the file does not exist"};
inline constexpr TDownloadText InputOutput{"IDS_74", "the disk could not be read or written"};
inline constexpr TDownloadText FileTooLarge{"IDS_75", "the file is too large for the disk"};
// An installed tool whose installer the site has replaced: the link, what a screen
// reader says of it, and the question it asks.
inline constexpr TDownloadText Update{"IDS_76", "Update"};
inline constexpr TDownloadText UpdateTool{"IDS_77", "Update %1"};
inline constexpr TDownloadText UpdateQuestion{
    "IDS_78", "A newer installer of %1 is available. Download and install it now?"};
// A tool or an installer that could not be started.
inline constexpr TDownloadText StartMissing{"IDS_79", "%1 could not be started: the file is missing."};
inline constexpr TDownloadText StartNoProgram{
    "IDS_80", "%1 could not be started: it is not a program, and no program is set to open it."};
inline constexpr TDownloadText StartNoOpener{
    "IDS_81", "%1 could not be started: %2, which opens files and addresses, is missing."};
inline constexpr TDownloadText StartFailed{"IDS_82", "%1 could not be started: %2."};
}  // namespace DownloadText

// Every text above, in the order of their ids.
std::span<const TDownloadText> DownloadTexts();

// The text in the active language of `translator`, else the built-in English.
QString TextOf(const TDownloadText& text, TCustomTranslator* translator);

// How the active language of `translator` writes numbers (its digit grouping):
// the locale its name stands for; English, grouped with ",", without a translator
// or for a name that stands for none.
QLocale LocaleOf(TCustomTranslator* translator);

// The two figures of "X KB of Y KB" for `done` bytes of `whole` (0: unknown), in
// whole kilobytes, rounded down: 1,023 bytes of 5,000 read "0 KB of 4 KB". A count
// short of the whole never reads as much as the whole, though: where both round to
// the same figure (1,048,576 bytes of 1,048,577) the count reads one lower ("1,023 KB
// of 1,024 KB"), so that "1,024 KB of 1,024 KB" means all of it is there. Below a
// kilobyte both read 0.
struct TKilobyteFigures {
    quint64 Done = 0;
    quint64 Whole = 0;
    bool operator==(const TKilobyteFigures&) const = default;
};
TKilobyteFigures KilobyteFigures(quint64 done, quint64 whole);

// The progress line, "207 KB of 390 KB", in a language: its text, with both numbers
// grouped as the language groups digits. Made once per language and then written
// once per block received, so it allocates nothing but the line itself.
class TProgressText {
public:
    TProgressText();
    void SetLanguage(TCustomTranslator* translator);
    QString Format(quint32 done, quint32 whole) const;

private:
    // The text around the two numbers, and whether the whole comes first.
    QString FBefore, FBetween, FAfter;
    bool FWholeFirst = false;
    QString FGroupSeparator;
    // A language whose digits are not ASCII or not in threes takes QLocale's way.
    bool FPlainDigits = true;
    QLocale FLocale;
};

// Words for a failure of the system, to set in a sentence: the program's own, in the
// language of `translator`, for the kinds it knows ("the disk is full"); the system's
// own, without a closing full stop, for the rest.
QString SystemErrorWords(const TSystemError& error, TCustomTranslator* translator);

// Why `name` (a tool, or the suite) could not be started, as one sentence in the
// language of `translator`; empty for a start that went ahead or that the person
// declined.
QString StartFailureSentence(const QString& name, const TStartResult& result, TCustomTranslator* translator);

// One plain sentence that names what failed and what a person can act on, for a
// download of `url` into `fileName`. `shorten`, where given, is applied to every path
// and address set in it (the URL, the file name, a server's or proxy's name, where a
// redirect pointed), so that a caller can keep each whole and make the sentence fit
// its room.
QString FailureSentence(const TDownloadFailure& failure, const QString& url, const QString& fileName,
                        TCustomTranslator* translator,
                        const std::function<QString(const QString&)>& shorten = nullptr);
