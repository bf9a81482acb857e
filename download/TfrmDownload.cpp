#include "download/TfrmDownload.h"

#include "core/Exception.h"
#include "core/PlainText.h"
#include "download/DownloadTexts.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "net/TDownloader.h"
#include "platform/Http.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"
#include "toolkit/TShape.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <memory>

using namespace tk;

namespace {

// A path or address as a label shows it: an "&" is itself, not a mnemonic.
QString Literal(QString name) {
    return name.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

// A path or address set in a wrapped sentence stays whole on its line: the line
// breaker would part it after a hyphen or a slash ("tessaly-" / "setup.exe"), at a
// space, and in Japanese or Chinese between any two characters. A word joiner
// between each two characters (never inside one that takes several code units)
// and no-break spaces forbid every break inside it and draw nothing more.
QString Unbreakable(const QString& name) {
    constexpr QChar WordJoiner(0x2060), NoBreakSpace(0x00A0);
    QString whole;
    whole.reserve(name.size() * 2);
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, name);
    for (qsizetype start = 0, end = characters.toNextBoundary(); end > 0;
         start = end, end = characters.toNextBoundary()) {
        if (start > 0)
            whole += WordJoiner;
        const QString character = name.mid(start, end - start);
        whole += character == QLatin1String(" ") ? QString(NoBreakSpace) : character;
    }
    return Literal(whole);
}

}  // namespace

TfrmDownload::TfrmDownload(QObject* owner) : TForm(owner) {
    InitInheritedComponent();
    Panel1 = Component<TPanel>("Panel1");
    Image1 = Component<TImage>("Image1");
    Panel2 = Component<TPanel>("Panel2");
    Panel3 = Component<TPanel>("Panel3");
    btnCancel = Component<TButton>("btnCancel");
    btnDownload = Component<TButton>("btnDownload");
    lblHead = Component<TLabel>("lblHead");
    lblOutput = Component<TLabel>("lblOutput");
    pnlStatus = Component<TPanel>("pnlStatus");
    Translator1 = Component<TTranslator>("Translator1");
    lblMessage = Component<TLabel>("lblMessage");
    shPercent = Component<TShape>("shPercent");
    shTotal = Component<TShape>("shTotal");

    FURL.clear();
    FFileName.clear();
    FDownloading = false;
    pnlStatus->SetDoubleBuffered(true);
    pnlStatus->SetVisible(false);
    shTotal->SetVisible(false);
    shPercent->SetVisible(false);
    lblOutput->SetVisible(false);
    lblOutput->SetCaption(QString());
    pnlStatus->SetCaption(QString());
    lblHead->SetVisible(true);
    lblMessage->SetVisible(true);
    btnDownload->SetEnabled(true);
    shPercent->SetWidth(0);
    FBarTop = shTotal->Top();
    lblMessage->installEventFilter(this);
    FHeldBack.setSingleShot(true);
    connect(&FHeldBack, &QTimer::timeout, this, [this] {
        ShowProgress();
        FPace.start();
    });
}

// Frees the downloader, and with it what a failed transfer kept.
TfrmDownload::~TfrmDownload() = default;

void TfrmDownload::FollowLanguage(TLangDispatcher* dispatcher) {
    Translator1->SetLangDispatcher(dispatcher);
    // After the dispatcher's translators, the main window's texts included, took the
    // language.
    connect(dispatcher, &TLangDispatcher::ActiveLanguageSet, this, [this] { LanguageChanged(); });
}

void TfrmDownload::SetTexts(TCustomTranslator* value) {
    FTexts = value;
    FProgressText.SetLanguage(value);
    ShowProgress();
}

void TfrmDownload::LanguageChanged() {
    // The translator gave the buttons their designed captions in the new language;
    // the failed state has its own, the progress line its numbers.
    FProgressText.SetLanguage(FTexts);
    if (FFailed)
        ShowFailure();
    else
        ShowProgress();
}

bool TfrmDownload::eventFilter(QObject* watched, QEvent* event) {
    // Once the label has taken its new font.
    if (watched == lblMessage && event->type() == QEvent::FontChange)
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (FFailed)
                    ShowFailure();
            },
            Qt::QueuedConnection);
    return TForm::eventFilter(watched, event);
}

void TfrmDownload::btnDownloadClick(QObject* /*Sender*/) {
    FFailed = false;
    FPace.invalidate();
    ShowProgressView();
    // Paints the progress view before the transfer starts, whatever the pace of
    // painting.
    Application->ProcessMessages();
    Update();
    // Cancel or the close box, handled just now, still answers the offer: nothing
    // is fetched and the dialog closes with the result they set.
    if (ModalResult() != mrNone)
        return;
    const TDownloadOutcome outcome = StartDownload(FURL, FFileName);
    // A download that could not even start (no address or file) has nothing to say.
    if (outcome == TDownloadOutcome::Failed && FDownloader)
        ShowFailure();
    else
        SetModalResult(outcome == TDownloadOutcome::Completed ? mrOk : mrCancel);
}

void TfrmDownload::btnCancelClick(QObject* /*Sender*/) {
    if (FDownloading) {
        FCancelRequested = true;
        FDownloader->Cancel();
    } else {
        SetModalResult(mrCancel);
    }
}

TDownloadOutcome TfrmDownload::StartDownload(const QString& url, const QString& fileName) {
    if (url.isEmpty() || fileName.isEmpty())
        return TDownloadOutcome::Failed;
    FCancelRequested = false;
    if (!FDownloader) {
        FDownloader = std::make_unique<TDownloader>();
        FDownloader->SetOnProgress(TMethod::Bind(FDownloader.get(), "OnProgress", this, "DownloadProgress"));
        FDownloader->SetPublisher(FPublisher);
    }
    FDownloading = true;
    const TDownloadOutcome outcome = FDownloader->Download(url, fileName);
    FDownloading = false;
    // What the view shows next (the failure, or nothing once closed) shows the latest
    // block itself.
    FHeldBack.stop();
    return outcome;
}

void TfrmDownload::ShowProgressView() {
    lblMessage->SetVisible(false);
    shTotal->SetTop(FBarTop);
    shPercent->SetTop(FBarTop);
    pnlStatus->SetVisible(true);
    shTotal->SetVisible(true);
    shPercent->SetVisible(true);
    lblOutput->SetVisible(true);
    // One line of the path, shortened in the middle where it does not fit, so that
    // the folder it starts with and the file's name stay; the hint shows all of it,
    // and a screen reader reads all of it.
    lblOutput->SetCaption(
        Literal(QFontMetrics(lblOutput->font()).elidedText(FFileName, Qt::ElideMiddle, lblOutput->Width())));
    lblOutput->SetHint(FFileName);
    lblOutput->setAccessibleDescription(FFileName);
    btnDownload->SetEnabled(false);
}

void TfrmDownload::ShowFailure() {
    // The sentence takes the question's place, which holds three lines; the bar
    // stays where the transfer stopped, below it.
    ShowProgress();
    lblOutput->SetVisible(false);
    pnlStatus->SetVisible(false);
    ShowSentence(FailureSentence(FDownloader->LastFailure(), FURL, FFileName, FTexts));
    lblMessage->SetVisible(true);
    const int below = lblMessage->Top() + lblMessage->Height() + 4;
    shTotal->SetTop(below);
    shPercent->SetTop(below);
    btnDownload->SetCaption(TextOf(DownloadText::TryAgain, FTexts));
    btnDownload->SetEnabled(true);
    if (!FFailed)
        btnDownload->setFocus();
    FFailed = true;
}

bool TfrmDownload::SentenceFits(const QString& sentence) const {
    const QRect box = lblMessage->rect();
    const QRect needed = QFontMetrics(lblMessage->font())
                             .boundingRect(QRect(0, 0, box.width(), QWIDGETSIZE_MAX),
                                           Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, sentence);
    return needed.width() <= box.width() && needed.height() <= box.height();
}

void TfrmDownload::ShowSentence(const QString& sentence) {
    // Every path or address in the sentence stays whole on one line; one too long
    // for the box (a deep folder, a long redirect target) gives way in its middle,
    // as on the progress line, until the sentence fits. The hint has all of it, and a
    // screen reader reads the whole sentence as plain text.
    const QFontMetrics metrics(lblMessage->font());
    const TDownloadFailure& failure = FDownloader->LastFailure();
    const auto placed = [&](int room) {
        return FailureSentence(failure, FURL, FFileName, FTexts, [&](const QString& name) {
            const QString fitted = room > 0 ? metrics.elidedText(name, Qt::ElideMiddle, room) : name;
            // A signer's name wraps as words do.
            return name == failure.Signer ? Literal(fitted) : Unbreakable(fitted);
        });
    };
    const QString whole = placed(0);
    QString shown = whole;
    for (int room = lblMessage->Width(); !SentenceFits(shown) && room > 0; room -= room / 8 + 1)
        shown = placed(room);
    lblMessage->SetCaption(shown);
    const bool shortened = shown != whole;
    lblMessage->SetHint(shortened ? sentence : QString());
    if (shortened)
        lblMessage->SetShowHint(true);
    lblMessage->setAccessibleName(PlainText(sentence));
}

void TfrmDownload::DownloadProgress(QObject* /*Sender*/, quint32 Total, quint32 Received, bool& Cancel) {
    FLatestTotal = Total;
    FLatestReceived = Received;
    // This runs once per block, a kilobyte: a fast server brings hundreds of thousands
    // a second. The transfer runs on a thread of its own, so the window needs no more
    // than the screen's pace: the view is brought up to date and the window's messages
    // (Cancel, minimize, the close box) are handled at most once a frame, and always
    // for the first block and the last.
    if (!FPace.isValid() || FPace.hasExpired(FramePaceMilliseconds) || (Total != 0 && Received >= Total)) {
        FHeldBack.stop();
        ShowProgress();
        Application->ProcessMessages();
        FPace.start();
    } else if (Total != 0 && !FHeldBack.isActive()) {
        // The transfer may pause right after this block: it is shown at the end of the
        // pace unless a later one is shown first.
        FHeldBack.start(static_cast<int>(FramePaceMilliseconds - FPace.elapsed()));
    }
    Cancel = FCancelRequested;
}

void TfrmDownload::ShowProgress() {
    const quint32 total = FLatestTotal;
    if (total == 0)
        return;
    // No count reads more than the whole, whatever a caller reports.
    const quint32 received = std::min(FLatestReceived, total);
    const int width = static_cast<int>(static_cast<double>(shTotal->Width()) * received / total);
    if (shPercent->Width() != width)
        shPercent->SetWidth(width);
    const TKilobyteFigures figures = KilobyteFigures(received, total);
    pnlStatus->SetCaption(
        FProgressText.Format(static_cast<quint32>(figures.Done), static_cast<quint32>(figures.Whole)));
}

void TfrmDownload::WMSysCommand(TMsg& message) {
    if (message.wParam == SC_MINIMIZE)
        Application->Minimize();
    else
        TForm::WMSysCommand(message);
}

void TfrmDownload::closeEvent(QCloseEvent* event) {
    // During a transfer the close box cancels it; the dialog closes with 2 as soon as
    // the downloader has stopped.
    if (FDownloading && ModalResult() == mrNone) {
        event->ignore();
        FCancelRequested = true;
        FDownloader->Cancel();
        return;
    }
    TForm::closeEvent(event);
}

void TfrmDownload::Offer(const QString& title, const QString& message, const QString& url,
                         const QString& fileName, const QString& publisher) {
    SetCaption(title);
    lblHead->SetCaption(title);
    lblMessage->SetCaption(message);
    FURL = url;
    FFileName = fileName;
    FPublisher = publisher;
}

TInstallerSignature TfrmDownload::Installer() const {
    TInstallerSignature installer;
    installer.Publisher = FPublisher;
    if (FDownloader && ModalResult() == mrOk) {
        installer.Verified = FDownloader->Verified();
        installer.Version = FDownloader->CompletedVersion();
        installer.Sha256 = FDownloader->CompletedSha256();
    }
    return installer;
}

tk::TModalResult ShowDownloadDialog(const QString& title, const QString& message, const QString& url,
                                    const QString& fileName, TCustomTranslator* texts,
                                    TLangDispatcher* dispatcher, TInstallerSignature* installer) {
    // While the user reads the question.
    PrepareInternet();
    auto form = std::make_unique<TfrmDownload>(nullptr);
    form->Offer(title, message, url, fileName, installer ? installer->Publisher : QString());
    form->SetTexts(texts);
    if (dispatcher)
        form->FollowLanguage(dispatcher);
    const bool completed = form->ShowModal() == mrOk;
    if (installer)
        *installer = form->Installer();
    return completed ? mrOk : mrCancel;
}
