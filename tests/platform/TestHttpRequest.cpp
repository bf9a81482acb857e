// A request as the platform makes it, over the system's transport (curl on Linux,
// WinInet in the Windows suite under Wine), against the same test server: what the
// downloader relies on, below it. The Windows suite finds the servers that
// tests/win32/run-under-wine.py --servers starts.

#include "platform/Http.h"
#include "platform/HttpTransfer.h"
#include "tests/support/NetworkEnvironment.h"
#include "tests/support/TestHttpServer.h"

#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <dlfcn.h>
#include <netdb.h>
#endif

namespace {

// A server name whose look-up takes seconds, as when the name server does not answer;
// empty where no look-up can be slowed down.
#ifndef _WIN32
constexpr char SlowName[] = "name-server-asleep.invalid";
#else
constexpr char SlowName[] = "";
#endif
// How many look-ups of it have begun.
std::atomic<int> SlowLookups = 0;

}  // namespace

#ifndef _WIN32
// The system's look-up, for every library of this program (the executable exports it,
// see tests/CMakeLists.txt), with SlowName taking seconds before it fails.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (node && std::strcmp(node, SlowName) == 0) {
        ++SlowLookups;
        std::this_thread::sleep_for(std::chrono::seconds(4));
        return EAI_AGAIN;
    }
    using TLookUp = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<TLookUp>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, result);
}
#endif

namespace {

class HttpRequest : public testing::Test {
protected:
    static void SetUpTestSuite() { Server = std::make_unique<TTestHttpServer>(); }
    static void TearDownTestSuite() { Server.reset(); }
    void SetUp() override {
        if (!Server->Started())
            GTEST_SKIP() << Server->Error().toStdString();
    }

    // A GET of `path` from the test server (or the server `host` names, on its port);
    // null when the platform refuses to make one.
    std::unique_ptr<IHttpRequest> Open(const QString& path,
                                       const QString& host = QStringLiteral("127.0.0.1")) {
        FSession = InternetOpen(QStringLiteral("Test"));
        if (!FSession)
            return nullptr;
        FConnection = FSession->Connect(host, Server->Port(), TInternetScheme::Http);
        return FConnection ? FConnection->OpenRequest(QStringLiteral("GET"), path) : nullptr;
    }

    // Reads the body in the downloader's blocks; false with what came when it broke off.
    static bool ReadAll(IHttpRequest& request, QByteArray& body) {
        char block[1023];
        for (;;) {
            std::uint32_t read = 0;
            if (!request.ReadFile(block, sizeof block, read))
                return false;
            if (read == 0)
                return true;
            body.append(block, read);
        }
    }

    static std::unique_ptr<TTestHttpServer> Server;
    TNetworkEnvironment FEnvironment;
    std::unique_ptr<IInternetSession> FSession;
    std::unique_ptr<IInternetConnection> FConnection;
};

std::unique_ptr<TTestHttpServer> HttpRequest::Server;

struct TAnswerRow {
    const char* Name;
    const char* Path;
    std::uint32_t Status;
    const char* StatusText;
    qint64 ContentLength;  // -1: none, or not checked
    qsizetype Body;        // bytes of the pattern that arrive; -1: not checked
    TInternetError Error;  // after the body: None when it arrived whole
    // What the transport must tell for the row to be asked of it.
    std::optional<TTransportLimit> Needs = std::nullopt;
};

void PrintTo(const TAnswerRow& row, std::ostream* out) {
    *out << row.Name;
}

const TAnswerRow kAnswers[] = {
    {"Whole", "/file/5000", 200, "OK", 5000, 5000, TInternetError::None},
    {"Empty", "/file/0", 200, "OK", 0, 0, TInternetError::None},
    {"LargerThanTheBuffer", "/file/3000000", 200, "OK", 3000000, 3000000, TInternetError::None},
    {"ChunkedWithoutLength", "/chunked/70000", 200, "OK", -1, 70000, TInternetError::None},
    {"RedirectedTwice", "/redirect/redirect/file/10", 200, "OK", 10, 10, TInternetError::None},
    {"NotFound", "/status/404", 404, "Not Found", -1, -1, TInternetError::None},
    {"ClosedHalfWay", "/close-mid/200000", 200, "OK", 200000, 100000, TInternetError::ConnectionBroken},
    {"OneByteShort", "/short/1000", 200, "OK", 1000, 999, TInternetError::ConnectionBroken},
    {"ChunkedCut", "/chunked-cut/80000", 200, "OK", -1, -1, TInternetError::ConnectionBroken,
     TTransportLimit::ChunkedBodyCut},
};

class HttpRequestAnswer : public HttpRequest, public testing::WithParamInterface<TAnswerRow> {};

TEST_P(HttpRequestAnswer, StatusHeadersAndBodyAsTheServerSentThem) {
    const TAnswerRow& row = GetParam();
    if (row.Needs && !WhyTransportCannot(*row.Needs).isEmpty())
        GTEST_SKIP() << WhyTransportCannot(*row.Needs).toStdString();
    const std::unique_ptr<IHttpRequest> request = Open(QLatin1String(row.Path));
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(request->Send()) << int(request->Failure().Error);
    std::uint32_t status = 0;
    ASSERT_TRUE(request->QueryStatusCode(status));
    EXPECT_EQ(status, row.Status);
    QString text;
    EXPECT_TRUE(request->QueryStatusText(text));
    EXPECT_EQ(text, QLatin1String(row.StatusText));
    std::uint32_t length = 0;
    if (row.ContentLength >= 0) {
        ASSERT_TRUE(request->QueryContentLength(length));
        EXPECT_EQ(length, row.ContentLength);
    }
    QString type;
    EXPECT_TRUE(request->QueryHeader(QStringLiteral("content-TYPE"), type)) << "any letter case";
    EXPECT_FALSE(request->QueryHeader(QStringLiteral("X-Nobody-Sends-This"), type));

    QByteArray body;
    const bool whole = ReadAll(*request, body);
    EXPECT_EQ(whole, row.Error == TInternetError::None);
    EXPECT_EQ(request->Failure().Error, row.Error);
    if (row.Body >= 0) {
        // What came before a break is handed out first.
        EXPECT_GE(body.size(),
                  row.Error == TInternetError::None ? row.Body : std::min<qsizetype>(row.Body, 1));
        EXPECT_LE(body.size(), row.Body);
        EXPECT_TRUE(body == TTestHttpServer::Pattern(body.size()));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HttpRequestAnswer, testing::ValuesIn(kAnswers),
                         [](const testing::TestParamInfo<TAnswerRow>& row) { return row.param.Name; });

// Header lines go out as given, and a line that would smuggle in another is refused
// before anything is sent.
TEST_F(HttpRequest, HeaderLinesAreCheckedAndSent) {
    std::unique_ptr<IHttpRequest> request = Open(QStringLiteral("/file/3000"));
    ASSERT_NE(request, nullptr);
    for (const char* refused : {"Range", "X-A: 1\r\nX-B", "X-A: 1\nX-B: 2", ": no name"})
        EXPECT_FALSE(request->AddRequestHeaders(QLatin1String(refused))) << refused;
    ASSERT_TRUE(request->AddRequestHeaders(QStringLiteral("Range: bytes=1000-\r\n")));
    ASSERT_TRUE(request->Send());
    std::uint32_t status = 0;
    ASSERT_TRUE(request->QueryStatusCode(status));
    EXPECT_EQ(status, 206u);
    QByteArray body;
    EXPECT_TRUE(ReadAll(*request, body));
    EXPECT_TRUE(body == TTestHttpServer::Pattern(3000).mid(1000));
    EXPECT_FALSE(request->AddRequestHeaders(QStringLiteral("X-Late: 1"))) << "after Send";
    EXPECT_FALSE(request->Send()) << "once only";
}

// A server that never answers keeps Send waiting with the event loop running; Abort
// from a handler that runs meanwhile ends the wait at once.
TEST_F(HttpRequest, AbortEndsAWaitAtOnce) {
    std::unique_ptr<IHttpRequest> request = Open(QStringLiteral("/hang"));
    ASSERT_NE(request, nullptr);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 10)
            request->Abort();
    });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(request->Send());
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_GE(ticks, 10) << "the event loop ran while Send waited";
    EXPECT_EQ(request->Failure().Error, TInternetError::Aborted);
    std::uint32_t read = 0;
    char byte = 0;
    EXPECT_FALSE(request->ReadFile(&byte, 1, read));
}

// Abort between two blocks of a body: nothing more is handed out, however much of it
// has arrived and waits.
TEST_F(HttpRequest, AbortDuringTheBodyStopsHandingItOut) {
    std::unique_ptr<IHttpRequest> request = Open(QStringLiteral("/file/300000"));
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(request->Send());
    char block[1023];
    std::uint32_t read = 0;
    ASSERT_TRUE(request->ReadFile(block, sizeof block, read));
    ASSERT_EQ(read, sizeof block);
    request->Abort();
    EXPECT_FALSE(request->ReadFile(block, sizeof block, read));
    EXPECT_EQ(read, 0u);
    EXPECT_EQ(request->Failure().Error, TInternetError::Aborted);
}

// A caller that reads slowly holds a fast server back, and the body still arrives
// whole: the transport waits for room in the buffer, then goes on.
TEST_F(HttpRequest, ASlowReaderGetsTheWholeBody) {
    // Four times the buffer, so that it fills and drains again and again.
    std::unique_ptr<IHttpRequest> request = Open(QStringLiteral("/file/4000000"));
    ASSERT_NE(request, nullptr);
    ASSERT_TRUE(request->Send());
    QByteArray body;
    char block[1023];
    for (int pause = 0;; ++pause) {
        // Time enough for the transport to fill the buffer and stop.
        if (pause % 500 == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::uint32_t read = 0;
        ASSERT_TRUE(request->ReadFile(block, sizeof block, read));
        if (read == 0)
            break;
        body.append(block, read);
    }
    EXPECT_TRUE(body == TTestHttpServer::Pattern(4000000));
}

// A thread without an event loop (a worker, a command-line tool) waits too.
TEST_F(HttpRequest, AThreadWithoutAnEventLoopWaitsForTheAnswer) {
    std::unique_ptr<IHttpRequest> request = Open(QStringLiteral("/file/300000"));
    ASSERT_NE(request, nullptr);
    bool sent = false, whole = false;
    QByteArray body;
    std::thread worker([&] {
        sent = request->Send();
        whole = sent && ReadAll(*request, body);
    });
    worker.join();
    EXPECT_TRUE(sent);
    EXPECT_TRUE(whole);
    EXPECT_TRUE(body == TTestHttpServer::Pattern(300000));
}

// Who sends and reads.
enum class TCaller {
    ThisThread,      // the test's thread, with its event loop
    Worker,          // a thread without an event loop
    ThreadWithLoop,  // a thread with an event loop of its own, not the one that made the request
};

struct TCallerRow {
    const char* Name;
    TCaller Caller;
    const char* Path;
    std::uint32_t Block;  // asked of each ReadFile
    qsizetype Body;       // the whole body; -1: another thread aborts once a part arrived
    // The server's name when not the test server's address: another thread aborts once
    // its look-up began.
    const char* Host = nullptr;
};

const TCallerRow kCallers[] = {
    // One read drains the buffer and waits for more, while the transport waits for the
    // room that read made.
    {"OneReadLargerThanTheBuffer", TCaller::ThisThread, "/file/3000000", 3000000, 3000000},
    {"OneReadLargerThanTheBufferWithoutAnEventLoop", TCaller::Worker, "/file/3000000", 3000000, 3000000},
    {"AThreadWithAnEventLoopOfItsOwn", TCaller::ThreadWithLoop, "/file/3000000", 1023, 3000000},
    // Half the body comes, then the server stalls: the abort meets a reader that reads
    // or waits.
    {"AbortedByAnotherThreadWithoutAnEventLoop", TCaller::Worker, "/stall/4000000", 1023, -1},
    {"AbortedByAnotherThreadWithAnEventLoop", TCaller::ThreadWithLoop, "/stall/4000000", 1023, -1},
    // The look-up goes on for seconds after the abort; nobody waits for it.
    {"AbortedWhileTheNameIsLookedUp", TCaller::Worker, "/file/10", 1023, -1, SlowName},
};

class HttpRequestCaller : public HttpRequest, public testing::WithParamInterface<TCallerRow> {};

TEST_P(HttpRequestCaller, GetsTheBodyOrTheAbortAtOnce) {
    const TCallerRow& row = GetParam();
    if (row.Host && !*row.Host)
        GTEST_SKIP() << "no stand-in for the system's name look-up here";
    const int lookups = SlowLookups;
    const int threads = RunningTransferThreads();
    std::unique_ptr<IHttpRequest> request =
        Open(QLatin1String(row.Path), row.Host ? QLatin1String(row.Host) : QStringLiteral("127.0.0.1"));
    ASSERT_NE(request, nullptr);
    constexpr int Deadline = 20000;
    std::atomic<qsizetype> received = 0;
    std::atomic<bool> done = false;
    bool whole = false;
    QByteArray body;
    const auto call = [&] {
        // At the deadline a timer of the caller's own thread aborts the request, and
        // wakes its event loop even where the request's wake-ups go astray.
        std::optional<QTimer> guard;
        if (QAbstractEventDispatcher::instance()) {
            QObject::connect(&guard.emplace(), &QTimer::timeout, [&] {
                request->Abort();
                guard->start(50);
            });
            guard->start(Deadline);
        }
        std::vector<char> block(row.Block);
        std::uint32_t read = 0;
        // Time enough for the transport to fill the buffer and wait for room.
        if (request->Send())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        while (request->ReadFile(block.data(), row.Block, read) && !(whole = read == 0)) {
            body.append(block.data(), static_cast<qsizetype>(read));
            received = body.size();
        }
        done = true;
    };
    QElapsedTimer clock;
    clock.start();
    std::thread worker;
    std::unique_ptr<QThread> loop(row.Caller == TCaller::ThreadWithLoop ? QThread::create(call) : nullptr);
    if (loop)
        loop->start();
    else if (row.Caller == TCaller::Worker)
        worker = std::thread(call);
    else
        call();
    // The abort of a row that wants one, and the end of a worker that still waits.
    while (!done) {
        const bool due = row.Host ? SlowLookups > lookups : received >= 100000;
        if (row.Body < 0 ? due : clock.elapsed() > Deadline)
            request->Abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (worker.joinable())
        worker.join();
    if (loop)
        loop->wait();
    EXPECT_LT(clock.elapsed(), Deadline / 2) << "a wait outlasted what it waited for";
    EXPECT_TRUE(body == TTestHttpServer::Pattern(row.Body >= 0 ? row.Body : body.size()));
    EXPECT_EQ(whole, row.Body >= 0);
    EXPECT_EQ(request->Failure().Error, row.Body >= 0 ? TInternetError::None : TInternetError::Aborted);
    // Nor does the caller wait for the network when the request goes.
    clock.restart();
    request.reset();
    EXPECT_LT(clock.elapsed(), 500);
    // A look-up is the one wait that no abort ends at once: the transport must not leave
    // its thread to it.
    if (row.Host) {
        EXPECT_EQ(RunningTransferThreads(), threads) << "its transfer thread was left running";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HttpRequestCaller, testing::ValuesIn(kCallers),
                         [](const testing::TestParamInfo<TCallerRow>& row) { return row.param.Name; });

}  // namespace
