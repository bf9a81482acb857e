#include "i18n/files/ELanguageError.h"
#include "platform/CodePage.h"
#include "tests/i18n/TranslationTestForm.h"
#include "tests/support/Locale.h"
#include "tests/support/TempFolder.h"
#include "toolkit/TFont.h"
#include "toolkit/TLabel.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

using namespace tk;

namespace {

// Failing rows print by name.
template <typename TRow>
requires requires(const TRow& row) {
    row.Name;
}
void PrintTo(const TRow& row, std::ostream* out) {
    *out << row.Name;
}

TFont* FontOf(const TForm* form, const char* component) {
    return qobject_cast<TControl*>(form->FindComponent(QLatin1String(component)))->Font();
}

TEST(Translator, LanguageTwoReachesWindowControlsListsAndCollections) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Design one"));

    translator->SetActiveLanguage(2);

    EXPECT_EQ(translator->Language(), QStringLiteral("Deutsch"));
    EXPECT_EQ(form->Caption(), QStringLiteral("Fenster"));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
    EXPECT_EQ(CaptionOf(form.get(), "lblTwo"), QStringLiteral("Zwei"));
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblOne"))->property("Hint").toString(),
              QStringLiteral("Hinweis eins"));
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblTwo"))->property("Hint").toString(),
              QStringLiteral("Zweiter Hinweis"));
    // A line naming a component the window lacks, or an item index past the end, is skipped.
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblMissing")), nullptr);
    auto* list = qobject_cast<TTestList*>(form->FindComponent(QStringLiteral("lstItems")));
    EXPECT_EQ(list->Items()->List(), QStringList({u"x"_s, u"y z"_s, u"w"_s}));
    EXPECT_EQ(qobject_cast<TTestColumn*>(list->Columns()->Item(1))->Title, QStringLiteral("Groesse"));
    // "Name" is never translated: the component keeps its name.
    EXPECT_NE(form->FindComponent(QStringLiteral("lblOne")), nullptr);
}

TEST(Translator, MultiLineOverwriteKeepsTheSelection) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    auto* list = qobject_cast<TTestList*>(form->FindComponent(QStringLiteral("lstItems")));
    list->ItemIndex = 1;
    TranslatorOf(form.get())->SetActiveLanguage(2);
    EXPECT_EQ(list->ItemIndex, 1);
}

struct TFallbackRow {
    const char* Name;
    QByteArray TranslateType;
    QString WindowCaption;
    QString LabelCaption;
};

const TFallbackRow kFallbacks[] = {
    {"GetDefaultTakesLanguageOne", "ttGetDefault", QStringLiteral("Window"), QStringLiteral("One")},
    {"NoChangeKeepsTheText", "ttNoChange", QStringLiteral("Design window"), QStringLiteral("Design one")},
};

class TranslatorFallback : public testing::TestWithParam<TFallbackRow> {};

TEST_P(TranslatorFallback, EmptyValueOfLanguageThree) {
    const auto form = MakeTestForm(TranslationData(StandardSections()),
                                   "    TranslateType = " + GetParam().TranslateType + "\n");
    TranslatorOf(form.get())->SetActiveLanguage(3);
    EXPECT_EQ(form->Caption(), GetParam().WindowCaption);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), GetParam().LabelCaption);
    EXPECT_EQ(CaptionOf(form.get(), "lblTwo"), QStringLiteral("Dva"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslatorFallback, testing::ValuesIn(kFallbacks),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(Translator, SameLanguageAgainDoesNotReapply) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    form->FindComponent(QStringLiteral("lblOne"))->setProperty("Caption", QStringLiteral("Changed by hand"));
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Changed by hand"));
}

struct TRangeRow {
    const char* Name;
    std::function<void(TTranslator*)> Write;
    QString Message;
};

const TRangeRow kRanges[] = {
    {"LanguageZero", [](TTranslator* t) { t->SetActiveLanguage(0); },
     QStringLiteral("0 - is not a valid property value!\rValue must be within [1..3]!")},
    {"LanguageAboveCount", [](TTranslator* t) { t->SetActiveLanguage(4); },
     QStringLiteral("4 - is not a valid property value!\rValue must be within [1..3]!")},
    {"NoLanguages", [](TTranslator* t) { t->SetNumOfLanguages(0); },
     QStringLiteral("0 - is not a valid property value !\rValue must be more than ZERO !")},
    {"NegativeLanguages", [](TTranslator* t) { t->SetNumOfLanguages(-2); },
     QStringLiteral("-2 - is not a valid property value !\rValue must be more than ZERO !")},
    {"TooManyLanguages", [](TTranslator* t) { t->SetNumOfLanguages(1001); },
     QStringLiteral("1001 - is not a valid property value !\rValue must not exceed 1000 !")},
    {"UnknownLanguageName", [](TTranslator* t) { t->SetLanguage(QStringLiteral("Klingon")); },
     QStringLiteral("Language name shall be included in LangNames property!")},
    {"SecondTranslator", [](TTranslator* t) { TTranslator second(t->parent()); },
     QStringLiteral("Only one TCustomTranslator component per Form/DataModule allowed!")},
    {"UnknownIdWhenAsked",
     [](TTranslator* t) {
         t->SetDoRaiseExceptions(true);
         t->GetTextById(QStringLiteral("IDS_99"));
     },
     QStringLiteral("String identifier \"IDS_99\" not found!")},
};

class TranslatorRange : public testing::TestWithParam<TRangeRow> {};

TEST_P(TranslatorRange, RaisesELanguageErrorAndChangesNothing) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    try {
        GetParam().Write(translator);
        FAIL() << "no error";
    } catch (const ELanguageError& e) {
        EXPECT_EQ(e.Message(), GetParam().Message);
    }
    EXPECT_EQ(translator->ActiveLanguage(), 1);
    EXPECT_EQ(translator->NumOfLanguages(), 3);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Design one"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslatorRange, testing::ValuesIn(kRanges),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(Translator, LanguageNameSelectsItsLanguage) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TranslatorOf(form.get())->SetLanguage(QStringLiteral("deutsch"));
    EXPECT_EQ(TranslatorOf(form.get())->ActiveLanguage(), 2);
    EXPECT_EQ(CaptionOf(form.get(), "lblTwo"), QStringLiteral("Zwei"));
}

TEST(Translator, FewerLanguagesCutTheValuesAndTheNames) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetNumOfLanguages(1);
    EXPECT_EQ(translator->LangNames()->List(), QStringList({u"English"_s}));
    EXPECT_EQ(translator->Captions()->Strings(1), QStringLiteral("lblOne\x01One"));
    translator->SetNumOfLanguages(2);
    EXPECT_EQ(translator->LangNames()->List(), QStringList({u"English"_s, u"Language N2"_s}));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("Hello"));
}

struct TDelimiterRow {
    const char* Name;
    QByteArray Properties;
};

const TDelimiterRow kDelimiters[] = {
    {"StoredTabDelimiter", "    LangDelim = 9\n"},
    {"TabsFoundInTheData", ""},
};

class TranslatorTabData : public testing::TestWithParam<TDelimiterRow> {};

TEST_P(TranslatorTabData, BecomesByteOneDelimited) {
    TSections sections = StandardSections();
    sections.push_back({"stDlgsCaptions", {Entry("Warning", {"Warning", "Warnung", ""})}});
    const auto form = MakeTestForm(TranslationData(sections, "\t"), GetParam().Properties);
    TTranslator* translator = TranslatorOf(form.get());
    EXPECT_EQ(translator->LangDelim(), 1);
    EXPECT_FALSE(translator->Captions()->Text().contains(QLatin1Char('\t')));
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("ids_1")), QStringLiteral("Hallo"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslatorTabData, testing::ValuesIn(kDelimiters),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(Translator, ExclusionsKeepTheirProperties) {
    const auto form =
        MakeTestForm(TranslationData(StandardSections()),
                     "    ExcludedProperties.Strings = ('Hint')\n"
                     "    SmartExcludeProps.Strings = ('lblTwo.Caption', 'TfrmTranslatorTest.Caption',"
                     " 'lstItems.Items')\n"
                     "    DoNotTranslate.Strings = ('lblThree')\n");
    TTranslator* translator = TranslatorOf(form.get());
    EXPECT_EQ(translator->Hints()->Count(), 0);
    EXPECT_EQ(translator->MultiLines()->Count(), 0);
    translator->SetActiveLanguage(2);
    EXPECT_EQ(form->Caption(), QStringLiteral("Design window"));
    EXPECT_EQ(CaptionOf(form.get(), "lblTwo"), QStringLiteral("Design two"));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Eins"));
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblOne"))->property("Hint").toString(),
              QStringLiteral("Design hint"));
    EXPECT_EQ(FontOf(form.get(), "lblThree")->Name(), QStringLiteral("Tahoma"));
}

TEST(Translator, StringsByIdFallBackToLanguageOne) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("Hallo"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("ids_3")), QStringLiteral("Question"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_99")), QString());
}

TEST(Translator, StoredLineBreaksBecomeRealOnes) {
    const auto form = MakeTestForm(TranslationData({{"stCaptions",
                                                     {Entry("lblOne", {"A\x19\x1A"
                                                                       "B",
                                                                       "C\x19\x1A"
                                                                       "D",
                                                                       ""})}},
                                                    {"stStrings",
                                                     {Entry("IDS_1", {"1\x19\x1A"
                                                                      "2",
                                                                      "", ""})}}}));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("C\r\nD"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("1\r\n2"));
    EXPECT_TRUE(
        translator->WriteTranslationData().contains("C\x19\x1A"
                                                    "D"));
}

TEST(Translator, FontsAndCharsetsOfControlsAndWindow) {
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    EXPECT_EQ(form->Font()->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(form->Font()->Charset(), GREEK_CHARSET);
    EXPECT_EQ(translator->LanguageCharset(), GREEK_CHARSET);
    EXPECT_EQ(FontOf(form.get(), "lblThree")->Name(), QStringLiteral("Courier"));
    // Control charsets match in any case; the window's only exactly.
    EXPECT_EQ(FontOf(form.get(), "lblThree")->Charset(), RUSSIAN_CHARSET);
    // lblOne takes its parent's font, whatever its own entry says.
    EXPECT_EQ(FontOf(form.get(), "lblOne")->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(FontOf(form.get(), "lblOne")->Charset(), GREEK_CHARSET);

    translator->SetActiveLanguage(3);
    EXPECT_EQ(form->Font()->Charset(), GREEK_CHARSET);
    EXPECT_EQ(translator->LanguageCharset(), DEFAULT_CHARSET);
    EXPECT_EQ(FontOf(form.get(), "lblThree")->Charset(), RUSSIAN_CHARSET);
}

TEST(Translator, ExtendedTranslationWritesByTypeKind) {
    const auto form = MakeTestForm(TranslationData(StandardSections()),
                                   "    ExtendedTranslations = <\n"
                                   "      item\n"
                                   "        Identifier = 'lblOne.Left'\n"
                                   "        PropertyType = tkInteger\n"
                                   "        ValuesEx = {313101323201 01}\n"
                                   "      end\n"
                                   "      item\n"
                                   "        Identifier = 'lblTwo.Font.Style'\n"
                                   "        PropertyType = tkSet\n"
                                   "        ValuesEx = {5B5D01 5B6673426F6C645D01 01}\n"
                                   "      end\n"
                                   "      item\n"
                                   "        Identifier = 'lblThree.Left'\n"
                                   "        PropertyType = tkInteger\n"
                                   "        ValuesEx = {3101 783101 01}\n"
                                   "      end>\n");
    TTranslator* translator = TranslatorOf(form.get());
    ASSERT_EQ(translator->ExtendedTranslations()->Count(), 3);
    translator->SetActiveLanguage(2);
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblOne"))->property("Left").toInt(), 22);
    EXPECT_EQ(FontOf(form.get(), "lblTwo")->Style(), TFontStyles(fsBold));
    // A value that is no number is skipped.
    EXPECT_EQ(form->FindComponent(QStringLiteral("lblThree"))->property("Left").toInt(), 0);
}

struct TCodePageRow {
    const char* Name;
    QByteArray Charset;
    bool StoreAsUtf8;
    QByteArray Stored;
    QString Shown;
};

const TCodePageRow kCodePages[] = {
    {"GermanCp1252UnderDefault", "DEFAULT_CHARSET", false, "Schlie\xDF\x65n", QStringLiteral("Schließen")},
    {"RussianCp1251", "RUSSIAN_CHARSET", false, "\xC7\xE0\xEA\xF0\xFB\xF2\xFC", QStringLiteral("Закрыть")},
    {"GreekCp1253", "GREEK_CHARSET", false, "\xCA\xEB\xE5\xDF\xF3\xE9\xEC\xEF", QStringLiteral("Κλείσιμο")},
    {"JapaneseUtf8", "SHIFTJIS_CHARSET", true, "\xE9\x96\x89\xE3\x81\x98\xE3\x82\x8B",
     QStringLiteral("閉じる")},
    {"UkrainianUtf8UnderDefault", "DEFAULT_CHARSET", false, "\xD0\x97\xD0\xB0", QStringLiteral("За")},
};

class TranslatorCodePage : public testing::TestWithParam<TCodePageRow> {};

TEST_P(TranslatorCodePage, ShowsTheRightCharacters) {
    const TScopedEnv all("LC_ALL", "en_US.UTF-8");
    const TCodePageRow& row = GetParam();
    const auto form = MakeTestForm(
        TranslationData(
            {{"stCaptions", {Entry("lblOne", {"One", row.Stored, ""})}},
             {"stStrings", {Entry("IDS_3", {"Question", row.Stored, ""})}},
             {"stCharSets", {Entry("TfrmTranslatorTest", {"DEFAULT_CHARSET", row.Charset, ""})}}}),
        row.StoreAsUtf8 ? "    StoreAsUTF8 = True\n" : "");
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), row.Shown);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_3")), row.Shown);
    translator->SetActiveLanguage(1);
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("One"));
}

INSTANTIATE_TEST_SUITE_P(Table, TranslatorCodePage, testing::ValuesIn(kCodePages),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(Translator, DefaultCharsetTextFromARussianMachine) {
    KW_SKIP_UNLESS_LOCALE_DECIDES_CODE_PAGE();
    const TScopedEnv all("LC_ALL", "ru_RU.UTF-8");
    const auto form = MakeTestForm(TranslationData({{"stStrings", {Entry("IDS_3", {"Q", "\xC7\xE0", ""})}}}));
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_3")), QStringLiteral("За"));
}

struct TMalformedRow {
    const char* Name;
    QByteArray Data;
};

const TMalformedRow kMalformed[] = {
    {"Empty", ""},
    {"NoHeader", "lblOne\x01One\x01\r\n"},
    {"HeaderOnlyOnTheLastLine", "stCaptions"},
    {"BareKeys", "stCaptions\r\nlblOne\r\n\x01\r\n\r\nstStrings\r\nIDS_1\r\n\x01\x01\x01\x01\x01\r\n"},
    {"UnknownSectionAndBinary",
     "stListView_TreeView_Items\r\nx\x01y\r\nstCollections\r\n\xFF\xFE[.]\x01z\r\n"
     "lstItems.Columns[-1].Title\x01q\x01\r\nlstItems.Columns[.\x01q\r\n"},
};

class TranslatorMalformedData : public testing::TestWithParam<TMalformedRow> {};

TEST_P(TranslatorMalformedData, LoadsAndAppliesWithoutHarm) {
    const auto form = MakeTestForm(GetParam().Data);
    TTranslator* translator = TranslatorOf(form.get());
    translator->SetActiveLanguage(2);
    translator->SetActiveLanguage(3);
    EXPECT_EQ(CaptionOf(form.get(), "lblTwo"), QStringLiteral("Design two"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QString());
}

INSTANTIATE_TEST_SUITE_P(Table, TranslatorMalformedData, testing::ValuesIn(kMalformed),
                         [](const auto& row) { return std::string(row.param.Name); });

}  // namespace
