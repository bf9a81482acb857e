// Loading a 40-language translation file into the open windows and applying each
// language in turn, against reading the file's bytes alone (the floor). The file
// covers the four windows (main, download, finish-download, preferences); the
// windows that exist here (main, download) load their entries and are applied, the
// other entries only cost their share of the reading. Prints medians and ratios;
// judges nothing.
//
//   bench-i18n [rounds]     (default 15)
#include "app/TfrmMain.h"
#include "download/TfrmDownload.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/TSibGenerator.h"
#include "toolkit/TApplication.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int kLanguages = 40;

// Each language in its own script and code page, cycling through four.
struct TScript {
    const char* Charset;
    const char* CodePage;
    const char* Word;
};
const TScript kScripts[] = {
    {"DEFAULT_CHARSET", "CP1252", "Größe à la carte"},
    {"RUSSIAN_CHARSET", "CP1251", "Загрузить всё"},
    {"GREEK_CHARSET", "CP1253", "Λήψη όλων"},
    {"EASTEUROPE_CHARSET", "CP1250", "Stáhnout vše"},
};

QStringList Values(const QString& key) {
    QStringList values;
    for (int i = 0; i < kLanguages; ++i)
        values += QStringLiteral("%1 %2 (%3)").arg(QString::fromUtf8(kScripts[i % 4].Word), key).arg(i + 1);
    return values;
}

QStringList Same(const QString& value) {
    return QStringList(kLanguages, value);
}

QStringList Charsets() {
    QStringList values;
    for (int i = 0; i < kLanguages; ++i)
        values += QString::fromLatin1(kScripts[i % 4].Charset);
    return values;
}

// Fonts and charsets for the window and each listed component; the dialog texts.
void Common(TSibWindow& window, const QStringList& fontKeys) {
    for (const QString& key : fontKeys)
        window.Fonts(key, Same(QStringLiteral("Tahoma")));
    for (const char* key : {"Warning", "Error", "Information", "Confirm", "Yes", "No", "OK", "Cancel",
                            "Abort", "Retry", "Ignore", "All", "No To All", "Yes To All", "Help"})
        window.DlgsCaptions(QLatin1String(key), Values(QLatin1String(key)));
    window.OtherStrings(window.ClassName + QStringLiteral(".HelpFile"), Same(QString()));
    for (const QString& key : fontKeys)
        if (key != window.ClassName)
            window.CharSets(key, Charsets());
}

TSibDescription Description(bool utf8) {
    TSibDescription file;
    file.StoreAsUTF8 = utf8;
    for (int i = 0; i < kLanguages; ++i)
        file.Languages.push_back({QStringLiteral("Language %1").arg(i + 1),
                                  QString::fromLatin1(kScripts[i % 4].Charset), kScripts[i % 4].CodePage});
    file.FixedLanguages = {QStringLiteral("English")};

    TSibWindow main(QStringLiteral("TfrmMain"));
    const QStringList links = {u"lblInfo"_s, u"lblSite"_s,        u"lblForums"_s,
                               u"lblNews"_s, u"lblNewsletter"_s,  u"lblFreeware"_s,
                               u"lblFaq"_s,  u"lblTechSupport"_s, u"lblSupport"_s};
    QStringList fonts = {QStringLiteral("TfrmMain")};
    fonts += links;
    for (int i = 1; i <= 20; ++i)
        fonts += QStringLiteral("lblApp%1").arg(i);
    fonts += {QStringLiteral("lblHead"), QStringLiteral("lblSubscription"), QStringLiteral("lblDownloadAll")};
    for (const QString& key : links.mid(0, 8))
        main.Captions(key, Values(key));
    for (const char* key : {"lblHead", "lblSubscription", "lblDownloadAll"})
        main.Captions(QLatin1String(key), Values(QLatin1String(key)));
    main.Strings(QStringLiteral("IDS_3"), Values(QStringLiteral("IDS_3")))
        .Strings(QStringLiteral("IDS_1"), Values(QStringLiteral("IDS_1")));
    Common(main, fonts);

    TSibWindow download(QStringLiteral("TfrmDownload"));
    download.Captions(QStringLiteral("btnCancel"), Values(QStringLiteral("btnCancel")))
        .Captions(QStringLiteral("btnDownload"), Values(QStringLiteral("btnDownload")));
    Common(download,
           {QStringLiteral("TfrmDownload"), QStringLiteral("btnCancel"), QStringLiteral("btnDownload")});

    TSibWindow finish(QStringLiteral("TfrmFinishDownload"));
    for (const char* key : {"TfrmFinishDownload", "btnDownload", "btnLearnMore"})
        finish.Captions(QLatin1String(key), Values(QLatin1String(key)));
    Common(finish, {QStringLiteral("TfrmFinishDownload"), QStringLiteral("btnDownload"),
                    QStringLiteral("btnLearnMore")});

    TSibWindow preferences(QStringLiteral("TfrmPreferences"));
    QStringList controls = {QStringLiteral("TfrmPreferences")};
    for (int i = 1; i <= 24; ++i)
        controls += QStringLiteral("lblPreference%1").arg(i);
    for (const QString& key : controls)
        preferences.Captions(key, Values(key));
    preferences.MultiLines(QStringLiteral("cmbLanguage.Items"), Same(QString()))
        .ExtendedTranslation(QStringLiteral("lblSupport.Left"), QStringLiteral("tkInteger"), Same(u"11"_s));
    Common(preferences, controls);

    file.Windows = {main, download, finish, preferences};
    return file;
}

// Median of `rounds` timings of `run`, in microseconds.
double Median(int rounds, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        times.push_back(static_cast<double>(clock.nsecsElapsed()) / 1000.0);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir registry, files;
    if (!registry.isValid() || !files.isValid())
        return 1;
    // An empty registry of its own: nothing of the user's is read or written.
    qputenv("KESTRELWEAVE_REGISTRY", registry.path().toUtf8());

    QApplication qt(argc, argv);
    TApplication application;
    application.Initialize();
    application.SetTitle(QStringLiteral("Tessaly Manager"));
    auto main = std::make_unique<TfrmMain>(nullptr);
    auto download = std::make_unique<TfrmDownload>(nullptr);
    auto* dispatcher = qobject_cast<TLangDispatcher*>(main->FindComponent(QStringLiteral("LangDispatcher1")));
    if (!dispatcher) {
        std::fprintf(stderr, "bench-i18n: the main window has no LangDispatcher1\n");
        return 1;
    }
    // The download window's stored translator names no dispatcher; link it as a
    // window that follows the language does.
    if (auto* translator = qobject_cast<TTranslator*>(download->FindComponent(QStringLiteral("Translator1"))))
        translator->SetLangDispatcher(dispatcher);
    std::printf("bench-i18n: %d languages, 4 windows in the file, %d translators linked, %d rounds\n",
                kLanguages, dispatcher->TranslatorCount(), rounds);
    std::printf("%-10s %9s %11s %11s %13s %9s %11s\n", "storage", "file KB", "floor us", "load us",
                "load+40 us", "load/fl", "per lang us");

    for (const bool utf8 : {false, true}) {
        const QString path =
            files.filePath(utf8 ? QStringLiteral("utf8.sib") : QStringLiteral("codepages.sib"));
        const QByteArray bytes = TSibGenerator::File(Description(utf8));
        {
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
                return 1;
        }
        qsizetype sink = 0;
        const double floor = Median(rounds, [&] {
            QFile in(path);
            if (in.open(QIODevice::ReadOnly))
                sink += in.readAll().size();
        });
        const double load = Median(rounds, [&] { dispatcher->LoadAllFromFile(path); });
        const double all = Median(rounds, [&] {
            dispatcher->LoadAllFromFile(path);
            for (int language = 1; language <= kLanguages; ++language)
                dispatcher->SetActiveLanguage(language);
            dispatcher->SetActiveLanguage(1);
        });
        if (dispatcher->NumOfLanguages() != kLanguages || sink == 0) {
            std::fprintf(stderr, "the file was not loaded: %d languages\n", dispatcher->NumOfLanguages());
            return 1;
        }
        std::printf("%-10s %9.1f %11.1f %11.1f %13.1f %9.1f %11.1f\n", utf8 ? "utf-8" : "code pages",
                    static_cast<double>(bytes.size()) / 1024.0, floor, load, all, load / floor,
                    (all - load) / kLanguages);
    }
    std::printf(
        "load/fl: loading every linked window's entry against reading the bytes; per lang: one\n"
        "language applied to both windows, (load+40 - load) / 40.\n");
    return 0;
}
