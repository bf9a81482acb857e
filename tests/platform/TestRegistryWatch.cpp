// What the registry's change notices see of the hive files: every way a program changes
// them, and nothing of what leaves them as they were.

#include "platform/posix/PosixRegistry.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

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

struct TWatchRow {
    const char* Name;
    // Where the hives are, below the test's folder ("" for the folder itself).
    const char* Folder;
    bool HiveBefore;
    std::function<void(const QString& folder)> Change;
    bool Notice;
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
};

class RegistryWatch : public testing::TestWithParam<TWatchRow> {};

TEST_P(RegistryWatch, NoticesEveryWayTheHiveChangesAndNothingElse) {
    const TWatchRow& row = GetParam();
    TTempFolder temp;
    const QString folder = temp.FilePath(QLatin1String(row.Folder));
    TScopedEnv where("KESTRELWEAVE_REGISTRY", QFile::encodeName(folder));
    if (row.HiveBefore)
        temp.Write(QDir(QLatin1String(row.Folder)).filePath(u"machine.reg"_s), KHive);

    int notices = 0;
    const std::unique_ptr<IRegistryWatch> watch =
        SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, KAppPaths, [&] { ++notices; });
    ASSERT_NE(watch, nullptr);
    row.Change(folder);
    if (row.Notice) {
        EXPECT_TRUE(WaitFor([&] { return notices > 0; }, 5));
    } else {
        WaitFor([] { return false; }, 1);
        EXPECT_EQ(notices, 0);
    }
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

}  // namespace
