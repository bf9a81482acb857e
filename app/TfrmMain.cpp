#include "app/TfrmMain.h"

#include "app/InstallerRecords.h"
#include "app/TUpdateLook.h"
#include "app/TfrmPreferences.h"
#include "core/Exception.h"
#include "core/FileVersion.h"
#include "core/TRegistry.h"
#include "download/DownloadTexts.h"
#include "download/TfrmDownload.h"
#include "download/TfrmFinishDownload.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/ELanguageError.h"
#include "net/TPartialFile.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/WindowMessages.h"
#include "settings/SharedServices.h"
#include "settings/SiteLinks.h"
#include "settings/TRegedit.h"
#include "toolkit/TApplication.h"
#include "toolkit/TApplicationEvents.h"
#include "toolkit/TLabel.h"
#include "toolkit/TScreen.h"
#include "toolkit/TextMetrics.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QMessageBox>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace tk;

TfrmMain* frmMain = nullptr;

namespace {

constexpr TColor ToolInstalledColour = clBlack;
constexpr TColor ToolMissingColour = RGBColor(0x66, 0x66, 0x66);

// Registry notices come in bursts (an installer writing twenty values, a writer's new
// file and its rename): one refresh once they have been quiet this long, and, while
// they go on, at most this long after the first.
constexpr int NoticesSettleMilliseconds = 200;
constexpr int NoticesWaitAtMostMilliseconds = 800;
// A writer that edits the hive in place may pause mid-line. A hive that does not parse
// after a notice is read once more when it has been left alone this long, and only
// then said to be damaged (the registry holds a file this old as settled too).
constexpr int HiveSettleMilliseconds = 2000;

// The update links carry Tags of their own, apart from the tools' (1000 to 1019).
constexpr int UpdateTagBase = 2000;
// An update link's distance from its tool's name, and the least it leaves free before
// the next column or the list's edge.
constexpr int UpdateLinkGap = 4;
// The pixel heights an update link may take, largest first: "small" beside the
// list's 11, and smaller where a language's word would not fit otherwise.
constexpr int UpdateLinkHeights[] = {10, 9, 8};

}  // namespace

TfrmMain::TfrmMain(QObject* owner) : TForm(owner) {
    InitInheritedComponent();
    lblDownloadAll = Component<TLabel>("lblDownloadAll");
    lblSubscription = Component<TLabel>("lblSubscription");
    LangDispatcher1 = Component<TLangDispatcher>("LangDispatcher1");
    Translator_frmMain = Component<TTranslator>("Translator_frmMain");

    SetCaption(Application->Title() + QLatin1Char(' ') +
               GetFileVersionText(QCoreApplication::applicationFilePath()));

    // Every link label shows crHandPoint; make that the system's own hand.
    Screen()->SetCursor(crHandPoint, LoadCursor(IDC_HAND));

    FRegUserManager = std::make_unique<TRegedit>(ManagerKey(), HKEY_CURRENT_USER);
    FRegRoot = std::make_unique<TRegedit>(MakerKey(), HKEY_LOCAL_MACHINE);
    FRegLinks = std::make_unique<TRegedit>(LinksKey(), HKEY_LOCAL_MACHINE);

    const QString translationProblem = StartTranslation(LangDispatcher1);
    if (!translationProblem.isEmpty())
        Application->ShowException(ELanguageError(translationProblem));
    FStoredLanguage = FRegUserManager->ReadInteger(QStringLiteral("LanguageIndex"), 1);
    FStoredLanguageApplied = FStoredLanguage >= 1 && FStoredLanguage <= LangDispatcher1->NumOfLanguages();
    if (FStoredLanguageApplied)
        LangDispatcher1->SetActiveLanguage(FStoredLanguage);
    // From here on, any setting of the language is the user's choice.
    connect(LangDispatcher1, &TLangDispatcher::ActiveLanguageSet, this, [this] { FLanguageChosen = true; });

    for (int i = 0; i < ToolCount; ++i)
        FToolUrl[i] = InstallerURL(QLatin1String(ToolCatalogue[i].Installer));
    for (int i = 0; i < ToolCount; ++i)
        FToolFile[i] = QLatin1String(ToolCatalogue[i].Installer);
    for (int i = 0; i < ToolCount; ++i)
        FToolName[i] = QLatin1String(ToolCatalogue[i].Name);

    FUpdates = std::make_unique<TUpdateLook>(
        [this] {
            std::vector<TUpdateLook::TTool> installed;
            for (int i = 0; i < ToolCount; ++i)
                if (FToolInstalled[i])
                    installed.push_back({QLatin1String(ToolCatalogue[i].Key), FToolUrl[i]});
            return installed;
        },
        this);
    FUpdates->setObjectName(QStringLiteral("UpdateLook"));
    connect(FUpdates.get(), &TUpdateLook::UpdateKnown, this, &TfrmMain::UpdateKnown);
    for (int i = 0; i < ToolCount; ++i) {
        lblApp[i] = Component<TLabel>(QStringLiteral("lblApp%1").arg(i + 1).toLatin1().constData());
        lblApp[i]->installEventFilter(this);
    }
    // After the translators, the tools' labels included, took the language.
    connect(LangDispatcher1, &TLangDispatcher::ActiveLanguageSet, this, [this] {
        if (lblUpdate[0])
            PlaceUpdateLinks();
    });

    RefreshTools();

    // Downloads that a program ended on the way (a logout, a crash) left unfinished,
    // wherever a download may have gone; a download running in another copy of the
    // program holds its own and keeps it. Only the installers' own partial files go.
    QStringList installers(FToolFile.begin(), FToolFile.end());
    installers << SuiteInstaller();
    const QDir root(ProgramRootFolder());
    for (const QString& folder :
         {QStringLiteral("Kestrelweave/Installations"), QStringLiteral("Kestrelweave"), QStringLiteral(".")})
        TPartialFile::RemoveAbandoned(root.filePath(folder), installers);

    FAppInstalledMsg = SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWAPPINSTALLED"));

    // Uninstallers, other makers' installers and people editing the registry post no
    // message; the registry itself tells.
    tmrAppPathsChanged = new QTimer(this);
    tmrAppPathsChanged->setObjectName(QStringLiteral("tmrAppPathsChanged"));
    tmrAppPathsChanged->setSingleShot(true);
    connect(tmrAppPathsChanged, &QTimer::timeout, this, [this] { ReadToolsAside(false); });
    tmrHiveSettled = new QTimer(this);
    tmrHiveSettled->setObjectName(QStringLiteral("tmrHiveSettled"));
    tmrHiveSettled->setSingleShot(true);
    tmrHiveSettled->setInterval(HiveSettleMilliseconds);
    connect(tmrHiveSettled, &QTimer::timeout, this, [this] { ReadToolsAside(true); });
    FReader = std::make_unique<QThreadPool>();
    FReader->setMaxThreadCount(1);
    FReader->setExpiryTimeout(-1);
    FAppPathsWatch =
        SystemRegistry().WatchKey(HKEY_LOCAL_MACHINE, AppPathsKey(), [this] { AppPathsChanged(); });
}

TfrmMain::~TfrmMain() {
    FUpdates.reset();
    FAppPathsWatch.reset();
    // A read under way ends first; its result, posted to this window, goes with it.
    FReader.reset();
    FRegUserManager.reset();
    FRegRoot.reset();
    FRegLinks.reset();
    if (frmMain == this)
        frmMain = nullptr;
}

void TfrmMain::RefreshTools() {
    ShowTools(ReadTools());
}

TfrmMain::TToolsState TfrmMain::ReadTools() {
    // One key for all twenty, read as the settings read a key: created when missing
    // and allowed, a missing value an empty path.
    TRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    registry.OpenKey(AppPathsKey(), true);
    TToolsState tools;
    for (int i = 0; i < ToolCount; ++i) {
        const QString name = QLatin1String(ToolCatalogue[i].Key);
        if (registry.ValueExists(name))
            tools.Paths[i] = registry.ReadString(name);
        // The path is taken as it was read: no expansion, no unquoting.
        tools.Installed[i] = FileExists(tools.Paths[i]);
    }
    return tools;
}

void TfrmMain::ShowTools(const TToolsState& tools) {
    FToolPath = tools.Paths;
    FToolInstalled = tools.Installed;
    const auto installed = std::count(FToolInstalled.begin(), FToolInstalled.end(), true);
    lblDownloadAll->SetVisible(installed != ToolCount);
    lblSubscription->SetVisible(installed == ToolCount);

    UpdateToolColours(this);
    ShowUpdateLinks();
}

void TfrmMain::UpdateToolColours(TForm* form) {
    for (int i = 0; i < form->ComponentCount(); ++i) {
        QObject* component = form->Components(i);
        if (qstrcmp(component->metaObject()->className(), "TLabel") != 0)
            continue;
        auto* label = static_cast<TLabel*>(component);
        const int index = label->Tag() - ToolTagBase;
        if (index < 0)
            continue;
        // Only the tool labels carry such Tags; one past the catalogue is a
        // mistake in the form description and must not read past the array.
        if (index >= ToolCount)
            continue;
        label->Font()->SetColor(FToolInstalled[index] ? ToolInstalledColour : ToolMissingColour);
    }
}

void TfrmMain::OpenTool(int tag) {
    const int i = tag - ToolTagBase;
    if (i < 0 || i >= ToolCount)
        return;
    if (FToolInstalled[i]) {
        const TStartResult started = ShellExecuteDefault(FToolPath[i]);
        SayNotStarted(FToolName[i], FToolPath[i], started);
        // Its file has gone since the list was read: the list reads again, and the
        // tool turns grey.
        if (started.Failure == TStartFailure::FileMissing)
            ReadToolsAside(false);
        return;
    }
    DownloadAndInstall(
        FToolName[i],
        FToolName[i] + QLatin1Char(' ') + Translator_frmMain->GetTextById(QStringLiteral("IDS_3")),
        FToolUrl[i], FToolFile[i], QLatin1String(ToolCatalogue[i].Key));
}

void TfrmMain::SayNotStarted(const QString& name, const QString& target, const TStartResult& result) {
    const QString sentence = StartFailureSentence(name, result, Translator_frmMain);
    if (sentence.isEmpty())
        return;
    qCWarning(lcShell).noquote() << "could not start" << target << ":"
                                 << StartFailureSentence(name, result, nullptr) << result.Reason.Text;
    QMessageBox box(QMessageBox::Warning, Application->Title(), sentence, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("StartFailureBox"));
    // Screen readers announce a message box by its description.
    box.setAccessibleDescription(sentence);
    box.exec();
}

void TfrmMain::DownloadAndInstall(const QString& title, const QString& message, const QString& url,
                                  const QString& fileName, const QString& record) {
    const QString makerFolder = GetMakerFolder();
    QString installations = makerFolder + QStringLiteral("Installations");
    QString target;
    if (ForceDirectories(installations)) {
        if (!installations.endsWith(QLatin1Char('/')))
            installations += QLatin1Char('/');
        target = installations + fileName;
    } else {
        target = makerFolder + fileName;
    }

    // Read at every download, from the machine's hive alone: a user cannot widen it.
    TInstallerSignature installer;
    installer.Publisher = FRegRoot->ReadString(QStringLiteral("InstallerPublisher"), QString()).trimmed();
    if (installer.Publisher.isEmpty())
        installer.Publisher = InstallerPublisher();
    const int result =
        ShowDownloadDialog(title, message, url, target, Translator_frmMain, LangDispatcher1, &installer);
    Application->ProcessMessages();
    // Only a completed download is run. After a cancel or a failure the target may
    // still hold an installer from before, which nobody asked to start now.
    if (result != mrOk)
        return;
    // One that no signature vouches for only when the person says so; it stays either way.
    if (!installer.Verified && !ConfirmUnverifiedInstaller(title, Translator_frmMain))
        return;
    ShowFinishDownloadDialog(LangDispatcher1, installer.Verified ? installer.Publisher : QString(),
                             Translator_frmMain);
    // The installer is told its own path as the system spells it.
    const TStartResult started = ShellExecuteDefault(target, {QDir::toNativeSeparators(target)});
    SayNotStarted(title, target, started);
    if (!started.Started())
        return;
    // From now on the site is asked about this installer. A record that cannot be
    // written only means that it is asked about as if the tool had come otherwise.
    try {
        FUpdates->RecordInstaller(record, TInstallerRecord::Of(installer.Version, installer.Sha256,
                                                               QDateTime::currentDateTimeUtc()));
    } catch (const Exception&) {
    }
}

void TfrmMain::lblApp1Click(QObject* Sender) {
    if (auto* label = qobject_cast<TLabel*>(Sender))
        OpenTool(label->Tag());
}

void TfrmMain::lblDownloadAllClick(QObject* /*Sender*/) {
    DownloadAndInstall(QStringLiteral("Tessaly"), Translator_frmMain->GetTextById(QStringLiteral("IDS_1")),
                       InstallerURL(SuiteInstaller()), SuiteInstaller(), SuiteRecordName());
}

void TfrmMain::lblUpdate1Click(QObject* Sender) {
    const auto* link = qobject_cast<TLabel*>(Sender);
    const int i = link ? link->Tag() - UpdateTagBase : -1;
    if (i < 0 || i >= ToolCount)
        return;
    DownloadAndInstall(FToolName[i],
                       TextOf(DownloadText::UpdateQuestion, Translator_frmMain).arg(FToolName[i]),
                       FToolUrl[i], FToolFile[i], QLatin1String(ToolCatalogue[i].Key));
}

void TfrmMain::MakeUpdateLinks() {
    for (int i = 0; i < ToolCount; ++i) {
        auto* link = new TLabel(lblApp[i]->parentWidget());
        link->setObjectName(QStringLiteral("lblUpdate%1").arg(i + 1));
        InsertComponent(link);
        link->SetTag(UpdateTagBase + i);
        link->SetTransparent(true);
        link->SetCursor(crHandPoint);
        link->SetVisible(false);
        link->SetOnClick(TMethod::Find(this, "lblUpdate1Click"));
        // Tab goes from a tool to its update link, then to the next tool.
        lblApp[i]->setProperty("TabOrder", 2 * i);
        link->setProperty("TabOrder", 2 * i + 1);
        lblUpdate[i] = link;
    }
    ApplyTabOrder();
    PlaceUpdateLinks();
}

void TfrmMain::PlaceUpdateLinks() {
    const QString text = TextOf(DownloadText::Update, Translator_frmMain);
    const QString spoken = TextOf(DownloadText::UpdateTool, Translator_frmMain);
    // The right column starts where the eleventh tool's label does.
    const int secondColumn = lblApp[ToolCount / 2]->Left();
    const auto columnEnd = [&](int i) {
        return (i < ToolCount / 2 ? secondColumn : lblApp[i]->parentWidget()->width()) - UpdateLinkGap;
    };
    for (const int height : UpdateLinkHeights) {
        bool fits = true;
        for (int i = 0; i < ToolCount; ++i) {
            TLabel* link = lblUpdate[i];
            // In the face the language's texts of the list are drawn in, which the
            // tools' own names (never translated) are not.
            TFont* font = link->Font();
            font->SetName(lblDownloadAll->Font()->Name());
            font->SetCharset(lblDownloadAll->Font()->Charset());
            font->SetColor(lblDownloadAll->Font()->Color());
            font->SetStyle(fsUnderline);
            font->SetHeight(-height);
            link->SetCaption(text);
            link->setAccessibleName(spoken.arg(FToolName[i]));
            const int left = lblApp[i]->Left() + lblApp[i]->Width() + UpdateLinkGap;
            // On the name's baseline, whatever faces draw either.
            const int top = lblApp[i]->Top() + GetTextLine(lblApp[i]->font(), lblApp[i]->Caption()).Ascent -
                            GetTextLine(link->font(), text).Ascent;
            link->SetBounds(left, top, link->Width(), link->Height());
            fits = fits && left + link->Width() <= columnEnd(i);
        }
        if (fits)
            break;
    }
}

void TfrmMain::ShowUpdateLinks() {
    const bool looking = FUpdates && FUpdates->Enabled();
    std::array<bool, ToolCount> shown{};
    for (int i = 0; i < ToolCount; ++i)
        shown[i] = looking && FToolInstalled[i] && FUpdateAvailable[i];
    // Made when the first is needed, which is never before the first paint.
    if (!lblUpdate[0]) {
        if (std::find(shown.begin(), shown.end(), true) == shown.end())
            return;
        MakeUpdateLinks();
    }
    for (int i = 0; i < ToolCount; ++i)
        lblUpdate[i]->SetVisible(shown[i]);
}

void TfrmMain::UpdateKnown(const QString& name, bool available) {
    for (int i = 0; i < ToolCount; ++i)
        if (name.compare(QLatin1String(ToolCatalogue[i].Key), Qt::CaseInsensitive) == 0)
            FUpdateAvailable[i] = available;
    ShowUpdateLinks();
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event) {
    if (watched == lblApp[0] && event->type() == QEvent::Paint && !FLooksStarted) {
        FLooksStarted = true;
        // Once this paint has reached the screen.
        QTimer::singleShot(0, this, [this] { FollowUpdateSwitch(true); });
    }
    // A tool's name that takes another width (another face, the system's fonts
    // changed) takes its update link along, once for all the names that moved.
    const QEvent::Type type = event->type();
    if ((type == QEvent::Resize || type == QEvent::Move) && lblUpdate[0] && !FPlacingLinks) {
        FPlacingLinks = true;
        QTimer::singleShot(0, this, [this] {
            FPlacingLinks = false;
            PlaceUpdateLinks();
        });
    }
    return TForm::eventFilter(watched, event);
}

void TfrmMain::FollowUpdateSwitch(bool lookNow) {
    bool enabled = true;
    try {
        enabled = UpdateLookEnabled();
    } catch (const Exception&) {
        // A switch of another type is no "off".
    }
    // Switched on, it looks at once.
    if (enabled != FUpdates->Enabled())
        FUpdates->SetEnabled(enabled);
    else if (enabled && lookNow)
        FUpdates->LookNow();
    ShowUpdateLinks();
}

void TfrmMain::lblSiteClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SiteBaseURL());
}

void TfrmMain::lblForumsClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SitePageURL(ForumsPage));
}

void TfrmMain::lblNewsClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SitePageURL(NewsPage));
}

void TfrmMain::lblNewsletterClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SitePageURL(SubscriptionPage));
}

void TfrmMain::lblFreewareClick(QObject* /*Sender*/) {
    ShellExecuteDefault(FreewarePageURL());
}

void TfrmMain::lblFaqClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SitePageURL(FaqPage));
}

void TfrmMain::lblSubscriptionClick(QObject* /*Sender*/) {
    OpenNamedLink(QStringLiteral("Subscription"));
}

void TfrmMain::lblSupportClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SupportMailLink(Caption()));
}

void TfrmMain::lblPreferencesClick(QObject* /*Sender*/) {
    // Read at every click: an installer may have set them since.
    const QString pathToEditor = FRegRoot->ReadString(QStringLiteral("PathToEditor"), QString());
    const QString howToTranslateLink =
        FRegLinks->ReadString(QStringLiteral("HowToTranslateLink"), SiteBaseURL());
    ShowPreferences(LangDispatcher1, howToTranslateLink, pathToEditor);
    // The switch may have changed; before the first paint the looks have not begun.
    if (FLooksStarted)
        FollowUpdateSwitch(false);
}

void TfrmMain::lblApp1MouseEnter(QObject* Sender) {
    if (auto* label = qobject_cast<TLabel*>(Sender))
        label->Font()->SetStyle(fsUnderline);
}

void TfrmMain::lblApp1MouseLeave(QObject* Sender) {
    if (auto* label = qobject_cast<TLabel*>(Sender))
        label->Font()->SetStyle({});
}

void TfrmMain::FormClose(QObject* /*Sender*/, TCloseAction& /*Action*/) {
    // A stored choice this run could not show (no translation file, or an index
    // outside its languages) survives as long as the user picks no language.
    const bool keepStored = !FStoredLanguageApplied && !FLanguageChosen;
    FRegUserManager->WriteInteger(QStringLiteral("LanguageIndex"),
                                  keepStored ? FStoredLanguage : LangDispatcher1->ActiveLanguage());
}

void TfrmMain::ApplicationEvents1Message(TMsg& Msg, bool& Handled) {
    if (Msg.message != FAppInstalledMsg)
        return;
    // A broadcast reaches every top-level window; only the application's own
    // copy is acted on, so that one broadcast means one refresh.
    if (Msg.hwnd != Application->Handle())
        return;
    Handled = true;
    RefreshToolsOnMessage();
}

void TfrmMain::AppPathsChanged() {
    if (!tmrAppPathsChanged->isActive())
        FFirstNotice.start();
    if (FFirstNotice.elapsed() <= NoticesWaitAtMostMilliseconds - NoticesSettleMilliseconds)
        tmrAppPathsChanged->start(NoticesSettleMilliseconds);
}

void TfrmMain::RefreshToolsOnMessage() {
    // This refresh reads what any notice so far was about.
    tmrAppPathsChanged->stop();
    tmrHiveSettled->stop();
    try {
        RefreshTools();
    } catch (const Exception& error) {
        ShowRefreshError(error);
    }
}

void TfrmMain::ReadToolsAside(bool report) {
    tmrAppPathsChanged->stop();
    if (FReading) {
        FReadAgain = true;
        FReadAgainReports = FReadAgainReports || report;
        return;
    }
    FReading = true;
    FReader->start([this, report] {
        TToolsState tools;
        std::exception_ptr failure;
        try {
            tools = ReadTools();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, tools, failure, report] { ToolsRead(tools, failure, report); },
            Qt::QueuedConnection);
    });
}

void TfrmMain::ToolsRead(const TToolsState& tools, const std::exception_ptr& failure, bool report) {
    FReading = false;
    if (!failure) {
        tmrHiveSettled->stop();
        ShowTools(tools);
    } else if (!report) {
        // Perhaps a writer half way: once more when it has been left alone.
        tmrHiveSettled->start();
    } else {
        try {
            std::rethrow_exception(failure);
        } catch (const Exception& error) {
            ShowRefreshError(error);
        }
    }
    if (std::exchange(FReadAgain, false))
        ReadToolsAside(std::exchange(FReadAgainReports, false));
}

void TfrmMain::ShowRefreshError(const Exception& error) {
    // One box at a time: while it is open, refreshes that fail the same way add none,
    // and one that succeeds shows the registry as it is now.
    if (error.Message() == FRefreshErrorOnShow)
        return;
    const QString outer = std::exchange(FRefreshErrorOnShow, error.Message());
    Application->ShowException(error);
    FRefreshErrorOnShow = outer;
}
