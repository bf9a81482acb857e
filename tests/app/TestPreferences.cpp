#include "app/TfrmPreferences.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/TSibGenerator.h"
#include "settings/SiteLinks.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "tests/support/ShellRecorder.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TComboBox.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPageControl.h"
#include "toolkit/TTabSheet.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <ostream>

using namespace tk;

namespace {

// The Preferences window while ShowPreferences has it up.
TfrmPreferences* OpenPreferences() {
    return OpenForm<TfrmPreferences>("frmPreferences");
}

template <typename T>
T* Part(const char* name) {
    return OpenPreferences() ? qobject_cast<T*>(OpenPreferences()->FindComponent(QLatin1String(name)))
                             : nullptr;
}
TLabel* Label(const char* name) {
    return Part<TLabel>(name);
}
TPageControl* Pages() {
    return Part<TPageControl>("PageControl1");
}
TComboBox* Languages() {
    return Part<TComboBox>("cmbLanguage");
}

void ShowPage(const char* name) {
    LeftClickAt(Pages(), Pages()->TabRect(Part<TTabSheet>(name)).center());
}

// A key as the user types it, to the focused control.
void Key(Qt::Key key) {
    QTest::keyClick(OpenPreferences()->focusWidget() ? OpenPreferences()->focusWidget() : OpenPreferences(),
                    key);
}

// Closes every message box that appears while it lives, counting them.
struct TBoxWatch {
    int Count = 0;
    QString Title;
    QTimer Timer;
    TBoxWatch() {
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                    ++Count;
                    Title = box->windowTitle();
                    box->accept();
                }
            }
        });
        Timer.start(10);
    }
};

bool HaveTahoma() {
    return QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
}

class Preferences : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        FApplication->CreateForm(FMain);
        FMain->Show();
        // The main window's dispatcher, without a translation file.
        FDispatcher = new TLangDispatcher(FMain);
        FDispatcher->SetLangNames({QStringLiteral("English")});
    }

    // Opens the dialog as the main window does; `whileShown` runs once it is up.
    int Show(const std::function<void()>& whileShown, const QString& guide = QString(),
             const QString& editor = QString()) {
        const int result = RunModal([] { return OpenPreferences(); }, whileShown,
                                    [&] { return ShowPreferences(FDispatcher, guide, editor); });
        EXPECT_EQ(OpenPreferences(), nullptr) << "freed before the result is returned";
        return result;
    }

    // Four languages; each step number is as wide as the language makes it.
    void UseTranslationFile() {
        const QStringList names = {QStringLiteral("English"), QStringLiteral("Français"),
                                   QStringLiteral("Deutsch"), QStringLiteral("Italiano")};
        TSibDescription file;
        for (const QString& name : names)
            file.Languages.append({name});
        TSibWindow& window = file.Windows.emplaceBack(QStringLiteral("TfrmPreferences"));
        window.Captions(QStringLiteral("TfrmPreferences"),
                        {{}, QStringLiteral("Préférences"), QStringLiteral("Einstellungen"), {}});
        window.Captions(QStringLiteral("lblTranslateGuide"), {{}, {}, QStringLiteral("Anleitung"), {}});
        for (int n = 1; n <= 6; ++n)
            window.Captions(QStringLiteral("lblStep%1").arg(n),
                            {QStringLiteral("Step %1:").arg(n), QStringLiteral("Étape %1 :").arg(n),
                             QStringLiteral("Arbeitsschritt %1:").arg(n), QStringLiteral("%1:").arg(n)});
        window.ExtendedTranslation(QStringLiteral("lblSupport.Left"), QStringLiteral("tkInteger"),
                                   {QStringLiteral("11"), {}, QStringLiteral("40"), QStringLiteral("11")});
        FDispatcher->SetFileName(FFiles.Write(QStringLiteral("Translate.sib"), TSibGenerator::File(file)));
        FDispatcher->SetLangNames(names);
        FDispatcher->SetActiveLanguage(2);
    }

    static void ExpectStepsAligned() {
        for (int n = 1; n <= 6; ++n) {
            const TLabel* step = Label(QStringLiteral("lblStep%1").arg(n).toLatin1().constData());
            const TLabel* desc = Label(QStringLiteral("lblStep%1Desc").arg(n).toLatin1().constData());
            EXPECT_EQ(desc->Left(), step->Left() + step->Width() + 3) << "step " << n;
        }
    }

    TForm* FMain = nullptr;
    TLangDispatcher* FDispatcher = nullptr;
};

// ---- The form -------------------------------------------------------------------------

struct TPlace {
    const char* Name;
    const char* Class;
    const char* Parent;
    QRect Bounds;  // a zero width: sized to its caption
};

const TPlace kPlaces[] = {
    {"PageControl1", "TPageControl", "frmPreferences", {8, 8, 471, 255}},
    {"btnClose", "TButton", "frmPreferences", {168, 272, 150, 25}},
    {"tsLanguage", "TTabSheet", "PageControl1", {4, 24, 463, 227}},
    {"tsSubscription", "TTabSheet", "PageControl1", {4, 24, 463, 227}},
    {"tsAbout", "TTabSheet", "PageControl1", {4, 24, 463, 227}},
    {"Label1", "TLabel", "tsLanguage", {11, 10, 0, 13}},
    {"cmbLanguage", "TComboBox", "tsLanguage", {11, 26, 161, 21}},
    {"lblAuthorName", "TLabel", "tsLanguage", {179, 27, 0, 13}},
    {"lblTranslateHead", "TLabel", "tsLanguage", {11, 56, 0, 13}},
    {"lblStep1", "TLabel", "tsLanguage", {19, 76, 0, 13}},
    {"lblStep2", "TLabel", "tsLanguage", {19, 96, 0, 13}},
    {"lblStep3", "TLabel", "tsLanguage", {19, 116, 0, 13}},
    {"lblStep4", "TLabel", "tsLanguage", {19, 136, 0, 13}},
    {"lblStep5", "TLabel", "tsLanguage", {19, 156, 0, 13}},
    {"lblStep6", "TLabel", "tsLanguage", {19, 176, 0, 13}},
    {"lblCaptionSubscription", "TLabel", "tsSubscription", {11, 10, 0, 13}},
    {"lblDescriptionSubscription", "TLabel", "tsSubscription", {11, 30, 441, 38}},
    {"lblLinkSubscription", "TLabel", "tsSubscription", {11, 78, 0, 13}},
    {"lblNameProgram", "TLabel", "tsAbout", {11, 10, 0, 13}},
    {"lblVersion", "TLabel", "tsAbout", {11, 34, 0, 13}},
    {"Label2", "TLabel", "tsAbout", {11, 106, 0, 13}},
    {"Label4", "TLabel", "tsAbout", {11, 130, 0, 13}},
    {"lblSupport", "TLabel", "tsAbout", {11, 154, 0, 13}},
    {"lblFAQ", "TLabel", "tsAbout", {11, 178, 0, 13}},
};

TEST_F(Preferences, FormAsDesigned) {
    Show([&] {
        TfrmPreferences* form = OpenPreferences();
        EXPECT_EQ(form->Caption(), QStringLiteral("Preferences"));
        EXPECT_EQ(form->size(), QSize(487, 305));
        EXPECT_EQ(form->Icon()->Icon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));
        EXPECT_FALSE(FMain->isEnabled()) << "modal";
        for (const TPlace& place : kPlaces) {
            SCOPED_TRACE(place.Name);
            auto* control = Part<TControl>(place.Name);
            ASSERT_NE(control, nullptr);
            EXPECT_STREQ(control->metaObject()->className(), place.Class);
            EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(place.Parent));
            EXPECT_EQ(control->pos(), place.Bounds.topLeft());
            // Sizes follow the metrics of the design face.
            if (HaveTahoma()) {
                EXPECT_EQ(place.Bounds.width() > 0 ? control->size() : QSize(0, control->Height()),
                          place.Bounds.size());
            }
        }
        EXPECT_EQ(Label("lblNameProgram")->Caption(), QStringLiteral("Tessaly Manager"));
        // The test program carries no version block.
        EXPECT_EQ(Label("lblVersion")->Caption(), QStringLiteral("v 0.0.0.0"));
        EXPECT_EQ(Label("Label4")->Caption(), SiteHostName());
        EXPECT_EQ(Label("lblSupport")->Caption(), SupportMailbox());
        EXPECT_TRUE(Label("lblStep6Desc")->Caption().endsWith(SupportMailbox()));

        const TTranslator* translator = form->Translator();
        EXPECT_EQ((QList<int>{translator->Captions()->Count(), translator->Fonts()->Count(),
                              translator->CharSets()->Count(), translator->DlgsCaptions()->Count()}),
                  (QList<int>{26, 26, 26, 15}));
        EXPECT_EQ(translator->MultiLines()->List(), QStringList{QStringLiteral("cmbLanguage.Items\x01\x01")});
        ASSERT_EQ(translator->ExtendedTranslations()->Count(), 1);
        EXPECT_EQ(translator->ExtendedTranslations()->Items(0)->PropertyType(), TExtendedItem::tkInteger);

        // KW_SCREENSHOTS names a folder that receives a picture of each page.
        if (const QString folder = qEnvironmentVariable("KW_SCREENSHOTS"); !folder.isEmpty()) {
            for (const char* page : {"tsLanguage", "tsSubscription", "tsAbout"}) {
                ShowPage(page);
                const QString name = QString::fromLatin1(page).mid(2).toLower();
                EXPECT_TRUE(form->grab().save(QStringLiteral("%1/pref-%2.png").arg(folder, name)));
            }
        }
        form->Close();
    });
}

TEST_F(Preferences, AlwaysOpensOnTheLanguagePage) {
    Show([] {
        EXPECT_EQ(Pages()->ActivePage(), Part<TTabSheet>("tsLanguage"))
            << "the description leaves About active";
        ShowPage("tsAbout");
        EXPECT_EQ(Pages()->ActivePage(), Part<TTabSheet>("tsAbout"));
        EXPECT_FALSE(Languages()->isVisible());
        OpenPreferences()->Close();
    });
    Show([] {
        EXPECT_EQ(Pages()->ActivePage(), Part<TTabSheet>("tsLanguage"));
        EXPECT_TRUE(Languages()->isVisible());
        OpenPreferences()->Close();
    });
}

TEST_F(Preferences, AssistiveTechnologyFindsTheAboutTabAndSelectsIt) {
    Show([] {
        QAccessibleInterface* about = QAccessible::queryAccessibleInterface(Part<TTabSheet>("tsAbout"));
        ASSERT_NE(about, nullptr);
        EXPECT_EQ(about->role(), QAccessible::PageTab);
        EXPECT_EQ(about->text(QAccessible::Name), QStringLiteral("About"));
        EXPECT_FALSE(about->rect().isEmpty()) << "its page is hidden, its tab is not";
        EXPECT_TRUE(OpenPreferences()->geometry().contains(about->rect()));
        EXPECT_FALSE(about->state().selected);
        about->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCoreApplication::sendPostedEvents(Part<TTabSheet>("tsAbout"), QEvent::MetaCall);
        EXPECT_EQ(Pages()->ActivePage(), Part<TTabSheet>("tsAbout"));
        EXPECT_TRUE(about->state().selected);
        EXPECT_TRUE(Label("lblFAQ")->isVisible());
        OpenPreferences()->Close();
    });
}

// ---- Languages ------------------------------------------------------------------------

TEST_F(Preferences, WithoutATranslationFileEnglishIsListedAndSelected) {
    Show([&] {
        EXPECT_EQ(Languages()->Items()->List(), QStringList{QStringLiteral("English")});
        EXPECT_EQ(Languages()->ItemIndex(), 0);
        // The window keeps the texts of its form description.
        EXPECT_EQ(Label("lblTranslateGuide")->Caption(),
                  QStringLiteral("How to translate the program and become famous\u2026"));
        ExpectStepsAligned();
        // Choosing English again changes nothing.
        Q_EMIT Languages()->ComboBox()->activated(0);
        EXPECT_EQ(FDispatcher->ActiveLanguage(), 1);
        EXPECT_EQ(Languages()->ItemIndex(), 0);
        OpenPreferences()->Close();
    });
}

TEST_F(Preferences, PickingALanguageTranslatesTheWindowAtOnce) {
    UseTranslationFile();
    Show([&] {
        EXPECT_EQ(Languages()->Items()->List(), FDispatcher->LangNames()->List());
        EXPECT_EQ(Languages()->ItemIndex(), 1) << "the active language";
        EXPECT_EQ(OpenPreferences()->Caption(), QStringLiteral("Préférences"));
        ExpectStepsAligned();

        Languages()->ComboBox()->setFocus();
        Key(Qt::Key_Down);
        EXPECT_EQ(FDispatcher->ActiveLanguage(), 3);
        EXPECT_EQ(OpenPreferences()->Caption(), QStringLiteral("Einstellungen"));
        EXPECT_EQ(Label("lblStep1")->Caption(), QStringLiteral("Arbeitsschritt 1:"));
        ExpectStepsAligned();
        EXPECT_GT(Label("lblStep1Desc")->Left(), 57) << "the wider step numbers pushed the descriptions";
        EXPECT_EQ(Label("lblSupport")->Left(), 40);
        EXPECT_EQ(Label("lblTranslateGuide")->Caption(), QStringLiteral("Anleitung"));
        // The guide link keeps its right edge: its translations grow to the left.
        if (HaveTahoma()) {
            EXPECT_EQ(Label("lblTranslateGuide")->Left() + Label("lblTranslateGuide")->Width(), 451);
        }

        Key(Qt::Key_Down);
        EXPECT_EQ(Label("lblStep2")->Caption(), QStringLiteral("2:"));
        EXPECT_EQ(Label("lblSupport")->Left(), 11);
        ExpectStepsAligned();
        Key(Qt::Key_Up);
        OpenPreferences()->Close();
    });
    // A new window shows the language picked in the last one.
    Show([&] {
        EXPECT_EQ(Languages()->ItemIndex(), 2);
        EXPECT_EQ(OpenPreferences()->Caption(), QStringLiteral("Einstellungen"));
        OpenPreferences()->Close();
    });
}

// ---- Closing --------------------------------------------------------------------------

struct TCloseRow {
    const char* Name;
    std::function<void()> Close;
};

void PrintTo(const TCloseRow& row, std::ostream* out) {
    *out << row.Name;
}

void KeyInTheList(Qt::Key key) {
    Languages()->ComboBox()->setFocus();
    Key(key);
}

const TCloseRow kCloses[] = {
    {"CloseButton", [] { LeftClick(Part<TButton>("btnClose")->Button()); }},
    {"Escape", [] { Key(Qt::Key_Escape); }},
    {"EscapeInTheLanguageList", [] { KeyInTheList(Qt::Key_Escape); }},
    {"EnterClicksTheDefaultButton", [] { Key(Qt::Key_Return); }},
    {"EnterInTheLanguageList", [] { KeyInTheList(Qt::Key_Enter); }},
    {"CloseBox", [] { OpenPreferences()->Close(); }},
};

class PreferencesClose : public Preferences, public testing::WithParamInterface<TCloseRow> {};

TEST_P(PreferencesClose, Gives2) {
    EXPECT_EQ(Show(GetParam().Close), mrCancel);
    EXPECT_TRUE(FMain->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Table, PreferencesClose, testing::ValuesIn(kCloses),
                         [](const testing::TestParamInfo<TCloseRow>& row) { return row.param.Name; });

// ---- Links ----------------------------------------------------------------------------

struct TLinkRow {
    const char* Name;
    const char* Page;
    const char* Label;
    QString Links;   // values under the machine's Links key
    QString Target;  // what the stand-in opener receives; empty: the editor is started
};

void PrintTo(const TLinkRow& row, std::ostream* out) {
    *out << row.Name;
}

const QString kConfigured = QStringLiteral("\"Subscription\"=\"http://news.example/join?a=1&b=2\"\r\n");
const QString kJoin = QStringLiteral("http://news.example/join?a=1&b=2");
const QString kSite = QStringLiteral("https://www.kestrelweave.com");
const QString kGuide = QStringLiteral("https://www.kestrelweave.com/translate.htm");
// The subject carries the version label's "v ", unlike the main window's.
const QString kSupportMail = QStringLiteral(
    "mailto:support@kestrelweave.com?Subject=Tessaly%20Manager%20v%200.0.0.0"
    "&body=Hello%20Kestrelweave%20Support%0d%0a%0d%0a%0d%0aBest%20regards");

const TLinkRow kLinks[] = {
    {"EditorIsStarted", "tsLanguage", "lblStep1Desc", {}, {}},
    {"Guide", "tsLanguage", "lblTranslateGuide", {}, kGuide},
    {"SubscriptionCaption", "tsSubscription", "lblCaptionSubscription", {}, kSite},
    {"SubscriptionDescription", "tsSubscription", "lblDescriptionSubscription", {}, kSite},
    {"SubscriptionLink", "tsSubscription", "lblLinkSubscription", {}, kSite},
    {"SubscriptionCaptionConfigured", "tsSubscription", "lblCaptionSubscription", kConfigured, kJoin},
    {"SubscriptionDescriptionConfigured", "tsSubscription", "lblDescriptionSubscription", kConfigured, kJoin},
    {"SubscriptionLinkConfigured", "tsSubscription", "lblLinkSubscription", kConfigured, kJoin},
    {"Site", "tsAbout", "Label4", {}, kSite},
    {"Faq", "tsAbout", "lblFAQ", {}, kSite + QStringLiteral("/faq.htm")},
    {"SupportMail", "tsAbout", "lblSupport", {}, kSupportMail},
};

class PreferencesLinks : public Preferences, public testing::WithParamInterface<TLinkRow> {
protected:
    TShellRecorder FShell;
};

TEST_P(PreferencesLinks, OpenTheirTargetsAndTheWindowStays) {
    const TLinkRow& row = GetParam();
    if (!row.Links.isEmpty())
        WriteMachineHive(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n") +
                         row.Links);
    const QString editor = FShell.MakeProgram(QStringLiteral("editor"));
    Show(
        [&] {
            ShowPage(row.Page);
            ASSERT_TRUE(Label(row.Label)->isVisible());
            LeftClick(Label(row.Label));
            EXPECT_EQ(OpenPreferences()->ModalResult(), mrNone);
            OpenPreferences()->Close();
        },
        kGuide, editor);
    const QStringList opened = row.Target.isEmpty() ? QStringList{editor} : QStringList{row.Target};
    EXPECT_EQ(FShell.CallsSettled(1), std::vector<QStringList>{opened});
}

INSTANTIATE_TEST_SUITE_P(Table, PreferencesLinks, testing::ValuesIn(kLinks),
                         [](const testing::TestParamInfo<TLinkRow>& row) { return row.param.Name; });

TEST_F(Preferences, WithoutAnEditorPathTheFirstStepStartsNothingAndSaysNothing) {
    TShellRecorder shell;
    TBoxWatch boxes;
    Show([] {
        LeftClick(Label("lblStep1Desc"));
        OpenPreferences()->Close();
    });
    EXPECT_TRUE(shell.CallsSettled().empty());
    EXPECT_EQ(boxes.Count, 0);
}

TEST_F(Preferences, ASubscriptionValueOfTheWrongTypeIsReportedAndOpensNothing) {
    TShellRecorder shell;
    WriteMachineHive(
        QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n"
                       "\"Subscription\"=dword:00000001\r\n"));
    TBoxWatch boxes;
    Show([&] {
        ShowPage("tsSubscription");
        LeftClick(Label("lblLinkSubscription"));
        EXPECT_TRUE(WaitFor([&] { return boxes.Count == 1; }));
        EXPECT_EQ(OpenPreferences()->ModalResult(), mrNone) << "the window stays open";
        OpenPreferences()->Close();
    });
    EXPECT_EQ(boxes.Title, QStringLiteral("Tessaly Manager"));
    EXPECT_TRUE(shell.CallsSettled().empty());
}

}  // namespace
