// What the registry's change notices see of the hive files: every way a program changes
// them, and nothing of what leaves them as they were.

#include "platform/posix/PosixRegistry.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString KAppPaths = u"SOFTWARE\\Kestrelweave\\AppPaths"_s;
const QByteArray KHive =
    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n";

void SetPath(TRootKey root, const QString& key, const QString& name, const QString& value) {
    std::unique_ptr<IRegistryKey> opened;
    ASSERT_TRUE(SystemRegistry().OpenKey(root, key, KEY_ALL_ACCESS, true, opened).Ok());
    ASSERT_TRUE(opened->SetValue(name, TRegValue::String(value)).Ok());
}

// A new hive renamed into `path`, as writers do.
void RenameInto(const QString& path, const QByteArray& bytes) {
    QFile next(path + u".new"_s);
    ASSERT_TRUE(next.open(QIODevice::WriteOnly));
    next.write(bytes);
    next.close();
    ASSERT_EQ(::rename(QFile::encodeName(next.fileName()), QFile::encodeName(path)), 0);
}

void RenameHive(const QString& folder) {
    RenameInto(folder + u"/machine.reg"_s, KHive);
}

// Another folder with a hive, put in the place of `folder` (a restore, a sync tool);
// the old one stays beside it as "old".
void ReplaceFolder(const QString& folder) {
    const QString base = QFileInfo(folder).path();
    ASSERT_TRUE(QDir(base).mkdir(u"new"_s));
    RenameHive(base + u"/new"_s);
    ASSERT_EQ(::rename(QFile::encodeName(folder), QFile::encodeName(base + u"/old"_s)), 0);
    ASSERT_EQ(::rename(QFile::encodeName(base + u"/new"_s), QFile::encodeName(folder)), 0);
}

void Append(const QString& file) {
    QFile hive(file);
    ASSERT_TRUE(hive.open(QIODevice::Append));
    hive.write("\"VideoJoiner\"=\"/opt/join\"\r\n");
}

// A program reading the hive, which keeps the file it opened.
QFile gReader;

struct TWatchRow {
    const char* Name;
    // Where the hives are, below the test's folder ("" for the folder itself).
    const char* Folder;
    bool HiveBefore;
    std::function<void(const QString& folder)> Change;
    bool Notice;
    // After that notice: a change that brings another, or none.
    std::function<void(const QString& folder)> Then = nullptr;
    bool ThenNotice = true;
    // The folder is a symlink to this one, beside it.
    const char* LinkedTo = nullptr;
};

void PrintTo(const TWatchRow& row, std::ostream* out) {
    *out << row.Name;
}

const TWatchRow kWatchRows[] = {
    {"TheRegistryRenamesANewHiveIntoPlace", "", true,
     [](const QString&) { SetPath(HKEY_LOCAL_MACHINE, KAppPaths, u"AudioTrimmer"_s, u"/opt/trim"_s); }, true},
    {"AnEditorAppendsInPlace", "", true,
     [](const QString& folder) {
         QFile hive(folder + u"/machine.reg"_s);
         ASSERT_TRUE(hive.open(QIODevice::Append));
         hive.write("\"VideoJoiner\"=\"/opt/join\"\r\n");
     },
     true},
    {"TheHiveIsRemoved", "", true, [](const QString& folder) { QFile::remove(folder + u"/machine.reg"_s); },
     true},
    {"TheFirstHiveIsWritten", "", false,
     [](const QString&) { SetPath(HKEY_LOCAL_MACHINE, KAppPaths, u"AudioTrimmer"_s, u"/opt/trim"_s); }, true},
    {"TheFoldersAndTheHiveAppear", "not/yet", false,
     [](const QString&) { SetPath(HKEY_LOCAL_MACHINE, KAppPaths, u"AudioTrimmer"_s, u"/opt/trim"_s); }, true},
    {"TheUsersHiveBesideIt", "", true,
     [](const QString&) { SetPath(HKEY_CURRENT_USER, u"SOFTWARE\\Kestrelweave\\Manager"_s, u"x"_s, u"y"_s); },
     false},
    {"ReadsAndOtherFiles", "", true,
     [](const QString& folder) {
         std::unique_ptr<IRegistryKey> key;
         ASSERT_TRUE(SystemRegistry().OpenKey(HKEY_LOCAL_MACHINE, KAppPaths, KEY_READ, false, key).Ok());
         TRegValue value;
         key->QueryValue(u"AudioTrimmer"_s, value);
         QFile other(folder + u"/notes.txt"_s);
         ASSERT_TRUE(other.open(QIODevice::WriteOnly));
         other.write("x");
     },
     false},
    {"TheFolderIsReplacedByAnother", "reg", true, ReplaceFolder, true,
     [](const QString&) { SetPath(HKEY_LOCAL_MACHINE, KAppPaths, u"AudioTrimmer"_s, u"/opt/trim"_s); }},
    {"TheFolderRenamedAwayIsLeftBehind", "reg", true, ReplaceFolder, true,
     [](const QString& folder) { Append(QFileInfo(folder).path() + u"/old/machine.reg"_s); }, false},
    {"TheSymlinkIsPointedElsewhere", "reg", true,
     [](const QString& folder) {
         const QString base = QFileInfo(folder).path();
         ASSERT_TRUE(QDir(base).mkdir(u"b"_s));
         RenameHive(base + u"/b"_s);
         ASSERT_TRUE(QFile::link(u"b"_s, folder + u".new"_s));
         ASSERT_EQ(::rename(QFile::encodeName(folder + u".new"_s), QFile::encodeName(folder)), 0);
     },
     true, [](const QString& folder) { Append(folder + u"/machine.reg"_s); }, true, "a"},
    {"NestedFoldersAppearAtOnce", "x/y/reg", false,
     [](const QString& folder) {
         ASSERT_TRUE(QDir().mkpath(folder));
         RenameHive(folder);
     },
     true, RenameHive},
    {"TwoRenamesInARowWhileAReaderHoldsTheOldHive", "", true,
     [](const QString& folder) {
         gReader.setFileName(folder + u"/machine.reg"_s);
         ASSERT_TRUE(gReader.open(QIODevice::ReadOnly));
         RenameInto(folder + u"/machine.reg"_s, KHive + "\"A\"=\"1\"\r\n");
         RenameInto(folder + u"/machine.reg"_s, KHive + "\"A\"=\"2\"\r\n");
     },
     true, RenameHive},
};

class RegistryWatch : public testing::TestWithParam<TWatchRow> {};

TEST_P(RegistryWatch, NoticesEveryWayTheHiveChangesAndNothingElse) {
    const TWatchRow& row = GetParam();
    TTempFolder temp;
    const QString folder = temp.FilePath(QLatin1String(row.Folder));
    TScopedEnv where("KESTRELWEAVE_REGISTRY", QFile::encodeName(folder));
    if (row.LinkedTo) {
        ASSERT_TRUE(QDir(temp.Path()).mkdir(QLatin1String(row.LinkedTo)));
        ASSERT_TRUE(QFile::link(QLatin1String(row.LinkedTo), folder));
    }
    if (row.HiveBefore)
        temp.Write(QDir(QLatin1String(row.Folder)).filePath(u"machine.reg"_s), KHive);

    int notices = 0;
    const std::unique_ptr<IRegistryWatch> watch =
        SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, KAppPaths, [&] { ++notices; });
    ASSERT_NE(watch, nullptr);
    const auto expect = [&](bool notice) {
        if (notice) {
            EXPECT_TRUE(WaitFor([&] { return notices > 0; }, 5));
        } else {
            WaitFor([] { return false; }, 1);
            EXPECT_EQ(notices, 0);
        }
    };
    row.Change(folder);
    expect(row.Notice);
    if (!row.Then)
        return;
    WaitFor([] { return false; }, 1);
    notices = 0;
    row.Then(folder);
    expect(row.ThenNotice);
}

INSTANTIATE_TEST_SUITE_P(Writers, RegistryWatch, testing::ValuesIn(kWatchRows),
                         [](const testing::TestParamInfo<TWatchRow>& row) { return row.param.Name; });

// A hive that goes and comes back is followed through both, and after them.
TEST(RegistryWatchSequence, AHiveRemovedAndWrittenAgainIsStillFollowed) {
    TTempFolder temp;
    TScopedEnv where("KESTRELWEAVE_REGISTRY", QFile::encodeName(temp.Path()));
    temp.Write(u"machine.reg"_s, KHive);
    int notices = 0;
    const auto watch = SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, KAppPaths, [&] { ++notices; });
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        QFile::remove(temp.FilePath(u"machine.reg"_s));
        ASSERT_TRUE(WaitFor([&] { return notices >= 2 * round - 1; }, 5));
        QFile hive(temp.FilePath(u"machine.reg"_s));
        ASSERT_TRUE(hive.open(QIODevice::WriteOnly));
        hive.write(KHive);
        hive.close();
        ASSERT_TRUE(WaitFor([&] { return notices >= 2 * round; }, 5));
    }
    // And in place, after all that.
    QFile hive(temp.FilePath(u"machine.reg"_s));
    ASSERT_TRUE(hive.open(QIODevice::Append));
    hive.write("\"VideoJoiner\"=\"/opt/join\"\r\n");
    hive.close();
    EXPECT_TRUE(WaitFor([&] { return notices >= 7; }, 5));
}

// A folder whose parent cannot be watched (it may be passed but not read) is followed
// through its own replacement. Root watches any folder, so the row runs in a child
// process as nobody.
TEST(RegistryWatchUnreadableParent, FollowsTheFolderThroughItsReplacement) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto followed = [] {
        TTempFolder temp;
        const QString parent = temp.FilePath(u"locked"_s), folder = parent + u"/reg"_s;
        if (!QDir().mkpath(folder))
            return false;
        temp.Write(u"locked/reg/machine.reg"_s, KHive);
        ::chmod(QFile::encodeName(parent), 0300);
        TScopedEnv where("KESTRELWEAVE_REGISTRY", QFile::encodeName(folder));
        int notices = 0;
        const auto watch = SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, KAppPaths, [&] { ++notices; });
        ReplaceFolder(folder);
        const bool replaced = WaitFor([&] { return notices > 0; }, 5);
        notices = 0;
        Append(folder + u"/machine.reg"_s);
        const bool after = WaitFor([&] { return notices > 0; }, 5);
        ::chmod(QFile::encodeName(parent), 0700);
        return replaced && after;
    };
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                std::_Exit(2);
            std::_Exit(followed() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// With no inotify instance to be had (here: no descriptor left), nothing polls in its
// place: the refusal is said once on standard error with the system's reason, and no
// notice comes.
TEST(RegistryWatchRefused, SaysWhyOnceAndNeverPolls) {
    TTempFolder temp;
    TScopedEnv where("KESTRELWEAVE_REGISTRY", QFile::encodeName(temp.Path()));
    temp.Write(u"machine.reg"_s, KHive);
    const QByteArray said = QFile::encodeName(temp.FilePath(u"stderr"_s));
    const int standardError = ::dup(2);
    const int capture = ::open(said.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(capture, 2);
    ::close(capture);
    rlimit before{};
    ::getrlimit(RLIMIT_NOFILE, &before);
    rlimit none = before;
    none.rlim_cur = rlim_t(::dup(0));
    ::close(int(none.rlim_cur));
    ::setrlimit(RLIMIT_NOFILE, &none);
    int notices = 0;
    const auto watch = SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, KAppPaths, [&] { ++notices; });
    ::setrlimit(RLIMIT_NOFILE, &before);
    ::dup2(standardError, 2);
    ::close(standardError);

    Append(temp.FilePath(u"machine.reg"_s));
    WaitFor([] { return false; }, 2);
    EXPECT_EQ(notices, 0);
    const QString text = QString::fromLocal8Bit(temp.Read(u"stderr"_s));
    EXPECT_EQ(text.count(u"cannot be watched"_s), 1) << text.toStdString();
    EXPECT_TRUE(text.contains(temp.FilePath(u"machine.reg"_s) + u"': Too many open files"_s))
        << text.toStdString();
}

}  // namespace
