#include "i18n/TLangDispatcher.h"
#include "i18n/files/ELanguageError.h"
#include "tests/i18n/TranslationTestForm.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <random>

using namespace Qt::StringLiterals;

namespace {

// Failing rows print by name.
template <typename TRow>
requires requires(const TRow& row) {
    row.Name;
}
void PrintTo(const TRow& row, std::ostream* out) {
    *out << row.Name;
}

const QStringList kFileLanguages = {u"English"_s, u"Deutsch"_s, u"Russian"_s, u"Japanese"_s};

// The window's texts in four languages, Japanese as UTF-8; the window's own
// caption line is stored last, where the file may keep it.
QByteArray FileData() {
    return TranslationData({
        {"stCaptions",
         {Entry("lblOne", {"One", "Eins (Datei)", "Odin", "\xE4\xB8\x80"}),
          Entry("lblTwo", {"Two", "Zwei (Datei)", "", "\xE4\xBA\x8C"}),
          Entry("TfrmTranslatorTest", {"Window", "Fenster (Datei)", "Okno", "\xE7\xAA\x93"})}},
        {"stStrings", {Entry("IDS_3", {"Question", "Frage", "", "\xE8\xB3\xAA\xE5\x95\x8F"})}},
        {"stCharSets",
         {Entry("TfrmTranslatorTest",
                {"DEFAULT_CHARSET", "DEFAULT_CHARSET", "RUSSIAN_CHARSET", "SHIFTJIS_CHARSET"})}},
    });
}

QByteArray StandardFile(const QByteArray& windowName = "TfrmTranslatorTest") {
    return SIBFile({{"TfrmOther", StoredTranslator({u"English"_s}, "stCaptions\r\n")},
                    {windowName, StoredTranslator(kFileLanguages, FileData(), true,
                                                  "11\x01"
                                                  "22\x01"
                                                  "33\x01"
                                                  "44\x01")}});
}

class TranslationFile : public testing::Test {
protected:
    QString Write(const QByteArray& bytes) const {
        return FFolder.Write(QStringLiteral("Translate.sib"), bytes);
    }
    TTempFolder FFolder;
};

TEST_F(TranslationFile, ReplacesTheListsAndAppliesTheActiveLanguage) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    ASSERT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));

    translator->LoadFromSIB(Write(StandardFile()));

    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins (Datei)"));
    EXPECT_EQ(form->Caption(), QStringLiteral("Fenster (Datei)"));
    EXPECT_TRUE(translator->Captions()->Strings(0).startsWith(QStringLiteral("TfrmTranslatorTest\x01")));
    EXPECT_EQ(translator->LangNames()->List(), kFileLanguages);
    EXPECT_EQ(translator->NumOfLanguages(), 4);
    EXPECT_TRUE(translator->StoreAsUTF8());
    ASSERT_EQ(translator->ExtendedTranslations()->Count(), 1);
    EXPECT_EQ(translator->ExtendedTranslations()->Items(0)->PropertyType(), TExtendedItem::tkInteger);
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblOne"))->property("Left").toInt(), 22);

    translator->SetActiveLanguage(4);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("一"));
    EXPECT_EQ(form->Caption(), QStringLiteral("窓"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_3")), QStringLiteral("質問"));
    EXPECT_EQ(translator->LanguageCharset(), tk::SHIFTJIS_CHARSET);
    EXPECT_EQ(translator->Language(), QStringLiteral("Japanese"));
    translator->SetActiveLanguage(3);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_3")), QStringLiteral("Question"));
}

TEST_F(TranslationFile, CodePageFileShowsNamesAndTextsInTheirLanguagesCharsets) {
    const TScopedEnv all("LC_ALL", "de_DE.UTF-8");
    const QByteArray russian = "\xD0\xF3\xF1\xF1\xEA\xE8\xE9";  // cp1251
    const QByteArray data = TranslationData(
        {{"stCaptions", {Entry("lblOne", {"One", "Schlie\xDF\x65n", "\xC7\xE0\xEA\xF0\xFB\xF2\xFC"})}},
         {"stCharSets",
          {Entry("TfrmTranslatorTest", {"DEFAULT_CHARSET", "DEFAULT_CHARSET", "RUSSIAN_CHARSET"})}}});
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->LoadFromSIB(Write(
        SIBFile({{"TfrmTranslatorTest",
                  StoredTranslator({u"English"_s, u"Deutsch"_s, QString::fromLatin1(russian)}, data)}})));

    EXPECT_EQ(translator->LangNames()->List(), QStringList({u"English"_s, u"Deutsch"_s, u"Русский"_s}));
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Schließen"));
    translator->SetLanguage(QStringLiteral("Русский"));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Закрыть"));
}

TEST_F(TranslationFile, HugeStoredLanguageCountIsIgnored) {
    TStreamComponent stored = StoredTranslator({u"English"_s, u"Deutsch"_s}, FileData());
    for (TStreamProperty& property : stored.Properties) {
        if (property.Name == QLatin1String("NumOfLanguages")) {
            property.Value.Kind = TStreamValue::vaInt32;
            property.Value.Int = 0x7FFFFFFF;
        }
    }
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->LoadFromSIB(Write(SIBFile({{"TfrmTranslatorTest", stored}})));
    EXPECT_EQ(translator->NumOfLanguages(), 2);
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins (Datei)"));
}

struct TNoEntryRow {
    const char* Name;
    QByteArray WindowName;
};

const TNoEntryRow kNoEntries[] = {
    {"NameDiffersInCase", "TFRMTRANSLATORTEST"},
    {"OtherWindowOnly", "TfrmSomethingElse"},
};

class TranslationFileWithoutEntry : public TranslationFile,
                                    public testing::WithParamInterface<TNoEntryRow> {};

TEST_P(TranslationFileWithoutEntry, KeepsTheEmbeddedTexts) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    translator->LoadFromSIB(Write(StandardFile(GetParam().WindowName)));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
    EXPECT_EQ(translator->NumOfLanguages(), 3);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("Hallo"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslationFileWithoutEntry, testing::ValuesIn(kNoEntries),
                         [](const auto& row) { return std::string(row.param.Name); });

struct TBadFileRow {
    const char* Name;
    std::function<QByteArray()> Bytes;
    bool Unrecognized;  // else the stream reader's error
};

const TBadFileRow kBadFiles[] = {
    {"Empty", [] { return QByteArray(); }, true},
    {"ShorterThanTheHeader", [] { return StandardFile().left(20); }, true},
    {"HeaderAlone", [] { return StandardFile().left(42); }, true},
    {"HeaderInOtherCase",
     [] {
         QByteArray file = StandardFile();
         file[0] = 's';
         return file;
     },
     true},
    {"HeaderWithoutZero",
     [] {
         QByteArray file = StandardFile();
         file[41] = ' ';
         return file;
     },
     true},
    {"DirectoryCutShort", [] { return StandardFile().left(42 + 2 + 2 + 18 + 2 + 5); }, true},
    {"OffsetPastTheEnd",
     [] {
         QByteArray file = StandardFile();
         const qsizetype at = file.indexOf("TfrmTranslatorTest") + 18;
         file[at + 3] = '\x7F';
         return file;
     },
     false},
    {"StreamCutShort", [] { return StandardFile().chopped(40); }, false},
};

class TranslationFileError : public TranslationFile, public testing::WithParamInterface<TBadFileRow> {};

TEST_P(TranslationFileError, RaisesAndKeepsTheTranslatorWhole) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    const QString path = Write(GetParam().Bytes());
    try {
        translator->LoadFromSIB(path);
        FAIL() << "no error";
    } catch (const ELanguageError& e) {
        EXPECT_TRUE(GetParam().Unrecognized);
        EXPECT_EQ(e.Message(), QStringLiteral("Unrecognized stream format!"));
    } catch (const EReadError& e) {
        EXPECT_FALSE(GetParam().Unrecognized) << e.what();
    }
    EXPECT_FALSE(translator->Busy());
    EXPECT_EQ(translator->NumOfLanguages(), 3);
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslationFileError, testing::ValuesIn(kBadFiles),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(TranslationFile, DamagedFilesRaiseOrLoadButNeverCrash) {
    const QByteArray good = StandardFile();
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    std::mt19937 random(4);
    for (int round = 0; round < 400; ++round) {
        QByteArray bad = good;
        for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
            bad[static_cast<qsizetype>(random() % static_cast<unsigned>(bad.size()))] =
                static_cast<char>(random());
        try {
            translator->LoadFromSIB(Write(bad));
            translator->SetActiveLanguage(1 + static_cast<int>(random() % translator->NumOfLanguages()));
            translator->GetTextById(QStringLiteral("IDS_3"));
        } catch (const Exception&) {
        }
        ASSERT_FALSE(translator->Busy());
    }
}

TEST_F(TranslationFile, MissingFileRaisesTheOpenError) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    EXPECT_THROW(TranslatorOf(form.get())->LoadFromSIB(FFolder.FilePath(QStringLiteral("None.sib"))),
                 ELanguageError);
}

// ---- Dispatcher ------------------------------------------------------------

TEST_F(TranslationFile, LinkedTranslatorsFollowTheDispatcher) {
    const auto first = MakeTestForm(TranslationData(StandardSections()));
    const auto second = MakeTestForm(TranslationData(StandardSections()));
    TLangDispatcher dispatcher;
    dispatcher.SetLangNames({u"English"_s, u"Deutsch"_s, u"Russian"_s});
    EXPECT_EQ(dispatcher.NumOfLanguages(), 3);
    TranslatorOf(first.get())->SetLangDispatcher(&dispatcher);
    TranslatorOf(second.get())->SetLangDispatcher(&dispatcher);
    ASSERT_EQ(dispatcher.TranslatorCount(), 2);

    dispatcher.SetActiveLanguage(2);
    EXPECT_EQ(dispatcher.Language(), QStringLiteral("Deutsch"));
    EXPECT_EQ(CaptionOf(first.get(), "lblOne"), QStringLiteral("Eins"));
    EXPECT_EQ(CaptionOf(second.get(), "lblOne"), QStringLiteral("Eins"));

    dispatcher.SetLanguage(QStringLiteral("Russian"));
    EXPECT_EQ(CaptionOf(second.get(), "lblTwo"), QStringLiteral("Dva"));
    EXPECT_THROW(dispatcher.SetLanguage(QStringLiteral("Klingon")), ELanguageError);

    TranslatorOf(first.get())->SetLangDispatcher(nullptr);
    dispatcher.SetActiveLanguage(1);
    EXPECT_EQ(CaptionOf(first.get(), "lblTwo"), QStringLiteral("Dva"));
    EXPECT_EQ(CaptionOf(second.get(), "lblTwo"), QStringLiteral("Two"));
}

TEST_F(TranslationFile, DispatcherAndTranslatorsUnlinkWhenEitherIsDestroyed) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    {
        TLangDispatcher dispatcher;
        translator->SetLangDispatcher(&dispatcher);
        EXPECT_EQ(translator->NumOfLanguages(), 1);
    }
    EXPECT_EQ(translator->LangDispatcher(), nullptr);

    TLangDispatcher dispatcher;
    auto other = MakeTestForm(TranslationData(StandardSections()));
    TranslatorOf(other.get())->SetLangDispatcher(&dispatcher);
    other.reset();
    EXPECT_EQ(dispatcher.TranslatorCount(), 0);
    dispatcher.SetActiveLanguage(1);
}

TEST_F(TranslationFile, DispatcherReferenceInTheFormLinksAfterLoading) {
    const auto form =
        MakeTestForm(TranslationData(StandardSections()), "    LangDispatcher = LangDispatcher1\n",
                     "  object LangDispatcher1: TLangDispatcher\n"
                     "    LangNames.Strings = ('English', 'Deutsch', 'Russian')\n"
                     "    NumOfLanguages = 3\n"
                     "    Language = 'English'\n"
                     "  end\n");
    auto* dispatcher = qobject_cast<TLangDispatcher*>(form->FindComponent(QStringLiteral("LangDispatcher1")));
    ASSERT_NE(dispatcher, nullptr);
    ASSERT_EQ(dispatcher->TranslatorCount(), 1);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Design one"));
    dispatcher->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
}

TEST_F(TranslationFile, LinkingWithAFileLoadsInTheDispatchersLanguage) {
    TLangDispatcher dispatcher;
    dispatcher.SetFileName(Write(StandardFile()));
    dispatcher.SetActiveLanguage(2);
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TranslatorOf(form.get())->SetLangDispatcher(&dispatcher);

    EXPECT_NE(dispatcher.FileManager(), nullptr);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins (Datei)"));
    EXPECT_EQ(dispatcher.NumOfLanguages(), 4);
    EXPECT_EQ(dispatcher.LangNames()->List(), kFileLanguages);
    EXPECT_EQ(dispatcher.FileManager()->FixedLanguages(), QStringList({u"Deutsch"_s, u"English"_s}));
}

TEST_F(TranslationFile, LoadAllFromFileLoadsEveryLinkedWindow) {
    const auto first = MakeTestForm(TranslationData(StandardSections()));
    const auto second = MakeTestForm(TranslationData(StandardSections()));
    TLangDispatcher dispatcher;
    TranslatorOf(first.get())->SetLangDispatcher(&dispatcher);
    TranslatorOf(second.get())->SetLangDispatcher(&dispatcher);
    const QString path = Write(StandardFile());
    dispatcher.SetFileName(path);
    dispatcher.LoadAllFromFile(path);

    EXPECT_EQ(dispatcher.NumOfLanguages(), 4);
    EXPECT_EQ(dispatcher.LangNames()->List(), kFileLanguages);
    dispatcher.SetActiveLanguage(4);
    EXPECT_EQ(dispatcher.Language(), QStringLiteral("Japanese"));
    EXPECT_EQ(CaptionOf(first.get(), "lblTwo"), QStringLiteral("二"));
    EXPECT_EQ(CaptionOf(second.get(), "lblTwo"), QStringLiteral("二"));
    EXPECT_EQ(TranslatorOf(second.get())->GetTextById(QStringLiteral("IDS_3")), QStringLiteral("質問"));
    EXPECT_THROW(dispatcher.LoadAllFromFile(FFolder.Write(QStringLiteral("Translate.txt"), "x")),
                 ELanguageError);
}

TEST_F(TranslationFile, DispatcherLanguageCountPadsTheNames) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TLangDispatcher dispatcher;
    TranslatorOf(form.get())->SetLangDispatcher(&dispatcher);
    dispatcher.SetNumOfLanguages(2);
    EXPECT_EQ(dispatcher.LangNames()->List(), QStringList({u"Language N1"_s, u"Language N2"_s}));
    EXPECT_EQ(TranslatorOf(form.get())->NumOfLanguages(), 2);
}

TEST_F(TranslationFile, StartTranslationWithoutAFileChangesNothing) {
    TLangDispatcher dispatcher;
    StartTranslation(&dispatcher);
    EXPECT_TRUE(dispatcher.FileName().isEmpty());
    EXPECT_EQ(dispatcher.NumOfLanguages(), 1);
}

}  // namespace
