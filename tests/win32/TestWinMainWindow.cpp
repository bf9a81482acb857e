// The program's main window on the system's registry and window messages.

#include "tests/app/MainWindowFixture.h"

#include "platform/Registry.h"

#include <QCoreApplication>
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
    Create();
    frmMain->Show();
    EXPECT_TRUE(Installed(6)) << "read at start from the system's registry";
    EXPECT_FALSE(Installed(2));

    Record(2, Tool(2));
    EXPECT_FALSE(Installed(2)) << "only a message brings the window up to date";
    const QString poster = QCoreApplication::applicationDirPath() + QStringLiteral("/kw-broadcast.exe");
    ASSERT_EQ(QProcess::execute(poster, {QStringLiteral("KWAPPINSTALLED")}), 0);
    EXPECT_TRUE(WaitFor([] { return Installed(2); }));
}

}  // namespace
