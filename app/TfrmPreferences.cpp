#include "app/TfrmPreferences.h"

#include "app/InstallerRecords.h"
#include "core/FileVersion.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "platform/Shell.h"
#include "settings/SharedServices.h"
#include "settings/SiteLinks.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TCheckBox.h"
#include "toolkit/TComboBox.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPageControl.h"
#include "toolkit/TTabSheet.h"

#include <QCoreApplication>

#include <algorithm>
#include <memory>

using namespace tk;

TfrmPreferences::TfrmPreferences(QObject* owner) : TForm(owner) {
    InitInheritedComponent();
    PageControl1 = Component<TPageControl>("PageControl1");
    tsLanguage = Component<TTabSheet>("tsLanguage");
    tsSubscription = Component<TTabSheet>("tsSubscription");
    tsAbout = Component<TTabSheet>("tsAbout");
    lblSelectLanguage = Component<TLabel>("Label1");
    cmbLanguage = Component<TComboBox>("cmbLanguage");
    static const char* const kSteps[6] = {"lblStep1", "lblStep2", "lblStep3",
                                          "lblStep4", "lblStep5", "lblStep6"};
    static const char* const kStepDescs[6] = {"lblStep1Desc", "lblStep2Desc", "lblStep3Desc",
                                              "lblStep4Desc", "lblStep5Desc", "lblStep6Desc"};
    for (int i = 0; i < 6; ++i) {
        lblStep[i] = Component<TLabel>(kSteps[i]);
        lblStepDesc[i] = Component<TLabel>(kStepDescs[i]);
    }
    lblNameProgram = Component<TLabel>("lblNameProgram");
    lblVersion = Component<TLabel>("lblVersion");
    lblSiteAddress = Component<TLabel>("Label4");
    lblSupport = Component<TLabel>("lblSupport");
    chkCheckForUpdates = Component<TCheckBox>("chkCheckForUpdates");
    btnClose = Component<TButton>("btnClose");
    Translator1 = Component<TTranslator>("Translator1");

    FHowToTranslateLink.clear();
    FPathToEditor.clear();
    lblNameProgram->SetCaption(Application ? Application->Title() : QString());
    lblVersion->SetCaption(QStringLiteral("v ") +
                           GetFileVersionText(QCoreApplication::applicationFilePath()));
    // The maker's addresses have one home; the form's texts only stand in for them.
    lblSiteAddress->SetCaption(SiteHostName());
    lblSupport->SetCaption(SupportMailbox());
    PageControl1->SetActivePage(tsLanguage);
    chkCheckForUpdates->SetChecked(UpdateLookEnabled());
}

TfrmPreferences::~TfrmPreferences() {
    FHowToTranslateLink.clear();
    FPathToEditor.clear();
}

void TfrmPreferences::FormShow(QObject* /*Sender*/) {
    if (FDispatcher) {
        const TStrings* names = FDispatcher->LangNames();
        // A dispatcher that counts more languages than it names lists what it names.
        const int count = std::min(FDispatcher->NumOfLanguages(), names->Count());
        for (int i = 0; i < count; ++i)
            cmbLanguage->Items()->Add(names->Strings(i));
        // Languages count from 1, items from 0; selecting in code raises no OnChange.
        cmbLanguage->SetItemIndex(FDispatcher->ActiveLanguage() - 1);
    }
    PlaceLabels();
}

void TfrmPreferences::FormShortCut(TWMKey& Msg, bool& /*Handled*/) {
    // Left unhandled: the key goes on to the focused control.
    if (Msg.CharCode == VK_ESCAPE)
        SetModalResult(mrCancel);
}

void TfrmPreferences::cmbLanguageChange(QObject* /*Sender*/) {
    const int index = cmbLanguage->ItemIndex();
    if (!FDispatcher || index < 0)
        return;
    // Every linked window, this one included, is translated before this returns.
    FDispatcher->SetActiveLanguage(index + 1);
}

void TfrmPreferences::PlaceLabels() {
    for (int i = 0; i < 6; ++i)
        lblStepDesc[i]->SetLeft(lblStep[i]->Left() + lblStep[i]->Width() + 3);
    lblSelectLanguage->SetTop(std::max(0, cmbLanguage->Top() - 3 - lblSelectLanguage->Height()));
}

void TfrmPreferences::btnCloseClick(QObject* /*Sender*/) {
    SetModalResult(mrCancel);
}

void TfrmPreferences::lblStep1DescClick(QObject* /*Sender*/) {
    ShellExecuteDefault(FPathToEditor);
}

void TfrmPreferences::lblTranslateGuideClick(QObject* /*Sender*/) {
    ShellExecuteDefault(FHowToTranslateLink);
}

void TfrmPreferences::lblCaptionSubscriptionClick(QObject* /*Sender*/) {
    OpenNamedLink(QStringLiteral("Subscription"));
}

void TfrmPreferences::Label4Click(QObject* /*Sender*/) {
    ShellExecuteDefault(SiteBaseURL());
}

void TfrmPreferences::lblFAQClick(QObject* /*Sender*/) {
    ShellExecuteDefault(SitePageURL(FaqPage));
}

void TfrmPreferences::chkCheckForUpdatesClick(QObject* /*Sender*/) {
    SetUpdateLookEnabled(chkCheckForUpdates->Checked());
}

void TfrmPreferences::lblSupportClick(QObject* /*Sender*/) {
    // Unlike the main window's support link, the subject carries the label's "v ".
    const QString title = Application ? Application->Title() : QString();
    ShellExecuteDefault(SupportMailLink(title + QLatin1Char(' ') + lblVersion->Caption()));
}

tk::TModalResult ShowPreferences(TLangDispatcher* dispatcher, const QString& howToTranslateLink,
                                 const QString& pathToEditor) {
    auto form = std::make_unique<TfrmPreferences>(Application ? Application->MainForm() : nullptr);
    // With a translation file the dispatcher loads the window's texts and applies
    // its active language here; without one the window keeps its own texts.
    form->Translator1->SetLangDispatcher(dispatcher);
    form->FDispatcher = dispatcher;
    // However the language changes while the window is open, the steps follow
    // their numbers' new widths and the language label its new height.
    if (dispatcher)
        QObject::connect(dispatcher, &TLangDispatcher::ActiveLanguageSet, form.get(),
                         [window = form.get()] { window->PlaceLabels(); });
    form->FHowToTranslateLink = howToTranslateLink;
    form->FPathToEditor = pathToEditor;
    return form->ShowModal();
}
