#include "app/Program.h"
#include "app/TfrmMain.h"
#include "core/FileVersion.h"
#include "platform/Registry.h"
#include "platform/WindowMessages.h"
#include "settings/SiteLinks.h"
#include "settings/TRegedit.h"
#include "tests/app/MainWindowFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TApplicationEvents.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QEnterEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QTimer>

#include <optional>

using namespace tk;

namespace {

// ---- Layout -------------------------------------------------------------------------

struct TLabelRow {
    const char* Name;
    const char* Parent;
    int Left, Top;
    const char* Caption;
    bool Bold;
    QColor Colour;  // invalid: set by the refresh
    bool Hand;
};

const QColor White(255, 255, 255);
const QColor Red(255, 0, 0);

const TLabelRow kLabels[] = {
    {"lblInfo", "Panel4", 16, 13, "Information:", true, White, false},
    {"lblSite", "Panel4", 16, 37, "Our site", false, White, true},
    {"lblForums", "Panel4", 16, 61, "Forums", false, White, true},
    {"lblNews", "Panel4", 16, 85, "Our news", false, White, true},
    {"lblNewsletter", "Panel4", 16, 109, "Free newsletter", false, White, true},
    {"lblFreeware", "Panel4", 16, 133, "Freeware page", false, White, true},
    {"lblFaq", "Panel4", 16, 157, "FAQ", false, White, true},
    {"lblTechSupport", "Panel4", 16, 205, "Tech-support:", true, White, false},
    {"lblSupport", "Panel4", 16, 229, "support@kestrelweave.com", false, White, true},
    {"lblPreferences", "Panel4", 16, 285, "Preferences...", false, White, true},
    {"lblHead", "Panel2", 20, 13, "Applications:", true, Black, false},
    {"lblApp1", "Panel2", 20, 37, "1. Tessaly Audio Trimmer", false, Grey, true},
    {"lblApp10", "Panel2", 20, 253, "10. Tessaly Video Converter", false, Grey, true},
    {"lblApp11", "Panel2", 252, 37, "11. Tessaly 3D Text Animator", false, Grey, true},
    {"lblApp20", "Panel2", 252, 253, "20. Tessaly Webcam Recorder", false, Grey, true},
    {"lblDownloadAll", "Panel2", 20, 285, "Download all freeware at once", true, Red, true},
    {"lblSubscription", "Panel2", 20, 285, "Subscribe to free newsletters and stay informed !", true, Red,
     true},
};

TEST_F(MainWindow, LabelsLieWhereTheWindowIsDesigned) {
    Create();
    for (const TLabelRow& row : kLabels) {
        SCOPED_TRACE(row.Name);
        TLabel* label = Label(QLatin1String(row.Name));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->parentWidget()->objectName(), QLatin1String(row.Parent));
        EXPECT_EQ(label->Left(), row.Left);
        EXPECT_EQ(label->Top(), row.Top);
        EXPECT_EQ(label->Height(), 13);
        EXPECT_EQ(label->Caption(), QLatin1String(row.Caption));
        EXPECT_EQ(label->font().bold(), row.Bold);
        EXPECT_EQ(label->Font()->TextColor(), row.Colour);
        EXPECT_EQ(label->Font()->Height(), -11);
        EXPECT_EQ(label->Font()->Name(), QStringLiteral("Tahoma"));
        EXPECT_EQ(label->Cursor(), row.Hand ? crHandPoint : crDefault);
        EXPECT_TRUE(label->Transparent());
        EXPECT_EQ(label->Tag(), QByteArray(row.Name).startsWith("lblApp")
                                    ? 1000 + QByteArray(row.Name).mid(6).toInt() - 1
                                    : 0);
    }
}

TEST_F(MainWindow, EveryToolLabelShowsItsNumberAndSitsInItsColumn) {
    Create();
    for (int i = 0; i < ToolCount; ++i) {
        SCOPED_TRACE(i);
        TLabel* label = ToolLabel(i);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->Tag(), 1000 + i);
        EXPECT_TRUE(label->Caption().startsWith(QStringLiteral("%1. ").arg(i + 1)));
        EXPECT_EQ(label->Left(), i < 10 ? 20 : 252);
        EXPECT_EQ(label->Top(), 37 + 24 * (i % 10));
        EXPECT_FALSE(label->font().bold());
        EXPECT_FALSE(label->font().underline());
    }
}

TEST_F(MainWindow, WindowIsFixedInSizeWithTwoPanels) {
    TfrmMain* form = Create();
    form->Show();
    EXPECT_EQ(form->size(), QSize(652, 321));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    auto* panel4 = qobject_cast<TPanel*>(form->FindComponent(QStringLiteral("Panel4")));
    auto* panel2 = qobject_cast<TPanel*>(form->FindComponent(QStringLiteral("Panel2")));
    ASSERT_TRUE(panel4 && panel2);
    EXPECT_EQ(panel4->geometry(), QRect(473, 0, 179, 321));
    EXPECT_EQ(panel2->geometry(), QRect(0, 0, 473, 321));
    const QImage image = form->grab().toImage();
    EXPECT_EQ(image.pixelColor(600, 310), QColor(0x3A, 0x6E, 0xA5));
    EXPECT_EQ(image.pixelColor(400, 310), White);
    const QString out = qEnvironmentVariable("KW_SCREENSHOT");
    if (!out.isEmpty()) {
        EXPECT_TRUE(image.save(out));
    }
}

TEST_F(MainWindow, CaptionCarriesTheVersionOfTheRunningExecutable) {
    TfrmMain* form = Create();
    // The test program carries no version block; the program itself does.
    EXPECT_EQ(form->Caption(), QStringLiteral("Tessaly Manager 0.0.0.0"));
    EXPECT_EQ(form->windowTitle(), form->Caption());
    const QString program = qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/tessaly-manager");
    if (!QFile::exists(program))
        GTEST_SKIP() << "the program is not built beside the tests";
    EXPECT_EQ(GetFileVersionText(program), QStringLiteral(KW_PROJECT_VERSION));
}

// ---- Hover ----------------------------------------------------------------------------

TEST_F(MainWindow, LinkLabelsUnderlineOnlyWhileTheMouseIsOverThem) {
    Create();
    for (const char* name : {"lblApp1", "lblApp20", "lblSite", "lblSupport", "lblPreferences"}) {
        SCOPED_TRACE(name);
        TLabel* label = Label(QLatin1String(name));
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(label, &enter);
        EXPECT_EQ(label->Font()->Style(), TFontStyles(fsUnderline));
        EXPECT_TRUE(label->font().underline());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        EXPECT_EQ(label->Font()->Style(), TFontStyles());
        EXPECT_FALSE(label->font().underline());
    }
    for (const char* name : {"lblDownloadAll", "lblSubscription", "lblInfo", "lblHead"}) {
        SCOPED_TRACE(name);
        TLabel* label = Label(QLatin1String(name));
        const TFontStyles before = label->Font()->Style();
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
        QApplication::sendEvent(label, &enter);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        EXPECT_EQ(label->Font()->Style(), before);
    }
}

// ---- Installed tools ------------------------------------------------------------------

TEST_F(MainWindow, NoAppPathsKeyMeansNothingIsInstalled) {
    Create();
    ExpectInstalled({});
}

TEST_F(MainWindow, NineteenInstalledStillOffersTheSuiteDownload) {
    std::map<int, QString> paths;
    std::set<int> installed;
    for (int i = 0; i < ToolCount; ++i)
        if (i != 7) {
            paths[i] = Tool(i);
            installed.insert(i);
        }
    WriteMachineHive(AppPaths(paths));
    Create();
    ExpectInstalled(installed);
}

TEST_F(MainWindow, AllTwentyInstalledOfferTheNewsletterInstead) {
    std::map<int, QString> paths;
    std::set<int> installed;
    for (int i = 0; i < ToolCount; ++i) {
        paths[i] = Tool(i);
        installed.insert(i);
    }
    WriteMachineHive(AppPaths(paths));
    Create();
    ExpectInstalled(installed);
}

struct TPathCase {
    const char* Name;
    std::function<QString(const QString& existing)> Value;
    bool Installed;
};

class InstalledPath : public MainWindow, public testing::WithParamInterface<TPathCase> {};

TEST_P(InstalledPath, CountsOnlyTheExactNameOfAnExistingFile) {
    const QString existing = Tool(4);
    const QString value = GetParam().Value(existing);
    WriteMachineHive(AppPaths({{4, value}}));
    Create();
    EXPECT_EQ(Installed(4), GetParam().Installed);
    EXPECT_EQ(ToolLabel(4)->Font()->TextColor(), GetParam().Installed ? Black : Grey);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, InstalledPath,
    testing::Values(
        TPathCase{"ExistingFile", [](const QString& f) { return f; }, true},
        TPathCase{"Folder", [](const QString& f) { return QFileInfo(f).absolutePath(); }, false},
        TPathCase{"Quoted", [](const QString& f) { return QLatin1Char('"') + f + QLatin1Char('"'); }, false},
        TPathCase{"EnvironmentReference",
                  [](const QString& f) { return QStringLiteral("%KW_TOOLS%/") + QFileInfo(f).fileName(); },
                  false},
        TPathCase{"ShellVariable",
                  [](const QString& f) { return QStringLiteral("$HOME/") + QFileInfo(f).fileName(); }, false},
        TPathCase{"Removed", [](const QString& f) { return f + QStringLiteral(".old"); }, false},
        TPathCase{"Empty", [](const QString&) { return QString(); }, false}),
    [](const testing::TestParamInfo<TPathCase>& row) { return std::string(row.param.Name); });

TEST_F(MainWindow, ExpandableStringValuesAreTakenAsStored) {
    const QString existing = Tool(2);
    // REG_EXPAND_SZ holding the literal path (UTF-16LE, zero-terminated).
    QString hex;
    for (const QChar c : existing)
        hex += QStringLiteral("%1,%2,")
                   .arg(c.unicode() & 0xFF, 2, 16, QLatin1Char('0'))
                   .arg(c.unicode() >> 8, 2, 16, QLatin1Char('0'));
    WriteMachineHive(
        QStringLiteral(
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n\"SoundRecorder\"=hex(2):") +
        hex + QStringLiteral("00,00\r\n"));
    Create();
    EXPECT_TRUE(Installed(2));
}

// ---- KWAPPINSTALLED ---------------------------------------------------------------------

}  // namespace

// A message hook after the main window's: it sees the copies of "KWAPPINSTALLED"
// that the main window passed on. The main window takes (and refreshes on) the
// application's copy only, so one broadcast means one refresh.
class TPassedOn : public QObject {
    Q_OBJECT

public:
    explicit TPassedOn(QObject* parent) : QObject(parent), FEvents(new TApplicationEvents(this)) {
        FEvents->SetOnMessage(TMethod::Find(this, "Message"));
    }
    QList<tk::HWND> Copies;

public Q_SLOTS:
    void Message(TMsg& Msg, bool& /*Handled*/) {
        if (Msg.message == AppInstalledMessage())
            Copies << Msg.hwnd;
    }

private:
    TApplicationEvents* FEvents;
};

namespace {

// In the message's tests the registry names a tool whose file comes later, as an
// installer run elsewhere may leave it: the registry does not change, and only the
// message can tell the window.
TEST_F(MainWindow, MessageAtTheApplicationWindowRefreshes) {
    WriteMachineHive(AppPaths({{0, ToolPath(0)}}));
    Create();
    TPassedOn passed(frmMain);
    ASSERT_FALSE(Installed(0));
    Tool(0);
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    ASSERT_TRUE(WaitFor([&] { return Installed(0); }));
    EXPECT_TRUE(passed.Copies.isEmpty()) << "the main window took the application's copy";
}

TEST_F(MainWindow, MessageAtTheMainWindowOrAnotherMessageDoesNothing) {
    WriteMachineHive(AppPaths({{0, ToolPath(0)}}));
    Create();
    TPassedOn passed(frmMain);
    Tool(0);
    FApplication->PostMessage(frmMain->Handle(), AppInstalledMessage());
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage() + 1);
    FApplication->PostMessage(FApplication->Handle(), 0);
    FApplication->ProcessMessages();
    FApplication->ProcessMessages();
    EXPECT_EQ(passed.Copies, QList<tk::HWND>{frmMain->Handle()}) << "passed on, not acted on";
    EXPECT_FALSE(Installed(0));
}

TEST_F(MainWindow, BroadcastRefreshesExactlyOnce) {
    WriteMachineHive(AppPaths({{0, ToolPath(0)}}));
    Create();
    frmMain->Show();
    TPassedOn passed(frmMain);
    Tool(0);
    FApplication->BroadcastMessage(AppInstalledMessage());
    FApplication->ProcessMessages();
    FApplication->ProcessMessages();
    EXPECT_TRUE(Installed(0));
    EXPECT_EQ(passed.Copies, QList<tk::HWND>{frmMain->Handle()})
        << "only the application's copy was acted on";
}

TEST_F(MainWindow, AnotherProgramsBroadcastOverTheSessionBusTurnsTheToolBlack) {
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    WriteMachineHive(AppPaths({{19, ToolPath(19)}}));
    Create();
    frmMain->Show();
    TPassedOn passed(frmMain);
    ASSERT_FALSE(Installed(19));
    Tool(19);
    ASSERT_TRUE(BroadcastAppInstalled());
    ASSERT_TRUE(WaitFor([&] { return Installed(19); }));
    // Both top-level copies have passed by now; only one refreshed.
    ASSERT_TRUE(WaitFor([&] { return !passed.Copies.isEmpty(); }));
    FApplication->ProcessMessages();
    EXPECT_EQ(passed.Copies, QList<tk::HWND>{frmMain->Handle()});
}

TEST_F(MainWindow, TheTwentiethToolSwapsDownloadAllForTheNewsletter) {
    std::map<int, QString> paths;
    for (int i = 0; i < ToolCount - 1; ++i)
        paths[i] = Tool(i);
    paths[ToolCount - 1] = ToolPath(ToolCount - 1);
    WriteMachineHive(AppPaths(paths));
    Create();
    EXPECT_TRUE(Label(QStringLiteral("lblDownloadAll"))->Visible());
    Tool(ToolCount - 1);
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    ASSERT_TRUE(WaitFor([] { return Label(QStringLiteral("lblSubscription"))->Visible(); }));
    EXPECT_FALSE(Label(QStringLiteral("lblDownloadAll"))->Visible());
    EXPECT_EQ(Label(QStringLiteral("lblSubscription"))->Caption(),
              QStringLiteral("Subscribe to free newsletters and stay informed !"));
}

// ---- Following the registry ---------------------------------------------------------------

// What an installer or uninstaller does to the registry, and nothing more: no message.
// (Each way of writing a hive is the registry's own tests'.)
struct TFollowRow {
    const char* Name;
    std::set<int> Before;
    std::optional<std::set<int>> After;  // what the hive names then; none: the hive is gone
    // How the hive is written, when not at once.
    void (*Write)(const QString& hive, const QByteArray& bytes) = nullptr;
};

void Wait(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// An editor writing in place that stops for a while in the middle of the last line,
// then stays until a damaged hive would have been said.
void WriteWithAPauseMidLine(const QString& hive, const QByteArray& bytes) {
    QFile file(hive);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const qsizetype half = bytes.size() - 10;
    file.write(bytes.left(half));
    file.flush();
    Wait(1200);
    file.write(bytes.mid(half));
    file.close();
    Wait(3000);
}

void PrintTo(const TFollowRow& row, std::ostream* out) {
    *out << row.Name;
}

std::set<int> AllBut(int missing) {
    std::set<int> tools;
    for (int i = 0; i < ToolCount; ++i)
        if (i != missing)
            tools.insert(i);
    return tools;
}

const TFollowRow kFollowRows[] = {
    {"RecordedToolTurnsBlack", {}, std::set<int>{0}},
    {"RemovedToolTurnsGrey", {0, 5}, std::set<int>{5}},
    {"RemovedHiveTurnsEveryToolGrey", {2, 3}, std::nullopt},
    {"TwentiethRecordedSwapsDownloadAllForTheNewsletter", AllBut(19), AllBut(-1)},
    {"OneOfTwentyRemovedBringsDownloadAllBack", AllBut(-1), AllBut(12)},
    {"AWriterPausingMidLineShowsNoDamage", {1}, std::set<int>{0, 1}, WriteWithAPauseMidLine},
};

class FollowRegistry : public MainWindow, public testing::WithParamInterface<TFollowRow> {
protected:
    std::map<int, QString> Paths(const std::set<int>& tools) const {
        std::map<int, QString> paths;
        for (const int i : tools)
            paths[i] = Tool(i);
        return paths;
    }
};

TEST_P(FollowRegistry, TheListFollowsWithoutAMessage) {
    const TFollowRow& row = GetParam();
    WriteMachineHive(AppPaths(Paths(row.Before)));
    Create();
    frmMain->Show();
    ExpectInstalled(row.Before);
    TMessageBoxWatch boxes;
    boxes.Every = true;
    boxes.Start();
    if (row.After && row.Write)
        row.Write(MachineHivePath(),
                  "Windows Registry Editor Version 5.00\r\n\r\n" + AppPaths(Paths(*row.After)).toUtf8());
    else if (row.After)
        WriteMachineHive(AppPaths(Paths(*row.After)));
    else
        ASSERT_TRUE(QFile::remove(MachineHivePath()));
    const std::set<int> after = row.After.value_or(std::set<int>{});
    ASSERT_TRUE(WaitFor([&] {
        for (int i = 0; i < ToolCount; ++i)
            if (Installed(i) != (after.count(i) > 0))
                return false;
        return true;
    }));
    ExpectInstalled(after);
    EXPECT_EQ(boxes.Count, 0) << boxes.Text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Changes, FollowRegistry, testing::ValuesIn(kFollowRows),
                         [](const testing::TestParamInfo<TFollowRow>& row) { return row.param.Name; });

// An installer that writes its values one by one, each a new hive renamed into place,
// while the window goes on taking its notices: one refresh once they settle. The
// registry's writes are locked and synced, so a slow disk may stretch twenty of them
// past the longest wait, which then ends a burst early.
TEST_F(MainWindow, TwentyWritesInARowRefreshOnce) {
    Create();
    QSignalSpy refreshes(AppPathsSettled(), &QTimer::timeout);
    QElapsedTimer writing;
    writing.start();
    std::unique_ptr<IRegistryKey> key;
    for (int i = 0; i < ToolCount; ++i) {
        ASSERT_TRUE(
            SystemRegistry().OpenKey(HKEY_LOCAL_MACHINE, AppPathsKey(), KEY_ALL_ACCESS, true, key).Ok());
        ASSERT_TRUE(key->SetValue(QLatin1String(ToolCatalogue[i].Key), TRegValue::String(Tool(i))).Ok());
        // A real loop, so that a timer due meanwhile runs as it would in the program.
        QEventLoop between;
        QTimer::singleShot(10, &between, &QEventLoop::quit);
        between.exec();
    }
    const qint64 took = writing.elapsed();
    ASSERT_TRUE(WaitFor([] { return Label(QStringLiteral("lblSubscription"))->Visible(); }));
    WaitFor([] { return false; }, 1);
    if (took < 500)
        EXPECT_EQ(refreshes.count(), 1);
    else
        EXPECT_LE(refreshes.count(), 1 + took / 500) << "the writes took " << took << " ms";
}

// The language written at close, into the user's hive beside the machine's, is no
// change to the list.
TEST_F(MainWindow, TheProgramsOwnWritesRefreshNothing) {
    Create();
    QSignalSpy refreshes(AppPathsSettled(), &QTimer::timeout);
    TRegedit(ManagerKey(), HKEY_CURRENT_USER).WriteInteger(QStringLiteral("LanguageIndex"), 3);
    WaitFor([] { return false; }, 1);
    EXPECT_EQ(refreshes.count(), 0);
    EXPECT_FALSE(AppPathsSettled()->isActive());
}

// A hive that someone damages is said once, however it was written; mended, the list
// follows it again.
TEST_F(MainWindow, HiveDamagedFromOutsideIsShownOnceAndFollowedWhenMended) {
    Create();
    frmMain->Show();
    TMessageBoxWatch boxes;
    boxes.Every = true;
    boxes.Start();
    FRegistry.Write(QStringLiteral("machine.reg"),
                    "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n");
    ASSERT_TRUE(WaitFor([&] { return boxes.Count > 0; }));
    WaitFor([] { return false; }, 1);
    EXPECT_EQ(boxes.Count, 1);
    EXPECT_TRUE(boxes.Text.contains(QStringLiteral("machine.reg"))) << boxes.Text.toStdString();

    WriteMachineHive(AppPaths({{4, Tool(4)}}));
    EXPECT_TRUE(WaitFor([] { return Installed(4); }));
    EXPECT_EQ(boxes.Count, 1);
}

// ---- Failures -------------------------------------------------------------------------

// The message alone: the registry's own notices of the same changes are left unanswered.
TEST_F(MainWindow, FailedRefreshIsShownAndTheLoopGoesOn) {
    Create();
    frmMain->Show();
    AppPathsSettled()->blockSignals(true);
    // An integer where a path belongs cannot be read as a string.
    WriteMachineHive(
        QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n"
                       "\"AudioTrimmer\"=dword:00000001\r\n"));
    TMessageBoxWatch box;
    box.Start();
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    ASSERT_TRUE(WaitFor([&] { return box.Count > 0; }));
    EXPECT_EQ(box.Title, QStringLiteral("Tessaly Manager"));
    EXPECT_EQ(box.Text,
              QStringLiteral("Invalid data type for 'AudioTrimmer' in "
                             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths (%1/machine.reg): "
                             "expected a string, found a dword.")
                  .arg(FRegistry.Path()));
    EXPECT_EQ(box.Icon, QMessageBox::Critical);

    WriteMachineHive(AppPaths({{0, Tool(0)}}));
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    EXPECT_TRUE(WaitFor([&] { return Installed(0); }));
}

TEST_F(MainWindow, RefreshesThatFailTheSameWayShareOneBox) {
    Create();
    frmMain->Show();
    AppPathsSettled()->blockSignals(true);
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n";
    FRegistry.Write(QStringLiteral("machine.reg"), damaged);
    TMessageBoxWatch boxes;
    boxes.Every = true;
    boxes.Start();
    for (int i = 0; i < 20; ++i)
        FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    ASSERT_TRUE(WaitFor([&] { return boxes.Count > 0; }));
    FApplication->ProcessMessages();
    EXPECT_EQ(boxes.Count, 1);
    EXPECT_TRUE(boxes.Text.contains(QStringLiteral("machine.reg"))) << boxes.Text.toStdString();
    EXPECT_EQ(FRegistry.Read(QStringLiteral("machine.reg")), damaged);

    // Readable again: the next refresh shows the registry as it is.
    WriteMachineHive(AppPaths({{0, Tool(0)}}));
    FApplication->PostMessage(FApplication->Handle(), AppInstalledMessage());
    EXPECT_TRUE(WaitFor([&] { return Installed(0); }));
    EXPECT_EQ(boxes.Count, 1);
}

TEST_F(MainWindow, DamagedMachineHiveIsReportedAndLeftAlone) {
    const QByteArray damaged =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n\"x\"=\"";
    FRegistry.Write(QStringLiteral("machine.reg"), damaged);
    EXPECT_THROW(Create(), ERegistryException);
    EXPECT_EQ(frmMain, nullptr);
    EXPECT_EQ(FRegistry.Read(QStringLiteral("machine.reg")), damaged);
}

}  // namespace

#include "TestMainWindow.moc"
