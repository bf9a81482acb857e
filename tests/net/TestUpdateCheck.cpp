#include "net/TUpdateCheck.h"
#include "platform/Http.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

const QDateTime Now = QDateTime(QDate(2026, 12, 9), QTime(14, 0), Qt::UTC);
const QDateTime Yesterday = Now.addDays(-1);

// The record before the look, made from what the server sends for the route.
enum class TBefore { None, SameTag, OldTag, OldDate, OtherSha256, Sha256Only };

struct TUpdateCase {
    const char* Name;
    const char* Path;
    TBefore Before;
    // The condition the request carried: "" none, else the header's name.
    const char* Condition;
    // Nothing: the answer failed, the record is as it was and nothing is said.
    std::optional<TUpdateVerdict> Verdict;
    bool Available = false;
};

void PrintTo(const TUpdateCase& c, std::ostream* os) {
    *os << c.Name;
}

class UpdateCheck : public testing::TestWithParam<TUpdateCase> {
protected:
    // One look at `path` with `record`: the verdict (none when nothing was said) and
    // the record it leaves.
    std::optional<TUpdateVerdict> Look(const QString& url, std::optional<TInstallerRecord>& record) {
        std::optional<TUpdateVerdict> said;
        TUpdateCheck check;
        check.Run({{QStringLiteral("Tool"), url, record}}, Now,
                  [&](const TUpdateCheck::TItem& item, TUpdateVerdict verdict) {
                      said = verdict;
                      record = item.Record;
                  });
        return said;
    }

    TTestHttpServer FServer;
};

TEST_P(UpdateCheck, AsksOnceAndJudgesTheAnswer) {
    const TUpdateCase& c = GetParam();
    ASSERT_TRUE(FServer.Started()) << FServer.Error().toStdString();
    const QString path = QLatin1String(c.Path);
    // What the server sends for the route, as a baseline look takes it.
    std::optional<TInstallerRecord> served;
    if (path.startsWith(QLatin1String("/file/"))) {
        ASSERT_EQ(Look(FServer.Url(path), served), TUpdateVerdict::UpToDate);
        FServer.TakeRequests();
    }
    std::optional<TInstallerRecord> record;
    if (c.Before != TBefore::None) {
        record = TInstallerRecord{};
        record->Checked = Yesterday;
        switch (c.Before) {
            case TBefore::SameTag:
                record->ETag = served->ETag;
                break;
            case TBefore::OldTag:
                record->ETag = QStringLiteral("\"an older installer\"");
                break;
            case TBefore::OldDate:
                record->LastModified = QStringLiteral("Sat, 01 Jan 2022 00:00:00 GMT");
                break;
            case TBefore::OtherSha256:
                record->Sha256 = QString(64, QLatin1Char('a'));
                break;
            case TBefore::Sha256Only:
                record->Sha256 = served->Sha256;
                break;
            case TBefore::None:
                break;
        }
    }
    const std::optional<TInstallerRecord> before = record;
    const QString url =
        path.startsWith(QLatin1Char('/')) ? FServer.Url(path) : path.arg(TTestHttpServer::UnusedPort());

    EXPECT_EQ(Look(url, record), c.Verdict);

    const std::vector<TRecordedRequest> requests = FServer.TakeRequests();
    if (path.startsWith(QLatin1Char('/'))) {
        ASSERT_EQ(requests.size(), 1u) << "one request per look";
        EXPECT_EQ(requests[0].Condition.section(QLatin1Char(':'), 0, 0), QLatin1String(c.Condition));
    }
    if (!c.Verdict) {
        EXPECT_EQ(record.has_value(), before.has_value());
        if (record) {
            EXPECT_EQ(record->Checked, before->Checked) << "a failure changes nothing";
        }
        return;
    }
    ASSERT_TRUE(record);
    EXPECT_EQ(record->Checked, Now);
    EXPECT_EQ(record->UpdateAvailable, c.Available);
    if (c.Available) {
        // The installed one's, until the new one starts.
        EXPECT_EQ(record->ETag, before->ETag);
    }
    if (c.Before == TBefore::None) {
        EXPECT_EQ(record->ETag, served ? served->ETag : QString()) << "the baseline is the answer's";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UpdateCheck,
    testing::Values(
        TUpdateCase{"NotModified", "/file/5000", TBefore::SameTag, "If-None-Match", TUpdateVerdict::UpToDate},
        TUpdateCase{"SameValidatorsIn200", "/file/5000?conditional=ignore", TBefore::SameTag, "If-None-Match",
                    TUpdateVerdict::UpToDate},
        TUpdateCase{"NewETag", "/file/5000", TBefore::OldTag, "If-None-Match", TUpdateVerdict::Changed, true},
        TUpdateCase{"LastModifiedOnly", "/file/5000?validator=date", TBefore::OldDate, "If-Modified-Since",
                    TUpdateVerdict::Changed, true},
        TUpdateCase{"StatedSha256Changed", "/file/5000?validator=none&digest=repr", TBefore::OtherSha256, "",
                    TUpdateVerdict::Changed, true},
        TUpdateCase{"StatedSha256Same", "/file/5000?validator=none&digest=legacy", TBefore::Sha256Only, "",
                    TUpdateVerdict::UpToDate},
        TUpdateCase{"NoValidatorsBaselineOnly", "/file/5000?validator=none", TBefore::None, "",
                    TUpdateVerdict::UpToDate},
        TUpdateCase{"NoValidatorsNeverAMark", "/file/5000?validator=none", TBefore::OtherSha256, "",
                    TUpdateVerdict::UpToDate},
        TUpdateCase{"NotFound", "/status/404", TBefore::OldTag, "If-None-Match", std::nullopt},
        TUpdateCase{"ServerError", "/status/500", TBefore::None, "", std::nullopt},
        TUpdateCase{"Offline", "http://127.0.0.1:%1/file/10", TBefore::OldTag, "", std::nullopt}),
    [](const testing::TestParamInfo<TUpdateCase>& row) { return std::string(row.param.Name); });

// Twenty tools up to date: twenty answers without a body over the connection the first
// request opened.
TEST(UpdateCheckBatch, RequestsToOneServerShareItsConnection) {
    TTestHttpServer server;
    ASSERT_TRUE(server.Started()) << server.Error().toStdString();
    std::vector<TUpdateCheck::TItem> items;
    for (int i = 0; i < 20; ++i)
        items.push_back(
            {QString::number(i), server.Url(QStringLiteral("/file/%1").arg(100 + i)), std::nullopt});
    TUpdateCheck().Run(items, Now, [&](const TUpdateCheck::TItem& item, TUpdateVerdict) {
        items[static_cast<std::size_t>(item.Name.toInt())].Record = item.Record;
    });
    server.TakeRequests();

    int unchanged = 0;
    TUpdateCheck().Run(items, Now, [&](const TUpdateCheck::TItem&, TUpdateVerdict verdict) {
        unchanged += verdict == TUpdateVerdict::UpToDate;
    });
    EXPECT_EQ(unchanged, 20);
    std::set<int> connections;
    for (const TRecordedRequest& request : server.TakeRequests())
        connections.insert(request.Connection);
    if (InternetTransportName() == QLatin1String("WinInet")) {
        // WinInet pools connections itself, and Wine's takes one back only once the
        // thread of the request before has closed it, which the next request may
        // precede: fewer connections than requests, not always one.
        EXPECT_LT(connections.size(), 20u);
    } else {
        EXPECT_EQ(connections.size(), 1u);
    }
}

}  // namespace
