#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QUuid>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

#include "platform/NamedMutex.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr char PeerVariable[] = "KW_NAMED_MUTEX_PEER";

QString UniqueName() {
    return QStringLiteral("KwTest-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

// Another process holding a named mutex: this test program run again with only the peer
// test below selected. It creates the mutex when told "go", reports whether it existed,
// and holds it until its standard input closes.
class TMutexPeer {
public:
    explicit TMutexPeer(const QString& name) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QLatin1String(PeerVariable), name);
        FProcess.setProcessEnvironment(environment);
        FProcess.start(QCoreApplication::applicationFilePath(),
                       {QStringLiteral("--gtest_filter=NamedMutexPeer.*")});
    }
    ~TMutexPeer() {
        FProcess.closeWriteChannel();
        if (!FProcess.waitForFinished(60000))
            FProcess.kill();
        FProcess.waitForFinished(60000);
    }

    bool WaitUntilReady() { return WaitFor("KWPEER ready"); }
    void Go() { FProcess.write("go\n"); }
    std::optional<bool> Existed() {
        if (!WaitFor("KWPEER existed="))
            return std::nullopt;
        const qsizetype at = FOutput.indexOf("KWPEER existed=") + 15;
        return FOutput.mid(at, 1) == "1";
    }
    void Release() {
        FProcess.closeWriteChannel();
        FProcess.waitForFinished(60000);
    }

private:
    bool WaitFor(const QByteArray& token) {
        while (!FOutput.contains(token)) {
            if (!FProcess.waitForReadyRead(60000) && FProcess.bytesAvailable() == 0)
                return false;
            FOutput += FProcess.readAllStandardOutput();
        }
        return true;
    }

    QProcess FProcess;
    QByteArray FOutput;
};

TEST(NamedMutexPeer, HoldsTheMutexForItsParent) {
    const QString name = qEnvironmentVariable(PeerVariable);
    if (name.isEmpty())
        GTEST_SKIP() << "runs only as the peer process of the named mutex tests";
    std::printf("KWPEER ready\n");
    std::fflush(stdout);
    char line[16];
    if (!std::fgets(line, sizeof line, stdin))
        return;
    const std::unique_ptr<INamedMutex> mutex = CreateNamedMutex(name);
    std::printf("KWPEER existed=%d\n", mutex->AlreadyExisted() ? 1 : 0);
    std::fflush(stdout);
    while (std::fgets(line, sizeof line, stdin)) {
    }
}

// Lock files go to a folder of the test's own.
class NamedMutexTest : public testing::Test {
protected:
    TTempFolder FRuntime;
    TScopedEnv FRuntimeVariable{"XDG_RUNTIME_DIR", FRuntime.Path().toUtf8()};
};

TEST_F(NamedMutexTest, ExistsWhileAnyHolderLives) {
    const QString name = UniqueName();
    auto first = CreateNamedMutex(name);
    EXPECT_EQ(first->Name(), name);
    EXPECT_FALSE(first->AlreadyExisted());
    auto second = CreateNamedMutex(name);  // as on Windows, a second handle in one process sees the first
    EXPECT_TRUE(second->AlreadyExisted());
    EXPECT_FALSE(CreateNamedMutex(UniqueName())->AlreadyExisted());

    first.reset();
    EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted());  // the second still holds it
    second.reset();
    EXPECT_FALSE(CreateNamedMutex(name)->AlreadyExisted());
    EXPECT_FALSE(CreateNamedMutex(QString())->AlreadyExisted());
    EXPECT_FALSE(CreateNamedMutex(QString())->AlreadyExisted());
}

TEST_F(NamedMutexTest, AnyNameIsOneFileInTheFolder) {
    const QString names[] = {QStringLiteral("Global\\Tessaly"), QStringLiteral("a/b"), QStringLiteral(".."),
                             QStringLiteral("../escape"), QStringLiteral("T\u00E9ssaly \u2603")};
    std::vector<std::unique_ptr<INamedMutex>> held;
    for (const QString& name : names) {
        held.push_back(CreateNamedMutex(name));
        EXPECT_FALSE(held.back()->AlreadyExisted()) << qPrintable(name);
        EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted()) << qPrintable(name);
    }
    const QStringList entries =
        QDir(FRuntime.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    EXPECT_EQ(entries.size(), std::size(names)) << qPrintable(entries.join(QLatin1Char(' ')));
    for (const QString& entry : entries)
        EXPECT_TRUE(QFileInfo(FRuntime.FilePath(entry)).isFile());
    EXPECT_TRUE(entries.contains(QStringLiteral("Global%5CTessaly.lock")));
}

TEST_F(NamedMutexTest, FallsBackToTheTempFolder) {
    const TTempFolder temp;
    const TScopedEnv tmpdir("TMPDIR", temp.Path().toUtf8());
    const struct {
        const char* Name;
        QByteArray RuntimeDir;
    } rows[] = {
        {"unset", QByteArray()},
        {"relative", "relative/folder"},
        {"missing", FRuntime.FilePath(QStringLiteral("missing")).toUtf8()},
        {"a file", FRuntime.Write(QStringLiteral("file"), "x").toUtf8()},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const TScopedEnv runtime("XDG_RUNTIME_DIR", row.RuntimeDir);
        const QString name = UniqueName();
        const auto held = CreateNamedMutex(name);
        EXPECT_FALSE(held->AlreadyExisted());
        EXPECT_TRUE(QFileInfo::exists(temp.FilePath(name + QStringLiteral(".lock"))));
        EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted());
    }
}

TEST_F(NamedMutexTest, NoUsableFolderStillGivesAMutex) {
    const TScopedEnv runtime("XDG_RUNTIME_DIR", FRuntime.FilePath(QStringLiteral("missing")).toUtf8());
    const TScopedEnv tmpdir("TMPDIR", FRuntime.FilePath(QStringLiteral("missing-too")).toUtf8());
    const auto first = CreateNamedMutex(QStringLiteral("Tessaly"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Name(), QStringLiteral("Tessaly"));
    EXPECT_FALSE(first->AlreadyExisted());
    EXPECT_FALSE(
        CreateNamedMutex(QString(300, QLatin1Char('n')))->AlreadyExisted());  // too long for a file name
}

TEST_F(NamedMutexTest, AnotherProcessHoldsItUntilItExits) {
    const QString name = UniqueName();
    TMutexPeer peer(name);
    ASSERT_TRUE(peer.WaitUntilReady());
    peer.Go();
    ASSERT_EQ(peer.Existed(), false);
    EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted());
    peer.Release();
    EXPECT_FALSE(CreateNamedMutex(name)->AlreadyExisted());
}

TEST_F(NamedMutexTest, OfProgramsStartingTogetherExactlyOneIsFirst) {
    const QString name = UniqueName();
    std::vector<std::unique_ptr<TMutexPeer>> peers;
    for (int i = 0; i < 6; ++i)
        peers.push_back(std::make_unique<TMutexPeer>(name));
    for (const auto& peer : peers)
        ASSERT_TRUE(peer->WaitUntilReady());
    for (const auto& peer : peers)
        peer->Go();
    int first = 0;
    for (const auto& peer : peers) {
        const std::optional<bool> existed = peer->Existed();
        ASSERT_TRUE(existed.has_value());
        first += *existed ? 0 : 1;
    }
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted());
}

TEST_F(NamedMutexTest, ProgramsWeStartDoNotHoldIt) {
    const QString name = UniqueName();
    auto held = CreateNamedMutex(name);
    QProcess child;
    child.start(QStringLiteral("sleep"), {QStringLiteral("600")});
    ASSERT_TRUE(child.waitForStarted(60000));
    held.reset();
    EXPECT_FALSE(CreateNamedMutex(name)->AlreadyExisted());
    child.kill();
    child.waitForFinished(60000);
}

}  // namespace
