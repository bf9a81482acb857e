#include "app/TfrmMain.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "settings/TRegedit.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/TBinaryStreamWriter.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QCoreApplication>
#include <QFile>
#include <QtEndian>

#include <iconv.h>

#include <optional>
#include <ostream>
#include <stdexcept>

using namespace tk;

namespace {

QByteArray Encode(const QString& text, const char* codePage) {
    const QByteArray utf8 = text.toUtf8();
    if (qstrcmp(codePage, "UTF-8") == 0)
        return utf8;
    iconv_t cd = iconv_open(codePage, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("no such code page");
    QByteArray out(utf8.size() * 4 + 4, '\0');
    QByteArray in = utf8;
    char* inPtr = in.data();
    char* outPtr = out.data();
    size_t inLeft = static_cast<size_t>(in.size());
    size_t outLeft = static_cast<size_t>(out.size());
    const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1))
        throw std::runtime_error("text outside the code page");
    out.truncate(out.size() - static_cast<qsizetype>(outLeft));
    return out;
}

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

QByteArray Entry(const QList<QByteArray>& fields) {
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i)
        line += fields[i] + '\x01';
    line.chop(1);
    return line + "\x01\r\n";
}

QByteArray Line(const TTexts& texts, bool utf8) {
    QList<QByteArray> fields{texts.Key};
    for (int n = 0; n < kLanguageCount; ++n)
        fields << Encode(QString::fromUtf8(texts.Values[n]), utf8 ? "UTF-8" : kLanguages[n].CodePage);
    return Entry(fields);
}

// The main window's data as a translation editor stores it: its texts in four
// languages, its own caption and, among the other strings, the tool labels'
// captions, which the window excludes.
QByteArray MainWindowData(bool utf8) {
    QByteArray data = "stCaptions\r\n";
    for (const TTexts& texts : kCaptions)
        data += Line(texts, utf8);
    data += "stHints\r\nstDisplayLabels\r\nstFonts\r\n";
    for (const char* key : {"TfrmMain", "lblSite"})
        data += Entry({key, "Tahoma", "Tahoma", "Tahoma", "Tahoma"});
    data += "stMultiLines\r\nstDlgsCaptions\r\nstStrings\r\n";
    for (const TTexts& texts : kStrings)
        data += Line(texts, utf8);
    data += "stOtherStrings\r\n";
    for (int i = 1; i <= ToolCount; ++i)
        data += Entry({QByteArray("lblApp") + QByteArray::number(i) + ".Caption", "A", "B", "C", "D"});
    data += Entry({"lblSupport.Caption", "x@example.com", "y@example.com", "z@example.com", "w@example.com"});
    data += "stLocales\r\nstCollections\r\nstCharSets\r\n";
    for (const char* key : {"TfrmMain", "lblSite"}) {
        QList<QByteArray> fields{key};
        for (const TLanguage& language : kLanguages)
            fields << language.Charset;
        data += Entry(fields);
    }
    return data;
}

TStreamValue Value(TStreamValue::TKind kind, std::int64_t number = 0) {
    TStreamValue value;
    value.Kind = kind;
    value.Int = number;
    return value;
}

QByteArray TranslationFile(bool utf8) {
    TStreamComponent stored;
    stored.ClassName = QStringLiteral("TTranslator");
    stored.Name = QStringLiteral("Translator_frmMain");
    TStreamValue names = Value(TStreamValue::vaList);
    for (const TLanguage& language : kLanguages) {
        TStreamValue name = Value(TStreamValue::vaString);
        name.Text = QLatin1String(language.Name);
        names.List.push_back(name);
    }
    TStreamValue data = Value(TStreamValue::vaBinary);
    data.Bytes = MainWindowData(utf8);
    stored.Properties = {
        {QStringLiteral("LangDelim"), Value(TStreamValue::vaInt8, 1)},
        {QStringLiteral("NumOfLanguages"), Value(TStreamValue::vaInt8, kLanguageCount)},
        {QStringLiteral("LangNames.Strings"), names},
        {QStringLiteral("StoreAsUTF8"), Value(utf8 ? TStreamValue::vaTrue : TStreamValue::vaFalse)},
        {QStringLiteral("TranslationData"), data},
    };
    const QByteArray stream = TBinaryStreamWriter::Write(stored);

    auto u16 = [](qsizetype n) {
        char b[2];
        qToLittleEndian<quint16>(static_cast<quint16>(n), b);
        return QByteArray(b, 2);
    };
    auto u32 = [](qsizetype n) {
        char b[4];
        qToLittleEndian<quint32>(static_cast<quint32>(n), b);
        return QByteArray(b, 4);
    };
    const QByteArray header("SIB file: Tessaly binary translation data", 42);
    const QByteArray window = "TfrmMain";
    const qsizetype offset = header.size() + 2 + 2 + 2 + window.size() + 4;
    return header + u16(1) + u16(0) + u16(window.size()) + window + u32(offset) + stream;
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
    TLangDispatcher* dispatcher = frmMain->LangDispatcher();
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
    TLangDispatcher* dispatcher = frmMain->LangDispatcher();
    EXPECT_EQ(dispatcher->NumOfLanguages(), kLanguageCount);
    EXPECT_EQ(dispatcher->ActiveLanguage(), GetParam().ActiveWithFile);
    EXPECT_EQ(Caption("lblSite"), QString::fromUtf8(kCaptions[2].Values[GetParam().ActiveWithFile - 1]));

    Close();
    EXPECT_EQ(StoredLanguageIndex(), GetParam().WrittenWithFile);
}

INSTANTIATE_TEST_SUITE_P(Table, LanguageIndex, testing::ValuesIn(kIndexRows),
                         [](const auto& info) { return std::string(info.param.Name); });

// Any pick replaces a stored language that could not be shown, also a pick of
// the language shown at start, directly or after another.
TEST_F(Language, APickedLanguageReplacesAStoredOneThatCouldNotBeShown) {
    TTranslationFileBesideExecutable file(TranslationFile(false));
    for (const std::vector<int>& picks : {std::vector<int>{3}, {1}, {2, 1}}) {
        StoreLanguageIndex(kLanguageCount + 3);
        Create();
        for (int language : picks)
            frmMain->LangDispatcher()->SetActiveLanguage(language);
        Close();
        EXPECT_EQ(StoredLanguageIndex(), picks.back()) << "after picking " << picks.size() << " languages";
        FApplication.reset();
        FApplication = std::make_unique<TApplication>();
    }
}

TEST_F(Language, EmbeddedDataHoldsTheEnglishTexts) {
    Create();
    TTranslator* translator = frmMain->Translator();
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
        frmMain->LangDispatcher()->SetActiveLanguage(active);
        for (const TTexts& texts : kCaptions)
            if (qstrcmp(texts.Key, "TfrmMain") != 0) {
                EXPECT_EQ(Caption(texts.Key), QString::fromUtf8(texts.Values[active - 1])) << texts.Key;
            }
        EXPECT_EQ(frmMain->Font()->Charset(), kLanguages[active - 1].CharsetNumber);
        EXPECT_EQ(qobject_cast<TLabel*>(frmMain->FindComponent(QStringLiteral("lblSite")))->Font()->Charset(),
                  kLanguages[active - 1].CharsetNumber);
        TTranslator* translator = frmMain->Translator();
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
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
