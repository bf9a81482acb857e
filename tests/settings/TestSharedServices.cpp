#include "settings/SharedServices.h"

#include "core/Exception.h"
#include "tests/support/AppFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ShellRecorder.h"
#include "toolkit/TApplication.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace {

struct TEncodeCase {
    const char* Name;
    QString Input;
    QString Expected;
};

class EncodeMailLinkTest : public testing::TestWithParam<TEncodeCase> {};

TEST_P(EncodeMailLinkTest, EncodesSpacesAndLineFeedsOnly) {
    EXPECT_EQ(EncodeMailLink(GetParam().Input).toStdString(), GetParam().Expected.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeMailLinkTest,
    testing::Values(
        TEncodeCase{"Empty", QString(), QString()},
        TEncodeCase{"OnlySpaces", QStringLiteral("   "), QStringLiteral("%20%20%20")},
        TEncodeCase{"SpaceBeforeLineFeed", QStringLiteral("a \nb"), QStringLiteral("a%20%0d%0ab")},
        TEncodeCase{"CarriageReturnKept", QStringLiteral("a\r\nb"), QStringLiteral("a\r%0d%0ab")},
        TEncodeCase{"PercentAlreadyEncoded", QStringLiteral("a%20b"), QStringLiteral("a%20b")},
        TEncodeCase{"ReservedCharactersKept", QStringLiteral("?a=b&c#d"), QStringLiteral("?a=b&c#d")},
        TEncodeCase{"NonAsciiKept", QStringLiteral("Grüße привет"), QStringLiteral("Grüße%20привет")},
        TEncodeCase{"LineFeedsInARow", QStringLiteral("\n\n\n"), QStringLiteral("%0d%0a%0d%0a%0d%0a")}),
    [](const testing::TestParamInfo<TEncodeCase>& row) { return std::string(row.param.Name); });

TEST(SupportMailLinkTest, EncodesTheWholeLinkWithTheFixedBody) {
    EXPECT_EQ(SupportMailLink(QStringLiteral("Tessaly Manager 1.0.0.1")).toStdString(),
              "mailto:support@kestrelweave.com?Subject=Tessaly%20Manager%201.0.0.1"
              "&body=Hello%20Kestrelweave%20Support%0d%0a%0d%0a%0d%0aBest%20regards");
}

// The home folder as each case sets it up, and the maker folder expected back.
struct TMakerCase {
    const char* Name;
    std::function<QString(const TTempFolder&)> Home;  // the value of HOME
    std::function<QString(const QString& home)> Expected;
    bool NeedsUnprivileged = false;
};

QString Maker(const QString& home) {
    return QDir::cleanPath(home) + QStringLiteral("/Kestrelweave/");
}
QString Root(const QString& home) {
    return QDir::cleanPath(home) + QLatin1Char('/');
}

class MakerFolderTest : public testing::TestWithParam<TMakerCase> {};

TEST_P(MakerFolderTest, CreatesTheFolderOrFallsBackToTheHome) {
    if (GetParam().NeedsUnprivileged && ::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the superuser";
    TTempFolder folder;
    const QString home = GetParam().Home(folder);
    TScopedEnv env("HOME", QFile::encodeName(home));
    const QString expected = GetParam().Expected(home);
    EXPECT_EQ(GetMakerFolder().toStdString(), expected.toStdString());
    EXPECT_TRUE(QDir(expected).exists());
    // Created on every call: gone since, made again.
    if (expected.endsWith(QStringLiteral("Kestrelweave/"))) {
        QDir(expected).removeRecursively();
        EXPECT_EQ(GetMakerFolder().toStdString(), expected.toStdString());
        EXPECT_TRUE(QDir(expected).exists());
    }
    QFile::setPermissions(folder.Path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::setPermissions(home, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

INSTANTIATE_TEST_SUITE_P(
    Homes, MakerFolderTest,
    testing::Values(
        TMakerCase{"Writable", [](const TTempFolder& f) { return f.Path(); }, Maker},
        TMakerCase{"TrailingSlash", [](const TTempFolder& f) { return f.Path() + QLatin1Char('/'); }, Maker},
        TMakerCase{"MissingHomeIsCreated",
                   [](const TTempFolder& f) { return f.FilePath(QStringLiteral("gone/home")); }, Maker},
        TMakerCase{"ReadOnlyHome",
                   [](const TTempFolder& f) {
                       QFile::setPermissions(f.Path(), QFile::ReadOwner | QFile::ExeOwner);
                       return f.Path();
                   },
                   Root, true},
        TMakerCase{"MakerNameTakenByAFile",
                   [](const TTempFolder& f) {
                       f.Write(QStringLiteral("Kestrelweave"), "not a folder");
                       return f.Path();
                   },
                   Root}),
    [](const testing::TestParamInfo<TMakerCase>& row) { return std::string(row.param.Name); });

constexpr uid_t kNobody = 65534;

// Without HOME (unset or empty) the maker folder lies below the home that the user
// database gives, never at the file system's root. Run as nobody in a child, so the
// real user's home stays untouched: nobody's home usually does not exist, and then the
// maker folder falls back to that home, as it would to any home it cannot write.
TEST(MakerFolderWithoutHome, FollowsTheUserDatabase) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as a user whose home may be touched";
    for (const bool unset : {true, false}) {
        SCOPED_TRACE(unset ? "HOME unset" : "HOME empty");
        const int code = RunInChild([unset] {
            if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
                return 10;
            if (unset)
                ::unsetenv("HOME");
            else
                ::setenv("HOME", "", 1);
            const passwd* user = ::getpwuid(::getuid());
            if (!user || !user->pw_dir || !*user->pw_dir)
                return 11;
            const QString home = QFile::decodeName(user->pw_dir);
            const QString folder = GetMakerFolder();
            if (folder == QStringLiteral("/") || folder.startsWith(QStringLiteral("/Kestrelweave")))
                return 1;
            return folder == Maker(home) || folder == Root(home) ? 0 : 2;
        });
        EXPECT_EQ(code, 0) << "1: the root, 2: not below the user database's home";
    }
}

class OpenNamedLinkTest : public TAppFixture {
protected:
    TShellRecorder FShell;
};

struct TLinkCase {
    const char* Name;
    QString Hive;  // the Links key's body, or null for no key at all
    QStringList Opened;
};

class OpenNamedLinkCases : public OpenNamedLinkTest, public testing::WithParamInterface<TLinkCase> {};

TEST_P(OpenNamedLinkCases, OpensTheValueReadAfresh) {
    QString hive;
    if (!GetParam().Hive.isNull())
        hive += QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\n") + GetParam().Hive;
    WriteMachineHive(hive);
    OpenNamedLink(QStringLiteral("Subscription"));
    std::vector<QStringList> expected;
    if (!GetParam().Opened.isEmpty())
        expected.push_back(GetParam().Opened);
    EXPECT_EQ(FShell.CallsSettled(expected.size()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, OpenNamedLinkCases,
    testing::Values(TLinkCase{"Configured",
                              QStringLiteral("\"Subscription\"=\"http://news.example/join\"\n"),
                              {QStringLiteral("http://news.example/join")}},
                    TLinkCase{"MissingValue",
                              QStringLiteral("\"Converter\"=\"http://x.example\"\n"),
                              {QStringLiteral("https://www.kestrelweave.com")}},
                    TLinkCase{"MissingKey", QString(), {QStringLiteral("https://www.kestrelweave.com")}},
                    TLinkCase{"EmptyValueOpensNothing", QStringLiteral("\"Subscription\"=\"\"\n"), {}}),
    [](const testing::TestParamInfo<TLinkCase>& row) { return std::string(row.param.Name); });

TEST_F(OpenNamedLinkTest, WrongTypeRaisesAndOpensNothing) {
    WriteMachineHive(
        QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\n"
                       "\"Subscription\"=dword:00000001\n"));
    EXPECT_THROW(OpenNamedLink(QStringLiteral("Subscription")), ERegistryException);
    EXPECT_TRUE(FShell.CallsSettled().empty());
}

}  // namespace
