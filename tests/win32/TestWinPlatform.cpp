// What the Windows platform layer does with the system's own services: the registry,
// version resources, named mutexes, the shell, window messages and code pages.

#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/NamedMutex.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SystemError.h"
#include "platform/VersionInfo.h"
#include "platform/WindowMessages.h"
#include "platform/win32/WinApi.h"
#include "platform/win32/WinText.h"
#include "tests/support/AppFixture.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUuid>
#include <QWidget>

#include <functional>

namespace {

QString Program(const QString& name) {
    return QCoreApplication::applicationDirPath() + u'/' + name + QStringLiteral(".exe");
}

// A key of its own below HKEY_CURRENT_USER\SOFTWARE for one test, removed after it.
class WinRegistry : public testing::Test {
protected:
    void TearDown() override {
        RegDeleteTreeW(WinApi::CurrentUser, reinterpret_cast<LPCWSTR>(FPath.utf16()));
    }

    std::unique_ptr<IRegistryKey> Open(bool create = true) {
        std::unique_ptr<IRegistryKey> key;
        const TRegResult result =
            SystemRegistry().OpenKey(HKEY_CURRENT_USER, FPath, KEY_ALL_ACCESS, create, key);
        EXPECT_TRUE(result.Ok()) << result.Message.toStdString();
        return key;
    }
    // What the system itself has stored: type and bytes.
    std::pair<DWORD, QByteArray> Stored(const QString& name) const {
        DWORD type = 0, size = 0;
        const auto* path = reinterpret_cast<LPCWSTR>(FPath.utf16());
        const auto* value = reinterpret_cast<LPCWSTR>(name.utf16());
        RegGetValueW(WinApi::CurrentUser, path, value, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size);
        QByteArray bytes(qsizetype(size), '\0');
        RegGetValueW(WinApi::CurrentUser, path, value, RRF_RT_ANY | RRF_NOEXPAND, &type, bytes.data(), &size);
        bytes.resize(qsizetype(size));
        return {type, bytes};
    }

    const QString FPath = QStringLiteral("SOFTWARE\\KestrelweaveTests\\") + QUuid::createUuid().toString();
};

QByteArray Utf16Bytes(const QString& text) {
    return QByteArray(reinterpret_cast<const char*>(text.utf16()), (text.size() + 1) * 2);
}

TEST_F(WinRegistry, ValuesKeepTheirTypeAndBytesBothWays) {
    const QByteArray multi = QByteArray("a\0\0\0b\0\0\0\0\0\0\0", 12);
    const struct {
        const char* Name;
        TRegValue Value;
        DWORD SystemType;
        QByteArray SystemBytes;
    } rows[] = {
        {"Path", TRegValue::String(QStringLiteral("C:\\Tools\\Tessaly \u00E9.exe")), REG_SZ,
         Utf16Bytes(QStringLiteral("C:\\Tools\\Tessaly \u00E9.exe"))},
        {"Expandable", TRegValue::String(QStringLiteral("%ProgramFiles%\\x.exe"), REG_EXPAND_SZ),
         REG_EXPAND_SZ, Utf16Bytes(QStringLiteral("%ProgramFiles%\\x.exe"))},
        {"Empty", TRegValue::String(QString()), REG_SZ, QByteArray(2, '\0')},
        {"LanguageIndex", TRegValue::Dword(0x01020304), REG_DWORD, QByteArray("\x04\x03\x02\x01", 4)},
        {"Blob", TRegValue{REG_BINARY, {}, QByteArray("\x00\xFF\x10", 3)}, REG_BINARY,
         QByteArray("\x00\xFF\x10", 3)},
        {"List", TRegValue{REG_MULTI_SZ, {}, multi}, REG_MULTI_SZ, multi},
    };
    const std::unique_ptr<IRegistryKey> key = Open();
    ASSERT_TRUE(key);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString name = QString::fromLatin1(row.Name);
        ASSERT_TRUE(key->SetValue(name, row.Value).Ok());
        const auto [type, bytes] = Stored(name);
        EXPECT_EQ(type, row.SystemType);
        EXPECT_EQ(bytes, row.SystemBytes);
        TRegValue read;
        ASSERT_TRUE(key->QueryValue(name, read).Ok());
        EXPECT_EQ(read, row.Value) << "as stored, never expanded";
    }
}

// The watch of a key that does not exist yet, through the life of the key: what
// another program does with the system's functions, step by step.
TEST_F(WinRegistry, AWatchTellsOfTheKeyAndItsValuesAndOfNothingBesideThem) {
    const auto* path = reinterpret_cast<LPCWSTR>(FPath.utf16());
    const QString sibling = FPath + QStringLiteral("-beside");
    const auto* siblingPath = reinterpret_cast<LPCWSTR>(sibling.utf16());
    const auto set = [](LPCWSTR keyPath, const wchar_t* name) {
        HKEY key = nullptr;
        RegCreateKeyExW(WinApi::CurrentUser, keyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
        const DWORD one = 1;
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
        RegCloseKey(key);
    };
    const struct {
        const char* Name;
        std::function<void()> Change;
        bool Notice;
    } steps[] = {
        {"a value beside the missing key is set", [&] { set(siblingPath, L"x"); }, false},
        {"the key comes", [&] { set(path, L"AudioTrimmer"); }, true},
        {"a value is set", [&] { set(path, L"VideoJoiner"); }, true},
        {"a value is deleted",
         [&] {
             HKEY key = nullptr;
             RegOpenKeyExW(WinApi::CurrentUser, path, 0, KEY_SET_VALUE, &key);
             RegDeleteValueW(key, L"VideoJoiner");
             RegCloseKey(key);
         },
         true},
        {"a key below it comes",
         [&] { set(reinterpret_cast<LPCWSTR>((FPath + QStringLiteral("\\Below")).utf16()), L"y"); }, true},
        {"a value beside it changes", [&] { set(siblingPath, L"z"); }, false},
        {"the key goes", [&] { RegDeleteTreeW(WinApi::CurrentUser, path); }, true},
        {"and comes back", [&] { set(path, L"AudioTrimmer"); }, true},
    };
    // The keys on the way are there already, as SOFTWARE is for a real program.
    set(siblingPath, L"w");
    int notices = 0;
    const std::unique_ptr<IRegistryWatch> watch =
        SystemRegistry().WatchKey(HKEY_CURRENT_USER, FPath, [&] { ++notices; });
    ASSERT_NE(watch, nullptr);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.Name);
        const int before = notices;
        step.Change();
        if (step.Notice) {
            EXPECT_TRUE(WaitFor([&] { return notices > before; }, 5));
            // The rest of this change's notices, before the next step.
            WaitFor([] { return false; }, 1);
        } else {
            WaitFor([] { return false; }, 1);
            EXPECT_EQ(notices, before);
        }
    }
    RegDeleteTreeW(WinApi::CurrentUser, siblingPath);
}

TEST_F(WinRegistry, MissingKeysAndValuesAreNotFoundWithTheirNames) {
    std::unique_ptr<IRegistryKey> key;
    TRegResult result = SystemRegistry().OpenKey(HKEY_CURRENT_USER, FPath, KEY_READ, false, key);
    EXPECT_EQ(result.Status, TRegStatus::NotFound);
    EXPECT_TRUE(result.Message.contains(QStringLiteral("HKEY_CURRENT_USER\\") + FPath))
        << result.Message.toStdString();
    EXPECT_FALSE(key);

    key = Open();
    TRegValue value;
    result = key->QueryValue(QStringLiteral("Absent"), value);
    EXPECT_EQ(result.Status, TRegStatus::NotFound);
    EXPECT_TRUE(result.Message.contains(QStringLiteral("'Absent'"))) << result.Message.toStdString();

    for (const QString& bad :
         {QStringLiteral("\\Leading"), QStringLiteral("Trailing\\"), QStringLiteral("a\\\\b")}) {
        result = SystemRegistry().OpenKey(HKEY_CURRENT_USER, bad, KEY_ALL_ACCESS, true, key);
        EXPECT_EQ(result.Status, TRegStatus::NotFound) << bad.toStdString();
    }
}

TEST_F(WinRegistry, AKeyOpenedToReadRefusesWritesWithTheSystemsReason) {
    Open();
    std::unique_ptr<IRegistryKey> key;
    ASSERT_TRUE(SystemRegistry().OpenKey(HKEY_CURRENT_USER, FPath, KEY_READ, false, key).Ok());
    const TRegResult result = key->SetValue(QStringLiteral("LanguageIndex"), TRegValue::Dword(2));
    EXPECT_EQ(result.Status, TRegStatus::AccessDenied);
    EXPECT_FALSE(result.Reason.isEmpty());
    EXPECT_FALSE(result.Reason.endsWith(u'.')) << "the caller ends the sentence";
    EXPECT_TRUE(SystemRegistry().StoreName(HKEY_CURRENT_USER).isEmpty());
}

TEST(WinVersionInfo, ExecutablesCarryTheProjectsVersionAsTheSystemReadsIt) {
    for (const QString& name : {QStringLiteral("kw-version-probe"), QStringLiteral("tessaly-manager")}) {
        SCOPED_TRACE(name.toStdString());
        const QString folder =
            name == QStringLiteral("tessaly-manager") ? QString() : QStringLiteral("/platform");
        const QString path =
            qEnvironmentVariable("KW_TEST_BINARY_DIR") + folder + u'/' + name + QStringLiteral(".exe");
        QByteArray block;
        ASSERT_NE(GetFileVersionInfoSize(path), 0U);
        ASSERT_TRUE(GetFileVersionInfo(path, block));
        // Our reader and the system's agree on the block the system handed out.
        for (const char* entry : {"FileVersion", "ProductVersion", "CompanyName", "ProductName"}) {
            const QString subBlock = QStringLiteral("\\StringFileInfo\\040904E4\\") + QLatin1String(entry);
            QString ours;
            ASSERT_TRUE(VerQueryValue(block, subBlock, ours)) << entry;
            wchar_t* system = nullptr;
            UINT length = 0;
            ASSERT_TRUE(VerQueryValueW(block.constData(), reinterpret_cast<LPCWSTR>(subBlock.utf16()),
                                       reinterpret_cast<void**>(&system), &length));
            EXPECT_EQ(ours, QString::fromWCharArray(system)) << entry;
        }
        QString version;
        ASSERT_TRUE(VerQueryValue(block, QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion"), version));
        EXPECT_EQ(version, QStringLiteral(KW_PROJECT_VERSION));
        QByteArray fixed;
        ASSERT_TRUE(VerQueryValue(block, QStringLiteral("\\"), fixed));
        ASSERT_GE(fixed.size(), qsizetype(sizeof(VS_FIXEDFILEINFO)));
        const auto* info = reinterpret_cast<const VS_FIXEDFILEINFO*>(fixed.constData());
        EXPECT_EQ(info->dwSignature, 0xFEEF04BDU);
        EXPECT_EQ(QStringLiteral("%1.%2.%3.%4")
                      .arg(HIWORD(info->dwFileVersionMS))
                      .arg(LOWORD(info->dwFileVersionMS))
                      .arg(HIWORD(info->dwFileVersionLS))
                      .arg(LOWORD(info->dwFileVersionLS)),
                  QStringLiteral(KW_PROJECT_VERSION));
    }
    const TTempFolder folder;
    EXPECT_EQ(GetFileVersionInfoSize(folder.Write(QStringLiteral("plain.txt"), "no version")), 0U);
    EXPECT_EQ(GetFileVersionInfoSize(folder.FilePath(QStringLiteral("absent.exe"))), 0U);
}

TEST(WinVersionInfo, TheProgramCarriesItsIconAndManifest) {
    const QString path = qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/tessaly-manager.exe");
    const HMODULE program =
        LoadLibraryExW(reinterpret_cast<LPCWSTR>(path.utf16()), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(program);
    EXPECT_TRUE(FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14))) << "the icon group";
    const HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_TRUE(found) << "the manifest";
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(program, found)));
    const QByteArray manifest(bytes, qsizetype(SizeofResource(program, found)));
    for (const char* wanted : {"Microsoft.Windows.Common-Controls", "version=\"6.0.0.0\"", "PerMonitorV2"})
        EXPECT_TRUE(manifest.contains(wanted)) << wanted;
    FreeLibrary(program);
}

TEST(WinNamedMutex, ExistsWhileAnyHolderLivesAndOthersFindIt) {
    const QString name =
        QStringLiteral("KESTRELWEAVE-test-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const auto* wide = reinterpret_cast<LPCWSTR>(name.utf16());
    auto first = CreateNamedMutex(name);
    EXPECT_FALSE(first->AlreadyExisted());
    auto second = CreateNamedMutex(name);
    EXPECT_TRUE(second->AlreadyExisted());
    // As an installer asks whether the program runs.
    HANDLE found = OpenMutexW(SYNCHRONIZE, FALSE, wide);
    EXPECT_TRUE(found);
    if (found)
        CloseHandle(found);
    first.reset();
    EXPECT_TRUE(CreateNamedMutex(name)->AlreadyExisted()) << "the second holder still has it";
    second.reset();
    EXPECT_FALSE(OpenMutexW(SYNCHRONIZE, FALSE, wide));
    EXPECT_FALSE(CreateNamedMutex(name)->AlreadyExisted());
    EXPECT_FALSE(CreateNamedMutex(QString())->AlreadyExisted());
}

TEST(WinShell, StartsAProgramWithEachParameterAsOneArgument) {
    const TTempFolder folder;
    const QString log = folder.FilePath(QStringLiteral("calls.txt"));
    const TScopedEnv record("KW_RECORD_LOG", QDir::toNativeSeparators(log).toUtf8());
    // A copy in a folder whose name has a space, named with forward slashes.
    const QString program = folder.FilePath(QStringLiteral("Program Files/kw-record.exe"));
    ASSERT_TRUE(QDir().mkpath(folder.FilePath(QStringLiteral("Program Files"))));
    ASSERT_TRUE(QFile::copy(Program(QStringLiteral("kw-record")), program));
    const QStringList parameters{QStringLiteral("C:/Kestrelweave/Installations/Setup 1.exe"),
                                 QStringLiteral("plain"),
                                 QStringLiteral("say \"hi\""),
                                 QStringLiteral("ends in \\"),
                                 QStringLiteral("\u00E9\u4E2D"),
                                 QString()};
    ShellExecuteDefault(program, parameters);
    ASSERT_TRUE(WaitFor([&] { return QFile(log).size() > 0; })) << "the program did not start";
    QFile file(log);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList fields = QString::fromUtf8(file.readAll()).chopped(1).split(u'\t');
    ASSERT_EQ(fields.size(), parameters.size() + 1);
    EXPECT_EQ(QDir::fromNativeSeparators(fields[0]).toLower(), program.toLower());
    EXPECT_EQ(fields.mid(1), parameters);
}

// Each way the shell refuses a start, as the caller learns it. (A refusal with the
// system's own reason needs a file the user may not run, which Wine does not enforce.)
TEST(WinShell, SaysWhyAStartFailed) {
    const TTempFolder folder;
    const struct {
        const char* Name;
        QByteArray Bytes;  // written first, unless empty
        TStartFailure Failure;
    } rows[] = {
        {"gone.exe", {}, TStartFailure::FileMissing},
        {"broken.exe", "MZ, but no program", TStartFailure::NoProgram},
        {"setup.kwx", "no program is set to open this", TStartFailure::NoProgram},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString target = row.Bytes.isEmpty() ? folder.FilePath(QLatin1String(row.Name))
                                                   : folder.Write(QLatin1String(row.Name), row.Bytes);
        EXPECT_EQ(ShellExecuteDefault(target).Failure, row.Failure);
    }
}

TEST(WinWindowMessages, AnotherProgramsBroadcastArrivesOnce) {
    IWindowMessages& messages = SystemWindowMessages();
    const QString name =
        QStringLiteral("KWTESTMESSAGE-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    const unsigned id = messages.RegisterWindowMessage(name);
    ASSERT_GE(id, 0xC000U);
    EXPECT_EQ(messages.RegisterWindowMessage(name.toLower()), id) << "names compare without case";
    EXPECT_EQ(RegisterWindowMessageW(reinterpret_cast<LPCWSTR>(name.utf16())), id) << "the system's own id";

    // Two windows of ours are up: a broadcast leaves a copy for each in the queue.
    QWidget one, two;
    one.show();
    two.show();
    std::vector<unsigned> arrived;
    ASSERT_TRUE(messages.Listen([&](unsigned message) { arrived.push_back(message); }));
    for (const QString& posted : {name, QStringLiteral("KWSOMETHINGELSE")})
        ASSERT_EQ(QProcess::execute(Program(QStringLiteral("kw-broadcast")), {posted}), 0);
    ASSERT_TRUE(WaitFor([&] { return arrived.size() >= 2; }));
    // Whatever else is queued by now has been seen too.
    const bool more = WaitFor([&] { return arrived.size() > 2; }, 1);
    messages.Listen(nullptr);
    EXPECT_FALSE(more);
    ASSERT_EQ(arrived.size(), 2U);
    EXPECT_EQ(arrived[0], id);
    EXPECT_EQ(arrived[1], messages.RegisterWindowMessage(QStringLiteral("KWSOMETHINGELSE")));
}

TEST(WinCodePage, ConvertsThroughTheSystemsTables) {
    const struct {
        int CodePage;
        QByteArray Bytes;
        QString Text;
    } rows[] = {
        {1251, QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"),
         QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442")},
        {1252, QByteArray("Caf\xE9 \x80"), QStringLiteral("Caf\u00E9 \u20AC")},
        {932, QByteArray("\x93\xFA\x96\x7B"), QStringLiteral("\u65E5\u672C")},
        {936, QByteArray("\xD6\xD0\xCE\xC4"), QStringLiteral("\u4E2D\u6587")},
        {1253, QByteArray("\xE1\xE2"), QStringLiteral("\u03B1\u03B2")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.CodePage);
        EXPECT_TRUE(IsCodePageSupported(row.CodePage));
        EXPECT_EQ(DecodeCodePage(row.Bytes, row.CodePage), row.Text);
        EXPECT_EQ(EncodeCodePage(row.Text, row.CodePage), row.Bytes);
    }
    EXPECT_EQ(EncodeCodePage(QStringLiteral("\u4E2D"), 1251), QByteArray("?")) << "no look-alikes";
    EXPECT_FALSE(IsCodePageSupported(12345));
    EXPECT_EQ(DecodeCodePage(QByteArray("\xE9"), 12345), QStringLiteral("\u00E9"))
        << "unknown pages read as Latin-1";
    EXPECT_EQ(SystemAnsiCodePage(), int(GetACP()));
}

TEST(WinFiles, ReplacesInOneStepAndSaysWhyNot) {
    const TTempFolder folder;
    const QString target = folder.Write(QStringLiteral("Setup.exe"), "old");
    const QString source = folder.Write(QStringLiteral("Setup.exe.part"), "new");
    TSystemError error;
    ASSERT_TRUE(ReplaceFile(source, target, &error)) << error.Text.toStdString();
    EXPECT_EQ(folder.Read(QStringLiteral("Setup.exe")), QByteArray("new"));
    EXPECT_FALSE(FileExists(source));
    EXPECT_FALSE(ReplaceFile(source, target, &error));
    EXPECT_EQ(error.Kind, TSystemErrorKind::NotFound) << error.Text.toStdString();
    EXPECT_EQ(folder.Read(QStringLiteral("Setup.exe")), QByteArray("new")) << "left as it was";
    // A folder cannot be opened as a file to write: told by its kind, for root too.
    const HANDLE asFile = CreateFileW(Wide(QDir::toNativeSeparators(folder.Path())), GENERIC_WRITE, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(asFile, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SystemError(GetLastError()).Kind, TSystemErrorKind::AccessDenied);
    EXPECT_TRUE(DirectoryExists(folder.Path()));
    EXPECT_FALSE(FileExists(folder.Path()));
    EXPECT_TRUE(DeleteFile(target));
    EXPECT_FALSE(DeleteFile(target));
    // The maker's folder goes at the root of the program's drive (Wine's Z: here).
    const QString root = ProgramRootFolder();
    EXPECT_EQ(root, QDir::fromNativeSeparators(QCoreApplication::applicationFilePath()).left(2) + u'/');
}

}  // namespace
