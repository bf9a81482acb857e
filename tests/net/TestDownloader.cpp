#include "core/Exception.h"
#include "net/TDownloader.h"
#include "net/TPartialFile.h"
#include "platform/Http.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/NetworkEnvironment.h"
#include "tests/support/SignedInstallers.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <QDir>
#include <QFile>
#include <QThreadPool>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 ReadSize = 1023;
const QString TargetName = QStringLiteral("setup.exe");
const QByteArray OldContent = QByteArrayLiteral("the installer that was there before");

// Records every progress call; sets Cancel in the call numbered CancelAt (from 1) and
// writes false in every other one, as a handler may.
class TProgressLog : public QObject {
    Q_OBJECT

public:
    struct TCall {
        QObject* Sender;
        quint32 Total;
        quint32 Received;
        bool CancelOnEntry;
    };

    int CancelAt = 0;
    std::vector<TCall> Calls;
    // Runs in every call, after it is recorded, as a handler's own work would.
    std::function<void()> During;

public Q_SLOTS:
    void Progress(QObject* Sender, quint32 Total, quint32 Received, bool& Cancel) {
        Calls.push_back({Sender, Total, Received, Cancel});
        Cancel = static_cast<int>(Calls.size()) == CancelAt;
        if (During)
            During();
    }
};

class DownloaderTest : public testing::Test {
protected:
    static void SetUpTestSuite() { Server = std::make_unique<TTestHttpServer>(); }
    static void TearDownTestSuite() { Server.reset(); }

    void SetUp() override {
        ASSERT_TRUE(Server->Started()) << Server->Error().toStdString();
        Server->TakeRequests();
        Downloader.SetOnProgress(TMethod::Find(&Log, "Progress"));
    }

    // True when the download completed; Outcome says how it ended.
    bool Fetch(const QString& url) {
        Outcome = Downloader.Download(url, Target());
        return Outcome == TDownloadOutcome::Completed;
    }
    QString Target() const { return Folder.FilePath(TargetName); }
    void PutOldFile() const { Folder.Write(TargetName, OldContent); }
    QStringList Entries() const {
        // A replaced file is let go in the background.
        QThreadPool::globalInstance()->waitForDone();
        return QDir(Folder.Path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    }
    // After a failed or cancelled download: the old file as it was, or nothing; no
    // temporary file either way.
    void ExpectNothingChanged(bool hadOldFile) const {
        if (hadOldFile) {
            EXPECT_EQ(Folder.Read(TargetName), OldContent);
            EXPECT_EQ(Entries(), QStringList{TargetName});
        } else {
            EXPECT_TRUE(Entries().isEmpty()) << Entries().join(QStringLiteral(", ")).toStdString();
        }
    }
    std::optional<TRecordedRequest> LastRequest() const {
        const std::vector<TRecordedRequest> requests = Server->TakeRequests();
        if (requests.empty())
            return std::nullopt;
        return requests.back();
    }

    static std::unique_ptr<TTestHttpServer> Server;
    TNetworkEnvironment Environment;
    TTempFolder Folder;
    TProgressLog Log;
    TDownloader Downloader;
    TDownloadOutcome Outcome = TDownloadOutcome::Failed;
};

std::unique_ptr<TTestHttpServer> DownloaderTest::Server;

std::string WithOldFile(const std::string& name, bool hadOldFile) {
    return name + (hadOldFile ? "_OverOldFile" : "_NoOldFile");
}

// --- Bodies that arrive whole ----------------------------------------------------

// Rows print as their names in failure messages (PrintTo).
struct TBodyCase {
    const char* Name;
    const char* Path;
    qsizetype Size;
    bool LengthKnown;
};

void PrintTo(const TBodyCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderBody : public DownloaderTest,
                       public testing::WithParamInterface<std::tuple<TBodyCase, bool>> {};

TEST_P(DownloaderBody, ArrivesWholeInBlocksOf1023WithOneProgressCallEach) {
    const auto& [c, hadOldFile] = GetParam();
    if (hadOldFile)
        PutOldFile();

    ASSERT_TRUE(Fetch(Server->Url(QString::fromLatin1(c.Path))));

    const QByteArray expected = TTestHttpServer::Pattern(c.Size);
    const QByteArray written = Folder.Read(TargetName);
    EXPECT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected) << "the file differs from the body";
    EXPECT_EQ(Entries(), QStringList{TargetName});

    // Every read but the last brings a full block, so no read asked for more than 1023.
    const std::size_t blocks = static_cast<std::size_t>((c.Size + ReadSize - 1) / ReadSize);
    ASSERT_EQ(Log.Calls.size(), blocks);
    for (std::size_t i = 0; i < blocks; ++i) {
        const TProgressLog::TCall& call = Log.Calls[i];
        ASSERT_EQ(call.Received, std::min<qsizetype>(static_cast<qsizetype>((i + 1) * ReadSize), c.Size))
            << "call " << i;
        ASSERT_EQ(call.Total, c.LengthKnown ? static_cast<quint32>(c.Size) : 0u) << "call " << i;
        ASSERT_EQ(call.Sender, &Downloader);
        ASSERT_FALSE(call.CancelOnEntry);
    }

    const std::optional<TRecordedRequest> request = LastRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->UserAgent, QStringLiteral("Test"));
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, DownloaderBody,
    testing::Combine(testing::Values(TBodyCase{"Plain", "/file/5000", 5000, true},
                                     TBodyCase{"OneByte", "/file/1", 1, true},
                                     TBodyCase{"ExactlyOneBlock", "/file/1023", 1023, true},
                                     TBodyCase{"OneByteOverOneBlock", "/file/1024", 1024, true},
                                     TBodyCase{"ExactlyTwoBlocks", "/file/2046", 2046, true},
                                     TBodyCase{"Large", "/file/3000000", 3000000, true},
                                     TBodyCase{"ChunkedWithoutLength", "/chunked/5000", 5000, false},
                                     TBodyCase{"Redirect", "/redirect/file/3000", 3000, true},
                                     TBodyCase{"RedirectChain", "/redirect/redirect/redirect/file/3000", 3000,
                                               true},
                                     // The redirect's own Content-Length must not stand for the final body's.
                                     TBodyCase{"RedirectToChunked", "/redirect/chunked/3000", 3000, false},
                                     TBodyCase{"BlankAndQueryInPath", "/file/700?name=a b&x=1", 700, true}),
                     testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<TBodyCase, bool>>& row) {
        return WithOldFile(std::get<0>(row.param).Name, std::get<1>(row.param));
    });

// --- Downloads that fail -----------------------------------------------------------

enum class TAddress { TestServer, NobodyListening, AsWritten };

struct TFailureCase {
    const char* Name;
    TAddress Address;
    const char* Path;  // the whole URL with AsWritten
    bool ShortStallTimeout;
    TDownloadFailureKind Kind;
    TInternetError Error = TInternetError::None;
    std::optional<TTransportLimit> Needs = std::nullopt;  // of the transport
};

void PrintTo(const TFailureCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderFailure : public DownloaderTest,
                          public testing::WithParamInterface<std::tuple<TFailureCase, bool>> {};

TEST_P(DownloaderFailure, ReturnsFalseAndLeavesTheTargetAsItWas) {
    const auto& [c, hadOldFile] = GetParam();
    if (c.Needs && !WhyTransportCannot(*c.Needs).isEmpty())
        GTEST_SKIP() << WhyTransportCannot(*c.Needs).toStdString();
    if (hadOldFile)
        PutOldFile();
    if (c.ShortStallTimeout)
        SetInternetTimeouts(TInternetTimeouts{60, 2});

    const QString path = QString::fromLatin1(c.Path);
    QString url;
    switch (c.Address) {
        case TAddress::TestServer:
            url = Server->Url(path);
            break;
        case TAddress::NobodyListening:
            url = QStringLiteral("http://127.0.0.1:%1%2").arg(TTestHttpServer::UnusedPort()).arg(path);
            break;
        case TAddress::AsWritten:
            url = path;
            break;
    }

    const TLogCapture logged;
    EXPECT_FALSE(Fetch(url));
    EXPECT_EQ(Outcome, TDownloadOutcome::Failed);
    EXPECT_EQ(Downloader.LastFailure().Kind, c.Kind);
    EXPECT_EQ(Downloader.LastFailure().Network.Error, c.Error);
    EXPECT_EQ(logged.Lines("kw.net", QStringLiteral("download of %1 failed").arg(url)).size(), 1);
    ExpectNothingChanged(hadOldFile);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, DownloaderFailure,
    testing::Combine(
        testing::Values(TFailureCase{"NotFoundWithHtmlPage", TAddress::TestServer, "/status/404", false,
                                     TDownloadFailureKind::HttpStatus},
                        TFailureCase{"ServerError", TAddress::TestServer, "/status/500", false,
                                     TDownloadFailureKind::HttpStatus},
                        TFailureCase{"RedirectToNotFound", TAddress::TestServer, "/redirect/status/404",
                                     false, TDownloadFailureKind::HttpStatus},
                        TFailureCase{"RedirectLoop", TAddress::TestServer, "/loop", false,
                                     TDownloadFailureKind::Network, TInternetError::TooManyRedirects},
                        TFailureCase{"EmptyBody", TAddress::TestServer, "/file/0", false,
                                     TDownloadFailureKind::EmptyBody},
                        TFailureCase{"ClosedMidBody", TAddress::TestServer, "/close-mid/5000", false,
                                     TDownloadFailureKind::Interrupted, TInternetError::ConnectionBroken},
                        TFailureCase{"OneByteShorterThanLength", TAddress::TestServer, "/short/5000", false,
                                     TDownloadFailureKind::Interrupted, TInternetError::ConnectionBroken},
                        TFailureCase{"ChunkedCutOff", TAddress::TestServer, "/chunked-cut/5000", false,
                                     TDownloadFailureKind::Interrupted, TInternetError::ConnectionBroken,
                                     TTransportLimit::ChunkedBodyCut},
                        TFailureCase{"StalledMidBody", TAddress::TestServer, "/stall/5000", true,
                                     TDownloadFailureKind::Interrupted, TInternetError::ConnectionBroken},
                        TFailureCase{"NeverAnswers", TAddress::TestServer, "/hang", true,
                                     TDownloadFailureKind::Network, TInternetError::NoAnswer},
                        TFailureCase{"HeadersNeverEnd", TAddress::TestServer, "/unended", true,
                                     TDownloadFailureKind::Network, TInternetError::AnswerUnfinished,
                                     TTransportLimit::UnfinishedAnswer},
                        TFailureCase{"HeadersTrickle", TAddress::TestServer, "/trickle", true,
                                     TDownloadFailureKind::Network, TInternetError::AnswerUnfinished},
                        TFailureCase{"AnswerIsNotHttp", TAddress::TestServer, "/not-http", false,
                                     TDownloadFailureKind::Network, TInternetError::NotHttp},
                        TFailureCase{"RedirectToAFile", TAddress::TestServer, "/goto?to=file:///etc/passwd",
                                     false, TDownloadFailureKind::Network, TInternetError::RedirectNotWeb},
                        TFailureCase{"RedirectToFtp", TAddress::TestServer,
                                     "/goto?to=ftp://www.kestrelweave.com/setup.exe", false,
                                     TDownloadFailureKind::Network, TInternetError::RedirectNotWeb},
                        TFailureCase{"RedirectToNoAddress", TAddress::TestServer, "/goto?to=http://[bad/",
                                     false, TDownloadFailureKind::Network, TInternetError::RedirectNotWeb},
                        TFailureCase{"ConnectionRefused", TAddress::NobodyListening, "/file/100", false,
                                     TDownloadFailureKind::Network, TInternetError::CannotConnect},
                        TFailureCase{"PortNotANumber", TAddress::AsWritten, "http://127.0.0.1:http/file/10",
                                     false, TDownloadFailureKind::InvalidAddress},
                        TFailureCase{"PortOutOfRange", TAddress::AsWritten, "http://127.0.0.1:70000/file/10",
                                     false, TDownloadFailureKind::InvalidAddress},
                        TFailureCase{"PortZero", TAddress::AsWritten, "http://127.0.0.1:0/file/10", false,
                                     TDownloadFailureKind::InvalidAddress},
                        TFailureCase{"UnclosedBracket", TAddress::AsWritten, "http://[::1/file/10", false,
                                     TDownloadFailureKind::InvalidAddress},
                        TFailureCase{"EmptyUrl", TAddress::AsWritten, "", false,
                                     TDownloadFailureKind::InvalidAddress}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<TFailureCase, bool>>& row) {
        return WithOldFile(std::get<0>(row.param).Name, std::get<1>(row.param));
    });

// --- Cancel ------------------------------------------------------------------------

struct TCancelCase {
    const char* Name;
    const char* Path;
    int CancelAt;
};

void PrintTo(const TCancelCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderCancel : public DownloaderTest,
                         public testing::WithParamInterface<std::tuple<TCancelCase, bool>> {};

TEST_P(DownloaderCancel, StopsAfterTheNextReadEndsCancelledAndRemovesTheFile) {
    const auto& [c, hadOldFile] = GetParam();
    if (hadOldFile)
        PutOldFile();
    Log.CancelAt = c.CancelAt;

    EXPECT_FALSE(Fetch(Server->Url(QString::fromLatin1(c.Path))));
    EXPECT_EQ(Outcome, TDownloadOutcome::Cancelled) << "however many blocks were written";

    // The block read after the cancel is dropped: no progress call follows it.
    EXPECT_EQ(Log.Calls.size(), static_cast<std::size_t>(c.CancelAt));
    ExpectNothingChanged(hadOldFile);
}

INSTANTIATE_TEST_SUITE_P(Cancels, DownloaderCancel,
                         testing::Combine(testing::Values(TCancelCase{"FirstBlock", "/file/5000", 1},
                                                          TCancelCase{"MiddleBlock", "/file/5000", 3},
                                                          TCancelCase{"LastBlock", "/file/5000", 5},
                                                          TCancelCase{"OnlyBlock", "/file/1023", 1},
                                                          TCancelCase{"ChunkedMiddleBlock", "/chunked/5000",
                                                                      3}),
                                          testing::Bool()),
                         [](const testing::TestParamInfo<std::tuple<TCancelCase, bool>>& row) {
                             return WithOldFile(std::get<0>(row.param).Name, std::get<1>(row.param));
                         });

// --- Single cases ------------------------------------------------------------------

TEST_F(DownloaderTest, ExplicitPortIsTheOneConnectedToAndTheUserAgentIsTest) {
    ASSERT_TRUE(Fetch(Server->Url(QStringLiteral("/file/10"))));
    const std::optional<TRecordedRequest> request = LastRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->RequestLine, QStringLiteral("GET /file/10 HTTP/1.1"));
    EXPECT_EQ(request->Host, QStringLiteral("127.0.0.1:%1").arg(Server->Port()));
    EXPECT_EQ(request->UserAgent, QStringLiteral("Test"));
    EXPECT_FALSE(request->Absolute);
}

TEST_F(DownloaderTest, WorksWithoutAProgressHandler) {
    Downloader.SetOnProgress(TMethod());
    ASSERT_TRUE(Fetch(Server->Url(QStringLiteral("/file/3000"))));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(3000));
}

// Each failure is told by its kind, so that it is said in the person's language.
// Root may write anywhere that permissions guard, so a folder that cannot be written
// to for everyone is one that cannot exist: its path runs through a regular file.
TEST_F(DownloaderTest, UnwritableTargetsFailByKind) {
    Folder.Write(QStringLiteral("plain"), "a file, not a folder");
    const struct {
        const char* Name;
        QString Target;
        TSystemErrorKind Kind;
    } rows[] = {
        {"through a file", Folder.FilePath(u"plain/setup.exe"_s), TSystemErrorKind::NotFound},
#ifndef _WIN32  // Wine says that a name too long is a path not found
        {"name too long", Folder.FilePath(QString(300, u'n')), TSystemErrorKind::NameTooLong},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(Downloader.Download(Server->Url(QStringLiteral("/file/100")), row.Target),
                  TDownloadOutcome::Failed);
        EXPECT_EQ(Downloader.LastFailure().WriteError.Kind, row.Kind)
            << Downloader.LastFailure().WriteError.Text.toStdString();
    }
    EXPECT_EQ(Entries(), QStringList{QStringLiteral("plain")});
    EXPECT_EQ(Folder.Read(QStringLiteral("plain")), QByteArray("a file, not a folder"));
    EXPECT_TRUE(Log.Calls.empty());
}

// A full disk, for root too: past the process's file size limit a write fails (EFBIG
// once SIGXFSZ is ignored). The limit is lifted again before anything else runs.
TEST_F(DownloaderTest, FailedWriteFailsAndKeepsTheOldFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no file size limit for a process to make a write fail";
#else
    PutOldFile();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 64 * 1024;
    const auto savedHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = Fetch(Server->Url(QStringLiteral("/file/1000000")));
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, savedHandler);

    EXPECT_FALSE(result);
    EXPECT_EQ(Downloader.LastFailure().WriteError.Kind, TSystemErrorKind::FileTooLarge);
    ExpectNothingChanged(true);
#endif
}

// --- Proxy from the environment -----------------------------------------------------

struct TProxyCase {
    const char* Name;
    bool ProxyIsTestServer;  // else a port where nobody listens
    const char* NoProxy;     // the hosts that bypass it
    bool FetchInvalidHost;   // http://tessaly.invalid/..., else the test server itself
    bool Succeeds;
    std::optional<TTransportLimit> Needs = std::nullopt;  // of the transport
};

void PrintTo(const TProxyCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderProxy : public DownloaderTest, public testing::WithParamInterface<TProxyCase> {};

TEST_P(DownloaderProxy, FollowsHttpProxyAndNoProxy) {
    const TProxyCase& c = GetParam();
    if (c.Needs && !WhyTransportCannot(*c.Needs).isEmpty())
        GTEST_SKIP() << WhyTransportCannot(*c.Needs).toStdString();
    const quint16 proxyPort = c.ProxyIsTestServer ? Server->Port() : TTestHttpServer::UnusedPort();
    const TScopedProxies proxies(
        {QStringLiteral("127.0.0.1:%1").arg(proxyPort), {}, QLatin1String(c.NoProxy)});

    // .invalid never resolves, so only a proxy can answer for it.
    const QString url = c.FetchInvalidHost ? QStringLiteral("http://tessaly.invalid/file/100")
                                           : Server->Url(QStringLiteral("/file/100"));
    EXPECT_EQ(Fetch(url), c.Succeeds);
    if (!c.Succeeds) {
        ExpectNothingChanged(false);
        return;
    }
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(100));
    const std::optional<TRecordedRequest> request = LastRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->Absolute, c.FetchInvalidHost);
    EXPECT_EQ(request->UserAgent, QStringLiteral("Test"));
    if (c.FetchInvalidHost) {
        EXPECT_TRUE(request->RequestLine.startsWith(QStringLiteral("GET http://tessaly.invalid")))
            << request->RequestLine.toStdString();
        EXPECT_EQ(request->Host, QStringLiteral("tessaly.invalid"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Proxies, DownloaderProxy,
    testing::Values(TProxyCase{"HttpProxyAnswersForAnyHost", true, "", true, true},
                    TProxyCase{"HttpProxyIsUsedForLoopbackToo", false, "", false, false,
                               TTransportLimit::ProxyForLoopback},
                    TProxyCase{"NoProxyBypassesTheProxy", false, "127.0.0.1", false, true},
                    TProxyCase{"NoProxyForOtherHostsOnly", false, "example.invalid", false, false,
                               TTransportLimit::ProxyForLoopback}),
    [](const testing::TestParamInfo<TProxyCase>& row) { return std::string(row.param.Name); });

// --- https ------------------------------------------------------------------------

class DownloaderHttps : public DownloaderTest {
protected:
    static void SetUpTestSuite() {
        DownloaderTest::SetUpTestSuite();
        Secure = std::make_unique<TSecureServers>();
    }
    static void TearDownTestSuite() {
        Secure.reset();
        DownloaderTest::TearDownTestSuite();
    }
    void SetUp() override {
        DownloaderTest::SetUp();
        ASSERT_TRUE(Secure->Error().isEmpty()) << Secure->Error().toStdString();
        Secure->Tls.TakeRequests();
        Secure->Tunnel.TakeRequests();
    }

    static std::unique_ptr<TSecureServers> Secure;
};

std::unique_ptr<TSecureServers> DownloaderHttps::Secure;

enum class TTrust { System, File, Folder };

struct THttpsCase {
    const char* Name;
    TTrust Trust;
    // Through the tunnelling proxy to the maker's host, else straight to the TLS server.
    bool ThroughProxy;
    const char* Path;      // "%1" stands for the plain server's port
    TInternetError Error;  // None: succeeds with 3000 bytes
};

void PrintTo(const THttpsCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderHttpsTable : public DownloaderHttps, public testing::WithParamInterface<THttpsCase> {};

TEST_P(DownloaderHttpsTable, Fetch) {
    const THttpsCase& c = GetParam();
    PutOldFile();
    // Each server has an authority of its own.
    const TTestHttpServer& secure = c.ThroughProxy ? Secure->Tunnel : Secure->Tls;
    if (c.Trust == TTrust::System && !TScopedTrust::WhyNotUntrusted().isEmpty())
        GTEST_SKIP() << TScopedTrust::WhyNotUntrusted().toStdString();
    std::optional<TScopedTrust> trust;
    std::optional<TScopedProxies> proxy;
    if (c.Trust != TTrust::System)
        trust.emplace(secure,
                      c.Trust == TTrust::File ? TScopedTrust::TForm::File : TScopedTrust::TForm::Folder);
    QString path = QString::fromLatin1(c.Path);
    if (path.contains(QLatin1String("%1")))
        path = path.arg(Server->Port());
    QString url = Secure->Tls.Url(path);
    if (c.ThroughProxy) {
        proxy.emplace(TProxySettings{{}, QStringLiteral("127.0.0.1:%1").arg(Secure->Tunnel.Port()), {}});
        url = QStringLiteral("https://www.kestrelweave.com") + path;
    }

    const bool succeeded = Fetch(url);
    EXPECT_EQ(succeeded, c.Error == TInternetError::None);
    EXPECT_EQ(Downloader.LastFailure().Network.Error, c.Error);
    if (succeeded)
        EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(3000));
    else
        ExpectNothingChanged(true);
    // Nothing went out in the clear.
    EXPECT_TRUE(Server->TakeRequests().empty());
    if (c.ThroughProxy) {
        const std::vector<TRecordedRequest> requests = Secure->Tunnel.TakeRequests();
        ASSERT_FALSE(requests.empty());
        EXPECT_TRUE(requests.front().RequestLine.startsWith(QStringLiteral("CONNECT ")))
            << requests.front().RequestLine.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloaderHttpsTable,
    testing::Values(
        THttpsCase{"TrustedThroughCertificateFile", TTrust::File, false, "/file/3000", TInternetError::None},
        THttpsCase{"TrustedThroughCertificateFolder", TTrust::Folder, false, "/file/3000",
                   TInternetError::None},
        THttpsCase{"UntrustedCertificate", TTrust::System, false, "/file/3000",
                   TInternetError::UntrustedCertificate},
        THttpsCase{"RedirectWithinHttps", TTrust::File, false, "/redirect/file/3000", TInternetError::None},
        THttpsCase{"RedirectToPlainHttpRefused", TTrust::File, false,
                   "/goto?to=http://127.0.0.1:%1/file/3000", TInternetError::InsecureRedirect},
        THttpsCase{"ThroughProxyTunnel", TTrust::File, true, "/file/3000", TInternetError::None},
        THttpsCase{"UntrustedThroughProxyTunnel", TTrust::System, true, "/file/3000",
                   TInternetError::UntrustedCertificate}),
    [](const testing::TestParamInfo<THttpsCase>& row) { return std::string(row.param.Name); });

// Once over https, a request does not go back to plain http, however it began.
TEST_F(DownloaderHttps, NeverReturnsToPlainHttpAfterAnHttpsHop) {
    const TScopedTrust trust(Secure->Tls, TScopedTrust::TForm::File);
    const QString back = QStringLiteral("http://127.0.0.1:%1/file/3000").arg(Server->Port());
    EXPECT_FALSE(Fetch(
        Server->Url(QStringLiteral("/goto?to=") + Secure->Tls.Url(QStringLiteral("/goto?to=") + back))));
    EXPECT_EQ(Downloader.LastFailure().Network.Error, TInternetError::InsecureRedirect);
    EXPECT_EQ(Server->TakeRequests().size(), 1u) << "only the first request went in the clear";
}

TEST_F(DownloaderHttps, IsNeverPlainHttp) {
    const QString url = QStringLiteral("https://127.0.0.1:%1/file/10").arg(Server->Port());
    EXPECT_FALSE(Fetch(url));
    ExpectNothingChanged(false);
    EXPECT_TRUE(Server->TakeRequests().empty());
}

// --- Default ports ------------------------------------------------------------------

struct TDefaultPortCase {
    const char* Name;
    bool Tls;
    quint16 Port;
};

void PrintTo(const TDefaultPortCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderDefaultPort : public DownloaderTest, public testing::WithParamInterface<TDefaultPortCase> {};

TEST_P(DownloaderDefaultPort, UrlWithoutPortUsesTheSchemesPort) {
    const TDefaultPortCase& c = GetParam();
    TTestHttpServer server(TTestHttpServer::TOptions{c.Tls, c.Port, {}});
    if (!server.Started())
        GTEST_SKIP() << "no test server on port " << c.Port << ": " << server.Error().toStdString();
    std::optional<TScopedTrust> trust;
    if (c.Tls)
        trust.emplace(server);

    const QString url = QStringLiteral("%1://127.0.0.1/file/500").arg(c.Tls ? u"https"_s : u"http"_s);
    ASSERT_TRUE(Fetch(url));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(500));
    const std::vector<TRecordedRequest> requests = server.TakeRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back().RequestLine, QStringLiteral("GET /file/500 HTTP/1.1"));
}

INSTANTIATE_TEST_SUITE_P(Schemes, DownloaderDefaultPort,
                         testing::Values(TDefaultPortCase{"Http", false, INTERNET_DEFAULT_HTTP_PORT},
                                         TDefaultPortCase{"Https", true, INTERNET_DEFAULT_HTTPS_PORT}),
                         [](const testing::TestParamInfo<TDefaultPortCase>& row) {
                             return std::string(row.param.Name);
                         });

// --- A broken transfer, tried again --------------------------------------------------

constexpr qsizetype ResumeSize = 300000;
// Not a whole number of blocks, so that the retry's blocks are offset from the first's.
constexpr qsizetype ResumeCut = 100000;

enum class TValidator { None, Tag, Date };

struct TResumeCase {
    const char* Name;
    const char* Query;     // of /file/300000, with cut=100000
    TValidator IfRange;    // what the retry's first request is guarded by
    bool Continues;        // its answer continued the kept file
    std::size_t Requests;  // that the retry made
    // The file the retry ends with: a later version has another size and content.
    qsizetype FinalSize = ResumeSize;
    int FinalShift = 0;
};

void PrintTo(const TResumeCase& c, std::ostream* os) {
    *os << c.Name;
}

TValidator ValidatorIn(const QString& ifRange) {
    if (ifRange.isEmpty())
        return TValidator::None;
    return ifRange.startsWith(QLatin1Char('"')) ? TValidator::Tag : TValidator::Date;
}

class DownloaderResume : public DownloaderTest, public testing::WithParamInterface<TResumeCase> {
protected:
    QStringList PartialFiles() const { return Entries().filter(QStringLiteral(".part")); }
};

TEST_P(DownloaderResume, RetryAsksForWhatIsMissingAndEndsWithTheWholeFile) {
    const TResumeCase& c = GetParam();
    SetInternetTimeouts(TInternetTimeouts{60, 2});
    const QString url = Server->Url(
        QStringLiteral("/file/%1?cut=%2&%3").arg(ResumeSize).arg(ResumeCut).arg(QLatin1String(c.Query)));

    ASSERT_FALSE(Fetch(url));
    const TDownloadFailure& failure = Downloader.LastFailure();
    EXPECT_EQ(failure.Kind, TDownloadFailureKind::Interrupted);
    EXPECT_EQ(failure.Received, static_cast<quint64>(ResumeCut));
    EXPECT_EQ(failure.Total, static_cast<quint64>(ResumeSize));
    // What arrived waits beside the target, never at its name.
    EXPECT_FALSE(QFile::exists(Target()));
    EXPECT_EQ(PartialFiles().size(), c.IfRange == TValidator::None ? 0 : 1)
        << Entries().join(u' ').toStdString();
    Server->TakeRequests();
    Log.Calls.clear();

    ASSERT_TRUE(Fetch(url));
    EXPECT_TRUE(Folder.Read(TargetName) ==
                TTestHttpServer::Pattern(c.FinalSize + c.FinalShift).mid(c.FinalShift))
        << "differs from a fresh download";
    EXPECT_EQ(Entries(), QStringList{TargetName});

    const std::vector<TRecordedRequest> requests = Server->TakeRequests();
    ASSERT_EQ(requests.size(), c.Requests);
    EXPECT_EQ(ValidatorIn(requests.front().IfRange), c.IfRange);
    EXPECT_EQ(requests.front().Range,
              c.IfRange == TValidator::None ? QString() : QStringLiteral("bytes=%1-").arg(ResumeCut));
    // A request that starts over asks for everything.
    EXPECT_TRUE(requests.back().Range.isEmpty() || requests.size() == 1);
    ASSERT_FALSE(Log.Calls.empty());
    const quint32 firstBlock = (c.Continues ? ResumeCut : 0) + ReadSize;
    EXPECT_EQ(Log.Calls.front().Received, firstBlock);
    EXPECT_EQ(Log.Calls.front().Total, static_cast<quint32>(c.FinalSize));
    EXPECT_EQ(Log.Calls.back().Received, static_cast<quint32>(c.FinalSize));
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloaderResume,
    testing::Values(
        TResumeCase{"ByETag", "", TValidator::Tag, true, 1},
        TResumeCase{"ByLastModifiedWithoutETag", "validator=date", TValidator::Date, true, 1},
        TResumeCase{"ByLastModifiedWhenTheETagIsWeak", "weak=1", TValidator::Date, true, 1},
        TResumeCase{"AfterAStall", "cutmode=stall", TValidator::Tag, true, 1},
        TResumeCase{"ServerIgnoringRangesStartsOver", "ranges=ignore", TValidator::Tag, false, 1},
        TResumeCase{"ChangedFileStartsOver", "version=changing", TValidator::Tag, false, 1},
        TResumeCase{"RangeNotSatisfiableStartsOverOnce", "ranges=416", TValidator::Tag, false, 2},
        TResumeCase{"NothingToGuardARangeStartsAgain", "validator=none", TValidator::None, false, 1},
        TResumeCase{"WeakETagAloneNeverResumes", "validator=etag&weak=1", TValidator::None, false, 1},
        // Servers and caches that send a 206 whatever If-Range says: only the
        // first answer's validator and size continue the kept part.
        TResumeCase{"PartOfAChangedFileStartsOver", "version=changing&ifrange=ignore", TValidator::Tag, false,
                    2},
        TResumeCase{"PartOfAFileOfAnotherSizeStartsOver", "later=250000&ifrange=ignore", TValidator::Tag,
                    false, 2, 250000, 7},
        TResumeCase{"RangeStartingElsewhereStartsOver", "rangeshift=1", TValidator::Tag, false, 2},
        // The kept part is read back and hashed before the rest is added.
        TResumeCase{"ByETagWithAChecksum", "digest=repr", TValidator::Tag, true, 1},
        TResumeCase{"ByLastModifiedWithAnOlderChecksum", "validator=date&digest=legacy", TValidator::Date,
                    true, 1}),
    [](const testing::TestParamInfo<TResumeCase>& row) { return std::string(row.param.Name); });

TEST_F(DownloaderResume, KeptFileGoesWithTheDownloaderOrAnotherDownload) {
    const QString url = Server->Url(QStringLiteral("/file/%1?cut=%2&k=1").arg(ResumeSize).arg(ResumeCut));
    {
        TDownloader downloader;
        ASSERT_EQ(downloader.Download(url, Target()), TDownloadOutcome::Failed);
        EXPECT_EQ(PartialFiles().size(), 1);
    }
    ExpectNothingChanged(false);

    ASSERT_FALSE(Fetch(Server->Url(QStringLiteral("/file/%1?cut=%2&k=2").arg(ResumeSize).arg(ResumeCut))));
    ASSERT_EQ(PartialFiles().size(), 1);
    // Another file, or another address, starts afresh.
    ASSERT_TRUE(Fetch(Server->Url(QStringLiteral("/file/10"))));
    EXPECT_EQ(Entries(), QStringList{TargetName});
}

// --- Waiting for the network ---------------------------------------------------------

enum class TSilence { Server, Listener, ProxyListener, TlsListener };

struct TWaitCase {
    const char* Name;
    TSilence Silence;
    const char* Path;
    bool BlocksFirst;  // some blocks arrive before the silence
};

void PrintTo(const TWaitCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderWait : public DownloaderTest, public testing::WithParamInterface<TWaitCase> {};

// With the time-outs at a minute, only the event loop running inside Download can end
// these calls early: a timer started before the call cancels it.
TEST_P(DownloaderWait, KeepsTheEventLoopRunningAndCancelEndsItAtOnce) {
    const TWaitCase& c = GetParam();
    SetInternetTimeouts(TInternetTimeouts{60, 60});
    const TSilentListener listener;
    ASSERT_NE(listener.Port(), 0);
    QString url = Server->Url(QString::fromLatin1(c.Path));
    std::optional<TScopedProxies> proxy;
    switch (c.Silence) {
        case TSilence::Server:
            break;
        case TSilence::Listener:
            url = QStringLiteral("http://127.0.0.1:%1%2").arg(listener.Port()).arg(QLatin1String(c.Path));
            break;
        case TSilence::TlsListener:
            url = QStringLiteral("https://127.0.0.1:%1%2").arg(listener.Port()).arg(QLatin1String(c.Path));
            break;
        case TSilence::ProxyListener:
            proxy.emplace(TProxySettings{QStringLiteral("127.0.0.1:%1").arg(listener.Port()), {}, {}});
            url = QStringLiteral("http://tessaly.invalid") + QLatin1String(c.Path);
            break;
    }
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        // Long enough after the last block for the transfer to be waiting.
        if (++ticks == 10)
            Downloader.Cancel();
    });
    ticker.start(20);

    EXPECT_FALSE(Fetch(url));
    EXPECT_EQ(Outcome, TDownloadOutcome::Cancelled);
    EXPECT_GE(ticks, 10);
    EXPECT_EQ(Downloader.LastFailure().Kind, TDownloadFailureKind::Cancelled);
    EXPECT_EQ(!Log.Calls.empty(), c.BlocksFirst);
    ExpectNothingChanged(false);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloaderWait,
    testing::Values(TWaitCase{"ServerNeverAnswers", TSilence::Server, "/hang", false},
                    TWaitCase{"ServerStallsAfterSomeBlocks", TSilence::Server, "/stall/50000", true},
                    TWaitCase{"ConnectionNeverAnswered", TSilence::Listener, "/file/10", false},
                    TWaitCase{"SecureHandshakeNeverAnswered", TSilence::TlsListener, "/file/10", false},
                    TWaitCase{"ProxyNeverAnswers", TSilence::ProxyListener, "/file/10", false}),
    [](const testing::TestParamInfo<TWaitCase>& row) { return std::string(row.param.Name); });

// --- A checksum stated by the server -----------------------------------------------

struct TChecksumCase {
    const char* Name;
    const char* Digest;  // the server's digest= parameter
    bool Completes;      // else it fails as Damaged
};

void PrintTo(const TChecksumCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderChecksum : public DownloaderTest,
                           public testing::WithParamInterface<std::tuple<TChecksumCase, bool>> {};

TEST_P(DownloaderChecksum, OnlyAFileThatMatchesTakesTheTargetsPlace) {
    const auto& [c, hadOldFile] = GetParam();
    if (hadOldFile)
        PutOldFile();
    constexpr qsizetype Size = 200000;

    const bool completed =
        Fetch(Server->Url(QStringLiteral("/file/%1?digest=%2").arg(Size).arg(QLatin1String(c.Digest))));

    EXPECT_EQ(completed, c.Completes);
    if (c.Completes) {
        EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(Size));
        EXPECT_EQ(Entries(), QStringList{TargetName});
        return;
    }
    EXPECT_EQ(Outcome, TDownloadOutcome::Failed);
    EXPECT_EQ(Downloader.LastFailure().Kind, TDownloadFailureKind::Damaged);
    EXPECT_EQ(Downloader.LastFailure().Received, static_cast<quint64>(Size));
    ExpectNothingChanged(hadOldFile);
    // Nothing is kept to continue: trying again fetches the whole file.
    Server->TakeRequests();
    EXPECT_FALSE(
        Fetch(Server->Url(QStringLiteral("/file/%1?digest=%2").arg(Size).arg(QLatin1String(c.Digest)))));
    const std::optional<TRecordedRequest> retry = LastRequest();
    ASSERT_TRUE(retry);
    EXPECT_TRUE(retry->Range.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DownloaderChecksum,
    testing::Combine(
        testing::Values(TChecksumCase{"ReprDigestMatches", "repr", true},
                        TChecksumCase{"DigestMatches", "legacy", true},
                        TChecksumCase{"ReprDigestDiffers", "repr-wrong", false},
                        TChecksumCase{"DigestDiffers", "legacy-wrong", false},
                        // No statement that can be checked: as without one.
                        TChecksumCase{"ReprDigestCutShort", "repr-malformed", true},
                        TChecksumCase{"DigestInHex", "legacy-malformed", true},
                        TChecksumCase{"ReprDigestOfAnotherAlgorithm", "repr-other", true},
                        TChecksumCase{"DigestOfAnotherAlgorithm", "legacy-other", true},
                        TChecksumCase{"Sha3OfOtherBytesIsNoStatement", "repr-sha3", true},
                        TChecksumCase{"OnlyTheLastByteDiffers", "repr-lastbyte", false},
                        // Every line of a header counts, and every SHA-256 stated.
                        TChecksumCase{"ReprDigestOnASecondLine", "repr-other,repr-wrong", false},
                        TChecksumCase{"DigestOnASecondLine", "legacy-other,legacy-wrong", false},
                        TChecksumCase{"RightReprDigestBesideAWrongDigest", "repr,legacy-wrong", false},
                        TChecksumCase{"ReprDigestNamingItTwiceMeansTheLast", "repr-twice", true}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<TChecksumCase, bool>>& row) {
        return WithOldFile(std::get<0>(row.param).Name, std::get<1>(row.param));
    });

// A server that sends the rest of a new version of the same size under the old
// validators: only the checksum tells the splice from the file.
TEST_F(DownloaderResume, SpliceOfTwoVersionsIsCaughtByTheChecksumAndTryingAgainStartsOver) {
    PutOldFile();
    const QString url = Server->Url(
        QStringLiteral("/file/%1?cut=%2&later=%1&ifrange=ignore&digest=repr").arg(ResumeSize).arg(ResumeCut));
    ASSERT_FALSE(Fetch(url));
    ASSERT_EQ(Downloader.LastFailure().Kind, TDownloadFailureKind::Interrupted);

    EXPECT_FALSE(Fetch(url));
    EXPECT_EQ(Downloader.LastFailure().Kind, TDownloadFailureKind::Damaged);
    ExpectNothingChanged(true);

    Server->TakeRequests();
    ASSERT_TRUE(Fetch(url));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(ResumeSize + 7).mid(7))
        << "the new version";
    const std::vector<TRecordedRequest> requests = Server->TakeRequests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests.front().Range.isEmpty());
}

// A 206 whose body runs past the range it announced: nothing of it is kept, no count
// reads more than the whole, and the next attempt asks for the whole file.
TEST_F(DownloaderResume, ARangeThatRunsLongFailsAndKeepsNothing) {
    const QString url =
        Server->Url(QStringLiteral("/file/%1?cut=%2&extra=50000").arg(ResumeSize).arg(ResumeCut));
    ASSERT_FALSE(Fetch(url));
    Log.Calls.clear();

    EXPECT_FALSE(Fetch(url));
    EXPECT_EQ(Downloader.LastFailure().Kind, TDownloadFailureKind::MoreThanAnnounced);
    EXPECT_LE(Downloader.LastFailure().Received, static_cast<quint64>(ResumeSize));
    ASSERT_FALSE(Log.Calls.empty());
    EXPECT_LE(Log.Calls.back().Received, static_cast<quint32>(ResumeSize));
    ExpectNothingChanged(false);
    Server->TakeRequests();
    ASSERT_TRUE(Fetch(url));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(ResumeSize));
    const std::optional<TRecordedRequest> retry = LastRequest();
    ASSERT_TRUE(retry);
    EXPECT_TRUE(retry->Range.isEmpty());
}

// --- The installer's signature -----------------------------------------------------

struct TSignatureCase {
    const char* Name;
    const char* File;           // one of SignedInstallers()
    TDownloadFailureKind Kind;  // with the publisher set
    bool Verified;
};

void PrintTo(const TSignatureCase& c, std::ostream* os) {
    *os << c.Name;
}

class DownloaderSignature : public DownloaderTest,
                            public testing::WithParamInterface<std::tuple<TSignatureCase, bool>> {};

// On Linux the test authority is trusted as https trusts it; under Wine the machine's
// store trusts it already.
TEST_P(DownloaderSignature, OnlyAnAcceptedInstallerReplacesTheOneThere) {
    const auto& [c, checked] = GetParam();
    const QString folder = SignedInstallers();
    ASSERT_FALSE(folder.isEmpty());
    const TScopedEnv file("SSL_CERT_FILE", QFile::encodeName(folder + u"/authority.pem"_s));
    const TScopedEnv noFolder("SSL_CERT_DIR", QByteArray());
    QFile served(folder + u'/' + QLatin1String(c.File));
    ASSERT_TRUE(served.open(QIODevice::ReadOnly));
    PutOldFile();
    if (checked)
        Downloader.SetPublisher(u"Kestrelweave"_s);

    const TDownloadFailureKind kind = checked ? c.Kind : TDownloadFailureKind::None;
    const QByteArray from = QUrl::toPercentEncoding(folder);
    const TLogCapture logged;
    EXPECT_EQ(Fetch(Server->Url(u"/download/%1?from=%2"_s.arg(QLatin1String(c.File), QLatin1String(from)))),
              kind == TDownloadFailureKind::None);
    EXPECT_EQ(Outcome,
              kind == TDownloadFailureKind::None ? TDownloadOutcome::Completed : TDownloadOutcome::Failed);
    const TDownloadFailure& failure = Downloader.LastFailure();
    EXPECT_EQ(failure.Kind, kind);
    EXPECT_EQ(Downloader.Verified(), checked && c.Verified);
    if (kind == TDownloadFailureKind::SignedByOther) {
        EXPECT_EQ(failure.Signer, u"Someone Else"_s);
        EXPECT_EQ(failure.Publisher, u"Kestrelweave"_s);
    }
    // A refusal is logged with the verdict.
    EXPECT_EQ(logged.Lines("kw.signature", u"refused"_s).size(), kind == TDownloadFailureKind::None ? 0 : 1);
    if (kind != TDownloadFailureKind::None) {
        ExpectNothingChanged(true);
        return;
    }
    EXPECT_TRUE(Folder.Read(TargetName) == served.readAll()) << "the served installer";
    EXPECT_EQ(Entries(), QStringList{TargetName});
}

// Without a publisher the download is no installer's: nothing is checked.
INSTANTIATE_TEST_SUITE_P(
    Table, DownloaderSignature,
    testing::Combine(
        testing::Values(TSignatureCase{"ByTheMaker", "maker.exe", TDownloadFailureKind::None, true},
                        TSignatureCase{"BySomeoneElse", "other.exe", TDownloadFailureKind::SignedByOther,
                                       false},
                        TSignatureCase{"ChangedAfterSigning", "tampered.exe",
                                       TDownloadFailureKind::SignatureBroken, false},
                        TSignatureCase{"UnderAnUnknownAuthority", "untrusted.exe",
                                       TDownloadFailureKind::SignatureUntrusted, false},
                        TSignatureCase{"Unsigned", "unsigned.exe", TDownloadFailureKind::None, false}),
        testing::Bool()),
    [](const testing::TestParamInfo<std::tuple<TSignatureCase, bool>>& row) {
        return std::string(std::get<0>(row.param).Name) +
               (std::get<1>(row.param) ? "_ForKestrelweave" : "_NoPublisher");
    });

// --- Partial files left behind -------------------------------------------------------

TEST_F(DownloaderResume, PartialFilesThatNoDownloadHoldsAreRemovedByTheNextDownloadOfTheirFile) {
    const QString abandoned = TargetName + QStringLiteral(".AbcDef.part");
    const QString otherInstaller = QStringLiteral("other.exe.ZzqqYy.part");
    // Only names the program makes: the target's exactly, then six letters.
    const QStringList unrelated = {
        QStringLiteral("setup.exe.notes"),        QStringLiteral("setup.exe.part"),
        QStringLiteral("setup.exe.toolong.part"), QStringLiteral("SETUP.EXE.QrsTuv.part"),
        QStringLiteral("setup.exe.ab12cd.part"),  QStringLiteral("old.setup.exe.AbcDef.part")};
    for (const QString& name : QStringList{abandoned, otherInstaller} + unrelated)
        Folder.Write(name, "left behind");
    // A download of the same file under way in another process.
    THoldingProcess other(Folder.FilePath(TargetName + QStringLiteral(".XyzWvu.part")));
    ASSERT_TRUE(other.Holding());

    ASSERT_TRUE(Fetch(Server->Url(QStringLiteral("/file/3000"))));

    QStringList expected =
        QStringList{TargetName, otherInstaller, TargetName + QStringLiteral(".XyzWvu.part")} + unrelated;
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(Entries(), expected);

    // Once that process is gone, its file is abandoned too.
    other.Kill();
    TPartialFile::RemoveAbandoned(Folder.Path(), {TargetName, QStringLiteral("other.exe")});
    expected.removeAll(TargetName + QStringLiteral(".XyzWvu.part"));
    expected.removeAll(otherInstaller);
    EXPECT_EQ(Entries(), expected);
}

TEST_F(DownloaderResume, AKeptPartialFileIsHeldUntilTheDownloaderGoes) {
    const QString url = Server->Url(QStringLiteral("/file/%1?cut=%2&k=held").arg(ResumeSize).arg(ResumeCut));
    ASSERT_FALSE(Fetch(url));
    ASSERT_EQ(PartialFiles().size(), 1);

    // Another download of the same installer, and a cleaning as at the next start.
    TDownloader second;
    ASSERT_EQ(second.Download(Server->Url(QStringLiteral("/file/10")), Target()),
              TDownloadOutcome::Completed);
    TPartialFile::RemoveAbandoned(Folder.Path(), {TargetName});
    EXPECT_EQ(PartialFiles().size(), 1) << "the first download's part is still its own";

    ASSERT_TRUE(Fetch(url)) << "and it continues it";
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(ResumeSize));
    EXPECT_EQ(Entries(), QStringList{TargetName});
}

// A handler that runs while the download waits cannot start another one over the
// state the first one holds; the first goes on to its end, and the downloader takes
// the next one after it.
TEST_F(DownloaderTest, ADownloadStartedWhileOneRunsIsRefusedAndTheFirstGoesOn) {
    QStringList refusals;
    Log.During = [&] {
        try {
            Downloader.Download(Server->Url(QStringLiteral("/file/10")),
                                Folder.FilePath(QStringLiteral("other")));
            refusals << QStringLiteral("(started)");
        } catch (const EInvalidOperation& error) {
            refusals << error.Message();
        }
    };
    PutOldFile();
    EXPECT_TRUE(Fetch(Server->Url(QStringLiteral("/file/5000"))));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(5000));
    ASSERT_EQ(refusals.size(), static_cast<qsizetype>(Log.Calls.size()));
    EXPECT_EQ(refusals.first(),
              QStringLiteral("A download is already under way; it must end before another starts."));
    EXPECT_FALSE(QFile::exists(Folder.FilePath(QStringLiteral("other"))));
    Log.During = nullptr;
    EXPECT_TRUE(Fetch(Server->Url(QStringLiteral("/file/300"))));
}

TEST_F(DownloaderTest, CancelBeforeDownloadIsForgottenByIt) {
    Downloader.Cancel();
    EXPECT_TRUE(Fetch(Server->Url(QStringLiteral("/file/3000"))));
    EXPECT_TRUE(Folder.Read(TargetName) == TTestHttpServer::Pattern(3000));
}

}  // namespace

#include "TestDownloader.moc"
