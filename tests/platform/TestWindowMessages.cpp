#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QtDBus/QDBusConnection>
#include <QtDBus/QDBusConnectionInterface>
#include <QtDBus/QDBusMessage>

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/WindowMessages.h"

namespace {

const QString Path = QStringLiteral("/org/kestrelweave/WindowMessages");
const QString Interface = QStringLiteral("org.kestrelweave.WindowMessages");

// Runs the event loop until `done` holds; the bound only keeps a lost signal from hanging
// the suite.
bool WaitUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

// A round trip to the bus: everything we sent before, match rules included, has been
// handled by the bus when it returns, and every signal routed to us before the reply
// has been read.
void SyncWithBus() {
    QDBusConnection::sessionBus().interface()->call(QStringLiteral("GetId"));
    QCoreApplication::processEvents();
}

bool DBusSend(const QStringList& arguments) {
    QProcess send;
    send.start(QStringLiteral("dbus-send"),
               QStringList{QStringLiteral("--session"), QStringLiteral("--type=signal"), Path,
                           Interface + QStringLiteral(".Broadcast")} +
                   arguments);
    return send.waitForFinished(60000) && send.exitStatus() == QProcess::NormalExit && send.exitCode() == 0;
}

class WindowMessagesTest : public testing::Test {
protected:
    void SetUp() override {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    }
    void TearDown() override { SystemWindowMessages().Listen(nullptr); }

    void Listen() {
        ASSERT_TRUE(SystemWindowMessages().Listen([this](unsigned id) { FReceived.push_back(id); }));
        SyncWithBus();
    }
    bool Received(unsigned id) const {
        return std::find(FReceived.begin(), FReceived.end(), id) != FReceived.end();
    }

    std::vector<unsigned> FReceived;
};

TEST(WindowMessageIds, StableCaseInsensitiveAndInTheRegisteredRange) {
    IWindowMessages& messages = SystemWindowMessages();
    const unsigned installed = messages.RegisterWindowMessage(QStringLiteral("KWAPPINSTALLED"));
    const unsigned other = messages.RegisterWindowMessage(QStringLiteral("KWOTHERMESSAGE"));
    EXPECT_GE(installed, 0xC000u);
    EXPECT_LE(installed, 0xFFFFu);
    EXPECT_GE(other, 0xC000u);
    EXPECT_NE(installed, other);
    EXPECT_EQ(messages.RegisterWindowMessage(QStringLiteral("kwAppInstalled")), installed);
    EXPECT_EQ(messages.RegisterWindowMessage(QStringLiteral("KWAPPINSTALLED")), installed);
    EXPECT_EQ(messages.RegisterWindowMessage(QString()), 0u);
}

TEST_F(WindowMessagesTest, BroadcastFromAnotherProgramReachesTheHandler) {
    Listen();
    const unsigned id = SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWAPPINSTALLED"));
    ASSERT_TRUE(DBusSend({QStringLiteral("string:KWAPPINSTALLED")}));
    EXPECT_TRUE(WaitUntil([&] { return Received(id); }));
}

TEST_F(WindowMessagesTest, UnknownNameIsRegisteredOnArrival) {
    Listen();
    const QString name = QStringLiteral("KWNEVERSEENBEFORE");
    ASSERT_TRUE(DBusSend({QStringLiteral("string:") + name}));
    ASSERT_TRUE(WaitUntil([&] { return !FReceived.empty(); }));
    EXPECT_EQ(FReceived.front(), SystemWindowMessages().RegisterWindowMessage(name.toLower()));
}

TEST_F(WindowMessagesTest, OwnBroadcastArrivesToo) {
    Listen();
    const unsigned id = SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWSELFPOSTED"));
    ASSERT_TRUE(SystemWindowMessages().Broadcast(QStringLiteral("KWSELFPOSTED")));
    EXPECT_TRUE(WaitUntil([&] { return Received(id); }));
}

// Signals that only look like a broadcast are sent from one connection of our own, then a
// real one; the bus keeps one sender's messages in order, so once the real one has arrived
// the others would have too.
TEST_F(WindowMessagesTest, SignalsThatAreNotABroadcastAreIgnored) {
    Listen();
    QDBusConnection sender =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("kw-sender"));
    ASSERT_TRUE(sender.isConnected());
    const auto signal = [](const QString& path, const QString& interface, const QString& member,
                           const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createSignal(path, interface, member);
        message.setArguments(arguments);
        return message;
    };
    const QString name = QStringLiteral("KWNOTABROADCAST");
    const QDBusMessage fakes[] = {
        signal(Path, Interface, QStringLiteral("Broadcast"), {}),
        signal(Path, Interface, QStringLiteral("Broadcast"), {QVariant(42)}),
        signal(Path, Interface, QStringLiteral("Broadcast"), {QVariant(QByteArray("KWNOTABROADCAST"))}),
        signal(Path, Interface, QStringLiteral("Broadcast"), {name, name}),
        signal(Path, Interface, QStringLiteral("Other"), {name}),
        signal(QStringLiteral("/org/kestrelweave/Other"), Interface, QStringLiteral("Broadcast"), {name}),
        signal(Path, QStringLiteral("org.kestrelweave.Other"), QStringLiteral("Broadcast"), {name}),
        signal(Path, Interface, QStringLiteral("Broadcast"), {QString()}),
    };
    for (const QDBusMessage& fake : fakes)
        ASSERT_TRUE(sender.send(fake));
    const unsigned real = SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWREALBROADCAST"));
    ASSERT_TRUE(sender.send(
        signal(Path, Interface, QStringLiteral("Broadcast"), {QStringLiteral("KWREALBROADCAST")})));
    ASSERT_TRUE(WaitUntil([&] { return Received(real); }));
    EXPECT_EQ(FReceived, std::vector<unsigned>{real});
    QDBusConnection::disconnectFromBus(QStringLiteral("kw-sender"));
}

TEST_F(WindowMessagesTest, EmptyHandlerStopsDelivery) {
    bool oldHandlerRan = false;
    ASSERT_TRUE(SystemWindowMessages().Listen([&](unsigned) { oldHandlerRan = true; }));
    ASSERT_TRUE(SystemWindowMessages().Listen(nullptr));
    ASSERT_TRUE(DBusSend({QStringLiteral("string:KWWHILEDEAF")}));
    SyncWithBus();

    Listen();
    const unsigned later = SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWAFTERWARDS"));
    ASSERT_TRUE(DBusSend({QStringLiteral("string:KWAFTERWARDS")}));
    ASSERT_TRUE(WaitUntil([&] { return Received(later); }));
    EXPECT_FALSE(oldHandlerRan);
    EXPECT_EQ(FReceived, std::vector<unsigned>{later});
}

TEST_F(WindowMessagesTest, HandlerMayStopListeningWhileItRuns) {
    int calls = 0;
    ASSERT_TRUE(SystemWindowMessages().Listen([&](unsigned) {
        ++calls;
        SystemWindowMessages().Listen(nullptr);
    }));
    SyncWithBus();
    ASSERT_TRUE(SystemWindowMessages().Broadcast(QStringLiteral("KWSTOPME")));
    ASSERT_TRUE(WaitUntil([&] { return calls > 0; }));
    ASSERT_TRUE(SystemWindowMessages().Broadcast(QStringLiteral("KWSTOPME")));
    SyncWithBus();
    EXPECT_EQ(calls, 1);
}

}  // namespace

// ---- Exit ----------------------------------------------------------------------------

// Run on its own in a child process (below): the first use of the window messages comes
// before the first use of the bus, as in the program.
TEST(WindowMessagesChild, ListensStopsAndReturns) {
    if (!qEnvironmentVariableIsSet("KW_WINDOW_MESSAGES_CHILD"))
        GTEST_SKIP() << "runs in a child process of WindowMessagesExit";
    ASSERT_TRUE(SystemWindowMessages().Listen([](unsigned) {}));
    ASSERT_TRUE(SystemWindowMessages().Listen(nullptr));
}

TEST(WindowMessagesExit, AProcessThatListenedEndsWhenItReturns) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus (run under dbus-run-session)";
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KW_WINDOW_MESSAGES_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=WindowMessagesChild.*")});
    const bool ended = child.waitForFinished(60000);
    if (!ended)
        child.kill();
    ASSERT_TRUE(ended) << "the child hung at exit";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0);
}
