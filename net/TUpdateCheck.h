#pragma once

#include "net/HttpParsing.h"

#include <QDateTime>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class IHttpRequest;

// What the program knows of one installer: the validators the site sent with it (only
// those it sent), the SHA-256 of the file, when the site was last asked about it, and
// whether the site then offered another one. For a tool that came some other way, the
// site's answer at the first look stands in for the installer (a baseline).
struct TInstallerRecord {
    QString ETag;
    QString LastModified;
    // Lower-case hex; empty when unknown.
    QString Sha256;
    // UTC; invalid when the site was never asked.
    QDateTime Checked;
    bool UpdateAvailable = false;

    // The record of a completed download: what its answer said and the file's hash.
    static TInstallerRecord Of(const TVersion& answer, const QByteArray& sha256, const QDateTime& now);
};

// How often the site is asked about one installer.
inline constexpr std::chrono::hours UpdateLookInterval{24};

// Whether an installer with this record (none: never asked) is to be asked about now:
// never asked, asked a day ago or longer, or at a time that lies ahead (the clock was
// set back).
bool UpdateLookDue(const std::optional<TInstallerRecord>& record, const QDateTime& now);

// The request headers ("Name: value" lines) that make the request for a recorded
// installer conditional: If-None-Match with its ETag, else If-Modified-Since with its
// Last-Modified; empty when it has neither.
QString UpdateCondition(const std::optional<TInstallerRecord>& record);

enum class TUpdateVerdict {
    Failed,    // no usable answer: the record stays as it was
    UpToDate,  // the site has the recorded installer (or a baseline was taken)
    Changed,   // the site has another installer
};

// What an answer to the conditional request says, and the record it leaves (`record`
// is updated unless Failed). 304: the same installer. 200: another one when the
// strongest evidence both sides have differs: the stated SHA-256, else the ETag, else
// the Last-Modified; an answer that has nothing to compare changes nothing, and
// validators the record lacked are taken from it. Without a record, a 200 gives the
// baseline, never a change. Any other status fails.
TUpdateVerdict JudgeUpdateAnswer(std::uint32_t status, const TVersion& answer,
                                 std::optional<TInstallerRecord>& record, const QDateTime& now);

// One look at a batch of installers, meant for a thread of its own: each due one gets
// one conditional GET, whose body (if any) is never read. Requests to one server share
// one connection where the transport allows. Stop, from any thread, ends the request
// under way at once and the rest are not sent.
class TUpdateCheck {
public:
    struct TItem {
        QString Name;
        QString Url;
        std::optional<TInstallerRecord> Record;
    };
    // Called on the checking thread after each answer that is not Failed, with the
    // record to keep.
    using TAnswered = std::function<void(const TItem& item, TUpdateVerdict verdict)>;

    // Asks about every item of `items`, in order, whatever its record's age (the
    // caller picks the due ones); `now` is the time recorded as Checked.
    void Run(std::vector<TItem> items, const QDateTime& now, const TAnswered& answered);
    void Stop();

private:
    std::mutex FLock;
    IHttpRequest* FRequest = nullptr;
    std::atomic<bool> FStopped = false;
};
