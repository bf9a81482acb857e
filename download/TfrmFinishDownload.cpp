#include "download/TfrmFinishDownload.h"

#include "download/DownloadTexts.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "settings/SharedServices.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"

#include <QEvent>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <memory>

using namespace tk;

namespace {

// The height the dialog grows by to name the publisher, below the advertisement.
constexpr int PublisherBand = 20;

}  // namespace

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
    lblPublisher = Component<TLabel>("lblPublisher");
    // The advertising texts name another product: they are never translated, and keep
    // the face they are designed in when a language draws the window in its own.
    lblDescriptionConverter1->SetParentFont(false);
    FDesignedClientHeight = ClientHeight();
    FDesigned = {
        {{lblCaptionConverter1, lblCaptionConverter1->Top(), lblCaptionConverter1->BoxHeight()},
         {lblDescriptionConverter1, lblDescriptionConverter1->Top(), lblDescriptionConverter1->BoxHeight()},
         {lblLinkConverter1, lblLinkConverter1->Top(), lblLinkConverter1->BoxHeight()},
         {lblPublisher, lblPublisher->Top(), lblPublisher->BoxHeight()}}};
    for (const TPlace& place : FDesigned)
        place.Label->installEventFilter(this);
    Arrange();
}

void TfrmFinishDownload::Arrange() {
    if (FArranging)
        return;
    FArranging = true;
    int grown = 0;
    for (const TPlace& place : FDesigned) {
        TLabel* label = place.Label;
        label->SetBounds(label->Left(), place.Top + grown, label->Width(),
                         label->WordWrap() ? std::max(place.Height, label->TextHeight()) : place.Height);
        if (label->Visible())
            grown += std::max(0, label->Height() - place.Height);
    }
    SetClientHeight(FDesignedClientHeight + (lblPublisher->Visible() ? PublisherBand : 0) + grown);
    FArranging = false;
}

bool TfrmFinishDownload::eventFilter(QObject* watched, QEvent* event) {
    // A label drawn in another face (the language's, or the system's own for a face
    // it lacks) takes another height.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::Resize)
        Arrange();
    return TForm::eventFilter(watched, event);
}

void TfrmFinishDownload::ShowPublisher(const QString& publisher, TCustomTranslator* texts,
                                       TLangDispatcher* dispatcher) {
    const auto show = [this, publisher, texts] {
        lblPublisher->SetCaption(TextOf(DownloadText::VerifiedPublisher, texts).arg(publisher));
    };
    if (publisher.isEmpty() || lblPublisher->Visible())
        return;
    // The line has a band of its own below the advertisement, which only it needs.
    lblPublisher->SetVisible(true);
    show();
    Arrange();
    // After the dispatcher's translators, the main window's texts included, took the language.
    if (dispatcher)
        connect(dispatcher, &TLangDispatcher::ActiveLanguageSet, this, show);
}

void TfrmFinishDownload::btnLearnMoreClick(QObject* /*Sender*/) {
    OpenNamedLink(QStringLiteral("Converter"));
}

void TfrmFinishDownload::btnDownloadClick(QObject* /*Sender*/) {
    SetModalResult(mrCancel);
}

tk::TModalResult ShowFinishDownloadDialog(TLangDispatcher* dispatcher, const QString& publisher,
                                          TCustomTranslator* texts) {
    const auto form = std::make_unique<TfrmFinishDownload>(nullptr);
    if (dispatcher)
        form->Translator()->SetLangDispatcher(dispatcher);
    form->ShowPublisher(publisher, texts, dispatcher);
    return form->ShowModal();
}

bool ConfirmUnverifiedInstaller(const QString& tool, TCustomTranslator* texts) {
    const QString question = TextOf(DownloadText::StartUnverified, texts).arg(tool);
    QMessageBox box(QMessageBox::Warning, Application ? Application->Title() : QString(), question);
    box.setObjectName(QStringLiteral("UnverifiedInstallerBox"));
    // Screen readers announce a message box by its description.
    box.setAccessibleDescription(question);
    QPushButton* start = box.addButton(TextOf(DownloadText::StartAnyway, texts), QMessageBox::AcceptRole);
    start->setObjectName(QStringLiteral("btnStartAnyway"));
    QPushButton* dontStart = box.addButton(TextOf(DownloadText::DontStart, texts), QMessageBox::RejectRole);
    dontStart->setObjectName(QStringLiteral("btnDontStart"));
    box.setDefaultButton(dontStart);
    box.setEscapeButton(dontStart);
    box.exec();
    return box.clickedButton() == start;
}
