#pragma once

#include "app/ToolCatalogue.h"
#include "toolkit/TForm.h"

#include <array>
#include <memory>

class TApplicationEvents;
class TLabel;
class TRegedit;

// The launcher's one long-lived window: the twenty tools on the left, black when
// installed and grey when not, the maker's links on the right. It re-reads which
// tools are installed whenever another program posts "KWAPPINSTALLED".
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

    bool ToolInstalled(int index) const { return FToolInstalled.at(index); }
    const QString& ToolPath(int index) const { return FToolPath.at(index); }
    const QString& ToolUrl(int index) const { return FToolUrl.at(index); }
    const QString& ToolName(int index) const { return FToolName.at(index); }
    const QString& ToolFile(int index) const { return FToolFile.at(index); }
    unsigned AppInstalledMsg() const { return FAppInstalledMsg; }

signals:
    // After every refresh, for whoever shows the catalogue's state.
    void ToolsRefreshed();

public slots:
    void lblApp1MouseEnter(QObject* Sender);
    void lblApp1MouseLeave(QObject* Sender);
    void FormClose(QObject* Sender, tk::TCloseAction& Action);
    void ApplicationEvents1Message(TMsg& Msg, bool& Handled);

private:
    template <typename TComponentClass>
    TComponentClass* Component(const char* name) const;

    std::array<bool, ToolCount> FToolInstalled{};
    std::array<QString, ToolCount> FToolPath, FToolUrl, FToolName, FToolFile;
    std::unique_ptr<TRegedit> FRegUserManager, FRegRoot, FRegLinks, FRegAppPaths;
    unsigned FAppInstalledMsg = 0;

    TLabel* lblDownloadAll;
    TLabel* lblSubscription;
};

extern TfrmMain* frmMain;
