#pragma once

#include "app/ToolCatalogue.h"
#include "toolkit/TForm.h"

#include <QElapsedTimer>

#include <array>
#include <exception>
#include <memory>

class Exception;
class IRegistryWatch;
class QThreadPool;
class QTimer;
class TApplicationEvents;
class TLabel;
class TLangDispatcher;
class TRegedit;
class TTranslator;
class TUpdateLook;
struct TStartResult;

// The launcher's one long-lived window: the twenty tools on the left, black when
// installed and grey when not, the maker's links on the right. It re-reads which
// tools are installed whenever another program posts "KWAPPINSTALLED", and by itself
// whenever the registry's list of tools changes.
class TfrmMain : public TForm {
    Q_OBJECT

public:
    explicit TfrmMain(QObject* owner);
    ~TfrmMain() override;

    // Re-reads the tools' paths, decides which are installed, and updates the
    // labels: colours, and download-all or subscription.
    void RefreshTools();
    // Colours every tool label of `form` (black installed, grey missing).
    void UpdateToolColours(TForm* form);

    // A click on the tool label with this Tag (1000 to 1019): starts the tool
    // when installed, otherwise offers to download and run its installer.
    void OpenTool(int tag);

public Q_SLOTS:
    void lblApp1Click(QObject* Sender);
    // Shared by the twenty update links (lblUpdate1 to lblUpdate20, made at run time).
    void lblUpdate1Click(QObject* Sender);
    void lblDownloadAllClick(QObject* Sender);
    void lblSiteClick(QObject* Sender);
    void lblForumsClick(QObject* Sender);
    void lblNewsClick(QObject* Sender);
    void lblNewsletterClick(QObject* Sender);
    void lblFreewareClick(QObject* Sender);
    void lblFaqClick(QObject* Sender);
    void lblSubscriptionClick(QObject* Sender);
    void lblSupportClick(QObject* Sender);
    void lblPreferencesClick(QObject* Sender);
    void lblApp1MouseEnter(QObject* Sender);
    void lblApp1MouseLeave(QObject* Sender);
    void FormClose(QObject* Sender, tk::TCloseAction& Action);
    void ApplicationEvents1Message(TMsg& Msg, bool& Handled);

protected:
    // Notes the tool list's first paint, after which the site is asked about updates.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // What the registry says of the tools: each one's path, and whether it names a file.
    struct TToolsState {
        std::array<QString, ToolCount> Paths;
        std::array<bool, ToolCount> Installed{};
    };
    // Reads the tools' paths through one key of its own, so that any thread may;
    // raises ERegistryException as the registry accessor does.
    static TToolsState ReadTools();
    void ShowTools(const TToolsState& tools);

    // The message's refresh, at once: a failure is shown, one box at a time, and the
    // loop goes on.
    void RefreshToolsOnMessage();
    // The registry's list of tools may have changed: a refresh once the notices settle.
    void AppPathsChanged();
    // Reads the tools on a thread of its own, however large the hive, and shows them
    // (ToolsRead) back on the window's thread; one read at a time, and one more after
    // it when asked for meanwhile. A failure is said only when `report`; otherwise it
    // is read once more after tmrHiveSettled.
    void ReadToolsAside(bool report);
    void ToolsRead(const TToolsState& tools, const std::exception_ptr& failure, bool report);
    void ShowRefreshError(const Exception& error);

    // Offers `url` in the download dialog, saving to `fileName` in the
    // installations folder; after a download, the finish dialog, then the installer.
    // `record` names the installer's record (see InstallerRecords.h), written once it starts.
    void DownloadAndInstall(const QString& title, const QString& message, const QString& url,
                            const QString& fileName, const QString& record);
    // Says in a message box, in the window's language, why `name` could not be
    // started; nothing for a start that went ahead or that the person declined.
    // Logs it with `target`, the path, in English (kw.shell).
    void SayNotStarted(const QString& name, const QString& target, const TStartResult& result);

    // The update links: made hidden, one after each tool's label, once the first is
    // needed; their text, face and place in the language (the largest of a few small
    // sizes with which every one fits its column); shown for the installed tools that
    // have an update.
    void MakeUpdateLinks();
    void PlaceUpdateLinks();
    void ShowUpdateLinks();
    void UpdateKnown(const QString& name, bool available);
    // Reads the switch: off stops the looks; on (again) looks now, as does `lookNow`.
    void FollowUpdateSwitch(bool lookNow);

    std::array<bool, ToolCount> FToolInstalled{};
    std::array<QString, ToolCount> FToolPath, FToolUrl, FToolName, FToolFile;
    std::unique_ptr<TRegedit> FRegUserManager, FRegRoot, FRegLinks;
    unsigned FAppInstalledMsg = 0;
    // Notices of the AppPaths key, and the refresh they lead to once they settle
    // (tmrAppPathsChanged); FFirstNotice times the first notice of a burst.
    std::unique_ptr<IRegistryWatch> FAppPathsWatch;
    QTimer* tmrAppPathsChanged = nullptr;
    QElapsedTimer FFirstNotice;
    // The thread that reads after the notices (it waits without a timeout in between,
    // and the window never waits for it), whether it is reading, whether another read
    // is due once it ends and whether that one says a failure; the second read of a
    // hive that did not parse.
    std::unique_ptr<QThreadPool> FReader;
    bool FReading = false;
    bool FReadAgain = false;
    bool FReadAgainReports = false;
    QTimer* tmrHiveSettled = nullptr;
    // The message of the refresh error whose box is open; empty when none is.
    QString FRefreshErrorOnShow;
    // The stored LanguageIndex as read at start, whether it became the active
    // language, and whether a language was set since; FormClose keeps a stored
    // choice that this run could not show unless the user chose one.
    int FStoredLanguage = 1;
    bool FStoredLanguageApplied = false;
    bool FLanguageChosen = false;

    // What the records say of the tools' installers, the links that say it, and the
    // looks that keep the records; they start after the first paint.
    std::array<bool, ToolCount> FUpdateAvailable{};
    std::array<TLabel*, ToolCount> lblApp{};
    std::array<TLabel*, ToolCount> lblUpdate{};
    std::unique_ptr<TUpdateLook> FUpdates;
    bool FLooksStarted = false;
    bool FPlacingLinks = false;

    TLabel* lblDownloadAll;
    TLabel* lblSubscription;
    TLangDispatcher* LangDispatcher1;
    TTranslator* Translator_frmMain;
};

extern TfrmMain* frmMain;
