// The program's main window on the system's registry and window messages.

#include "tests/app/MainWindowFixture.h"

#include "platform/Registry.h"
#include "platform/win32/WinApi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>
#include <QProcess>

namespace {

const QString AppPathsKey = QStringLiteral("SOFTWARE\\Kestrelweave\\AppPaths");

// The tools' paths in the real HKEY_LOCAL_MACHINE, removed after each test.
class WinMainWindow : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        Clear();
    }
    void TearDown() override {
        Clear();
        MainWindow::TearDown();
    }
    void Record(int index, const QString& path) {
        std::unique_ptr<IRegistryKey> key;
        ASSERT_TRUE(
            SystemRegistry().OpenKey(HKEY_LOCAL_MACHINE, AppPathsKey, KEY_ALL_ACCESS, true, key).Ok());
        ASSERT_TRUE(key->SetValue(QLatin1String(ToolCatalogue[index].Key), TRegValue::String(path)).Ok());
    }

private:
    void Clear() {
        std::unique_ptr<IRegistryKey> key;
        if (!SystemRegistry().OpenKey(HKEY_LOCAL_MACHINE, AppPathsKey, KEY_ALL_ACCESS, false, key).Ok())
            return;
        for (const TToolEntry& entry : ToolCatalogue)
            key->SetValue(QLatin1String(entry.Key), TRegValue::String(QString()));
    }
};

TEST_F(WinMainWindow, AnInstallersBroadcastTurnsTheToolBlack) {
    Record(6, Tool(6));
    // Recorded before its file is there: the registry does not change again, and only
    // the message can tell the window.
    Record(2, ToolPath(2));
    Create();
    frmMain->Show();
    EXPECT_TRUE(Installed(6)) << "read at start from the system's registry";
    EXPECT_FALSE(Installed(2));

    Tool(2);
    const QString poster = QCoreApplication::applicationDirPath() + QStringLiteral("/kw-broadcast.exe");
    ASSERT_EQ(QProcess::execute(poster, {QStringLiteral("KWAPPINSTALLED")}), 0);
    EXPECT_TRUE(WaitFor([] { return Installed(2); }));
}

// What an installer and an uninstaller do to the system's registry, with no message:
// the list follows.
TEST_F(WinMainWindow, TheListFollowsTheSystemsRegistryByItself) {
    Create();
    frmMain->Show();
    ASSERT_FALSE(Installed(4));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(WinApi::LocalMachine, reinterpret_cast<LPCWSTR>(AppPathsKey.utf16()), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const QString name = QLatin1String(ToolCatalogue[4].Key);
    const QString path = QDir::toNativeSeparators(Tool(4));
    ASSERT_EQ(RegSetValueExW(key, reinterpret_cast<LPCWSTR>(name.utf16()), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(path.utf16()), DWORD((path.size() + 1) * 2)),
              ERROR_SUCCESS);
    EXPECT_TRUE(WaitFor([] { return Installed(4); }));

    ASSERT_EQ(RegDeleteValueW(key, reinterpret_cast<LPCWSTR>(name.utf16())), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_TRUE(WaitFor([] { return !Installed(4); }));
}

// Under Wine the system may lack Tahoma (Debian's Wine does not load its own copy):
// the windows take that copy rather than the first face the system lists, a serif one.
TEST_F(WinMainWindow, IsDrawnInTahoma) {
    Create();
    EXPECT_EQ(QFontInfo(Label(QStringLiteral("lblApp1"))->font()).family(), QStringLiteral("Tahoma"));
}

}  // namespace
