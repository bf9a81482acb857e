#include "download/TfrmFinishDownload.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/TSibGenerator.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "tests/support/ShellRecorder.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

using namespace tk;

namespace {

const QString Converter = QStringLiteral("http://converter.example/brisvane?from=tessaly");
const QString Site = QStringLiteral("https://www.kestrelweave.com");
const QString LinksKey = QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n");
const QString ConverterHive = LinksKey + QStringLiteral("\"Converter\"=\"%1\"\r\n").arg(Converter);

template <typename T = TControl>
T* Part(const TForm* form, const char* name) {
    return qobject_cast<T*>(form->FindComponent(QLatin1String(name)));
}

// A left click in the middle of a control; a button takes it on its push button.
void Click(TControl* control) {
    auto* button = qobject_cast<TButton*>(control);
    LeftClick(button ? static_cast<QWidget*>(button->Button()) : control);
}

class FinishDownloadDialog : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        FApplication->CreateForm(FMain);
        FMain->SetClientWidth(652);
        FMain->SetClientHeight(321);
        FMain->Show();
    }

    // Shows the dialog as the main window does, finding it among the open windows;
    // `whileShown` runs once it is up.
    int Show(const std::function<void(TfrmFinishDownload*)>& whileShown,
             TLangDispatcher* dispatcher = nullptr) {
        QPointer<TfrmFinishDownload> shown;
        QTimer::singleShot(0, qApp, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* form = qobject_cast<TfrmFinishDownload*>(window); form && form->isVisible())
                    shown = form;
            ASSERT_TRUE(shown);
            EXPECT_TRUE(WaitFor([&] { return shown->isActiveWindow(); }));
            whileShown(shown);
        });
        // Ends a dialog that would otherwise never close, so that the test fails instead.
        QTimer safety;
        safety.setSingleShot(true);
        QObject::connect(&safety, &QTimer::timeout, [&] {
            if (shown)
                shown->SetModalResult(99);
        });
        safety.start(120000);
        const int result = ShowFinishDownloadDialog(dispatcher);
        EXPECT_TRUE(shown.isNull()) << "freed before the result is returned";
        return result;
    }

    TForm* FMain = nullptr;
    TShellRecorder FShell;
};

// ---- The form -------------------------------------------------------------------------

struct TPlace {
    const char* Name;
    const char* Class;
    const char* Parent;
    QRect Bounds;     // as designed; an auto-sized label's width follows its text
    QString Caption;  // null: the control has none
};

const TPlace kPlaces[] = {
    {"Panel1", "TPanel", "frmFinishDownload", {0, 0, 361, 116}, {}},
    {"imgFlashBack", "TImage", "Panel1", {0, 0, 361, 116}, {}},
    {"Panel2", "TPanel", "frmFinishDownload", {0, 116, 361, 2}, {}},
    {"Panel3", "TPanel", "frmFinishDownload", {0, 118, 361, 49}, {}},
    {"btnDownload", "TButton", "Panel3", {186, 12, 162, 25}, QStringLiteral("Continue")},
    {"btnLearnMore", "TButton", "Panel3", {13, 12, 162, 25}, QStringLiteral("Learn more...")},
    {"lblCaptionConverter1",
     "TLabel",
     "Panel1",
     {13, 11, 195, 13},
     QStringLiteral("Convert between all video formats")},
    {"lblDescriptionConverter1",
     "TLabel",
     "Panel1",
     {13, 33, 318, 40},
     QStringLiteral(
         "avi, divx, xvid, dvd, h264, mpg, mpeg2, mpeg, mp4, ifo, vob, swf, m2v, dvr-ms, dat, vcd, "
         "svcd, vro, mov, qt, wmv, asf, 3gp, 3gpp, 3g2, 3gp2, rm, rmvb, dv, mpe, mkv, ogm, flv, "
         "h261, h263")},
    {"lblLinkConverter1", "TLabel", "Panel1", {13, 88, 222, 13}, QStringLiteral("Download to try Brisvane")},
};
const char* const kLabels[] = {"lblCaptionConverter1", "lblDescriptionConverter1", "lblLinkConverter1"};

TEST_F(FinishDownloadDialog, FormAsDesigned) {
    const int result = Show([&](TfrmFinishDownload* form) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Thank you for downloading!"));
        EXPECT_EQ(form->size(), QSize(361, 167));
        EXPECT_EQ(form->BorderStyle(), bsDialog);
        EXPECT_FALSE(form->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(form->frameGeometry().center(), FMain->frameGeometry().center());
        EXPECT_EQ(form->Font()->Name(), QStringLiteral("Tahoma"));
        EXPECT_EQ(form->Font()->Height(), -11);

        for (const TPlace& place : kPlaces) {
            SCOPED_TRACE(place.Name);
            TControl* control = Part(form, place.Name);
            ASSERT_NE(control, nullptr);
            EXPECT_STREQ(control->metaObject()->className(), place.Class);
            EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(place.Parent));
            const auto* label = qobject_cast<TLabel*>(control);
            const int width = label && label->AutoSize() ? place.Bounds.width() : control->width();
            EXPECT_EQ(QRect(control->pos(), QSize(width, control->height())), place.Bounds);
            EXPECT_EQ(control->property("Caption").toString(), place.Caption);
        }
        for (const char* name : kLabels) {
            EXPECT_EQ(Part(form, name)->cursor().shape(), Qt::PointingHandCursor) << name;
            EXPECT_EQ(Part(form, name)->BackgroundColor(), QColor(Qt::white)) << name;
        }
        EXPECT_EQ(Part(form, "lblCaptionConverter1")->Font()->Style(), TFontStyles(fsBold));
        EXPECT_EQ(Part(form, "lblLinkConverter1")->Font()->Style(), TFontStyles(fsBold | fsUnderline));
        EXPECT_TRUE(Part<TLabel>(form, "lblDescriptionConverter1")->WordWrap());
        EXPECT_FALSE(Part<TLabel>(form, "lblDescriptionConverter1")->AutoSize());
        for (const char* name : {"btnDownload", "btnLearnMore"})
            EXPECT_FALSE(Part<TButton>(form, name)->Default() || Part<TButton>(form, name)->Cancel()) << name;
        EXPECT_EQ(form->focusWidget(), Part<TButton>(form, "btnDownload")->Button()) << "first in tab order";
        EXPECT_EQ(Part<TPanel>(form, "Panel2")->BevelOuter(), bvLowered);

        const auto* background = Part<TImage>(form, "imgFlashBack");
        EXPECT_TRUE(background->Stretch());
        EXPECT_EQ(background->Picture()->Image().size(), QSize(462, 176));
        EXPECT_EQ(background->Picture()->Image().pixelColor(231, 88), QColor(Qt::white));

        // Without a main window there is no dispatcher: the embedded English stays.
        EXPECT_EQ(form->Translator()->LangDispatcher(), nullptr);
        EXPECT_EQ(form->Translator()->WriteTranslationData().size(), 709);
        Click(Part(form, "btnDownload"));
    });
    EXPECT_EQ(result, mrCancel);
}

// ---- Using it -------------------------------------------------------------------------

struct TUseRow {
    const char* Name;
    const char* Clicked;                   // twice, before the dialog is closed; null: nothing
    QString Hive;                          // the machine hive's body
    QString Opened;                        // by each click
    bool CloseBox;                         // closes with the close box, else with "Continue"
    TActivation How = TActivation::Click;  // how a text is set off
};

const TUseRow kUses[] = {
    {"Continue", nullptr, ConverterHive, {}, false},
    {"CloseBox", nullptr, ConverterHive, {}, true},
    {"LearnMore", "btnLearnMore", ConverterHive, Converter, false},
    {"CaptionText", "lblCaptionConverter1", ConverterHive, Converter, true},
    {"DescriptionText", "lblDescriptionConverter1", ConverterHive, Converter, false},
    {"LinkText", "lblLinkConverter1", ConverterHive, Converter, false},
    {"NoConverterValueOpensTheSite", "btnLearnMore",
     LinksKey + u"\"Subscription\"=\"http://news.example\"\r\n"_s, Site, false},
    {"NoLinksKeyOpensTheSite", "lblLinkConverter1", QString(), Site, false},
    {"LinkTextByEnter", "lblLinkConverter1", ConverterHive, Converter, false, TActivation::Enter},
    {"DescriptionTextBySpace", "lblDescriptionConverter1", ConverterHive, Converter, false,
     TActivation::Space},
    {"CaptionTextByItsPressAction", "lblCaptionConverter1", ConverterHive, Converter, true,
     TActivation::PressAction},
};

class FinishDownloadUse : public FinishDownloadDialog, public testing::WithParamInterface<TUseRow> {};

TEST_P(FinishDownloadUse, LearnMoreOpensTheConverterPageAndEveryCloseGives2) {
    const TUseRow& row = GetParam();
    WriteMachineHive(row.Hive);
    bool stayedOpen = true;
    const int result = Show([&](TfrmFinishDownload* form) {
        for (int i = 0; row.Clicked && i < 2; ++i) {
            if (row.How == TActivation::Click)
                Click(Part(form, row.Clicked));
            else
                Activate(Part(form, row.Clicked), row.How);
        }
        stayedOpen = form->isVisible() && form->ModalResult() == mrNone;
        if (row.CloseBox)
            form->Close();
        else
            Click(Part(form, "btnDownload"));
    });
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(FMain->isEnabled());
    const std::size_t opens = row.Clicked ? 2 : 0;
    EXPECT_EQ(FShell.CallsSettled(opens), (std::vector<QStringList>(opens, QStringList{row.Opened})));
}

INSTANTIATE_TEST_SUITE_P(Table, FinishDownloadUse, testing::ValuesIn(kUses),
                         [](const testing::TestParamInfo<TUseRow>& row) { return row.param.Name; });

// ---- Translation ----------------------------------------------------------------------

struct TLanguageRow {
    const char* Name;
    int Active;
    QStringList Texts;  // the caption, "Continue", "Learn more..."
};

const TLanguageRow kLanguages[] = {
    {"English", 1, {u"Thank you for downloading!"_s, u"Continue"_s, u"Learn more..."_s}},
    {"Deutsch", 2, {u"Danke f\u00FCrs Herunterladen!"_s, u"Weiter"_s, u"Mehr erfahren..."_s}},
};

class FinishDownloadTranslation : public TAppFixture, public testing::WithParamInterface<TLanguageRow> {};

// The main window as the dialog sees it: a form "frmMain" whose dispatcher
// "LangDispatcher1" reads a translation file that also translates the advertising.
TEST_P(FinishDownloadTranslation, FollowsTheMainWindowExceptForTheAdvertising) {
    TSibDescription file;
    file.Languages = {{QStringLiteral("English")}, {QStringLiteral("Deutsch")}};
    TSibWindow& window = file.Windows.emplaceBack(QStringLiteral("TfrmFinishDownload"));
    window.ComponentName = QStringLiteral("Translator_frmFinishDownload");
    const char* const keys[] = {"TfrmFinishDownload", "btnDownload", "btnLearnMore"};
    for (int i = 0; i < 3; ++i)
        window.Captions(QLatin1String(keys[i]), {kLanguages[0].Texts[i], kLanguages[1].Texts[i]});
    for (const char* label : kLabels)
        window.Captions(QLatin1String(label), {QStringLiteral("English"), QStringLiteral("Deutsch")});

    TForm host;
    host.setObjectName(QStringLiteral("frmMain"));
    auto* dispatcher = new TLangDispatcher(&host);
    dispatcher->setObjectName(QStringLiteral("LangDispatcher1"));
    host.InsertComponent(dispatcher);
    dispatcher->SetFileName(FFiles.Write(QStringLiteral("Translate.sib"), TSibGenerator::File(file)));
    dispatcher->SetNumOfLanguages(2);
    dispatcher->SetActiveLanguage(GetParam().Active);

    TfrmFinishDownload form(nullptr);
    EXPECT_EQ(dispatcher->Translators(0), form.Translator());
    EXPECT_EQ(form.Translator()->LangDispatcher(), dispatcher);
    EXPECT_EQ(QStringList({form.Caption(), Part<TButton>(&form, "btnDownload")->Caption(),
                           Part<TButton>(&form, "btnLearnMore")->Caption()}),
              GetParam().Texts);
    for (const TPlace& place : kPlaces) {
        if (qstrncmp(place.Name, "lbl", 3) == 0) {
            EXPECT_EQ(Part<TLabel>(&form, place.Name)->Caption(), place.Caption) << place.Name;
        }
    }
}

// Handed a dispatcher, the dialog follows it, whatever the windows around it are named.
TEST_F(FinishDownloadDialog, FollowsTheDispatcherItIsHanded) {
    TSibDescription file;
    file.Languages = {{QStringLiteral("English")}, {QStringLiteral("Deutsch")}};
    TSibWindow& window = file.Windows.emplaceBack(QStringLiteral("TfrmFinishDownload"));
    window.Captions(QStringLiteral("btnDownload"), {QStringLiteral("Continue"), QStringLiteral("Weiter")});
    auto* dispatcher = new TLangDispatcher(FMain);
    dispatcher->SetFileName(FFiles.Write(QStringLiteral("Translate.sib"), TSibGenerator::File(file)));
    dispatcher->SetNumOfLanguages(2);
    dispatcher->SetActiveLanguage(2);
    ASSERT_NE(FMain->objectName(), QStringLiteral("frmMain"));
    QString caption;
    Show(
        [&](TfrmFinishDownload* form) {
            caption = Part<TButton>(form, "btnDownload")->Caption();
            form->Close();
        },
        dispatcher);
    EXPECT_EQ(caption, QStringLiteral("Weiter"));
}

INSTANTIATE_TEST_SUITE_P(Table, FinishDownloadTranslation, testing::ValuesIn(kLanguages),
                         [](const testing::TestParamInfo<TLanguageRow>& row) { return row.param.Name; });

}  // namespace
