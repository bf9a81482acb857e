#include "app/TfrmPreferences.h"
#include "download/DownloadTexts.h"
#include "download/TfrmDownload.h"
#include "download/TfrmFinishDownload.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/TPoFile.h"
#include "net/TDownloader.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Input.h"
#include "tests/support/ShippedTranslations.h"
#include "tests/support/TestHttpServer.h"
#include "toolkit/TButton.h"
#include "toolkit/TPanel.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>
#include <QTimer>

#include <memory>

namespace {

// The shipped catalogues, read.
QList<TPoFile> ReadShippedCatalogues() {
    QList<TPoFile> catalogues;
    for (const QString& path : ShippedCatalogues())
        catalogues.append(TPoFile::Read(path));
    return catalogues;
}

QString TranslationOf(const TPoFile& po, const QString& context) {
    for (const TPoEntry& entry : po.Entries)
        if (entry.Context == context)
            return entry.Translated() ? entry.Translation : entry.Id;
    return {};
}

class ShippedLanguages : public MainWindow {};

TEST_F(ShippedLanguages, TheBuiltFileOffersEveryLanguageAndTheMainWindowSpeaksIt) {
    const auto sib = BuiltTranslationFile();
    ASSERT_NE(sib, nullptr) << "the build makes Translate.sib beside the program";
    const QList<TPoFile> catalogues = ReadShippedCatalogues();
    ASSERT_GE(catalogues.size(), 11);
    Create();
    TLangDispatcher* dispatcher = Dispatcher();

    QStringList names{QStringLiteral("English")};
    for (const TPoFile& po : catalogues)
        names << po.Field(QStringLiteral("X-Language-Name"));
    EXPECT_EQ(dispatcher->LangNames()->List(), names);
    EXPECT_EQ(Label(QStringLiteral("lblFaq"))->Caption(), QStringLiteral("FAQ")) << "English as designed";

    const char* const labels[] = {"lblSite",        "lblFaq",  "lblHead",
                                  "lblDownloadAll", "lblInfo", "lblPreferences"};
    for (int i = 0; i < catalogues.size(); ++i) {
        SCOPED_TRACE(names[i + 1].toStdString());
        dispatcher->SetActiveLanguage(i + 2);
        for (const char* label : labels)
            EXPECT_EQ(
                Label(QLatin1String(label))->Caption(),
                TranslationOf(catalogues[i], QStringLiteral("frmMain.%1.Caption").arg(QLatin1String(label))))
                << label;
        EXPECT_EQ(MainTranslator()->GetTextById(QStringLiteral("IDS_3")),
                  TranslationOf(catalogues[i], QStringLiteral("IDS_3")));
        EXPECT_EQ(TextOf(DownloadText::TryAgain, MainTranslator()),
                  TranslationOf(catalogues[i], QStringLiteral("IDS_20")));
    }
    dispatcher->SetActiveLanguage(1);
    EXPECT_EQ(Label(QStringLiteral("lblSite"))->Caption(), QStringLiteral("Our site"));
}

// The download dialog speaks the window's language and follows it while open: the
// buttons of the offer, and the sentence and buttons of a failed download.
TEST_F(ShippedLanguages, TheDownloadDialogFollowsTheLanguageWhileOpen) {
    const auto sib = BuiltTranslationFile();
    ASSERT_NE(sib, nullptr) << "the build makes Translate.sib beside the program";
    const QList<TPoFile> catalogues = ReadShippedCatalogues();
    const TTestHttpServer server;
    ASSERT_TRUE(server.Started()) << server.Error().toStdString();
    Create();
    // The dispatcher's index of a catalogue's language, and the catalogue.
    auto language = [&](const char* code) {
        for (int i = 0; i < catalogues.size(); ++i)
            if (catalogues[i].Field(QStringLiteral("Language")) == QLatin1String(code))
                return i;
        ADD_FAILURE() << "no catalogue for " << code;
        return 0;
    };
    const int de = language("de"), fr = language("fr"), ru = language("ru");
    Dispatcher()->SetActiveLanguage(de + 2);

    struct TSeen {
        int Catalogue;
        QString Download, Cancel, Sentence;
    };
    std::vector<TSeen> seen;
    bool failed = false;
    const QDeadlineTimer deadline(60000);
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* dialog = OpenForm<TfrmDownload>("frmDownload");
        if (!dialog || !dialog->isVisible())
            return;
        auto* download = qobject_cast<TButton*>(dialog->FindComponent(QStringLiteral("btnDownload")));
        const auto look = [&](int catalogue) {
            seen.push_back(
                {catalogue, download->Caption(),
                 qobject_cast<TButton*>(dialog->FindComponent(QStringLiteral("btnCancel")))->Caption(),
                 failed
                     ? qobject_cast<TLabel*>(dialog->FindComponent(QStringLiteral("lblMessage")))->Caption()
                     : QString()});
        };
        if (seen.empty()) {
            look(de);
            Dispatcher()->SetActiveLanguage(fr + 2);
            look(fr);
            LeftClick(download->Button(), TDelivery::Posted);
        } else if (!failed && download->isEnabled()) {
            failed = true;
            look(fr);
            Dispatcher()->SetActiveLanguage(ru + 2);
            look(ru);
            dialog->SetModalResult(tk::mrCancel);
        } else if (deadline.hasExpired()) {
            dialog->SetModalResult(tk::mrCancel);
        }
    });
    driver.start(10);
    const TTempFolder folder;
    ShowDownloadDialog(QStringLiteral("Tessaly"), QStringLiteral("?"),
                       server.Url(QStringLiteral("/status/404")),
                       folder.FilePath(QStringLiteral("setup.exe")), MainTranslator(), Dispatcher());

    ASSERT_EQ(seen.size(), 4u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        const TPoFile& po = catalogues[seen[i].Catalogue];
        const bool failedState = i >= 2;
        EXPECT_EQ(seen[i].Download,
                  TranslationOf(po, failedState ? QStringLiteral("IDS_20")
                                                : QStringLiteral("frmDownload.btnDownload.Caption")));
        EXPECT_EQ(seen[i].Cancel, TranslationOf(po, QStringLiteral("frmDownload.btnCancel.Caption")));
        EXPECT_EQ(seen[i].Sentence, failedState ? TranslationOf(po, QStringLiteral("IDS_59")) : QString());
    }
}

// The progress line and the sizes in a failure speak the language: its unit, its
// order of the two numbers and its digit grouping.
TEST_F(ShippedLanguages, SizesAreWrittenInTheLanguagesWay) {
    const auto sib = BuiltTranslationFile();
    ASSERT_NE(sib, nullptr) << "the build makes Translate.sib beside the program";
    Create();
    const QStringList names = Dispatcher()->LangNames()->List();
    struct TCase {
        const char* Language;
        QString Progress, Stopped;
    };
    // Qt's separators, "_" below: German ".", French a narrow no-break space,
    // Russian a no-break space.
    const auto grouped = [](const char* text, QChar separator) {
        return QString::fromUtf8(text).replace(QLatin1Char('_'), separator);
    };
    const QChar nnbsp(0x202F), nbsp(0x00A0);
    const TCase cases[] = {
        {"English", QStringLiteral("1,464,843 KB of 2,929,687 KB"),
         QStringLiteral("The server stopped sending after 1,536 KB of 3,072 KB.")},
        {"Deutsch", QStringLiteral("1.464.843 KB von 2.929.687 KB"),
         QStringLiteral("Der Server hat die Übertragung nach 1.536 KB von 3.072 KB abgebrochen.")},
        {"Français", grouped("1_464_843 Ko sur 2_929_687 Ko", nnbsp),
         grouped("Le serveur a cessé l’envoi après 1_536 Ko sur 3_072 Ko.", nnbsp)},
        {"Русский", grouped("1_464_843 КБ из 2_929_687 КБ", nbsp),
         grouped("Сервер прекратил передачу после 1_536 КБ из 3_072 КБ.", nbsp)},
        // The whole first.
        {"日本語", QStringLiteral("2,929,687 KB 中 1,464,843 KB"),
         QStringLiteral("サーバーからの送信が、3,072 KB のうち 1,536 KB を受信した時点で停止しました。")},
    };
    TfrmDownload form(nullptr);
    auto* status = qobject_cast<TPanel*>(form.FindComponent(QStringLiteral("pnlStatus")));
    TDownloadFailure stopped;
    stopped.Kind = TDownloadFailureKind::Interrupted;
    stopped.Received = 1536 * 1024;
    stopped.Total = 3072 * 1024;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Language);
        const int index = static_cast<int>(names.indexOf(QString::fromUtf8(c.Language)));
        ASSERT_GE(index, 0);
        Dispatcher()->SetActiveLanguage(index + 1);
        form.SetTexts(MainTranslator());
        bool cancel = false;
        form.DownloadProgress(nullptr, 3000000000u, 1500000000u, cancel);
        EXPECT_EQ(status->Caption(), c.Progress);
        // As a person reads it: the joiners that keep its end together are not seen.
        EXPECT_EQ(FailureSentence(stopped, QString(), QString(), MainTranslator()).remove(QChar(0x2060)),
                  c.Stopped);
    }
}

// Japanese and Chinese are drawn in faces of their own, each with its own forms of
// the characters the two share; every other language, and English again after them,
// in the design's Tahoma. The tool names are no translation and keep it throughout.
TEST_F(ShippedLanguages, JapaneseAndChineseAreDrawnInTheirOwnFaces) {
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP")))
        GTEST_SKIP() << "the CJK faces of fonts-noto-cjk are not installed";
    const auto sib = BuiltTranslationFile();
    ASSERT_NE(sib, nullptr) << "the build makes Translate.sib beside the program";
    Create();
    const QStringList names = Dispatcher()->LangNames()->List();
    const struct {
        const char* Language;
        const char* Face;
    } rows[] = {{"日本語", "Noto Sans CJK JP"},
                {"Deutsch", "Tahoma"},
                {"简体中文", "Noto Sans CJK SC"},
                {"Русский", "Tahoma"},
                {"English", "Tahoma"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Language);
        Dispatcher()->SetActiveLanguage(static_cast<int>(names.indexOf(QString::fromUtf8(row.Language))) + 1);
        for (const char* label : {"lblSite", "lblHead", "lblDownloadAll"})
            EXPECT_EQ(QFontInfo(Label(QLatin1String(label))->font()).family(), QLatin1String(row.Face))
                << label;
        EXPECT_EQ(QFontInfo(frmMain->font()).family(), QLatin1String(row.Face)) << "the window";
        EXPECT_EQ(QFontInfo(ToolLabel(0)->font()).family(), QStringLiteral("Tahoma"));
    }
}

// The template lists exactly the windows' translatable texts as they are designed,
// and the download dialog's own texts: a caption changed in a form description or
// a new text shows up here until the template follows.
TEST_F(ShippedLanguages, TheTemplateHoldsTheWindowsOwnTexts) {
    Create();
    std::map<QString, std::unique_ptr<TForm>> dialogs;
    dialogs[QStringLiteral("frmDownload")] = std::make_unique<TfrmDownload>(nullptr);
    dialogs[QStringLiteral("frmFinishDownload")] = std::make_unique<TfrmFinishDownload>(nullptr);
    dialogs[QStringLiteral("frmPreferences")] = std::make_unique<TfrmPreferences>(nullptr);
    auto window = [&](const QString& name) -> TForm* {
        return name == QLatin1String("frmMain") ? frmMain : dialogs.at(name).get();
    };

    // What the program would offer for translation: every caption and string its
    // translators carry, with the design text.
    std::map<QString, QString> program;
    for (const QString& name : {QStringLiteral("frmMain"), QStringLiteral("frmDownload"),
                                QStringLiteral("frmFinishDownload"), QStringLiteral("frmPreferences")}) {
        TForm* form = window(name);
        const auto* translator = form->findChild<TCustomTranslator*>();
        ASSERT_NE(translator, nullptr) << name.toStdString();
        for (const QString& line : translator->Captions()->List()) {
            const QString key = TCustomTranslator::LineField(line, 0, QChar(1));
            const bool itself = key == QLatin1Char('T') + name;
            auto* component = itself ? form : form->FindComponent(key);
            ASSERT_NE(component, nullptr) << key.toStdString();
            program[itself ? name + QStringLiteral(".Caption")
                           : name + QLatin1Char('.') + key + QStringLiteral(".Caption")] =
                component->property("Caption").toString();
        }
        for (const QString& line : translator->Strings()->List())
            program[TCustomTranslator::LineField(line, 0, QChar(1))] =
                TCustomTranslator::LineField(line, 1, QChar(1));
    }
    for (const TDownloadText& text : DownloadTexts())
        program[QLatin1String(text.Id)] = QString::fromUtf8(text.English);

    std::map<QString, QString> shipped;
    for (const TPoEntry& entry :
         TPoFile::Read(TranslationsFolder() + QStringLiteral("/tessaly-manager.pot")).Entries)
        shipped[entry.Context] = entry.Id;
    for (const auto& [context, text] : program)
        EXPECT_EQ(shipped.count(context) ? shipped[context] : QStringLiteral("(not in the template)"), text)
            << context.toStdString();
    for (const auto& [context, text] : shipped)
        EXPECT_EQ(program.count(context), 1u) << context.toStdString() << " is no text of the program";
}

}  // namespace
