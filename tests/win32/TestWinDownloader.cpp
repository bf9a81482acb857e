// What the downloader decides above the platform layer, over WinInet: which outcome a
// download has, which answers may continue a kept part, the stated SHA-256 checked
// through the system's hashes, and partial files held with a byte-range lock. The
// server is tests/support/http_server.py, started on the Linux side by
// run-under-wine.py. TSha256 (CNG here) is checked by tests/platform/TestSha256.cpp,
// which this suite runs too.

#include <gtest/gtest.h>

#include "download/TDownloader.h"
#include "download/TPartialFile.h"
#include "platform/Files.h"
#include "platform/Http.h"
#include "tests/support/NetworkEnvironment.h"
#include "tests/support/TempFolder.h"

#include <QDir>

namespace {

constexpr qsizetype Size = 300000;
constexpr qsizetype Cut = 100000;
const QString TargetName = QStringLiteral("setup.exe");
const QByteArray OldContent = QByteArrayLiteral("the installer that was there before");

quint16 HttpPort() {
    return static_cast<quint16>(qEnvironmentVariableIntValue("KW_TEST_HTTP_PORT"));
}

// Bytes `from` .. `from + size` of the server's pattern (byte i is i % 251).
QByteArray Pattern(qsizetype size, qsizetype from = 0) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((from + i) % 251);
    return bytes;
}

// Sets Cancel in the progress call numbered CancelAt (from 1).
class TCancelAt : public QObject {
    Q_OBJECT

public:
    int CancelAt = 0;
    int Calls = 0;

public Q_SLOTS:
    void Progress(QObject*, quint32, quint32, bool& Cancel) { Cancel = ++Calls == CancelAt; }
};

class WinDownloader : public testing::Test {
protected:
    void SetUp() override {
        if (!HttpPort())
            GTEST_SKIP() << "the test server is not running: KW_TEST_HTTP_PORT comes from "
                            "tests/win32/run-under-wine.py --servers";
    }
    static QString Url(const QString& pathAndQuery) {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(HttpPort()).arg(pathAndQuery);
    }
    QStringList Entries() const {
        return QDir(FFolder.Path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    }
    QString Target() const { return FFolder.FilePath(TargetName); }

    TNetworkEnvironment FEnvironment;
    TTempFolder FFolder;
};

TEST_F(WinDownloader, OnlyACompletedDownloadTakesTheTargetsPlace) {
    struct TCase {
        const char* Name;
        qsizetype Size;
        const char* Query;
        int CancelAt;
        TDownloadOutcome Outcome;
        TDownloadFailureKind Kind;
    };
    const TCase cases[] = {
        {"Whole", 5000, "", 0, TDownloadOutcome::Completed, TDownloadFailureKind::None},
        {"ReprDigestMatches", 200000, "digest=repr", 0, TDownloadOutcome::Completed,
         TDownloadFailureKind::None},
        {"DigestMatches", 200000, "digest=legacy", 0, TDownloadOutcome::Completed,
         TDownloadFailureKind::None},
        {"DigestInHexIsNoStatement", 200000, "digest=legacy-malformed", 0, TDownloadOutcome::Completed,
         TDownloadFailureKind::None},
        {"ReprDigestDiffers", 200000, "digest=repr-wrong", 0, TDownloadOutcome::Failed,
         TDownloadFailureKind::Damaged},
        {"DigestDiffers", 200000, "digest=legacy-wrong", 0, TDownloadOutcome::Failed,
         TDownloadFailureKind::Damaged},
        {"CancelledAfterSomeBlocks", 5000, "", 3, TDownloadOutcome::Cancelled,
         TDownloadFailureKind::Cancelled},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        FFolder.Write(TargetName, OldContent);
        TCancelAt progress;
        progress.CancelAt = c.CancelAt;
        TDownloader downloader;
        downloader.SetOnProgress(TMethod::Find(&progress, "Progress"));

        const QString url = Url(QStringLiteral("/file/%1?%2").arg(c.Size).arg(QLatin1String(c.Query)));
        EXPECT_EQ(downloader.Download(url, Target()), c.Outcome);
        EXPECT_EQ(downloader.LastFailure().Kind, c.Kind);
        EXPECT_TRUE(FFolder.Read(TargetName) ==
                    (c.Outcome == TDownloadOutcome::Completed ? Pattern(c.Size) : OldContent));
        EXPECT_EQ(Entries(), QStringList{TargetName});
    }
}

// The first attempt breaks off after Cut bytes and keeps them; the retry is answered
// as the query says.
TEST_F(WinDownloader, ARetryContinuesOnlyTheSameFile) {
    struct TCase {
        const char* Name;
        const char* Query;
        std::vector<TDownloadOutcome> Retries;
        QByteArray Final;
    };
    const TCase cases[] = {
        {"SameVersionWithAChecksum", "digest=repr", {TDownloadOutcome::Completed}, Pattern(Size)},
        {"ChangedTagStartsOver",
         "version=changing&ifrange=ignore",
         {TDownloadOutcome::Completed},
         Pattern(Size)},
        {"OtherSizeStartsOver",
         "later=250000&ifrange=ignore",
         {TDownloadOutcome::Completed},
         Pattern(250000, 7)},
        // Same validators and size: only the checksum tells the splice, and the
        // next retry fetches the new version whole.
        {"SpliceCaughtByTheChecksum",
         "later=300000&ifrange=ignore&digest=repr",
         {TDownloadOutcome::Failed, TDownloadOutcome::Completed},
         Pattern(Size, 7)},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const QString url = Url(QStringLiteral("/file/%1?cut=%2&%3&k=%4")
                                    .arg(Size)
                                    .arg(Cut)
                                    .arg(QLatin1String(c.Query), QLatin1String(c.Name)));
        TDownloader downloader;
        ASSERT_EQ(downloader.Download(url, Target()), TDownloadOutcome::Failed);
        ASSERT_EQ(downloader.LastFailure().Kind, TDownloadFailureKind::Interrupted);
        for (const TDownloadOutcome outcome : c.Retries)
            EXPECT_EQ(downloader.Download(url, Target()), outcome);
        EXPECT_TRUE(FFolder.Read(TargetName) == c.Final);
        EXPECT_EQ(Entries(), QStringList{TargetName});
        QFile::remove(Target());
    }
}

TEST_F(WinDownloader, PartialFilesThatNoDownloadHoldsAreRemoved) {
    const QString held = FFolder.Write(QStringLiteral("setup.exe.Held12.part"), "a running download's");
    const QString abandoned = FFolder.Write(QStringLiteral("setup.exe.Left34.part"), "a killed program's");
    FFolder.Write(QStringLiteral("setup.exe"), OldContent);
    std::unique_ptr<TFileHold> hold = HoldFile(held);
    ASSERT_TRUE(hold);
    EXPECT_FALSE(HoldFile(held)) << "a second hold, even of the same process, is refused";

    TPartialFile::RemoveAbandoned(FFolder.Path());
    EXPECT_EQ(Entries(), (QStringList{TargetName, QStringLiteral("setup.exe.Held12.part")}));

    hold.reset();
    TPartialFile::RemoveAbandoned(FFolder.Path(), TargetName);
    EXPECT_EQ(Entries(), QStringList{TargetName});
}

}  // namespace

#include "TestWinDownloader.moc"
