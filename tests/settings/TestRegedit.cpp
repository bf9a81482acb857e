#include "settings/TRegedit.h"

#include "core/Exception.h"
#include "platform/posix/RegFile.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

const QByteArray kHeader = "Windows Registry Editor Version 5.00\n\n";
const QString kManager = QStringLiteral("SOFTWARE\\Kestrelweave\\Manager");
const QString kLinks = QStringLiteral("SOFTWARE\\Kestrelweave\\Links");
const QByteArray kManagerSection = "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager]\n";
constexpr uid_t kNobody = 65534;

// The message of the ERegistryException that `action` raises; nothing when it raises none.
std::optional<QString> RegistryError(const std::function<void()>& action) {
    try {
        action();
    } catch (const ERegistryException& e) {
        return e.Message();
    }
    return std::nullopt;
}

class Regedit : public testing::Test {
protected:
    QString UserFile() const { return FTemp.FilePath(QStringLiteral("user.reg")); }
    void WriteUserHive(const QByteArray& body) const {
        FTemp.Write(QStringLiteral("user.reg"), kHeader + body);
    }
    QByteArray UserHiveBytes() const { return FTemp.Read(QStringLiteral("user.reg")); }
    TRegFile UserHive() const {
        TRegFile hive(HKEY_CURRENT_USER);
        QString error;
        EXPECT_TRUE(hive.Parse(UserHiveBytes(), UserFile(), error)) << error.toStdString();
        return hive;
    }
    QStringList Listing() const {
        return QDir(FTemp.Path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    TTempFolder FTemp;
    TScopedEnv FFolder{"KESTRELWEAVE_REGISTRY", QFile::encodeName(FTemp.Path())};
    TRegedit FManager{kManager, HKEY_CURRENT_USER};
};

// ---- Missing keys and values --------------------------------------------------------

TEST_F(Regedit, IntegerReadOfAMissingKeyGivesTheDefaultAndCreatesNothing) {
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), 1);
    EXPECT_TRUE(Listing().isEmpty()) << "no hive file appears";

    const QByteArray other = kHeader + "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n\"v\"=dword:00000002\n";
    FTemp.Write(QStringLiteral("user.reg"), other);
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), 1);
    EXPECT_EQ(UserHiveBytes(), other) << "the hive gains no key";

    FManager.WriteInteger(QStringLiteral("LanguageIndex"), 3);
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), 3);
    const TRegFile hive = UserHive();
    ASSERT_NE(hive.FindValue(kManager, QStringLiteral("LanguageIndex")), nullptr);
    EXPECT_EQ(*hive.FindValue(kManager, QStringLiteral("LanguageIndex")), TRegValue::Dword(3));
    EXPECT_EQ(*hive.FindValue(QStringLiteral("SOFTWARE\\Other"), QStringLiteral("v")), TRegValue::Dword(2));
}

TEST_F(Regedit, StringReadOfAMissingKeyCreatesItEmptyAndGivesTheDefault) {
    TRegedit links(kLinks, HKEY_CURRENT_USER);
    EXPECT_EQ(links.ReadString(QStringLiteral("Converter"), QStringLiteral("http://default")),
              u"http://default"_s);
    const TRegFile hive = UserHive();
    EXPECT_TRUE(hive.KeyExists(kLinks));
    EXPECT_TRUE(hive.ValueNames(kLinks).isEmpty());

    const QByteArray before = UserHiveBytes();
    EXPECT_EQ(links.ReadString(QStringLiteral("Converter"), QString()), QString());
    EXPECT_EQ(UserHiveBytes(), before) << "an existing key is only read";
}

TEST_F(Regedit, EachStoreReadsItsOwnRootKey) {
    FTemp.Write(QStringLiteral("machine.reg"),
                kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave]\n\"PathToEditor\"=\"/opt/editor\"\n");
    WriteUserHive("[HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave]\n\"PathToEditor\"=\"/home/editor\"\n");
    TRegedit machine(QStringLiteral("SOFTWARE\\Kestrelweave"), HKEY_LOCAL_MACHINE);
    TRegedit user(QStringLiteral("SOFTWARE\\Kestrelweave"), HKEY_CURRENT_USER);
    EXPECT_EQ(machine.ReadString(QStringLiteral("PathToEditor"), QString()), u"/opt/editor"_s);
    EXPECT_EQ(user.ReadString(QStringLiteral("PathToEditor"), QString()), u"/home/editor"_s);
}

// ---- Values as stored -----------------------------------------------------------------

enum class TRead { String, Integer };

struct TValueRow {
    const char* Name;
    QByteArray Section;  // the Manager key's section of the hive
    TRead Read;
    const char* ValueName;
    QString Expected;  // the value read, or the registry's error (%1: the hive file)
    bool Raises;
    TRootKey Root = HKEY_CURRENT_USER;
};

void PrintTo(const TValueRow& row, std::ostream* out) {
    *out << row.Name;
}

const TValueRow kValues[] = {
    {"String", kManagerSection + "\"Path\"=\"C:\\\\Tools\\\\ed.exe\"\n", TRead::String, "Path",
     u"C:\\Tools\\ed.exe"_s, false},
    {"EmptyStringIsNotTheDefault", kManagerSection + "\"Path\"=\"\"\n", TRead::String, "Path", u""_s, false},
    {"ExpandStringStaysUnexpanded",
     kManagerSection + "\"Path\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,74,00,25,"
                       "00,5c,00,78,00,00,00\n",
     TRead::String, "Path", u"%SystemRoot%\\x"_s, false},
    {"MissingValueGivesTheDefault", kManagerSection + "\"Other\"=\"x\"\n", TRead::String, "Path",
     u"default"_s, false},
    {"Dword", kManagerSection + "\"LanguageIndex\"=dword:00000003\n", TRead::Integer, "LanguageIndex", u"3"_s,
     false},
    {"NegativeDword", kManagerSection + "\"LanguageIndex\"=dword:fffffffe\n", TRead::Integer, "LanguageIndex",
     u"-2"_s, false},
    {"ValueNameInOtherCase", kManagerSection + "\"LANGUAGEindex\"=dword:00000002\n", TRead::Integer,
     "LanguageIndex", u"2"_s, false},
    {"KeyNameInOtherCase",
     "[HKEY_CURRENT_USER\\software\\KESTRELWEAVE\\manager]\n\"LanguageIndex\"=dword:00000004\n",
     TRead::Integer, "LanguageIndex", u"4"_s, false},
    {"StringReadAsInteger", kManagerSection + "\"LanguageIndex\"=\"2\"\n", TRead::Integer, "LanguageIndex",
     u"Invalid data type for 'LanguageIndex' in HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "expected a dword, found a string."_s,
     true},
    {"BinaryReadAsInteger", kManagerSection + "\"LanguageIndex\"=hex:02,00,00,00\n", TRead::Integer,
     "LanguageIndex",
     u"Invalid data type for 'LanguageIndex' in HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "expected a dword, found binary data."_s,
     true},
    {"DwordReadAsString", kManagerSection + "\"Converter\"=dword:00000001\n", TRead::String, "Converter",
     u"Invalid data type for 'Converter' in HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "expected a string, found a dword."_s,
     true},
    {"DwordLongerThanFourBytes", kManagerSection + "\"LanguageIndex\"=hex(4):01,02,03,04,05\n",
     TRead::Integer, "LanguageIndex",
     u"Failed to get data for 'LanguageIndex' in HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "a dword holds 4 bytes, this one 5."_s,
     true},
    {"MachineDwordReadAsString",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Manager]\n\"SoundRecorder\"=dword:00000001\n",
     TRead::String, "SoundRecorder",
     u"Invalid data type for 'SoundRecorder' in HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "expected a string, found a dword."_s,
     true, HKEY_LOCAL_MACHINE},
    {"MachineExpandStringReadAsInteger",
     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Manager]\n\"LanguageIndex\"=hex(2):31,00,00,00\n",
     TRead::Integer, "LanguageIndex",
     u"Invalid data type for 'LanguageIndex' in HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Manager (%1): "
     "expected a dword, found an expandable string."_s,
     true, HKEY_LOCAL_MACHINE},
};

class RegeditValue : public Regedit, public testing::WithParamInterface<TValueRow> {};

TEST_P(RegeditValue, IsReadAsStoredOrRaisesTheRegistryError) {
    const TValueRow& row = GetParam();
    const QString hiveName = row.Root == HKEY_LOCAL_MACHINE ? u"machine.reg"_s : u"user.reg"_s;
    FTemp.Write(hiveName, kHeader + row.Section);
    const QByteArray before = FTemp.Read(hiveName);
    TRegedit store(kManager, row.Root);
    const QString name = QLatin1String(row.ValueName);
    QString result;
    const std::optional<QString> error = RegistryError([&] {
        result = row.Read == TRead::String ? store.ReadString(name, QStringLiteral("default"))
                                           : QString::number(store.ReadInteger(name, -100));
    });
    if (row.Raises) {
        EXPECT_EQ(error, row.Expected.arg(FTemp.FilePath(hiveName)));
    } else {
        EXPECT_EQ(error, std::nullopt);
        EXPECT_EQ(result, row.Expected);
    }
    EXPECT_EQ(FTemp.Read(hiveName), before) << "a read changes nothing";

    // The same store writes afterwards: whatever happened, it is back to full access.
    ASSERT_EQ(RegistryError([&] { FManager.WriteInteger(name, 42); }), std::nullopt);
    EXPECT_EQ(FManager.ReadInteger(name, -100), 42);
}

INSTANTIATE_TEST_SUITE_P(Table, RegeditValue, testing::ValuesIn(kValues),
                         [](const testing::TestParamInfo<TValueRow>& row) { return row.param.Name; });

TEST_F(Regedit, WriteReplacesAValueOfAnyTypeAndKeepsTheOthers) {
    WriteUserHive(kManagerSection + "\"Other\"=\"keep\"\n\"languageindex\"=\"2\"\n");
    FManager.WriteInteger(QStringLiteral("LanguageIndex"), -7);
    const TRegFile hive = UserHive();
    EXPECT_EQ(hive.ValueNames(kManager).size(), 2) << "the value of that name in any case is replaced";
    const TRegValue* written = hive.FindValue(kManager, QStringLiteral("LanguageIndex"));
    ASSERT_NE(written, nullptr);
    EXPECT_EQ(*written, TRegValue::Dword(static_cast<std::uint32_t>(-7)));
    EXPECT_EQ(*hive.FindValue(kManager, QStringLiteral("Other")), TRegValue::String(QStringLiteral("keep")));
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), -7);
}

// Installers and people edit the hive files in place; a read never answers from an
// older version of the file, however quickly the edits follow each other.
TEST_F(Regedit, EveryReadSeesTheHiveAsItIsNow) {
    for (int i = 1; i <= 9; ++i) {
        SCOPED_TRACE(i);
        WriteUserHive(kManagerSection + QByteArray("\"LanguageIndex\"=dword:0000000") +
                      QByteArray::number(i) + "\n");
        EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 0), i);
    }
}

// ---- Refused writes and damaged hives -------------------------------------------------

// Root ignores file modes, so the refusal is checked by a child that has become nobody.
TEST_F(Regedit, RefusedWriteRaisesAndReadsStillWork) {
    const QByteArray hive = kHeader + kManagerSection + "\"LanguageIndex\"=dword:00000002\n";
    FTemp.Write(QStringLiteral("user.reg"), hive);
    const QByteArray folder = QFile::encodeName(FTemp.Path());
    ASSERT_EQ(::chmod(QFile::encodeName(UserFile()).constData(), 0644), 0);
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    const QStringList before = Listing();

    constexpr int kCannotArrange = 77;
    const int code = RunInChild([&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            return kCannotArrange;
        if (::access(folder.constData(), W_OK) == 0)
            return kCannotArrange;
        TRegedit manager(kManager, HKEY_CURRENT_USER);
        if (RegistryError([&] { manager.WriteInteger(QStringLiteral("LanguageIndex"), 9); }) !=
            u"Failed to set data for 'LanguageIndex' in %1: Permission denied."_s.arg(UserFile()))
            return 1;
        // The value it holds already needs no writing, and raises nothing.
        if (RegistryError([&] { manager.WriteInteger(QStringLiteral("LanguageIndex"), 2); }) != std::nullopt)
            return 5;
        if (manager.ReadInteger(QStringLiteral("LanguageIndex"), 1) != 2)
            return 2;
        // A key that may not be created reads as a missing one.
        TRegedit links(kLinks, HKEY_CURRENT_USER);
        if (links.ReadString(QStringLiteral("Subscription"), QStringLiteral("d")) != QStringLiteral("d"))
            return 3;
        TRegedit machine(kLinks, HKEY_LOCAL_MACHINE);
        if (machine.ReadString(QStringLiteral("Subscription"), QStringLiteral("d")) != QStringLiteral("d"))
            return 4;
        return 0;
    });
    ::chmod(folder.constData(), 0700);
    if (code == kCannotArrange)
        GTEST_SKIP() << "this process cannot be kept from writing the registry folder";
    EXPECT_EQ(code, 0)
        << "1: no refusal, 2: read after the refusal, 3/4: reads of keys that cannot be created, "
           "5: an unchanged value was refused";
    EXPECT_EQ(UserHiveBytes(), hive);
    EXPECT_EQ(Listing(), before);
}

// A hive that is there but cannot be read is no empty hive: reads raise with the file
// and the system's reason, and nothing is written over it.
TEST_F(Regedit, UnreadableHiveRaisesWithItsFileAndReason) {
    const QByteArray hive = kHeader + kManagerSection + "\"LanguageIndex\"=dword:00000002\n";
    FTemp.Write(QStringLiteral("user.reg"), hive);
    ASSERT_EQ(::chmod(QFile::encodeName(UserFile()).constData(), 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(FTemp.Path()).constData(), 0777), 0);
    constexpr int kCannotArrange = 77;
    const QString expected = u"The registry file '%1' cannot be read: Permission denied."_s.arg(UserFile());
    const int code = RunInChild([&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            return kCannotArrange;
        if (::access(QFile::encodeName(UserFile()).constData(), R_OK) == 0)
            return kCannotArrange;
        TRegedit manager(kManager, HKEY_CURRENT_USER);
        if (RegistryError([&] { manager.ReadInteger(QStringLiteral("LanguageIndex"), 1); }) != expected)
            return 1;
        if (RegistryError([&] { manager.WriteInteger(QStringLiteral("LanguageIndex"), 3); }) != expected)
            return 2;
        return 0;
    });
    ::chmod(QFile::encodeName(UserFile()).constData(), 0600);
    ::chmod(QFile::encodeName(FTemp.Path()).constData(), 0700);
    if (code == kCannotArrange)
        GTEST_SKIP() << "this process cannot be kept from reading the hive";
    EXPECT_EQ(code, 0) << "1: the read, 2: the write did not raise the hive's reason";
    EXPECT_EQ(UserHiveBytes(), hive);
}

struct TDamagedRow {
    const char* Name;
    std::function<void(TRegedit& manager)> Operation;
};

void PrintTo(const TDamagedRow& row, std::ostream* out) {
    *out << row.Name;
}

const TDamagedRow kDamaged[] = {
    {"ReadString", [](TRegedit& store) { store.ReadString(QStringLiteral("Converter"), QString()); }},
    {"ReadInteger", [](TRegedit& store) { store.ReadInteger(QStringLiteral("LanguageIndex"), 1); }},
    {"WriteInteger", [](TRegedit& store) { store.WriteInteger(QStringLiteral("LanguageIndex"), 5); }},
    {"ReadStringOfAMissingKey",
     [](TRegedit&) {
         TRegedit missing(QStringLiteral("SOFTWARE\\Nowhere"), HKEY_CURRENT_USER);
         missing.ReadString(QStringLiteral("x"), QString());
     }},
};

class RegeditDamaged : public Regedit, public testing::WithParamInterface<TDamagedRow> {};

TEST_P(RegeditDamaged, RaisesNamingTheFileAndWorksOnceMended) {
    const QByteArray damaged = kHeader + kManagerSection + "\"LanguageIndex\"=dword:1\n";
    FTemp.Write(QStringLiteral("user.reg"), damaged);
    const std::optional<QString> error = RegistryError([&] { GetParam().Operation(FManager); });
    ASSERT_NE(error, std::nullopt);
    EXPECT_TRUE(error->contains(UserFile())) << error->toStdString();
    EXPECT_EQ(UserHiveBytes(), damaged) << "a damaged hive is never overwritten";

    WriteUserHive(kManagerSection + "\"LanguageIndex\"=dword:00000002\n");
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), 2);
    ASSERT_EQ(RegistryError([&] { GetParam().Operation(FManager); }), std::nullopt);
    FManager.WriteInteger(QStringLiteral("LanguageIndex"), 6);
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("LanguageIndex"), 1), 6);
}

INSTANTIATE_TEST_SUITE_P(Table, RegeditDamaged, testing::ValuesIn(kDamaged),
                         [](const testing::TestParamInfo<TDamagedRow>& row) { return row.param.Name; });

// ---- Several processes ----------------------------------------------------------------

TEST_F(Regedit, TwoProcessesWritingAtOnceLoseNeitherValue) {
    constexpr int kWrites = 40;
    const auto writer = [&](const QString& name) {
        return [=] {
            TRegedit store(kManager, HKEY_CURRENT_USER);
            for (int i = 1; i <= kWrites; ++i)
                store.WriteInteger(name, i);
            return 0;
        };
    };
    TGatedChildren children;
    children.Spawn(writer(QStringLiteral("First")));
    children.Spawn(writer(QStringLiteral("Second")));
    // Both start at once.
    for (const int code : children.ReleaseAndWait())
        EXPECT_EQ(code, 0) << "a writer failed";
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("First"), 0), kWrites);
    EXPECT_EQ(FManager.ReadInteger(QStringLiteral("Second"), 0), kWrites);
}

}  // namespace
