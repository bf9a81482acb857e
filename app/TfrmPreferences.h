#pragma once

#include "toolkit/TForm.h"

#include <QPointer>

class TButton;
class TCheckBox;
class TComboBox;
class TLabel;
class TLangDispatcher;
class TPageControl;
class TTabSheet;
class TTranslator;

// The modal Preferences dialog: the interface language (with the guide to
// translating the program), the newsletter subscription, and the program's name,
// version, whether it looks for updates of installed tools, and the maker's links. A language picked here
// takes effect at once in every window that follows the dispatcher; the dialog itself stores nothing. Every
// way of closing it gives 2.
class TfrmPreferences : public TForm {
    Q_OBJECT

public:
    // Opens on the Language page, whatever page the form description left active.
    explicit TfrmPreferences(QObject* owner);
    ~TfrmPreferences() override;

    TTranslator* Translator() const { return Translator1; }

public Q_SLOTS:
    // Lists the dispatcher's languages and selects the active one.
    void FormShow(QObject* Sender);
    void FormShortCut(TWMKey& Msg, bool& Handled);
    void cmbLanguageChange(QObject* Sender);
    void btnCloseClick(QObject* Sender);
    void lblStep1DescClick(QObject* Sender);
    void lblTranslateGuideClick(QObject* Sender);
    // Shared by the three labels of the Subscription page.
    void lblCaptionSubscriptionClick(QObject* Sender);
    // The site's address (Label4) was clicked.
    void Label4Click(QObject* Sender);
    void lblSupportClick(QObject* Sender);
    void lblFAQClick(QObject* Sender);
    // Stores the switch at once: whether the site is asked about installed tools.
    void chkCheckForUpdatesClick(QObject* Sender);

private:
    // Each step's description starts 3 pixels right of its (translated) number, and
    // the language label ends 3 pixels above the list, where the design has it: a
    // language whose face draws it taller (Japanese, Chinese) grows it upwards.
    void PlaceLabels();

    TPageControl* PageControl1;
    TTabSheet* tsLanguage;
    TTabSheet* tsSubscription;
    TTabSheet* tsAbout;
    // "Label1" in the form description.
    TLabel* lblSelectLanguage;
    TComboBox* cmbLanguage;
    TLabel* lblStep[6];
    TLabel* lblStepDesc[6];
    TLabel* lblNameProgram;
    TLabel* lblVersion;
    // The site's address on the About page ("Label4" in the form description).
    TLabel* lblSiteAddress;
    TLabel* lblSupport;
    TCheckBox* chkCheckForUpdates;
    TButton* btnClose;
    TTranslator* Translator1;

    QString FHowToTranslateLink;
    QString FPathToEditor;
    // Not owned.
    QPointer<TLangDispatcher> FDispatcher;

    friend tk::TModalResult ShowPreferences(TLangDispatcher*, const QString&, const QString&);
};

// Shows the Preferences dialog over the main window, its translator following
// `dispatcher`; the guide link opens `howToTranslateLink`, the first step starts
// `pathToEditor`. Returns the modal result, which is always mrCancel.
tk::TModalResult ShowPreferences(TLangDispatcher* dispatcher, const QString& howToTranslateLink,
                                 const QString& pathToEditor);
