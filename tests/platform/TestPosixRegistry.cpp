#include "platform/posix/PosixRegistry.h"

#include "platform/posix/RegFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <csignal>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QByteArray KHeader = "Windows Registry Editor Version 5.00\n\n";
constexpr uid_t KNobody = 65534;

bool DropToNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(KNobody) == 0 && ::setuid(KNobody) == 0 &&
           ::geteuid() == KNobody;
}

// A list of named checks run in a child; the exit code is the 1-based number of the
// first that failed, so the parent can name it.
using TChecks = std::vector<std::pair<const char*, std::function<bool()>>>;

int RunChecks(const TChecks& checks) {
    for (std::size_t i = 0; i < checks.size(); ++i)
        if (!checks[i].second())
            return int(i + 1);
    return 0;
}

std::string FailedCheck(const TChecks& checks, int code) {
    if (code == 0)
        return "all passed";
    if (code > 0 && std::size_t(code) <= checks.size())
        return checks[std::size_t(code) - 1].first;
    return "child ended with " + std::to_string(code);
}

QStringList Listing(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

ino_t Inode(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

mode_t Mode(const QString& path) {
    struct stat status {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

class TPosixRegistryTest : public testing::Test {
protected:
    TTempFolder FTemp;
    TScopedEnv FFolder{"KESTRELWEAVE_REGISTRY", QFile::encodeName(FTemp.Path())};
    TPosixRegistry FRegistry;

    QString UserFile() const { return FTemp.FilePath(u"user.reg"_s); }
    QString MachineFile() const { return FTemp.FilePath(u"machine.reg"_s); }

    TRegResult Open(TRootKey root, const QString& path, std::uint32_t access, bool create,
                    std::unique_ptr<IRegistryKey>& key) {
        return FRegistry.OpenKey(root, path, access, create, key);
    }

    TRegResult Query(TRootKey root, const QString& path, const QString& name, TRegValue& value) {
        std::unique_ptr<IRegistryKey> key;
        const TRegResult result = Open(root, path, KEY_READ, false, key);
        return result.Ok() ? key->QueryValue(name, value) : result;
    }

    TRegResult Set(TRootKey root, const QString& path, const QString& name, const TRegValue& value) {
        std::unique_ptr<IRegistryKey> key;
        const TRegResult result = Open(root, path, KEY_ALL_ACCESS, true, key);
        return result.Ok() ? key->SetValue(name, value) : result;
    }
};

TEST_F(TPosixRegistryTest, ReadsTheHiveAsStored) {
    FTemp.Write(u"machine.reg"_s, KHeader +
                                      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\n"
                                      "\"Converter\"=\"http://example.org/c\"\n"
                                      "\"Empty\"=\"\"\n@=\"standard\"\n"
                                      "\"Home\"=hex(2):25,00,41,00,25,00,00,00\n");
    TRegValue value;
    ASSERT_TRUE(Query(HKEY_LOCAL_MACHINE, u"software\\kestrelweave\\LINKS"_s, u"CONVERTER"_s, value).Ok());
    EXPECT_EQ(value, TRegValue::String(u"http://example.org/c"_s));
    ASSERT_TRUE(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\Links"_s, u"Empty"_s, value).Ok());
    EXPECT_EQ(value, TRegValue::String(u""_s));
    ASSERT_TRUE(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\Links"_s, u"Home"_s, value).Ok());
    EXPECT_EQ(value, TRegValue::String(u"%A%"_s, REG_EXPAND_SZ));
    for (const QString& name : {u""_s, u"@"_s}) {
        ASSERT_TRUE(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\Links"_s, name, value).Ok())
            << name.toStdString();
        EXPECT_EQ(value.Text, u"standard"_s);
    }
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\Links"_s, u"Subscription"_s, value).Status,
              TRegStatus::NotFound);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\AppPaths"_s, u"Tool"_s, value).Status,
              TRegStatus::NotFound);
    EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, u"SOFTWARE"_s, u"x"_s, value).Status == TRegStatus::NotFound)
        << "a parent key exists, its value does not";
    EXPECT_EQ(Query(HKEY_CURRENT_USER, u"SOFTWARE\\Kestrelweave\\Links"_s, u"Converter"_s, value).Status,
              TRegStatus::NotFound)
        << "the other hive is missing, so it is empty";
}

TEST_F(TPosixRegistryTest, ReadingNeverWrites) {
    std::unique_ptr<IRegistryKey> key;
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, KEY_READ, false, key).Status,
              TRegStatus::NotFound);
    EXPECT_EQ(key, nullptr);
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u""_s, KEY_READ, false, key).Ok()) << "the root key always exists";
    TRegValue value;
    EXPECT_EQ(key->QueryValue(u"LanguageIndex"_s, value).Status, TRegStatus::NotFound);
    EXPECT_TRUE(Listing(FTemp.Path()).isEmpty()) << Listing(FTemp.Path()).join(u' ').toStdString();

    // Opening an existing key, even with creation allowed, leaves the file alone.
    const QByteArray hive = KHeader + "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\n";
    FTemp.Write(u"user.reg"_s, hive);
    const ino_t inode = Inode(UserFile());
    ASSERT_TRUE(
        Open(HKEY_CURRENT_USER, u"SOFTWARE\\KESTRELWEAVE\\manager"_s, KEY_ALL_ACCESS, true, key).Ok());
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"Software\\Kestrelweave"_s, KEY_READ, true, key).Ok());
    EXPECT_EQ(Inode(UserFile()), inode);
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), hive);
    EXPECT_EQ(Listing(FTemp.Path()), QStringList{u"user.reg"_s});
}

TEST_F(TPosixRegistryTest, CreateOnOpenMakesAnEmptyKeyOnlyWhenAsked) {
    std::unique_ptr<IRegistryKey> key;
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Links"_s, KEY_READ, true, key).Ok());
    TRegValue value;
    EXPECT_EQ(key->QueryValue(u"Converter"_s, value).Status, TRegStatus::NotFound);
    const QByteArray created = FTemp.Read(u"user.reg"_s);
    EXPECT_EQ(created, KHeader + "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Links]\n");

    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, KEY_READ, false, key).Status,
              TRegStatus::NotFound);
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), created);
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"software\\kestrelweave"_s, KEY_READ, false, key).Ok())
        << "parents of a created key exist";
    EXPECT_EQ(Open(HKEY_CURRENT_USER, u"A\\\\B"_s, KEY_READ, true, key).Status, TRegStatus::NotFound);
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), created) << "an invalid name creates nothing";
}

TEST_F(TPosixRegistryTest, SetValueReplacesAnyTypeAndKeepsTheRest) {
    FTemp.Write(u"user.reg"_s, KHeader +
                                   "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\n"
                                   "\"LanguageIndex\"=\"3\"\n\"Blob\"=hex(99):01,02\n\n"
                                   "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000005\n");
    ASSERT_TRUE(
        Set(HKEY_CURRENT_USER, u"software\\kestrelweave\\manager"_s, u"languageindex"_s, TRegValue::Dword(2))
            .Ok());
    TRegValue value;
    ASSERT_TRUE(
        Query(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, u"LanguageIndex"_s, value).Ok());
    EXPECT_EQ(value, TRegValue::Dword(2));
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), KHeader +
                                             "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\n"
                                             "\"LanguageIndex\"=dword:00000002\n\"Blob\"=hex(99):01,02\n\n"
                                             "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000005\n");

    ASSERT_TRUE(
        Set(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, u"@"_s, TRegValue::String(u"d"_s)).Ok());
    ASSERT_TRUE(Query(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, u""_s, value).Ok());
    EXPECT_EQ(value.Text, u"d"_s);
    EXPECT_EQ(Set(HKEY_CURRENT_USER, u"Software"_s, u"bad\nname"_s, TRegValue::Dword(1)).Status,
              TRegStatus::IoError);
}

TEST_F(TPosixRegistryTest, AccessMaskLimitsTheKey) {
    std::unique_ptr<IRegistryKey> reader, writer;
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"K"_s, KEY_READ, true, reader).Ok());
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"K"_s, KEY_WRITE, false, writer).Ok());
    EXPECT_EQ(reader->SetValue(u"v"_s, TRegValue::Dword(1)).Status, TRegStatus::AccessDenied);
    ASSERT_TRUE(writer->SetValue(u"v"_s, TRegValue::Dword(1)).Ok());
    TRegValue value;
    EXPECT_EQ(writer->QueryValue(u"v"_s, value).Status, TRegStatus::AccessDenied);
    ASSERT_TRUE(reader->QueryValue(u"v"_s, value).Ok());
}

TEST_F(TPosixRegistryTest, EveryReadSeesTheFileAsItIsNow) {
    std::unique_ptr<IRegistryKey> key;
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"Software\\K"_s, KEY_ALL_ACCESS, true, key).Ok());
    TPosixRegistry other;
    TRegValue value;
    for (std::uint32_t round = 1; round <= 3; ++round) {
        std::unique_ptr<IRegistryKey> otherKey;
        ASSERT_TRUE(other.OpenKey(HKEY_CURRENT_USER, u"Software\\K"_s, KEY_ALL_ACCESS, false, otherKey).Ok());
        ASSERT_TRUE(otherKey->SetValue(u"n"_s, TRegValue::Dword(round)).Ok());
        ASSERT_TRUE(key->QueryValue(u"n"_s, value).Ok());
        EXPECT_EQ(value, TRegValue::Dword(round));
    }
    FTemp.Write(u"user.reg"_s, KHeader + "[HKEY_CURRENT_USER\\Software\\K]\n\"n\"=\"by hand\"\n");
    ASSERT_TRUE(key->QueryValue(u"n"_s, value).Ok());
    EXPECT_EQ(value.Text, u"by hand"_s);
}

struct THiveFolderCase {
    const char* Name;
    const char* Registry;
    const char* ConfigHome;
    const char* Home;
    TRootKey Root;
    const char* Expected;
};

class TPosixRegistryHiveFolder : public testing::TestWithParam<THiveFolderCase> {};

TEST_P(TPosixRegistryHiveFolder, FollowsTheEnvironment) {
    const THiveFolderCase& row = GetParam();
    TScopedEnv registry("KESTRELWEAVE_REGISTRY", row.Registry);
    TScopedEnv config("XDG_CONFIG_HOME", row.ConfigHome);
    TScopedEnv home("HOME", row.Home);
    EXPECT_EQ(TPosixRegistry::HiveFolder(row.Root), QString::fromUtf8(row.Expected));
    const QString file = row.Root == HKEY_LOCAL_MACHINE ? u"/machine.reg"_s : u"/user.reg"_s;
    EXPECT_EQ(TPosixRegistry::HiveFile(row.Root), QString::fromUtf8(row.Expected) + file);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TPosixRegistryHiveFolder,
    testing::Values(
        THiveFolderCase{"MachineDefault", "", "/cfg", "/home/u", HKEY_LOCAL_MACHINE, "/etc/kestrelweave"},
        THiveFolderCase{"UserFromConfigHome", "", "/cfg", "/home/u", HKEY_CURRENT_USER, "/cfg/kestrelweave"},
        THiveFolderCase{"UserFromHome", "", "", "/home/u", HKEY_CURRENT_USER, "/home/u/.config/kestrelweave"},
        THiveFolderCase{"RelativeConfigHomeIgnored", "", "rel/cfg", "/home/u", HKEY_CURRENT_USER,
                        "/home/u/.config/kestrelweave"},
        THiveFolderCase{"OverrideHoldsMachineHive", "/srv/reg/", "/cfg", "/home/u", HKEY_LOCAL_MACHINE,
                        "/srv/reg"},
        THiveFolderCase{"OverrideHoldsUserHive", "/srv/reg", "/cfg", "/home/u", HKEY_CURRENT_USER,
                        "/srv/reg"}),
    [](const testing::TestParamInfo<THiveFolderCase>& row) { return row.param.Name; });

TEST_F(TPosixRegistryTest, NewHivesGetTheirModesAndFoldersAndKeepAnExistingMode) {
    ASSERT_TRUE(Set(HKEY_LOCAL_MACHINE, u"SOFTWARE\\K"_s, u"v"_s, TRegValue::Dword(1)).Ok());
    EXPECT_EQ(Mode(MachineFile()), 0644u);
    ASSERT_TRUE(Set(HKEY_CURRENT_USER, u"Software\\K"_s, u"v"_s, TRegValue::Dword(1)).Ok());
    EXPECT_EQ(Mode(UserFile()), 0600u);

    ASSERT_EQ(::chmod(QFile::encodeName(UserFile()).constData(), 0640), 0);
    ASSERT_TRUE(Set(HKEY_CURRENT_USER, u"Software\\K"_s, u"v"_s, TRegValue::Dword(2)).Ok());
    EXPECT_EQ(Mode(UserFile()), 0640u);
    EXPECT_EQ(Listing(FTemp.Path()),
              (QStringList{u".machine.reg.lock"_s, u".user.reg.lock"_s, u"machine.reg"_s, u"user.reg"_s}))
        << "no temporary file is left behind";

    TScopedEnv noOverride("KESTRELWEAVE_REGISTRY", "");
    TScopedEnv config("XDG_CONFIG_HOME", QFile::encodeName(FTemp.FilePath(u"config/deeper"_s)));
    ASSERT_TRUE(Set(HKEY_CURRENT_USER, u"Software\\K"_s, u"v"_s, TRegValue::Dword(3)).Ok());
    EXPECT_TRUE(QFile::exists(FTemp.FilePath(u"config/deeper/kestrelweave/user.reg"_s)));
    EXPECT_EQ(Mode(FTemp.FilePath(u"config/deeper/kestrelweave"_s)), 0700u);
}

struct TCorruptCase {
    const char* Name;
    std::function<TRegResult(TPosixRegistry&, IRegistryKey& openedBefore)> Operation;
};

class TPosixRegistryCorrupt : public TPosixRegistryTest, public testing::WithParamInterface<TCorruptCase> {};

TEST_P(TPosixRegistryCorrupt, ReportsAndNeverOverwrites) {
    ASSERT_TRUE(Set(HKEY_CURRENT_USER, u"A"_s, u"v"_s, TRegValue::Dword(1)).Ok());
    ASSERT_TRUE(Set(HKEY_LOCAL_MACHINE, u"M"_s, u"v"_s, TRegValue::Dword(1)).Ok());
    std::unique_ptr<IRegistryKey> openedBefore;
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"A"_s, KEY_ALL_ACCESS, false, openedBefore).Ok());
    const QByteArray damaged = KHeader + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:1\n";
    FTemp.Write(u"user.reg"_s, damaged);

    const TRegResult result = GetParam().Operation(FRegistry, *openedBefore);
    EXPECT_EQ(result.Status, TRegStatus::Corrupt);
    EXPECT_TRUE(result.Message.contains(UserFile() + u"' is damaged (line 4: "_s))
        << result.Message.toStdString();
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), damaged);
    TRegValue value;
    EXPECT_TRUE(Query(HKEY_LOCAL_MACHINE, u"M"_s, u"v"_s, value).Ok()) << "the other hive still reads";
}

INSTANTIATE_TEST_SUITE_P(Table, TPosixRegistryCorrupt,
                         testing::Values(TCorruptCase{"OpenToRead",
                                                      [](TPosixRegistry& registry, IRegistryKey&) {
                                                          std::unique_ptr<IRegistryKey> key;
                                                          return registry.OpenKey(HKEY_CURRENT_USER, u"A"_s,
                                                                                  KEY_READ, false, key);
                                                      }},
                                         TCorruptCase{"OpenToCreate",
                                                      [](TPosixRegistry& registry, IRegistryKey&) {
                                                          std::unique_ptr<IRegistryKey> key;
                                                          return registry.OpenKey(HKEY_CURRENT_USER, u"New"_s,
                                                                                  KEY_READ, true, key);
                                                      }},
                                         TCorruptCase{"OpenToWrite",
                                                      [](TPosixRegistry& registry, IRegistryKey&) {
                                                          std::unique_ptr<IRegistryKey> key;
                                                          return registry.OpenKey(HKEY_CURRENT_USER, u"A"_s,
                                                                                  KEY_ALL_ACCESS, false, key);
                                                      }},
                                         TCorruptCase{"QueryOnOpenKey",
                                                      [](TPosixRegistry&, IRegistryKey& key) {
                                                          TRegValue value;
                                                          return key.QueryValue(u"v"_s, value);
                                                      }},
                                         TCorruptCase{"SetOnOpenKey",
                                                      [](TPosixRegistry&, IRegistryKey& key) {
                                                          return key.SetValue(u"v"_s, TRegValue::Dword(2));
                                                      }}),
                         [](const testing::TestParamInfo<TCorruptCase>& row) { return row.param.Name; });

TEST_F(TPosixRegistryTest, HiveThatIsNoFileIsCorrupt) {
    ASSERT_TRUE(QDir(FTemp.Path()).mkdir(u"user.reg"_s));
    std::unique_ptr<IRegistryKey> key;
    const TRegResult result = Open(HKEY_CURRENT_USER, u"A"_s, KEY_READ, true, key);
    EXPECT_EQ(result.Status, TRegStatus::Corrupt);
    EXPECT_TRUE(result.Message.contains(u"not a regular file"_s)) << result.Message.toStdString();
    EXPECT_TRUE(QFileInfo(UserFile()).isDir());
}

// No read takes long: a hive past the limit is refused as a damaged one is, and no
// write makes one.
TEST_F(TPosixRegistryTest, HiveLargerThanTheLimitIsRefused) {
    ASSERT_TRUE(Set(HKEY_CURRENT_USER, u"A"_s, u"v"_s, TRegValue::Dword(1)).Ok());
    const QByteArray before = FTemp.Read(u"user.reg"_s);
    TRegValue big;
    big.Type = REG_BINARY;
    big.Data = QByteArray(TPosixRegistry::MostHiveBytes / 3, 'x');  // "78," for each byte
    const TRegResult write = Set(HKEY_CURRENT_USER, u"A"_s, u"big"_s, big);
    EXPECT_EQ(write.Status, TRegStatus::IoError);
    EXPECT_TRUE(write.Message.contains(UserFile() + u"' cannot be written"_s)) << write.Message.toStdString();
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), before);

    FTemp.Write(u"user.reg"_s, before + QByteArray(TPosixRegistry::MostHiveBytes, '\n'));
    TRegValue value;
    const TRegResult read = Query(HKEY_CURRENT_USER, u"A"_s, u"v"_s, value);
    EXPECT_EQ(read.Status, TRegStatus::Corrupt);
    EXPECT_TRUE(read.Message.contains(UserFile() + u"' is too large"_s)) << read.Message.toStdString();
}

// Two writers add their own values to one key while a third process keeps reading:
// no write may be lost and no read may see half a file.
TEST_F(TPosixRegistryTest, ConcurrentProcessesLoseNoWrite) {
    constexpr int KWrites = 100;
    const QString key = u"Software\\Kestrelweave\\Race"_s;
    const auto writer = [&](const QString& prefix) {
        return [=]() {
            TPosixRegistry registry;
            for (int i = 0; i < KWrites; ++i) {
                std::unique_ptr<IRegistryKey> opened;
                if (!registry.OpenKey(HKEY_CURRENT_USER, key, KEY_ALL_ACCESS, true, opened).Ok())
                    return 1;
                if (!opened->SetValue(prefix + QString::number(i), TRegValue::Dword(std::uint32_t(i))).Ok())
                    return 2;
            }
            return 0;
        };
    };
    TGatedChildren children;
    children.Spawn(writer(u"A"_s));
    children.Spawn(writer(u"B"_s));
    children.Spawn([&]() {
        TPosixRegistry registry;
        for (int i = 0; i < 4 * KWrites; ++i) {
            std::unique_ptr<IRegistryKey> opened;
            const TRegResult result = registry.OpenKey(HKEY_CURRENT_USER, key, KEY_READ, false, opened);
            if (result.Status != TRegStatus::Ok && result.Status != TRegStatus::NotFound)
                return 3;
            TRegValue value;
            if (opened && opened->QueryValue(u"A0"_s, value).Status == TRegStatus::Corrupt)
                return 4;
        }
        return 0;
    });
    // All three start at once.
    for (const int code : children.ReleaseAndWait())
        EXPECT_EQ(code, 0) << "a child failed";

    TRegFile hive(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(hive.Parse(FTemp.Read(u"user.reg"_s), UserFile(), error)) << error.toStdString();
    EXPECT_EQ(hive.ValueNames(key).size(), 2 * KWrites);
    for (int i = 0; i < KWrites; ++i) {
        for (const QString& prefix : {u"A"_s, u"B"_s}) {
            const TRegValue* value = hive.FindValue(key, prefix + QString::number(i));
            ASSERT_NE(value, nullptr) << prefix.toStdString() << i;
            EXPECT_EQ(*value, TRegValue::Dword(std::uint32_t(i)));
        }
    }
}

// A writer killed during a write leaves its temporary file; the next writer of that
// hive removes it, and leaves what belongs to the other hive or to nobody.
TEST_F(TPosixRegistryTest, StaleTemporaryFilesGoWithTheNextWrite) {
    FTemp.Write(u".user.reg.q7Zx2B"_s, QByteArray(2 * 1024 * 1024, 'x'));
    FTemp.Write(u".machine.reg.Ab34Cd"_s, "another hive's");
    FTemp.Write(u".user.reg.kept"_s, "not a temporary name");
    std::unique_ptr<IRegistryKey> key;
    ASSERT_TRUE(Open(HKEY_CURRENT_USER, u"Software\\K"_s, KEY_ALL_ACCESS, true, key).Ok());
    EXPECT_EQ(Listing(FTemp.Path()), (QStringList{u".machine.reg.Ab34Cd"_s, u".user.reg.kept"_s,
                                                  u".user.reg.lock"_s, u"user.reg"_s}));
}

TEST_F(TPosixRegistryTest, FailedWriteLeavesTheOldHive) {
    const QByteArray hive = KHeader +
                            "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\n"
                            "\"LanguageIndex\"=dword:00000001\n";
    FTemp.Write(u"user.reg"_s, hive);
    const int code = RunInChild([&] {
        // The file size limit stands in for a full disk: the write stops part-way.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{std::size_t(hive.size()), std::size_t(hive.size())};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        TPosixRegistry registry;
        std::unique_ptr<IRegistryKey> key;
        if (!registry
                 .OpenKey(HKEY_CURRENT_USER, u"Software\\Kestrelweave\\Manager"_s, KEY_ALL_ACCESS, false, key)
                 .Ok())
            return 1;
        const TRegResult result = key->SetValue(u"LanguageIndex"_s, TRegValue::String(QString(200, u'x')));
        if (result.Status != TRegStatus::IoError)
            return 2;
        return result.Message.contains(u"cannot be written"_s) ? 0 : 3;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(FTemp.Read(u"user.reg"_s), hive);
    EXPECT_EQ(Listing(FTemp.Path()), (QStringList{u".user.reg.lock"_s, u"user.reg"_s}));
}

// An ordinary user may read the machine hive but not create or write in it, as the
// registry refuses an ordinary user under HKEY_LOCAL_MACHINE.
TEST_F(TPosixRegistryTest, OrdinaryUserIsDeniedWhereTheyMayNotWrite) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as an ordinary user";
    ASSERT_EQ(::chmod(QFile::encodeName(FTemp.Path()).constData(), 0755), 0);
    const QByteArray machine =
        KHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave]\n\"PathToEditor\"=\"ed\"\n";
    FTemp.Write(u"machine.reg"_s, machine);
    ASSERT_EQ(::chmod(QFile::encodeName(MachineFile()).constData(), 0644), 0);
    // A folder of the user's own whose hive was made read-only.
    const QByteArray user = KHeader + "[HKEY_CURRENT_USER\\K]\n\"v\"=dword:00000001\n";
    const QString own = FTemp.FilePath(u"own"_s);
    FTemp.Write(u"own/user.reg"_s, user);
    for (const QString& path : {own, own + u"/user.reg"_s})
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), KNobody, KNobody), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(own + u"/user.reg"_s).constData(), 0444), 0);
    const QStringList before = Listing(FTemp.Path());

    const TChecks checks{
        {"drop to nobody", [] { return DropToNobody(); }},
        {"creating a key in the machine hive is denied",
         [] {
             TPosixRegistry registry;
             std::unique_ptr<IRegistryKey> key;
             return registry.OpenKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\Links"_s, KEY_READ, true,
                                     key)
                            .Status == TRegStatus::AccessDenied &&
                    !key;
         }},
        {"opening a machine key for writing is denied",
         [] {
             TPosixRegistry registry;
             std::unique_ptr<IRegistryKey> key;
             return registry
                        .OpenKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave"_s, KEY_ALL_ACCESS, false, key)
                        .Status == TRegStatus::AccessDenied;
         }},
        {"an existing machine key opens for reading, also with creation allowed",
         [] {
             TPosixRegistry registry;
             std::unique_ptr<IRegistryKey> key;
             TRegValue value;
             return registry.OpenKey(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave"_s, KEY_READ, true, key)
                        .Ok() &&
                    key->QueryValue(u"PathToEditor"_s, value).Ok() && value.Text == u"ed"_s;
         }},
        {"a hive folder that would be created below the machine's folder is denied",
         [&] {
             qputenv("KESTRELWEAVE_REGISTRY", QFile::encodeName(FTemp.FilePath(u"new/deeper"_s)));
             TPosixRegistry registry;
             std::unique_ptr<IRegistryKey> key;
             const bool denied =
                 registry.OpenKey(HKEY_CURRENT_USER, u"Software\\K"_s, KEY_READ, true, key).Status ==
                 TRegStatus::AccessDenied;
             qputenv("KESTRELWEAVE_REGISTRY", QFile::encodeName(FTemp.Path()));
             return denied;
         }},
        {"a read-only hive refuses a value",
         [&] {
             qputenv("KESTRELWEAVE_REGISTRY", QFile::encodeName(own));
             TPosixRegistry registry;
             std::unique_ptr<IRegistryKey> key;
             if (registry.OpenKey(HKEY_CURRENT_USER, u"K"_s, KEY_ALL_ACCESS, false, key).Status !=
                 TRegStatus::AccessDenied)
                 return false;
             return registry.OpenKey(HKEY_CURRENT_USER, u"K"_s, KEY_READ | KEY_SET_VALUE, false, key)
                        .Status == TRegStatus::AccessDenied;
         }},
    };
    const int code = RunInChild([&] { return RunChecks(checks); });
    EXPECT_EQ(code, 0) << "failed: " << FailedCheck(checks, code);
    EXPECT_EQ(Listing(FTemp.Path()), before) << "nothing is left behind";
    EXPECT_EQ(FTemp.Read(u"machine.reg"_s), machine);
    EXPECT_EQ(Listing(own), QStringList{u"user.reg"_s});
    EXPECT_EQ(FTemp.Read(u"own/user.reg"_s), user);
}

TEST(TPosixRegistry, SystemRegistryIsOneObject) {
    EXPECT_EQ(&SystemRegistry(), &SystemRegistry());
    EXPECT_NE(dynamic_cast<TPosixRegistry*>(&SystemRegistry()), nullptr);
}

}  // namespace
