#pragma once

#include "toolkit/TForm.h"

class TButton;
class TImage;
class TLabel;
class TPanel;
class TShape;
class TTranslator;

// The modal dialog through which an installer is fetched. It offers the download
// with the caller's title and question; "Download and install" switches it to the
// progress view, runs the transfer on the GUI thread and closes it with 1 when a
// block was written, 2 otherwise. Cancel stops a running transfer and otherwise
// closes with 2; so does the close box.
class TfrmDownload : public TForm {
    Q_OBJECT

public:
    explicit TfrmDownload(QObject* owner);

    // False at once for an empty url or fileName; otherwise runs one download.
    bool StartDownload(const QString& url, const QString& fileName);

    // Linked to no dispatcher: the dialog keeps its embedded language-1 texts.
    TTranslator* Translator() const { return Translator1; }

public slots:
    void btnDownloadClick(QObject* Sender);
    void btnCancelClick(QObject* Sender);
    // The downloader's progress: moves the bar, writes "N KB of M KB" (both only
    // when Total is known), lets the window messages through, passes a cancel back.
    void DownloadProgress(QObject* Sender, quint32 Total, quint32 Received, bool& Cancel);

protected:
    void WMSysCommand(TMsg& message) override;
    void closeEvent(QCloseEvent* event) override;

private:
    TPanel* Panel1;
    TImage* Image1;
    TPanel* Panel2;
    TPanel* Panel3;
    TButton* btnCancel;
    TButton* btnDownload;
    TLabel* lblHead;
    TLabel* lblOutput;
    TPanel* pnlStatus;
    TLabel* lblMessage;
    TShape* shPercent;
    TShape* shTotal;
    TTranslator* Translator1;

    bool FCancelRequested = false;
    bool FDownloading = false;
    QString FURL;
    QString FFileName;

    friend int ShowDownloadDialog(const QString&, const QString&, const QString&, const QString&);
};

// Offers the download of `url` to `fileName` under `title` with the question
// `message`; returns 1 when a download ran and wrote data, 2 in every other case.
int ShowDownloadDialog(const QString& title, const QString& message, const QString& url,
                       const QString& fileName);

// The dialog while ShowDownloadDialog shows it, else null.
extern TfrmDownload* frmDownload;
