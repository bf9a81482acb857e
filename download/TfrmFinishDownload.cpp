#include "download/TfrmFinishDownload.h"

#include "i18n/TLangDispatcher.h"

#include "i18n/TTranslator.h"
#include "settings/SharedServices.h"
#include "toolkit/TButton.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"

#include <memory>

using namespace tk;

TfrmFinishDownload::TfrmFinishDownload(QObject* owner) : TForm(owner) {
    InitInheritedComponent();
    Panel1 = Component<TPanel>("Panel1");
    imgFlashBack = Component<TImage>("imgFlashBack");
    Panel2 = Component<TPanel>("Panel2");
    Panel3 = Component<TPanel>("Panel3");
    btnDownload = Component<TButton>("btnDownload");
    btnLearnMore = Component<TButton>("btnLearnMore");
    Translator_frmFinishDownload = Component<TTranslator>("Translator_frmFinishDownload");
    lblCaptionConverter1 = Component<TLabel>("lblCaptionConverter1");
    lblDescriptionConverter1 = Component<TLabel>("lblDescriptionConverter1");
    lblLinkConverter1 = Component<TLabel>("lblLinkConverter1");
    // The advertising texts name another product: they are never translated, and keep
    // the face they are designed in when a language draws the window in its own.
    lblDescriptionConverter1->SetParentFont(false);
}

void TfrmFinishDownload::btnLearnMoreClick(QObject* /*Sender*/) {
    OpenNamedLink(QStringLiteral("Converter"));
}

void TfrmFinishDownload::btnDownloadClick(QObject* /*Sender*/) {
    SetModalResult(mrCancel);
}

tk::TModalResult ShowFinishDownloadDialog(TLangDispatcher* dispatcher) {
    const auto form = std::make_unique<TfrmFinishDownload>(nullptr);
    if (dispatcher)
        form->Translator()->SetLangDispatcher(dispatcher);
    return form->ShowModal();
}
