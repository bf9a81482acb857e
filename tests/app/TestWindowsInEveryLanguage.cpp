// Every window in every shipped language, drawn offscreen as a person sees it: no
// text is cut by its box or drawn over another, and a translated window shows no
// English text that its catalogue translates. A catalogue that does not fit its
// windows fails here before anyone ships it.
//
// KW_LANGUAGE_SHOTS=FOLDER also saves each window as FOLDER/WINDOW-STATE-LANGUAGE.png.

#include "app/TfrmPreferences.h"
#include "download/TfrmDownload.h"
#include "download/TfrmFinishDownload.h"
#include "i18n/files/TPoFile.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Input.h"
#include "tests/support/NetworkEnvironment.h"
#include "tests/support/ShippedTranslations.h"
#include "tests/support/TestHttpServer.h"
#include "toolkit/TButton.h"
#include "toolkit/TCheckBox.h"
#include "toolkit/TPageControl.h"
#include "toolkit/TPanel.h"
#include "toolkit/TTabSheet.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGlyphRun>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <map>

namespace {

// A shipped language as its windows should show it.
struct TLanguage {
    QString Name;  // as the dispatcher lists it
    QString Code;  // the catalogue's file name: "ja", "pt_BR"
    // The English texts that the catalogue translates (differently) everywhere, as
    // patterns: a placeholder stands for anything.
    QList<QRegularExpression> English;
};

QList<TLanguage> ShippedLanguageTable() {
    QList<TLanguage> languages{{QStringLiteral("English"), QStringLiteral("en"), {}}};
    for (const QString& path : ShippedCatalogues()) {
        const TPoFile po = TPoFile::Read(path);
        TLanguage language{po.Field(QStringLiteral("X-Language-Name")), QFileInfo(path).baseName(), {}};
        std::map<QString, bool> alwaysTranslated;
        for (const TPoEntry& entry : po.Entries) {
            const bool differs = entry.Translated() && entry.Translation != entry.Id;
            auto [it, added] = alwaysTranslated.emplace(entry.Id, differs);
            if (!added)
                it->second = it->second && differs;
        }
        static const QRegularExpression placeholder(QStringLiteral("%[1-9]"));
        for (const auto& [id, translated] : alwaysTranslated) {
            if (!translated)
                continue;
            QString pattern = QRegularExpression::escape(id);
            pattern.replace(QRegularExpression(QStringLiteral("%[1-9]")), QStringLiteral(".*"));
            language.English.append(QRegularExpression(QRegularExpression::anchoredPattern(pattern)));
        }
        languages.append(language);
    }
    return languages;
}

const QRgb kBackdrop = qRgb(255, 0, 255);

// What `control` draws by itself, children left out, over a backdrop the size of `area`
// (in the control's coordinates); the control is moved and resized to `area` for it.
QImage Draw(QWidget* control, const QRect& area) {
    const QRect saved = control->geometry();
    control->setGeometry(area.translated(saved.topLeft()));
    QImage image(area.size(), QImage::Format_RGB32);
    image.fill(kBackdrop);
    control->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    control->setGeometry(saved);
    return image;
}

// The box around what a label or panel draws for its text, in its own coordinates:
// it is drawn with its text and without, in a box grown by a margin on every side
// that its alignment lets the text run into, and the pixels that differ are the
// text. A link is drawn underlined, as under the mouse. Null when the text draws
// nothing.
QRect InkOf(QWidget* control) {
    auto* label = qobject_cast<TLabel*>(control);
    const bool autoSize = label && label->AutoSize();
    if (autoSize)
        label->SetAutoSize(false);
    const tk::TFontStyles style = label ? label->Font()->Style() : tk::TFontStyles();
    if (label && label->IsLink())
        label->Font()->SetStyle(style | tk::fsUnderline);
    tk::TAlignment alignment = tk::taLeftJustify;
    tk::TTextLayout layout = tk::tlCenter;
    bool wraps = false;
    if (label) {
        alignment = label->Alignment();
        layout = label->Layout();
        wraps = label->WordWrap();
    } else if (auto* panel = qobject_cast<TPanel*>(control)) {
        alignment = panel->Alignment();
    }
    const int m = 40;
    const int left = wraps || alignment == tk::taLeftJustify ? 0 : m;
    const int right = wraps || alignment == tk::taRightJustify ? 0 : m;
    const int top = layout == tk::tlTop ? 0 : m;
    const int bottom = layout == tk::tlBottom ? 0 : m;
    const QRect area = control->rect().adjusted(-left, -top, right, bottom);
    const QString caption = control->property("Caption").toString();
    const QImage with = Draw(control, area);
    control->setProperty("Caption", QString());
    const QImage without = Draw(control, area);
    control->setProperty("Caption", caption);
    if (label)
        label->Font()->SetStyle(style);
    if (autoSize)
        label->SetAutoSize(true);
    QRect ink;
    for (int y = 0; y < with.height(); ++y) {
        const auto* a = reinterpret_cast<const QRgb*>(with.constScanLine(y));
        const auto* b = reinterpret_cast<const QRgb*>(without.constScanLine(y));
        for (int x = 0; x < with.width(); ++x)
            if (a[x] != b[x])
                ink |= QRect(x, y, 1, 1);
    }
    return ink.isNull() ? QRect() : ink.translated(area.topLeft());
}

// Checks one window as it is shown now, in `language`.
class TWindowCheck {
public:
    TWindowCheck(QWidget* window, const QString& where, const TLanguage& language,
                 const QString& whole = QString())
        : FWindow(window),
          FWhere(where + QStringLiteral(" in ") + language.Name),
          FLanguage(language),
          FWhole(whole) {
        SaveShot(where);
        NoEnglish(QStringLiteral("the title"), window->windowTitle());
        ReadsPlain(window);
        for (QWidget* child : window->findChildren<QWidget*>())
            if (child->isVisibleTo(window)) {
                ReadsPlain(child);
                Look(child);
            }
        for (std::size_t i = 0; i < FInk.size(); ++i)
            for (std::size_t j = i + 1; j < FInk.size(); ++j)
                if (FInk[i].second.intersects(FInk[j].second))
                    Fail(FInk[i].first, QStringLiteral("its text runs into that of %1").arg(FInk[j].first));
    }

private:
    void Look(QWidget* child) {
        const QString name = child->objectName();
        if (auto* tab = qobject_cast<TTabSheet*>(child))
            NoEnglish(name, tab->Caption());
        if (auto* list = qobject_cast<QComboBox*>(child))
            for (int i = 0; i < list->count(); ++i)
                NoBoxes(child->parentWidget()->objectName(), list->itemText(i), list->font());
        if (auto* button = qobject_cast<TButton*>(child)) {
            NoEnglish(name, button->Caption());
            NoBoxes(name, button->Caption(), button->Button()->font());
            Fits(name, button->Button(), QStyle::SE_PushButtonContents);
            return;
        }
        if (auto* box = qobject_cast<TCheckBox*>(child)) {
            NoEnglish(name, box->Caption());
            NoBoxes(name, box->Caption(), box->CheckBox()->font());
            Fits(name, box->CheckBox(), QStyle::SE_CheckBoxContents);
            return;
        }
        if (!qobject_cast<TLabel*>(child) && !qobject_cast<TPanel*>(child))
            return;
        const QString caption = child->property("Caption").toString();
        if (caption.isEmpty())
            return;
        NoEnglish(name, caption);
        NoBoxes(name, caption, child->font());
        // A wrapped label draws a word wider than its box past both its sides, where
        // the drawing is cut and the ink cannot show it.
        if (auto* label = qobject_cast<TLabel*>(child); label && label->WordWrap()) {
            const int needed =
                QFontMetrics(label->font())
                    .boundingRect(QRect(0, 0, label->width(), 100000), Qt::TextWordWrap, caption)
                    .width();
            if (needed > label->width())
                Fail(name,
                     QStringLiteral("its text (%1) has a word wider than its box: %2 px where it has %3")
                         .arg(caption)
                         .arg(needed)
                         .arg(label->width()));
            Lines(name, label, caption);
        }
        const QRect ink = InkOf(child);
        if (ink.isNull())
            return;
        const QRect box = child->rect();
        if (!box.contains(ink))
            Fail(name,
                 QStringLiteral("its text (%1) is cut by its box: %2 px left, %3 px right, %4 px above, "
                                "%5 px below")
                     .arg(caption)
                     .arg(std::max(0, box.left() - ink.left()))
                     .arg(std::max(0, ink.right() - box.right()))
                     .arg(std::max(0, box.top() - ink.top()))
                     .arg(std::max(0, ink.bottom() - box.bottom())));
        // What the window cuts away, its edges and its parents'.
        const QRect shown = child->visibleRegion().boundingRect();
        if (!shown.contains(ink & box))
            Fail(name, QStringLiteral("its text (%1) runs out of the window or its panel").arg(caption));
        FInk.emplace_back(name, QRect(child->mapTo(FWindow, ink.topLeft()), ink.size()));
    }

    // What a screen reader gets holds none of the characters that only steer where a
    // drawn line breaks.
    void ReadsPlain(QWidget* widget) {
        static const QRegularExpression invisible(QStringLiteral("[\\x{2060}\\x{200B}\\x{FEFF}]"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        for (const QAccessible::Text text : {QAccessible::Name, QAccessible::Description})
            if (accessible && accessible->text(text).contains(invisible))
                Fail(widget->objectName(), QStringLiteral("is read as \"%1\", with invisible characters")
                                               .arg(accessible->text(text)));
    }

    // A button's or a check box's text within the room its style leaves for it.
    void Fits(const QString& name, QAbstractButton* button, QStyle::SubElement contents) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(contents, &option, button);
        const QRect text = button->fontMetrics().boundingRect(
            QRect(room), Qt::AlignCenter | Qt::TextShowMnemonic, button->text());
        if (!room.contains(text))
            Fail(name, QStringLiteral("its text (%1) needs %2 × %3 px where the button has %4 × %5")
                           .arg(button->text())
                           .arg(text.width())
                           .arg(text.height())
                           .arg(room.width())
                           .arg(room.height()));
    }

    // The lines a wrapped label parts its text into. No line break parts FWhole (a
    // file's name), and as Japanese and Chinese break between any two characters, a
    // text in them must not leave one or two alone, with their punctuation, on its
    // last line ("か？"), where a reader takes them for a stray.
    void Lines(const QString& name, const TLabel* label, QString text) {
        if (label->ShowAccelChar())
            text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        QTextLayout layout(text, label->font());
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(wrap);
        layout.beginLayout();
        QStringList lines;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(label->width());
            lines.append(text.mid(line.textStart(), line.textLength()).remove(QChar(0x2060)));
        }
        layout.endLayout();
        const auto whole = [this](const QString& line) { return line.contains(FWhole); };
        if (!FWhole.isEmpty() && whole(lines.join(QString())) &&
            std::none_of(lines.begin(), lines.end(), whole))
            Fail(name, QStringLiteral("its text (%1) parts \"%2\" across lines").arg(text, FWhole));
        static const QRegularExpression cjk(QStringLiteral("[\\p{Han}\\p{Hiragana}\\p{Katakana}]")),
            letter(QStringLiteral("[\\p{L}\\p{N}]"));
        if (FLanguage.Code.contains(QRegularExpression(QStringLiteral("^(ja|zh)"))) && lines.size() > 1 &&
            lines.last().contains(cjk) && lines.last().count(letter) <= 2)
            Fail(
                name,
                QStringLiteral("its text (%1) leaves \"%2\" alone on its last line").arg(text, lines.last()));
    }

    // Every character has a face that draws it: none is a box.
    void NoBoxes(const QString& name, const QString& text, const QFont& font) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        for (const QGlyphRun& run : layout.glyphRuns())
            if (run.glyphIndexes().contains(0))
                Fail(name, QStringLiteral("draws \"%1\" with boxes: no face here has its characters (the "
                                          "package recommends fonts-noto-cjk)")
                               .arg(text));
    }

    void NoEnglish(const QString& name, QString text) {
        text.remove(QRegularExpression(QStringLiteral("&(?!&)")));
        for (const QRegularExpression& english : FLanguage.English)
            if (english.match(text).hasMatch())
                Fail(name, QStringLiteral("shows English \"%1\", which the catalogue translates").arg(text));
    }

    void Fail(const QString& name, const QString& what) const {
        ADD_FAILURE() << FWhere.toStdString() << ": " << name.toStdString() << ": " << what.toStdString();
    }

    void SaveShot(const QString& where) const {
        const QString folder = qEnvironmentVariable("KW_LANGUAGE_SHOTS");
        if (folder.isEmpty())
            return;
        QDir().mkpath(folder);
        QString file = where + QLatin1Char('-') + FLanguage.Code;
        file.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]+")), QStringLiteral("-"));
        FWindow->grab().save(QDir(folder).filePath(file + QStringLiteral(".png")));
    }

    QWidget* FWindow;
    QString FWhere;
    const TLanguage& FLanguage;
    QString FWhole;
    std::vector<std::pair<QString, QRect>> FInk;
};

// While it lives, `window` is drawn in a face whose lines are taller than Tahoma's
// (16 px against 13 at 8 pt), as where the system has no Tahoma and gives another face.
class TTallerFace {
public:
    explicit TTallerFace(QWidget* window) {
        QList<TControl*> controls = window->findChildren<TControl*>();
        if (auto* form = qobject_cast<TControl*>(window))
            controls.prepend(form);
        for (TControl* control : std::as_const(controls))
            if (control->Font()->Name().contains(QLatin1String("Tahoma"))) {
                FSaved.push_back({control, control->Font()->Name(), control->ParentFont()});
                control->Font()->SetName(QStringLiteral("Noto Sans CJK JP"));
            }
        QCoreApplication::processEvents();
    }
    ~TTallerFace() {
        for (const TSaved& saved : FSaved) {
            saved.Control->Font()->SetName(saved.Name);
            saved.Control->SetParentFont(saved.ParentFont);
        }
        QCoreApplication::processEvents();
    }

private:
    struct TSaved {
        TControl* Control;
        QString Name;
        bool ParentFont;
    };
    std::vector<TSaved> FSaved;
};

class WindowsInEveryLanguage : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        FSib = BuiltTranslationFile();
        ASSERT_NE(FSib, nullptr) << "the build makes Translate.sib beside the program";
        FLanguages = ShippedLanguageTable();
    }

    // Shows `window` in every language in turn and checks it, as `where`; a wrapped
    // label never parts `whole` across lines.
    void InEveryLanguage(QWidget* window, const QString& where, const QString& whole = QString()) {
        const QStringList names = Dispatcher()->LangNames()->List();
        ASSERT_EQ(names.size(), FLanguages.size()) << "every catalogue is in the built file";
        for (const TLanguage& language : std::as_const(FLanguages)) {
            const int index = static_cast<int>(names.indexOf(language.Name));
            ASSERT_GE(index, 0) << language.Name.toStdString();
            Dispatcher()->SetActiveLanguage(index + 1);
            QCoreApplication::processEvents();
            TWindowCheck(window, where, language, whole);
        }
        Dispatcher()->SetActiveLanguage(1);
        const TTallerFace taller(window);
        TWindowCheck(window, where + QStringLiteral("-taller-face"), FLanguages.first(), whole);
    }

    // With `updates`, the site has a newer installer of every installed tool.
    void MainWindowWith(const std::map<int, QString>& installed, const QString& where, bool updates = false) {
        WriteMachineHive(AppPaths(installed));
        QString records;
        for (const auto& [index, path] : installed)
            records += QStringLiteral(
                           "[HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager\\Installers\\%1]\r\n"
                           "\"Checked\"=\"%2\"\r\n\"UpdateAvailable\"=dword:00000001\r\n")
                           .arg(QLatin1String(ToolCatalogue[index].Key),
                                QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
        if (updates)
            WriteUserHive(records);
        Create();
        frmMain->Show();
        if (updates) {
            ASSERT_TRUE(WaitFor([] { return UpdateShown(ToolCount - 1); }));
        }
        InEveryLanguage(frmMain, where);
    }

    std::unique_ptr<TTranslationFileBesideExecutable> FSib;
    QList<TLanguage> FLanguages;
};

TEST_F(WindowsInEveryLanguage, MainWindowWithNoToolInstalled) {
    MainWindowWith({}, QStringLiteral("frmMain-none"));
}

TEST_F(WindowsInEveryLanguage, MainWindowWithEveryToolInstalled) {
    std::map<int, QString> every;
    for (int i = 0; i < ToolCount; ++i)
        every[i] = Tool(i);
    MainWindowWith(every, QStringLiteral("frmMain-all"), true);
}

TEST_F(WindowsInEveryLanguage, PreferencesOnEveryPage) {
    Create();
    frmMain->Show();
    RunModal([] { return OpenForm<TfrmPreferences>("frmPreferences"); },
             [&] {
                 auto* form = OpenForm<TfrmPreferences>("frmPreferences");
                 auto* pages = form->findChild<TPageControl*>();
                 ASSERT_NE(pages, nullptr);
                 for (int page = 0; page < pages->PageCount(); ++page) {
                     pages->SetActivePageIndex(page);
                     InEveryLanguage(form,
                                     QStringLiteral("frmPreferences-") + pages->ActivePage()->objectName());
                 }
                 form->SetModalResult(tk::mrCancel);
             },
             [&] { return ShowPreferences(Dispatcher(), QString(), QString()); });
}

TEST_F(WindowsInEveryLanguage, DownloadDialogInEveryState) {
    const TTestHttpServer server;
    ASSERT_TRUE(server.Started()) << server.Error().toStdString();
    const TNetworkEnvironment network;
    Create();
    frmMain->Show();
    const TTempFolder folder;
    auto button = [](TfrmDownload* dialog, const char* name) {
        return qobject_cast<TButton*>(dialog->FindComponent(QLatin1String(name)));
    };
    auto failed = [](TfrmDownload* dialog) {
        auto* message = qobject_cast<TLabel*>(dialog->FindComponent(QStringLiteral("lblMessage")));
        return message->isVisible() && !message->Caption().isEmpty();
    };
    auto status = [](TfrmDownload* dialog) {
        return qobject_cast<TPanel*>(dialog->FindComponent(QStringLiteral("pnlStatus")))->Caption();
    };
    // Shows the dialog as the main window does, in the active language, asks for the
    // download when `route` is the server's, and hands the dialog to `look` once it is
    // `reached`; the download runs in the dialog's own loop meanwhile.
    auto show = [&](const QString& route, const std::function<bool(TfrmDownload*)>& reached,
                    const std::function<void(TfrmDownload*)>& look,
                    const QString& target = QStringLiteral("tessaly-setup.exe")) {
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = OpenForm<TfrmDownload>("frmDownload");
            if (!dialog || !dialog->isVisible() || !reached(dialog))
                return;
            watch.stop();
            look(dialog);
            LeftClick(button(dialog, "btnCancel")->Button(), TDelivery::Posted);
        });
        RunModal([] { return OpenForm<TfrmDownload>("frmDownload"); },
                 [&] {
                     if (route != QLatin1String("/file/10"))
                         LeftClick(button(OpenForm<TfrmDownload>("frmDownload"), "btnDownload")->Button(),
                                   TDelivery::Posted);
                     watch.start(10);
                 },
                 [&] {
                     const QString tool = QStringLiteral("Tessaly Audio Converter");
                     return ShowDownloadDialog(
                         tool,
                         tool + QLatin1Char(' ') + MainTranslator()->GetTextById(QStringLiteral("IDS_3")),
                         server.Url(route), folder.FilePath(target), MainTranslator(), Dispatcher());
                 });
    };
    // The question is the caller's, asked in the language of the moment.
    const QStringList names = Dispatcher()->LangNames()->List();
    for (const TLanguage& language : std::as_const(FLanguages)) {
        Dispatcher()->SetActiveLanguage(static_cast<int>(names.indexOf(language.Name)) + 1);
        show(
            QStringLiteral("/file/10"), [](TfrmDownload*) { return true; },
            [&](TfrmDownload* dialog) {
                TWindowCheck(dialog, QStringLiteral("frmDownload-asking"), language);
            });
    }
    Dispatcher()->SetActiveLanguage(1);

    struct TState {
        const char* Name;
        const char* Route;
        std::function<bool(TfrmDownload*)> Reached;
        QString Target = QStringLiteral("tessaly-setup.exe");
    };
    const TState states[] = {
        {"downloading", "/stall/4000000",
         [&](TfrmDownload* d) { return !status(d).isEmpty() && !button(d, "btnDownload")->isEnabled(); }},
        {"failed-404", "/status/404", failed},
        {"failed-broken-off", "/close-mid/3000000", failed},
        {"failed-not-http", "/not-http", failed},
        {"failed-not-web", "/goto?to=file:///etc/passwd", failed},
        // The longest of the sentences: a path that runs past the box.
        {"failed-path-too-long", "/file/11", failed,
         QStringLiteral("Installations").repeated(24) + QStringLiteral("/tessaly-setup.exe")},
    };
    for (const TState& state : states) {
        SCOPED_TRACE(state.Name);
        show(
            QLatin1String(state.Route), state.Reached,
            [&](TfrmDownload* dialog) {
                InEveryLanguage(dialog, QStringLiteral("frmDownload-") + QLatin1String(state.Name),
                                QFileInfo(state.Target).fileName());
            },
            state.Target);
    }
}

TEST_F(WindowsInEveryLanguage, FinishDialog) {
    Create();
    frmMain->Show();
    RunModal([] { return OpenForm<TfrmFinishDownload>("frmFinishDownload"); },
             [&] {
                 auto* dialog = OpenForm<TfrmFinishDownload>("frmFinishDownload");
                 InEveryLanguage(dialog, QStringLiteral("frmFinishDownload"));
                 dialog->SetModalResult(tk::mrCancel);
             },
             [&] {
                 return ShowFinishDownloadDialog(Dispatcher(), QStringLiteral("Kestrelweave"),
                                                 MainTranslator());
             });
}

}  // namespace
