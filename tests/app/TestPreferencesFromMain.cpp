#include "app/TfrmPreferences.h"
#include "download/TfrmFinishDownload.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/files/TSibGenerator.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Input.h"
#include "tests/support/ShellRecorder.h"
#include "toolkit/TButton.h"
#include "toolkit/TComboBox.h"
#include "toolkit/TPageControl.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace tk;

namespace {

// The Preferences window while ShowPreferences has it up.
TfrmPreferences* OpenPreferences() {
    return OpenForm<TfrmPreferences>("frmPreferences");
}

template <typename T>
T* In(TForm* form, const char* name) {
    return form ? qobject_cast<T*>(form->FindComponent(QLatin1String(name))) : nullptr;
}

// Clicks "Preferences..." in the main window, or reaches it with the keyboard
// (Shift+Tab from the start, then Enter), and runs `whileShown` once the dialog
// is up; the dialog is closed afterwards.
void WithPreferences(const std::function<void(TfrmPreferences*)>& whileShown,
                     TActivation how = TActivation::Click) {
    bool ran = false;
    QTimer::singleShot(0, qApp, [&] {
        if (WaitFor([] { return OpenPreferences() && OpenPreferences()->isVisible(); })) {
            whileShown(OpenPreferences());
            ran = true;
        }
        if (OpenPreferences())
            OpenPreferences()->SetModalResult(mrCancel);
    });
    if (how == TActivation::Click) {
        LeftClick(In<TLabel>(frmMain, "lblPreferences"));
    } else {
        PressKey(frmMain, Qt::Key_Backtab);
        EXPECT_EQ(frmMain->focusWidget(), In<TLabel>(frmMain, "lblPreferences")) << "the last link";
        PressKey(frmMain, Qt::Key_Return);
    }
    EXPECT_TRUE(ran);
    EXPECT_EQ(OpenPreferences(), nullptr);
}

class PreferencesFromMain : public MainWindow {
protected:
    TShellRecorder FShell;
};

TEST_F(PreferencesFromMain, RegistryValuesAreReadAtEveryClick) {
    const QString editorA = FShell.MakeProgram(QStringLiteral("editor-a"));
    const QString editorB = FShell.MakeProgram(QStringLiteral("editor-b"));
    auto configure = [&](const QString& editor, const QString& guide) {
        WriteMachineHive(QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave]\r\n"
                                        "\"PathToEditor\"=\"%1\"\r\n\r\n"
                                        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n"
                                        "\"HowToTranslateLink\"=\"%2\"\r\n")
                             .arg(editor, guide));
    };
    auto followBothLinks = [](TfrmPreferences* dialog) {
        LeftClick(In<TLabel>(dialog, "lblStep1Desc"));
        LeftClick(In<TLabel>(dialog, "lblTranslateGuide"));
    };
    Create()->Show();
    configure(editorA, QStringLiteral("http://guide.example/a"));
    WithPreferences(followBothLinks);
    configure(editorB, QStringLiteral("http://guide.example/b"));
    WithPreferences(followBothLinks);

    std::vector<QStringList> calls = FShell.CallsSettled(4);
    std::sort(calls.begin(), calls.end());
    std::vector<QStringList> expected{{editorA},
                                      {editorB},
                                      {QStringLiteral("http://guide.example/a")},
                                      {QStringLiteral("http://guide.example/b")}};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);
}

TEST_F(PreferencesFromMain, WithoutAnEditorTheFirstStepOpensNothingAndSaysNothing) {
    Create()->Show();
    TMessageBoxWatch boxes;
    boxes.Start();
    WithPreferences([](TfrmPreferences* dialog) { LeftClick(In<TLabel>(dialog, "lblStep1Desc")); });
    EXPECT_TRUE(FShell.CallsSettled().empty());
    EXPECT_EQ(boxes.Count, 0);
}

TEST_F(PreferencesFromMain, SupportMailCarriesTheVersionLabel) {
    Create()->Show();
    WithPreferences([](TfrmPreferences* dialog) {
        In<TPageControl>(dialog, "PageControl1")->SetActivePageIndex(2);
        LeftClick(In<TLabel>(dialog, "lblSupport"));
    });
    EXPECT_EQ(FShell.CallsSettled(1), (std::vector<QStringList>{{QStringLiteral(
                                          "mailto:support@kestrelweave.com?Subject=Tessaly%20Manager%20v%"
                                          "200.0.0.0&body=Hello%20Kestrelweave%20Support%0d%0a%0d%0a%"
                                          "0d%0aBest%20regards")}}));
}

TEST_F(PreferencesFromMain, WrongTypedEditorPathIsReportedAndNothingOpens) {
    WriteMachineHive(QStringLiteral(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave]\r\n\"PathToEditor\"=dword:00000001\r\n"));
    Create()->Show();
    TMessageBoxWatch boxes;
    boxes.Start();
    bool shown = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { shown = shown || OpenPreferences(); });
    watch.start(1);
    LeftClick(In<TLabel>(frmMain, "lblPreferences"));
    ASSERT_TRUE(WaitFor([&] { return boxes.Count > 0; }));
    EXPECT_EQ(boxes.Text, QStringLiteral("Invalid data type for 'PathToEditor' in "
                                         "HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave (%1/machine.reg): "
                                         "expected a string, found a dword.")
                              .arg(FRegistry.Path()));
    EXPECT_FALSE(shown);
}

// ---- Switching the language -------------------------------------------------------------

QByteArray TwoLanguageFile() {
    TSibDescription file;
    file.Languages = {{QStringLiteral("English")}, {QStringLiteral("Deutsch")}};
    TSibWindow main(QStringLiteral("TfrmMain"));
    main.ComponentName = QStringLiteral("Translator_frmMain");
    main.Captions(QStringLiteral("lblSite"), {QStringLiteral("Our site"), QStringLiteral("Unsere Seite")});
    file.Windows.append(main);
    TSibWindow preferences(QStringLiteral("TfrmPreferences"));
    preferences
        .Captions(QStringLiteral("TfrmPreferences"),
                  {QStringLiteral("Preferences"), QStringLiteral("Einstellungen")})
        .Captions(QStringLiteral("Label1"),
                  {QStringLiteral("Select your language:"), QStringLiteral("Wählen Sie Ihre Sprache:")})
        .Captions(QStringLiteral("lblStep1"),
                  {QStringLiteral("Step 1:"), QStringLiteral("Schritt Nummer 1:")})
        .Captions(QStringLiteral("lblStep6"), {QStringLiteral("Step 6:"), QStringLiteral("Schritt 6:")});
    file.Windows.append(preferences);
    TSibWindow finish(QStringLiteral("TfrmFinishDownload"));
    finish.ComponentName = QStringLiteral("Translator_frmFinishDownload");
    finish
        .Captions(QStringLiteral("TfrmFinishDownload"),
                  {QStringLiteral("Thank you for downloading!"), QStringLiteral("Danke fürs Herunterladen!")})
        .Captions(QStringLiteral("btnDownload"), {QStringLiteral("Continue"), QStringLiteral("Weiter")});
    file.Windows.append(finish);
    return TSibGenerator::File(file);
}

TEST_F(PreferencesFromMain, PickedLanguageReachesEveryWindowAndTheNextStart) {
    const TTranslationFileBesideExecutable sib(TwoLanguageFile());
    Create()->Show();
    ASSERT_EQ(Dispatcher()->NumOfLanguages(), 2);

    // With the keyboard alone: the dialog opens on its tabs, Tab leads to the list
    // of languages, Down picks the next.
    ASSERT_TRUE(WaitFor([] { return frmMain->isActiveWindow(); }));
    WithPreferences(
        [](TfrmPreferences* dialog) {
            auto* combo = In<TComboBox>(dialog, "cmbLanguage");
            ASSERT_EQ(combo->ComboBox()->count(), 2);
            EXPECT_EQ(combo->ItemIndex(), 0);
            EXPECT_EQ(dialog->focusWidget(), In<TPageControl>(dialog, "PageControl1"));
            PressKey(dialog, Qt::Key_Tab);
            ASSERT_EQ(dialog->focusWidget(), combo->ComboBox());
            PressKey(dialog, Qt::Key_Down);
            EXPECT_EQ(Dispatcher()->ActiveLanguage(), 2);
            EXPECT_EQ(In<TLabel>(frmMain, "lblSite")->Caption(), QStringLiteral("Unsere Seite"));
            EXPECT_EQ(dialog->Caption(), QStringLiteral("Einstellungen"));
            EXPECT_EQ(In<TLabel>(dialog, "Label1")->Caption(), QStringLiteral("Wählen Sie Ihre Sprache:"));
            for (int n = 1; n <= 6; ++n) {
                const TLabel* step =
                    In<TLabel>(dialog, QByteArray("lblStep" + QByteArray::number(n)).constData());
                const TLabel* desc =
                    In<TLabel>(dialog, QByteArray("lblStep" + QByteArray::number(n) + "Desc").constData());
                EXPECT_EQ(desc->Left(), step->Left() + step->Width() + 3) << "step " << n;
            }
            PressKey(dialog, Qt::Key_Escape);
            EXPECT_EQ(dialog->ModalResult(), mrCancel);
        },
        TActivation::Enter);

    // The next opening lists the same languages with the new one selected.
    WithPreferences(
        [](TfrmPreferences* dialog) { EXPECT_EQ(In<TComboBox>(dialog, "cmbLanguage")->ItemIndex(), 1); });

    // A dialog opened afterwards follows too.
    QString finishCaption, continueCaption;
    QTimer::singleShot(0, qApp, [&] {
        TfrmFinishDownload* dialog = nullptr;
        const bool shown = WaitFor([&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if ((dialog = qobject_cast<TfrmFinishDownload*>(window)) && dialog->isVisible())
                    return true;
            return false;
        });
        if (!shown) {
            ADD_FAILURE() << "the finish dialog did not appear";
            return;
        }
        finishCaption = dialog->Caption();
        continueCaption = In<TButton>(dialog, "btnDownload")->Caption();
        dialog->close();
    });
    ShowFinishDownloadDialog();
    EXPECT_EQ(finishCaption, QStringLiteral("Danke fürs Herunterladen!"));
    EXPECT_EQ(continueCaption, QStringLiteral("Weiter"));

    // Stored at the close, active at the next start.
    TCloseAction action = caHide;
    frmMain->FormClose(frmMain, action);
    FApplication.reset();  // frees its windows, as the program's end does
    FApplication = std::make_unique<TApplication>();
    FApplication->Initialize();
    FApplication->SetTitle(QStringLiteral("Tessaly Manager"));
    Create();
    EXPECT_EQ(Dispatcher()->ActiveLanguage(), 2);
    EXPECT_EQ(In<TLabel>(frmMain, "lblSite")->Caption(), QStringLiteral("Unsere Seite"));
}

}  // namespace
