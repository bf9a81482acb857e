#pragma once

#include "download/DownloadTexts.h"
#include "net/HttpParsing.h"
#include "toolkit/TForm.h"

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

class TButton;
class TCustomTranslator;
class TDownloader;
enum class TDownloadOutcome;
class TImage;
class TLabel;
class TLangDispatcher;
class TPanel;
class TShape;
class TTranslator;

// What the dialog asks of an installer and finds: the organisation whose signature it
// must carry (empty for a file that is no installer), and, after a completed
// download, whether it carried that signature (false: it carried none, and it is for
// the caller to ask before starting it), what the server said of the file and the
// file's SHA-256.
struct TInstallerSignature {
    QString Publisher;
    bool Verified = false;
    TVersion Version;
    QByteArray Sha256;
};

// The modal dialog through which an installer is fetched. It offers the download
// with the caller's title and question; "Download and install" switches it to the
// progress view and runs the transfer, during which the window keeps answering. Only
// a completed download closes it with 1 (mrOk). A failed download leaves it open in a
// failed state that says why, with "Try again", which continues a transfer that broke
// off. Cancel, Escape and the close box stop a running transfer at once and close it
// with 2 (mrCancel), as they do at any other time. Whatever was fetched without
// success is removed when the dialog closes.
class TfrmDownload : public TForm {
    Q_OBJECT

public:
    explicit TfrmDownload(QObject* owner);
    ~TfrmDownload() override;

    // Offers the download of `url` to `fileName` (a full path) under `title`, the
    // window's title and heading, with the question `message`. With a `publisher`, the
    // file is an installer that must carry that publisher's signature (see
    // TDownloader::SetPublisher).
    void Offer(const QString& title, const QString& message, const QString& url, const QString& fileName,
               const QString& publisher = QString());
    // What the download found of the installer (its publisher as offered), once the
    // dialog closed with one completed; not verified otherwise.
    TInstallerSignature Installer() const;

    // Failed at once for an empty url or fileName; otherwise runs one download.
    TDownloadOutcome StartDownload(const QString& url, const QString& fileName);

    // The translator that carries the dialog's own texts (the failures, "Try
    // again", the progress line): the main window's. Without one they are English.
    void SetTexts(TCustomTranslator* value);

    // The translator of the dialog's buttons; linked to no dispatcher unless
    // FollowLanguage links it.
    TTranslator* Translator() const { return Translator1; }
    // Speaks the language of `dispatcher` and follows it while open: the buttons, and
    // in the failed state its sentence and "Try again".
    void FollowLanguage(TLangDispatcher* dispatcher);

public Q_SLOTS:
    void btnDownloadClick(QObject* Sender);
    void btnCancelClick(QObject* Sender);
    // The downloader's progress: passes a cancel back at once; moves the bar, writes
    // "N KB of M KB" in the language (both only when Total is known) and lets the
    // window messages through at the screen's pace, for the first and last block
    // always. A block held back by the pace is shown once the pace has passed, even
    // when no other follows it.
    void DownloadProgress(QObject* Sender, quint32 Total, quint32 Received, bool& Cancel);

protected:
    void WMSysCommand(TMsg& message) override;
    void closeEvent(QCloseEvent* event) override;
    // A failure's sentence is fitted to its box again when the label takes another face.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowProgressView();
    // The bar and the progress line for the latest block.
    void ShowProgress();
    void ShowFailure();
    // Puts `sentence`, the failure's, in lblMessage, shortened to fit its box.
    void ShowSentence(const QString& sentence);
    bool SentenceFits(const QString& sentence) const;
    void LanguageChanged();

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
    // One for the dialog's life, so that a retry continues what the last attempt kept.
    std::unique_ptr<TDownloader> FDownloader;
    TCustomTranslator* FTexts = nullptr;
    // In the failed state, which the language's texts are rewritten for.
    bool FFailed = false;
    TProgressText FProgressText;
    // The latest block's figures, shown at the screen's pace and again in a new language.
    quint32 FLatestTotal = 0, FLatestReceived = 0;
    QElapsedTimer FPace;
    static constexpr int FramePaceMilliseconds = 16;
    // Armed when the pace holds a block back, and only then: shows it at the end of the
    // pace, so that what came before a pause in the transfer does not wait for the next
    // block. The event loop that the transfer waits in runs it.
    QTimer FHeldBack;
    // Where the form description puts the bar; the failed state shows it lower,
    // below the sentence.
    int FBarTop = 0;

    // The organisation whose signature a downloaded installer must carry; none when empty.
    QString FPublisher;
};

// Offers the download of `url` to `fileName` under `title` with the question
// `message`; returns mrOk when a download completed, so that the file at `fileName` is
// the one just fetched, and mrCancel in every other case.
// `texts` translates the dialog's own texts (see TfrmDownload::SetTexts); with a
// `dispatcher` the dialog speaks and follows its language (TfrmDownload::FollowLanguage).
// With an `installer` whose Publisher is set, the file is an installer that must carry
// that publisher's signature (see TDownloader::SetPublisher); Verified says whether it did.
tk::TModalResult ShowDownloadDialog(const QString& title, const QString& message, const QString& url,
                                    const QString& fileName, TCustomTranslator* texts = nullptr,
                                    TLangDispatcher* dispatcher = nullptr,
                                    TInstallerSignature* installer = nullptr);
