#include "net/TUpdateCheck.h"

#include "net/TURLParser.h"
#include "platform/Http.h"

#include <map>
#include <memory>
#include <tuple>

namespace {

QString Hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex());
}

// Whether `record` and `answer` both say something of the installer, and what they
// say differs: the content's hash outranks the server's tag, which outranks its date.
bool Differs(const TInstallerRecord& record, const TVersion& answer) {
    if (!record.Sha256.isEmpty() && !answer.Sha256.empty()) {
        for (const QByteArray& stated : answer.Sha256)
            if (Hex(stated) != record.Sha256)
                return true;
        return false;
    }
    if (!record.ETag.isEmpty() && !answer.Tag.isEmpty())
        return record.ETag != answer.Tag;
    if (!record.LastModified.isEmpty() && !answer.Modified.isEmpty())
        return record.LastModified != answer.Modified;
    return false;
}

}  // namespace

TInstallerRecord TInstallerRecord::Of(const TVersion& answer, const QByteArray& sha256,
                                      const QDateTime& now) {
    TInstallerRecord record;
    record.ETag = answer.Tag;
    record.LastModified = answer.Modified;
    record.Sha256 = Hex(sha256);
    record.Checked = now.toUTC();
    return record;
}

bool UpdateLookDue(const std::optional<TInstallerRecord>& record, const QDateTime& now) {
    if (!record || !record->Checked.isValid() || record->Checked > now)
        return true;
    return record->Checked.secsTo(now) >= std::chrono::seconds(UpdateLookInterval).count();
}

QString UpdateCondition(const std::optional<TInstallerRecord>& record) {
    if (!record)
        return QString();
    if (!record->ETag.isEmpty())
        return QStringLiteral("If-None-Match: ") + record->ETag;
    if (!record->LastModified.isEmpty())
        return QStringLiteral("If-Modified-Since: ") + record->LastModified;
    return QString();
}

TUpdateVerdict JudgeUpdateAnswer(std::uint32_t status, const TVersion& answer,
                                 std::optional<TInstallerRecord>& record, const QDateTime& now) {
    // A 304 answers a condition; without a record none was sent.
    if (!(status == 200 || (status == 304 && record)))
        return TUpdateVerdict::Failed;
    if (!record) {
        record =
            TInstallerRecord::Of(answer, answer.Sha256.empty() ? QByteArray() : answer.Sha256.front(), now);
        return TUpdateVerdict::UpToDate;
    }
    record->Checked = now.toUTC();
    record->UpdateAvailable = status == 200 && Differs(*record, answer);
    if (record->UpdateAvailable)
        return TUpdateVerdict::Changed;
    // The same installer: what the record lacked makes the next request conditional.
    if (status == 200) {
        if (record->ETag.isEmpty())
            record->ETag = answer.Tag;
        if (record->LastModified.isEmpty())
            record->LastModified = answer.Modified;
        if (record->Sha256.isEmpty() && !answer.Sha256.empty())
            record->Sha256 = Hex(answer.Sha256.front());
    }
    return TUpdateVerdict::UpToDate;
}

void TUpdateCheck::Run(std::vector<TItem> items, const QDateTime& now, const TAnswered& answered) {
    if (items.empty() || FStopped)
        return;
    // The user agent is the downloader's: to the site, both are the same program.
    const std::unique_ptr<IInternetSession> session = InternetOpen(QStringLiteral("Test"));
    if (!session)
        return;
    // One connection per server, so that the transport can keep it open between requests.
    std::map<std::tuple<QString, std::uint16_t, int>, std::unique_ptr<IInternetConnection>> connections;
    for (TItem& item : items) {
        if (FStopped)
            return;
        const TURLParser parser(item.Url);
        const std::optional<TServer> server = ServerOf(parser);
        if (!server)
            continue;
        std::unique_ptr<IInternetConnection>& connection =
            connections[{server->Name, server->Port, static_cast<int>(server->Scheme)}];
        if (!connection)
            connection = session->Connect(server->Name, server->Port, server->Scheme);
        if (!connection)
            continue;
        const std::unique_ptr<IHttpRequest> request =
            connection->OpenRequest(QStringLiteral("GET"), parser.Path);
        if (!request)
            continue;
        const QString condition = UpdateCondition(item.Record);
        if (!condition.isEmpty())
            request->AddRequestHeaders(condition);
        {
            const std::lock_guard lock(FLock);
            if (FStopped)
                return;
            FRequest = request.get();
        }
        const bool sent = request->Send();
        {
            const std::lock_guard lock(FLock);
            FRequest = nullptr;
        }
        if (!sent || FStopped)
            continue;
        std::uint32_t status = 0;
        request->QueryStatusCode(status);
        const TVersion answer = VersionOf([&request](const QString& name) {
            QString value;
            request->QueryHeader(name, value);
            return value;
        });
        // A body is left unread: the request ends with this round. An answer without
        // one is read to its end, so that the transport may keep the connection for the
        // next request.
        if (status == 304) {
            char end = 0;
            std::uint32_t read = 0;
            request->ReadFile(&end, 1, read);
        }
        const TUpdateVerdict verdict = JudgeUpdateAnswer(status, answer, item.Record, now);
        if (verdict != TUpdateVerdict::Failed)
            answered(item, verdict);
    }
}

void TUpdateCheck::Stop() {
    const std::lock_guard lock(FLock);
    FStopped = true;
    if (FRequest)
        FRequest->Abort();
}
