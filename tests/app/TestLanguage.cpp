#include "app/TfrmMain.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "i18n/files/TSibGenerator.h"
#include "settings/TRegedit.h"
#include "tests/app/MainWindowFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QCoreApplication>
#include <QFile>

#include <optional>
#include <ostream>

using namespace tk;

namespace {

struct TLanguage {
    const char* Name;
    const char* CodePage;  // used unless the file stores UTF-8
    const char* Charset;
    TFontCharset CharsetNumber;
};

const TLanguage kLanguages[] = {
    {"English", "CP1252", "DEFAULT_CHARSET", DEFAULT_CHARSET},
    {"Deutsch", "CP1252", "DEFAULT_CHARSET", DEFAULT_CHARSET},
    {"Russian", "CP1251", "RUSSIAN_CHARSET", RUSSIAN_CHARSET},
    {"Japanese", "CP932", "SHIFTJIS_CHARSET", SHIFTJIS_CHARSET},
};
constexpr int kLanguageCount = 4;

struct TTexts {
    const char* Key;
    const char* Values[kLanguageCount];  // UTF-8
};

const TTexts kCaptions[] = {
    {"TfrmMain", {"Manager", "Verwalter", "Менеджер", "マネージャー"}},
    {"lblInfo", {"Information:", "Übersicht:", "Информация:", "情報:"}},
    {"lblSite", {"Our site", "Unsere Seite", "Наш сайт", "私たちのサイト"}},
    {"lblFaq", {"Free services", "Gratis-Dienste für Sie", "Бесплатные услуги", "無料サービス"}},
    {"lblHead", {"Applications:", "Anwendungen:", "Программы:", "アプリケーション:"}},
    {"lblDownloadAll",
     {"Download all freeware at once", "Alle Programme auf einmal", "Скачать всё сразу",
      "すべてダウンロード"}},
};

const TTexts kStrings[] = {
    {"IDS_1", {"All at once!", "Alles auf einmal!", "Всё сразу!", "一度にすべて!"}},
    {"IDS_3", {"is not installed.", "ist nicht installiert.", "не установлена.", ""}},
};

QStringList Values(const TTexts& texts) {
    QStringList values;
    for (const char* value : texts.Values)
        values << QString::fromUtf8(value);
    return values;
}

// The main window's data as a translation editor stores it: its texts in four
// languages, its own caption and, among the other strings, the tool labels'
// captions, which the window excludes.
QByteArray TranslationFile(bool utf8) {
    TSibDescription file;
    file.StoreAsUTF8 = utf8;
    for (const TLanguage& language : kLanguages)
        file.Languages.append(
            {QLatin1String(language.Name), QLatin1String(language.Charset), QByteArray(language.CodePage)});
    TSibWindow& main = file.Windows.emplaceBack(QStringLiteral("TfrmMain"));
    main.ComponentName = QStringLiteral("Translator_frmMain");
    for (const TTexts& texts : kCaptions)
        main.Captions(QLatin1String(texts.Key), Values(texts));
    const QStringList tahoma(kLanguageCount, QStringLiteral("Tahoma"));
    main.Fonts(QStringLiteral("TfrmMain"), tahoma).Fonts(QStringLiteral("lblSite"), tahoma);
    for (const TTexts& texts : kStrings)
        main.Strings(QLatin1String(texts.Key), Values(texts));
    for (int i = 1; i <= ToolCount; ++i)
        main.OtherStrings(
            QStringLiteral("lblApp%1.Caption").arg(i),
            {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"), QStringLiteral("D")});
    main.OtherStrings(QStringLiteral("lblSupport.Caption"),
                      {QStringLiteral("x@example.com"), QStringLiteral("y@example.com"),
                       QStringLiteral("z@example.com"), QStringLiteral("w@example.com")});
    QStringList charsets;
    for (const TLanguage& language : kLanguages)
        charsets << QLatin1String(language.Charset);
    main.CharSets(QStringLiteral("lblSite"), charsets);
    return TSibGenerator::File(file);
}

// ---- The main window's language -------------------------------------------------------------

class Language : public TAppFixture {
protected:
    TfrmMain* Create() {
        FApplication->CreateForm(frmMain);
        return frmMain;
    }
    void StoreLanguageIndex(std::optional<int> value) const {
        if (value)
            WriteUserHive(QStringLiteral("[HKEY_CURRENT_USER\\SOFTWARE\\Kestrelweave\\Manager]\r\n"
                                         "\"LanguageIndex\"=dword:%1\r\n")
                              .arg(static_cast<quint32>(*value), 8, 16, QLatin1Char('0')));
    }
    static int StoredLanguageIndex() {
        return TRegedit(QStringLiteral("SOFTWARE\\Kestrelweave\\Manager"), HKEY_CURRENT_USER)
            .ReadInteger(QStringLiteral("LanguageIndex"), kMissing);
    }
    static QString Caption(const char* name) {
        return qobject_cast<TLabel*>(frmMain->FindComponent(QLatin1String(name)))->Caption();
    }
    // The close handler alone: closing the main form would end the application.
    static void Close() {
        TCloseAction action = caHide;
        frmMain->FormClose(frmMain, action);
    }
    static constexpr int kMissing = -12345;
};

struct TIndexRow {
    const char* Name;
    std::optional<int> Stored;
    int ActiveWithoutFile, WrittenWithoutFile;
    int ActiveWithFile, WrittenWithFile;
};

// A stored choice that this run cannot show is written back as it was, so that
// starting once without the translation file does not lose it.
const TIndexRow kIndexRows[] = {
    {"Absent", std::nullopt, 1, 1, 1, 1},
    {"Zero", 0, 1, 0, 1, 0},
    {"Negative", -3, 1, -3, 1, -3},
    {"One", 1, 1, 1, 1, 1},
    {"Two", 2, 1, 2, 2, 2},
    {"EqualToTheCount", kLanguageCount, 1, kLanguageCount, kLanguageCount, kLanguageCount},
    {"AboveTheCount", kLanguageCount + 1, 1, kLanguageCount + 1, 1, kLanguageCount + 1},
};

void PrintTo(const TIndexRow& row, std::ostream* out) {
    *out << row.Name;
}

class LanguageIndex : public Language, public testing::WithParamInterface<TIndexRow> {};

TEST_P(LanguageIndex, WithoutTranslationFile) {
    StoreLanguageIndex(GetParam().Stored);
    Create();
    TLangDispatcher* dispatcher = Dispatcher();
    EXPECT_EQ(dispatcher->NumOfLanguages(), 1);
    EXPECT_EQ(dispatcher->LangNames()->List(), QStringList{QStringLiteral("English")});
    EXPECT_EQ(dispatcher->ActiveLanguage(), GetParam().ActiveWithoutFile);
    // No translation is applied without a file: the design texts stay.
    EXPECT_EQ(Caption("lblFaq"), QStringLiteral("FAQ"));
    EXPECT_EQ(Caption("lblPreferences"), QStringLiteral("Preferences..."));
    if (!GetParam().Stored) {
        EXPECT_FALSE(QFile::exists(FRegistry.FilePath(QStringLiteral("user.reg"))));
    }

    Close();
    EXPECT_EQ(StoredLanguageIndex(), GetParam().WrittenWithoutFile);
}

TEST_P(LanguageIndex, WithTranslationFile) {
    TTranslationFileBesideExecutable file(TranslationFile(false));
    StoreLanguageIndex(GetParam().Stored);
    Create();
    TLangDispatcher* dispatcher = Dispatcher();
    EXPECT_EQ(dispatcher->NumOfLanguages(), kLanguageCount);
    EXPECT_EQ(dispatcher->ActiveLanguage(), GetParam().ActiveWithFile);
    EXPECT_EQ(Caption("lblSite"), QString::fromUtf8(kCaptions[2].Values[GetParam().ActiveWithFile - 1]));

    Close();
    EXPECT_EQ(StoredLanguageIndex(), GetParam().WrittenWithFile);
}

INSTANTIATE_TEST_SUITE_P(Table, LanguageIndex, testing::ValuesIn(kIndexRows),
                         [](const auto& row) { return std::string(row.param.Name); });

// Any pick replaces a stored language that could not be shown, also a pick of
// the language shown at start, directly or after another.
TEST_F(Language, APickedLanguageReplacesAStoredOneThatCouldNotBeShown) {
    TTranslationFileBesideExecutable file(TranslationFile(false));
    for (const std::vector<int>& picks : {std::vector<int>{3}, {1}, {2, 1}}) {
        StoreLanguageIndex(kLanguageCount + 3);
        Create();
        for (int language : picks)
            Dispatcher()->SetActiveLanguage(language);
        Close();
        EXPECT_EQ(StoredLanguageIndex(), picks.back()) << "after picking " << picks.size() << " languages";
        FApplication.reset();
        FApplication = std::make_unique<TApplication>();
    }
}

TEST_F(Language, EmbeddedDataHoldsTheEnglishTexts) {
    Create();
    TTranslator* translator = MainTranslator();
    EXPECT_EQ(
        translator->GetTextById(QStringLiteral("IDS_3")),
        QStringLiteral("is not installed on your computer. Do you want to download and install it now?"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")),
              QStringLiteral("Download all freeware at once. One installation for all programs!"));
    // Applying the embedded language shows its one text that differs from the design.
    translator->ApplyTranslation();
    EXPECT_EQ(Caption("lblFaq"), QStringLiteral("Free services"));
    EXPECT_EQ(Caption("lblInfo"), QStringLiteral("Information:"));
    EXPECT_EQ(Caption("lblPreferences"), QStringLiteral("Preferences..."));
}

// ---- Texts in every language ------------------------------------------------------------------

struct TTextsRow {
    const char* Name;
    bool Utf8;
    int Stored;
};

void PrintTo(const TTextsRow& row, std::ostream* out) {
    *out << row.Name;
}

class LanguageTexts : public Language, public testing::WithParamInterface<TTextsRow> {};

TEST_P(LanguageTexts, FollowTheActiveLanguage) {
    TTranslationFileBesideExecutable file(TranslationFile(GetParam().Utf8));
    StoreLanguageIndex(GetParam().Stored);
    Create();
    const QString caption = frmMain->Caption();
    auto toolCaptions = [] {
        QStringList captions;
        for (int i = 1; i <= ToolCount; ++i)
            captions << Caption(QStringLiteral("lblApp%1").arg(i).toLatin1().constData());
        return captions;
    };
    const QStringList tools = toolCaptions();
    const QString support = Caption("lblSupport");

    // At start, and again after a change through the dispatcher.
    for (int active : {GetParam().Stored, GetParam().Stored % kLanguageCount + 1}) {
        SCOPED_TRACE(kLanguages[active - 1].Name);
        Dispatcher()->SetActiveLanguage(active);
        for (const TTexts& texts : kCaptions)
            if (qstrcmp(texts.Key, "TfrmMain") != 0) {
                EXPECT_EQ(Caption(texts.Key), QString::fromUtf8(texts.Values[active - 1])) << texts.Key;
            }
        EXPECT_EQ(frmMain->Font()->Charset(), kLanguages[active - 1].CharsetNumber);
        EXPECT_EQ(qobject_cast<TLabel*>(frmMain->FindComponent(QStringLiteral("lblSite")))->Font()->Charset(),
                  kLanguages[active - 1].CharsetNumber);
        TTranslator* translator = MainTranslator();
        EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")),
                  QString::fromUtf8(kStrings[0].Values[active - 1]));
        // Japanese has no text of its own: English stands in.
        EXPECT_EQ(translator->GetTextById(QStringLiteral("ids_3")),
                  QString::fromUtf8(kStrings[1].Values[active == 4 ? 0 : active - 1]));
        EXPECT_EQ(frmMain->Caption(), caption);
        EXPECT_EQ(toolCaptions(), tools);
        EXPECT_EQ(Caption("lblSupport"), support);
        EXPECT_EQ(Caption("lblPreferences"), QStringLiteral("Preferences..."));
    }
}

const TTextsRow kTextsRows[] = {
    {"CodePagesEnglish", false, 1},  {"CodePagesGerman", false, 2}, {"CodePagesRussian", false, 3},
    {"CodePagesJapanese", false, 4}, {"Utf8English", true, 1},      {"Utf8German", true, 2},
    {"Utf8Russian", true, 3},        {"Utf8Japanese", true, 4},
};

INSTANTIATE_TEST_SUITE_P(Table, LanguageTexts, testing::ValuesIn(kTextsRows),
                         [](const auto& row) { return std::string(row.param.Name); });

}  // namespace
