#pragma once

#include "toolkit/TForm.h"

#include <array>

class TButton;
class TCustomTranslator;
class TLangDispatcher;
class TImage;
class TLabel;
class TPanel;
class TTranslator;

// Shown after an installer has been downloaded and before it is started: thanks
// the user, names the installer's verified publisher where its signature was checked,
// and advertises the video converter. "Learn more..." and the three advertising texts
// open the converter's page and leave the dialog open; "Continue" and the close box
// close it with 2.
class TfrmFinishDownload : public TForm {
    Q_OBJECT

public:
    explicit TfrmFinishDownload(QObject* owner);

    // Linked through the form description to the main window's dispatcher, when
    // there is a main window; the advertising texts are never translated.
    TTranslator* Translator() const { return Translator_frmFinishDownload; }

    // "Verified publisher: `publisher`" in the language of `texts` (the main window's
    // translator; English without one), again whenever `dispatcher` switches it;
    // nothing for an empty `publisher`.
    void ShowPublisher(const QString& publisher, TCustomTranslator* texts, TLangDispatcher* dispatcher);

public Q_SLOTS:
    void btnLearnMoreClick(QObject* Sender);
    void btnDownloadClick(QObject* Sender);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Keeps the advertisement's lines and the publisher's each below the one above
    // with the gaps they are designed with, and grows the dialog by what their lines
    // need beyond the design: a face with taller lines than Tahoma's is not cut.
    void Arrange();

    struct TPlace {
        TLabel* Label;
        int Top;
        int Height;
    };
    std::array<TPlace, 4> FDesigned{};
    int FDesignedClientHeight = 0;
    bool FArranging = false;

    TPanel* Panel1;
    TImage* imgFlashBack;
    TPanel* Panel2;
    TPanel* Panel3;
    TButton* btnDownload;
    TButton* btnLearnMore;
    TTranslator* Translator_frmFinishDownload;
    TLabel* lblCaptionConverter1;
    TLabel* lblDescriptionConverter1;
    TLabel* lblLinkConverter1;
    TLabel* lblPublisher;
};

// Shows the dialog modally and frees it; the result is mrCancel however it was closed.
// The dialog follows `dispatcher`'s language, handed over as Preferences gets it.
// The form description also links the translator to the main window's dispatcher
// (frmMain.LangDispatcher1), which a stored form relies on; both name the same one.
// With a `publisher`, the dialog names it as the installer's verified publisher, in
// the language of `texts` (see TfrmFinishDownload::ShowPublisher).
tk::TModalResult ShowFinishDownloadDialog(TLangDispatcher* dispatcher = nullptr,
                                          const QString& publisher = QString(),
                                          TCustomTranslator* texts = nullptr);

// Asks whether to start `tool`'s installer, whose publisher could not be verified, as
// the system asks of an unknown publisher, in the language of `texts`; "Don't start" is
// the default, and Escape and the close box answer it too. True for "Start anyway".
bool ConfirmUnverifiedInstaller(const QString& tool, TCustomTranslator* texts = nullptr);
