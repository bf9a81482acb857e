#include "app/InstallerRecords.h"
#include "app/TUpdateLook.h"
#include "download/TfrmDownload.h"
#include "download/TfrmFinishDownload.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Input.h"
#include "tests/support/ShellRecorder.h"
#include "tests/support/SignedInstallers.h"
#include "tests/support/TestHttpServer.h"
#include "toolkit/TButton.h"
#include "toolkit/TCheckBox.h"
#include "toolkit/TPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <optional>

using namespace tk;

namespace {

// The download dialog while a show function has it up.
TfrmDownload* OpenDownloadDialog() {
    return OpenForm<TfrmDownload>("frmDownload");
}

const QString IDS_3 =
    QStringLiteral("is not installed on your computer. Do you want to download and install it now?");
const QString IDS_1 = QStringLiteral("Download all freeware at once. One installation for all programs!");

void ClickButton(TForm* form, const char* name) {
    if (auto* button = qobject_cast<TButton*>(form->FindComponent(QLatin1String(name))))
        LeftClick(button->Button(), TDelivery::Posted);
}

// Declines the offer, downloads, or downloads and stops the transfer once the bar
// moves (Cancel or Escape, or the close box).
enum class TOffer { Download, Cancel, DownloadThenCancel, DownloadThenClose };
enum class TFinish { Continue, CloseBox };
// Answers with the mouse, or with the keys alone: Enter for the button that has
// the focus or is the default, Escape for the cancel button.
enum class TInput { Mouse, Keyboard };

void Answer(TForm* form, const char* button, TInput input) {
    if (input == TInput::Mouse)
        ClickButton(form, button);
    else
        PressKey(form, qstrcmp(button, "btnCancel") == 0 ? Qt::Key_Escape : Qt::Key_Return, Qt::NoModifier,
                 TDelivery::Posted);
}

// Answers the dialogs of one click as a user would and notes what they showed.
class TDialogDriver {
public:
    struct TSeen {
        QString Title, Question;
        // The sentence of a failed download, which the user then cancels.
        QString Failure;
        bool MainDisabled = false;
        int Offers = 0, Finishes = 0;
        // Questions whether to start an unverified installer; the finish dialog's publisher line.
        int Questions = 0;
        QString Asked;  // the question about an unverified installer
        QString Publisher;
        std::size_t CallsBeforeFinish = 0;
    };

    TDialogDriver(TOffer offer, TFinish finish, TInput input, const TShellRecorder& shell,
                  bool startUnverified = true) {
        FTimer.setInterval(10);
        QObject::connect(&FTimer, &QTimer::timeout, [this, offer, finish, input, &shell, startUnverified] {
            // A dialog that is never answered would block the test: end it instead.
            if (FDeadline.hasExpired()) {
                for (QWidget* window : QApplication::topLevelWidgets())
                    if (auto* form = qobject_cast<TForm*>(window);
                        form && form != frmMain && form->isVisible())
                        form->SetModalResult(mrCancel);
                return;
            }
            if (OpenDownloadDialog() && OpenDownloadDialog()->isVisible() && FOffer != OpenDownloadDialog()) {
                FOffer = OpenDownloadDialog();
                ++FSeen.Offers;
                FSeen.Title = OpenDownloadDialog()->Caption();
                FSeen.Question =
                    qobject_cast<TLabel*>(OpenDownloadDialog()->FindComponent(QStringLiteral("lblMessage")))
                        ->Caption();
                FSeen.MainDisabled = !frmMain->isEnabled();
                Answer(OpenDownloadDialog(), offer == TOffer::Cancel ? "btnCancel" : "btnDownload", input);
            } else if ((offer == TOffer::DownloadThenCancel || offer == TOffer::DownloadThenClose) &&
                       OpenDownloadDialog() && OpenDownloadDialog() == FOffer && !FStopped) {
                auto* status =
                    qobject_cast<TPanel*>(OpenDownloadDialog()->FindComponent(QStringLiteral("pnlStatus")));
                if (!status->Caption().isEmpty()) {
                    FStopped = true;
                    if (offer == TOffer::DownloadThenClose)
                        OpenDownloadDialog()->close();
                    else
                        Answer(OpenDownloadDialog(), "btnCancel", input);
                }
            } else if (offer == TOffer::Download && OpenDownloadDialog() && OpenDownloadDialog() == FOffer &&
                       FSeen.Failure.isEmpty()) {
                // The failed state: "Try again" enabled, with the bar shown, as the offer never has it.
                auto* retry = qobject_cast<TButton*>(
                    OpenDownloadDialog()->FindComponent(QStringLiteral("btnDownload")));
                auto* message =
                    qobject_cast<TLabel*>(OpenDownloadDialog()->FindComponent(QStringLiteral("lblMessage")));
                auto* bar =
                    qobject_cast<TControl*>(OpenDownloadDialog()->FindComponent(QStringLiteral("shTotal")));
                if (retry->isEnabled() && message->isVisible() && bar->isVisible()) {
                    FSeen.Failure = message->Caption();
                    Answer(OpenDownloadDialog(), "btnCancel", input);
                }
            }
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(window);
                if (!box || !box->isVisible() || FQuestion == box)
                    continue;
                FQuestion = box;
                ++FSeen.Questions;
                FSeen.Asked = box->text();
                // Enter answers with the default, "Don't start".
                if (input == TInput::Keyboard && !startUnverified)
                    PressKey(box, Qt::Key_Return, Qt::NoModifier, TDelivery::Posted);
                else
                    LeftClick(box->findChild<QPushButton*>(startUnverified ? QStringLiteral("btnStartAnyway")
                                                                           : QStringLiteral("btnDontStart")),
                              TDelivery::Posted);
            }
            for (QWidget* window : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<TfrmFinishDownload*>(window);
                if (!dialog || !dialog->isVisible() || FFinish == dialog)
                    continue;
                FFinish = dialog;
                ++FSeen.Finishes;
                auto* publisher =
                    qobject_cast<TLabel*>(dialog->FindComponent(QStringLiteral("lblPublisher")));
                FSeen.Publisher = publisher->isVisible() ? publisher->Caption() : QString();
                FSeen.CallsBeforeFinish = shell.Calls().size();
                if (finish == TFinish::Continue)
                    Answer(dialog, "btnDownload", input);
                else
                    dialog->close();
            }
        });
        FTimer.start();
    }

    const TSeen& Seen() const { return FSeen; }

private:
    QTimer FTimer;
    QDeadlineTimer FDeadline{120000};
    QPointer<TForm> FOffer, FFinish;
    QPointer<QMessageBox> FQuestion;
    bool FStopped = false;
    TSeen FSeen;
};

class ToolLaunch : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        ASSERT_TRUE(FServer->Started()) << FServer->Error().toStdString();
        // Every host is reached through the local server, which stands in for the
        // maker's https site with an authority of its own, so the catalogue's own
        // addresses are fetched as they stand.
        FProxy.emplace("https_proxy", "http://127.0.0.1:" + QByteArray::number(FServer->Port()));
        FNoProxy.emplace("no_proxy", QByteArray());
        // The site's authority, and the one that signed the test installers.
        QFile site(FServer->CertificateFile()),
            signing(SignedInstallers() + QStringLiteral("/authority.pem"));
        ASSERT_TRUE(site.open(QIODevice::ReadOnly) && signing.open(QIODevice::ReadOnly));
        FTrust.emplace("SSL_CERT_FILE",
                       QFile::encodeName(FAuthorities.Write(QStringLiteral("authorities.pem"),
                                                            site.readAll() + signing.readAll())));
        FHomeEnv.emplace("HOME", QFile::encodeName(FHome.Path()));
        Create()->Show();
    }
    void TearDown() override {
        FHomeEnv.reset();
        FTrust.reset();
        FNoProxy.reset();
        FProxy.reset();
        MainWindow::TearDown();
    }

    // Puts an installer on the site; `size` bytes of a recognisable pattern.
    QByteArray Publish(const QString& name, qsizetype size = 200 * 1024) const {
        const QByteArray body = TTestHttpServer::Pattern(size);
        FSite.Write(name, body);
        return body;
    }
    QString Installations() const { return FHome.FilePath(QStringLiteral("Kestrelweave/Installations/")); }

    TDialogDriver::TSeen ClickAndAnswer(TLabel* label, TOffer offer, TFinish finish = TFinish::Continue,
                                        TInput input = TInput::Mouse, bool startUnverified = true) {
        TDialogDriver driver(offer, finish, input, FShell, startUnverified);
        if (input == TInput::Mouse) {
            LeftClick(label);
        } else {
            // Tab to the tool, then Enter.
            EXPECT_TRUE(TabTo(label));
            PressKey(frmMain, Qt::Key_Return);
        }
        return driver.Seen();
    }

    TTempFolder FSite, FHome, FAuthorities;
    std::unique_ptr<TTestHttpServer> FServer =
        std::make_unique<TTestHttpServer>(TTestHttpServer::TOptions{false, 0, FSite.Path(), true});
    TShellRecorder FShell;
    std::optional<TScopedEnv> FProxy, FNoProxy, FTrust, FHomeEnv;
};

// ---- Downloads --------------------------------------------------------------------------

struct TDownloadCase {
    const char* Name;
    const char* Label;
    bool Published;  // the site has the installer
    TOffer Offer;
    TFinish Finish;
    bool InstallationsBlocked;  // a file stands where the folder would be created
    const char* Installer;
    const char* Title;
    QString Question;
    bool Installed;            // the finish dialog came and the installer was opened
    const char* Failure = "";  // what the dialog said before it was cancelled
    TInput Input = TInput::Mouse;
    bool OldInstaller = false;  // an installer from an earlier download is at the target
    const char* Site = "";      // how the site serves the installer (its query parameters)
    // The site's installer is this one of the signed test installers, not one without
    // a signature; the finish dialog's publisher line; an unsigned one is declined.
    const char* Signed = "";
    const char* Publisher = "";
    bool StartUnverified = true;
};

class Downloads : public ToolLaunch, public testing::WithParamInterface<TDownloadCase> {};

TEST_P(Downloads, FromTheQuestionToTheInstaller) {
    const TDownloadCase& c = GetParam();
    const QString installer = QLatin1String(c.Installer);
    QByteArray body = c.Published ? Publish(installer) : QByteArray();
    if (*c.Signed) {
        QFile signedInstaller(SignedInstallers() + QLatin1Char('/') + QLatin1String(c.Signed));
        ASSERT_TRUE(signedInstaller.open(QIODevice::ReadOnly));
        body = signedInstaller.readAll();
        FSite.Write(installer, body);
    }
    if (c.InstallationsBlocked)
        FHome.Write(QStringLiteral("Kestrelweave/Installations"), "in the way");
    const QString folder =
        c.InstallationsBlocked ? FHome.FilePath(QStringLiteral("Kestrelweave/")) : Installations();
    const QString target = folder + installer;
    const QByteArray older = "an installer from an earlier download";
    if (c.OldInstaller)
        FHome.Write(target.mid(FHome.Path().size() + 1), older);
    if (*c.Site)
        FSite.Write(installer + QStringLiteral(".query"), c.Site);

    const TDialogDriver::TSeen seen =
        ClickAndAnswer(Label(QLatin1String(c.Label)), c.Offer, c.Finish, c.Input, c.StartUnverified);

    EXPECT_EQ(seen.Offers, 1);
    EXPECT_EQ(seen.Title, QLatin1String(c.Title));
    EXPECT_EQ(seen.Question, c.Question);
    EXPECT_TRUE(seen.MainDisabled);
    EXPECT_EQ(seen.Failure, QString::fromUtf8(c.Failure));
    EXPECT_EQ(seen.Finishes, c.Installed ? 1 : 0);
    // A completed download that no signature of the maker vouches for is asked about.
    const bool completed = c.Installed || !c.StartUnverified;
    EXPECT_EQ(seen.Questions, completed && !*c.Publisher ? 1 : 0);
    if (seen.Questions) {
        EXPECT_TRUE(seen.Asked.contains(seen.Title)) << "the question names the installer";
    }
    EXPECT_EQ(seen.Publisher, QString::fromUtf8(c.Publisher));
    EXPECT_EQ(seen.CallsBeforeFinish, 0u) << "the installer started before the finish dialog closed";
    const std::vector<QStringList> expected =
        c.Installed ? std::vector<QStringList>{{target}} : std::vector<QStringList>{};
    EXPECT_EQ(FShell.CallsSettled(expected.size()), expected);
    QFile file(target);
    if (completed) {
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == body) << "the installer arrived incomplete";
    } else if (c.OldInstaller) {
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.readAll() == older) << "the older installer was touched";
    } else {
        EXPECT_FALSE(file.exists());
    }
    QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    left.removeAll(QStringLiteral("Installations"));
    EXPECT_EQ(left, (completed || c.OldInstaller) ? QStringList{installer} : QStringList())
        << left.join(u' ').toStdString();
    EXPECT_TRUE(frmMain->isEnabled());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_TRUE(window == frmMain || !window->isVisible())
            << "left open: " << window->metaObject()->className();
}

const QString kTrimmerQuestion = QStringLiteral("Tessaly Audio Trimmer ") + IDS_3;

INSTANTIATE_TEST_SUITE_P(
    Clicks, Downloads,
    testing::Values(
        TDownloadCase{"GreyToolIsDownloadedAndItsInstallerOpened", "lblApp1", true, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, true},
        TDownloadCase{"FinishDialogClosedByItsCloseBox", "lblApp1", true, TOffer::Download, TFinish::CloseBox,
                      false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer", kTrimmerQuestion, true},
        TDownloadCase{"DeclinedDoesNothingMore", "lblApp1", true, TOffer::Cancel, TFinish::Continue, false,
                      "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer", kTrimmerQuestion, false},
        TDownloadCase{"MissingOnTheSiteIsSaidAndThenCancelled", "lblApp1", false, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, false, "The server does not have this file (404)."},
        TDownloadCase{"InstallationsNotCreatableUsesTheMakerFolder", "lblApp1", true, TOffer::Download,
                      TFinish::Continue, true, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, true},
        TDownloadCase{"DownloadAllFetchesTheSuite", "lblDownloadAll", true, TOffer::Download,
                      TFinish::Continue, false, "Tessaly.exe", "Tessaly", IDS_1, true},
        TDownloadCase{"KeyboardAloneFromTheToolToTheInstaller", "lblApp7", true, TOffer::Download,
                      TFinish::Continue, false, "TessalySlideshowMaker.exe", "Tessaly Slideshow Maker",
                      QStringLiteral("Tessaly Slideshow Maker ") + IDS_3, true, "", TInput::Keyboard},
        TDownloadCase{"KeyboardDeclinesWithEscape", "lblDownloadAll", true, TOffer::Cancel, TFinish::Continue,
                      false, "Tessaly.exe", "Tessaly", IDS_1, false, "", TInput::Keyboard},
        // A transfer stopped on the way leaves an older installer where it was, and
        // starts neither it nor anything else.
        TDownloadCase{"CancelDuringTheTransferStartsNothing", "lblApp1", true, TOffer::DownloadThenCancel,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, false, "", TInput::Mouse, true, "cut=51200&cutmode=stall"},
        TDownloadCase{"CloseBoxDuringTheTransferStartsNothing", "lblApp1", true, TOffer::DownloadThenClose,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, false, "", TInput::Mouse, true, "cut=51200&cutmode=stall"},
        TDownloadCase{"EscapeDuringTheTransferStartsNothing", "lblDownloadAll", true,
                      TOffer::DownloadThenCancel, TFinish::Continue, false, "Tessaly.exe", "Tessaly", IDS_1,
                      false, "", TInput::Keyboard, true, "cut=51200&cutmode=stall"},
        TDownloadCase{"DamagedDownloadIsSaidAndStartsNothing", "lblApp1", true, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, false,
                      "The downloaded file is damaged: it does not match the checksum that the server sent.",
                      TInput::Mouse, true, "digest=repr-wrong"},
        TDownloadCase{"InstallerThatMatchesItsChecksumReplacesTheOlderOne", "lblApp1", true, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, true, "", TInput::Mouse, true, "digest=legacy"},
        TDownloadCase{"KeyboardCancelsAFailureWithEscape", "lblApp1", false, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, false, "The server does not have this file (404).", TInput::Keyboard},
        // The publisher's signature decides what is started.
        TDownloadCase{"InstallerSignedByTheMakerNamesItsPublisher", "lblApp1", true, TOffer::Download,
                      TFinish::Continue, false, "TessalyAudioTrimmer.exe", "Tessaly Audio Trimmer",
                      kTrimmerQuestion, true, "", TInput::Mouse, true, "", "maker.exe",
                      "Verified publisher: Kestrelweave"},
        TDownloadCase{"InstallerSignedBySomeoneElseIsRefusedAndStartsNothing", "lblApp1", true,
                      TOffer::Download, TFinish::Continue, false, "TessalyAudioTrimmer.exe",
                      "Tessaly Audio Trimmer", kTrimmerQuestion, false,
                      "The installer is signed by \u201cSomeone Else\u201d, not by Kestrelweave.",
                      TInput::Mouse, true, "", "other.exe"},
        TDownloadCase{"UnsignedInstallerDeclinedIsKeptAndNotStarted", "lblDownloadAll", true,
                      TOffer::Download, TFinish::Continue, false, "Tessaly.exe", "Tessaly", IDS_1, false, "",
                      TInput::Keyboard, false, "", "", "", false}),
    [](const testing::TestParamInfo<TDownloadCase>& row) { return std::string(row.param.Name); });

// Downloading and starting the installer changes nothing by itself; the installer's
// record in the registry turns the tool black, with or without a message.
TEST_F(ToolLaunch, ToolStaysGreyUntilItsInstallerRecordsIt) {
    Publish(QStringLiteral("TessalyVideoJoiner.exe"));
    ClickAndAnswer(ToolLabel(1), TOffer::Download);
    ASSERT_EQ(FShell.CallsSettled(1).size(), 1u);
    EXPECT_FALSE(Installed(1));
    EXPECT_EQ(ToolLabel(1)->Font()->TextColor(), Grey);

    WriteMachineHive(AppPaths({{1, Tool(1)}}));
    EXPECT_TRUE(WaitFor([] { return Installed(1); }));
    EXPECT_EQ(ToolLabel(1)->Font()->TextColor(), Black);
}

// An administrator may name another publisher in the machine's hive; the user's own
// hive cannot widen what is accepted.
TEST_F(ToolLaunch, OnlyTheMachineNamesAnotherPublisher) {
    QFile other(SignedInstallers() + QStringLiteral("/other.exe"));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    FSite.Write(QStringLiteral("TessalyAudioTrimmer.exe"), other.readAll());
    const QString named =
        QStringLiteral("[HKEY_%1\\SOFTWARE\\Kestrelweave]\r\n\"InstallerPublisher\"=\"Someone Else\"\r\n");
    WriteUserHive(named.arg(QStringLiteral("CURRENT_USER")));
    EXPECT_EQ(ClickAndAnswer(ToolLabel(0), TOffer::Download).Finishes, 0);

    WriteMachineHive(named.arg(QStringLiteral("LOCAL_MACHINE")));
    EXPECT_EQ(ClickAndAnswer(ToolLabel(0), TOffer::Download).Publisher,
              QStringLiteral("Verified publisher: Someone Else"));
}

// An uninstaller that removes the tool's record: the tool turns grey, and a click on
// it offers the download again instead of starting a file that is gone.
TEST_F(ToolLaunch, ToolWhoseRecordIsRemovedIsOfferedAgain) {
    const QString tool = Tool(1);
    WriteMachineHive(AppPaths({{1, tool}}));
    frmMain->RefreshTools();
    ASSERT_TRUE(Installed(1));

    QFile::remove(tool);
    WriteMachineHive(AppPaths({}));
    ASSERT_TRUE(WaitFor([] { return !Installed(1); }));
    const TDialogDriver::TSeen seen = ClickAndAnswer(ToolLabel(1), TOffer::Cancel);
    EXPECT_EQ(seen.Offers, 1);
    EXPECT_TRUE(FShell.CallsSettled(0).empty());
}

// What downloads of a program that was ended on the way left behind is cleared at the
// next start, in the folder downloads go to and the one they fall back to; a download
// under way in another copy of the program keeps its file, and so does every file
// whose name the program would not make.
TEST_F(MainWindow, StartRemovesPartialFilesThatNoDownloadHolds) {
    TTempFolder home;
    const TScopedEnv homeEnv("HOME", QFile::encodeName(home.Path()));
    const QString installations = QStringLiteral("Kestrelweave/Installations/");
    const QStringList kept = {QStringLiteral("Tessaly.exe"),
                              QStringLiteral("Tessaly.exe.partial"),
                              QStringLiteral("TessalyAudioTrimmer.exe.RunAbc.part"),
                              QStringLiteral("notes.txt.backup.part"),
                              QStringLiteral("report.pdf.ABCDEF.part"),
                              QStringLiteral("tessalyaudiotrimmer.exe.ffffff.part"),
                              QStringLiteral("Tessaly.exe.Ab12Cd.part")};
    for (const QString& name : kept + QStringList{QStringLiteral("Tessaly.exe.AbcDef.part"),
                                                  QStringLiteral("TessalyVideoJoiner.exe.xaYbzc.part")})
        home.Write(installations + name, "left behind");
    home.Write(QStringLiteral("Kestrelweave/TessalyDiscRipper.exe.QwErTy.part"), "left behind");
    THoldingProcess running(
        home.FilePath(installations + QStringLiteral("TessalyAudioTrimmer.exe.RunAbc.part")));
    ASSERT_TRUE(running.Holding());

    Create();

    QStringList expected = kept;
    expected.sort();
    EXPECT_EQ(QDir(home.FilePath(installations)).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
    EXPECT_FALSE(
        QFile::exists(home.FilePath(QStringLiteral("Kestrelweave/TessalyDiscRipper.exe.QwErTy.part"))));
}

// ---- Installed tools ----------------------------------------------------------------------

TEST_F(ToolLaunch, BlackToolIsStartedWithoutQuestions) {
    const QString tool = FShell.MakeProgram(QStringLiteral("TessalySoundRecorder"));
    WriteMachineHive(AppPaths({{2, tool}}));
    frmMain->RefreshTools();
    ASSERT_TRUE(Installed(2));

    const TDialogDriver::TSeen seen = ClickAndAnswer(ToolLabel(2), TOffer::Cancel);
    EXPECT_EQ(seen.Offers, 0);
    EXPECT_EQ(FShell.CallsSettled(1), (std::vector<QStringList>{{tool}}));
}

TEST_F(ToolLaunch, BlackToolRemovedSinceTheRefreshIsSaidAndTurnsGrey) {
    const QString tool = Tool(3);
    WriteMachineHive(AppPaths({{3, tool}}));
    frmMain->RefreshTools();
    ASSERT_TRUE(QFile::remove(tool));

    TMessageBoxWatch boxes;
    boxes.Start();
    const TLogCapture logged;
    const TDialogDriver::TSeen seen = ClickAndAnswer(ToolLabel(3), TOffer::Cancel);
    EXPECT_EQ(seen.Offers, 0);
    EXPECT_EQ(FShell.CallsSettled(0), (std::vector<QStringList>{}));
    EXPECT_EQ(logged.Lines("kw.shell", tool).size(), 1);
    EXPECT_EQ(boxes.Count, 1);
    EXPECT_EQ(boxes.Text, QStringLiteral("Tessaly Disc Ripper could not be started: the file is missing."));
    EXPECT_EQ(boxes.Description, boxes.Text);
    EXPECT_TRUE(WaitFor([] { return !Installed(3); }));
}

}  // namespace

// ---- Updates ------------------------------------------------------------------------------

namespace {

TUpdateLook* UpdateLook() {
    return frmMain->findChild<TUpdateLook*>(QStringLiteral("UpdateLook"));
}

// A record of an installer the site no longer has, last asked about `hoursAgo`.
QString OlderRecord(int index, int hoursAgo = 48) {
    return QStringLiteral(
               "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager\\Installers\\%1]\r\n"
               "\"ETag\"=\"\\\"older\\\"\"\r\n\"Checked\"=\"%2\"\r\n")
        .arg(QLatin1String(ToolCatalogue[index].Key),
             QDateTime::currentDateTimeUtc().addSecs(-3600 * hoursAgo).toString(Qt::ISODate));
}

}  // namespace

TEST_F(ToolLaunch, UpdateLinkRunsTheDownloadAndGoesOnceTheNewInstallerStarts) {
    Publish(QStringLiteral("TessalyVideoJoiner.exe"));
    WriteMachineHive(AppPaths({{1, Tool(1)}}));
    WriteUserHive(OlderRecord(1));
    frmMain->RefreshTools();
    UpdateLook()->LookNow();
    ASSERT_TRUE(WaitFor([] { return UpdateShown(1); }));
    TLabel* link = Label(QStringLiteral("lblUpdate2"));
    EXPECT_EQ(link->accessibleName(), QStringLiteral("Update Tessaly Video Joiner"));
    EXPECT_LE(link->geometry().right(), link->parentWidget()->width()) << "inside the list";

    const TDialogDriver::TSeen seen = ClickAndAnswer(link, TOffer::Download);
    EXPECT_EQ(seen.Question,
              QStringLiteral(
                  "A newer installer of Tessaly Video Joiner is available. Download and install it now?"));
    ASSERT_EQ(FShell.CallsSettled(1).size(), 1u);
    EXPECT_FALSE(link->isVisible());
    const std::optional<TInstallerRecord> record = ReadInstallerRecord(QStringLiteral("VideoJoiner"));
    ASSERT_TRUE(record);
    EXPECT_NE(record->ETag, QStringLiteral("\"older\""));
    EXPECT_FALSE(record->UpdateAvailable);
}

// Only installed tools asked about less than a day ago are asked about, and nothing at
// all once switched off.
TEST_F(ToolLaunch, GreyToolsAndASwitchedOffLookAskNothing) {
    Publish(QStringLiteral("TessalyAudioTrimmer.exe"));
    Publish(QStringLiteral("TessalyVideoJoiner.exe"));
    Publish(QStringLiteral("TessalySoundRecorder.exe"));
    WriteMachineHive(AppPaths({{0, Tool(0)}, {2, Tool(2)}}));
    // The third was asked about an hour ago.
    WriteUserHive(OlderRecord(0) + OlderRecord(1) + OlderRecord(2, 1));
    frmMain->RefreshTools();
    FServer->TakeRequests();
    UpdateLook()->LookNow();
    ASSERT_TRUE(WaitFor([] { return !UpdateLook()->Looking(); }));
    // Besides the tunnel's CONNECT.
    QStringList asked;
    for (const TRecordedRequest& request : FServer->TakeRequests())
        if (request.RequestLine.startsWith(QLatin1String("GET ")))
            asked << request.RequestLine.section(QLatin1Char(' '), 1, 1);
    EXPECT_EQ(asked, QStringList{QStringLiteral("/download/TessalyAudioTrimmer.exe")});
    EXPECT_TRUE(UpdateShown(0));
    EXPECT_FALSE(UpdateShown(1));
    EXPECT_FALSE(UpdateShown(2)) << "not asked, so as its record says";

    // The switch, unticked in Preferences.
    QTimer::singleShot(0, qApp, [] {
        ASSERT_TRUE(WaitFor([] { return OpenForm<TForm>("frmPreferences"); }));
        TForm* preferences = OpenForm<TForm>("frmPreferences");
        auto* box =
            qobject_cast<TCheckBox*>(preferences->FindComponent(QStringLiteral("chkCheckForUpdates")));
        EXPECT_TRUE(box->Checked());
        box->CheckBox()->click();
        preferences->SetModalResult(mrCancel);
    });
    LeftClick(Label(QStringLiteral("lblPreferences")));
    EXPECT_FALSE(UpdateLookEnabled());
    UpdateLook()->LookNow();
    QTest::qWait(500);
    EXPECT_TRUE(FServer->TakeRequests().empty()) << "not even a connection";
    EXPECT_FALSE(UpdateShown(0)) << "no mark while switched off";
}
