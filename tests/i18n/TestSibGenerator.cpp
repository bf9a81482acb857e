#include "i18n/files/TSIBFileManager.h"
#include "i18n/files/TSibGenerator.h"
#include "tests/i18n/TranslationTestForm.h"
#include "tests/support/TempFolder.h"
#include "toolkit/TControl.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct TStorageRow {
    const char* Name;
    bool StoreAsUTF8;
    bool TabDelimited;
};

void PrintTo(const TStorageRow& row, std::ostream* out) {
    *out << row.Name;
}

const TStorageRow kStorages[] = {
    {"CodePages", false, false},
    {"Utf8", true, false},
    {"CodePagesTabDelimited", false, true},
    {"Utf8TabDelimited", true, true},
};

// English and German in cp1252, Russian in cp1251 (or all in UTF-8): one entry of
// every kind for the test window.
TSibDescription Description(const TStorageRow& row) {
    TSibDescription file;
    file.StoreAsUTF8 = row.StoreAsUTF8;
    file.TabDelimited = row.TabDelimited;
    file.Languages = {{u"English"_s}, {u"Deutsch"_s}, {u"Русский"_s, u"RUSSIAN_CHARSET"_s, "CP1251"}};
    file.FixedLanguages = {u"Russian"_s, u"English"_s};
    file.Windows.push_back(TSibWindow(u"TfrmOther"_s));
    TSibWindow window(u"TfrmTranslatorTest"_s);
    window.Captions(u"lblOne"_s, {u"One"_s, u"Schließen"_s, u"Закрыть"_s})
        .Captions(u"TfrmTranslatorTest"_s, {u"Window"_s, u"Fenster"_s, u"Окно"_s})
        .Hints(u"lblOne"_s, {u"Hint"_s, u"Zeile 1\r\nZeile 2"_s, u"Подсказка"_s})
        .Fonts(u"lblThree"_s, {u"Tahoma"_s, u"Courier"_s, u"Arial"_s})
        .CharSets(u"lblThree"_s, {u"DEFAULT_CHARSET"_s, u"DEFAULT_CHARSET"_s, u"RUSSIAN_CHARSET"_s})
        .MultiLines(u"lstItems.Items"_s, {u"a,b"_s, u"x,\"y z\",ä"_s, u"я"_s})
        .DlgsCaptions(u"Yes"_s, {u"&Yes"_s, u"&Ja"_s, u"&Да"_s})
        .Strings(u"IDS_1"_s, {u"Hello"_s, u""_s, u"Привет"_s})
        .OtherStrings(u"lblTwo.Hint"_s, {u""_s, u"Zweiter"_s, u"Второй"_s})
        .Collections(u"lstItems.Columns[1].Title"_s, {u"Size"_s, u"Größe"_s, u"Размер"_s})
        .ExtendedTranslation(u"lblOne.Left"_s, u"tkInteger"_s, {u"11"_s, u"22"_s, u"33"_s});
    file.Windows.push_back(window);
    return file;
}

class SibGenerator : public testing::TestWithParam<TStorageRow> {
protected:
    TTempFolder FFolder;
};

TEST_P(SibGenerator, FileLoadsEveryKindIntoTheTranslator) {
    const TScopedEnv all("LC_ALL", "de_DE.UTF-8");
    const TSibDescription description = Description(GetParam());
    const QString path = FFolder.Write(QStringLiteral("Translate.sib"), TSibGenerator::File(description));
    const auto form = MakeTestForm(TranslationData(StandardSections()));
    TTranslator* translator = TranslatorOf(form.get());
    translator->LoadFromSIB(path);

    EXPECT_EQ(translator->LangNames()->List(), QStringList({u"English"_s, u"Deutsch"_s, u"Русский"_s}));
    EXPECT_EQ(translator->StoreAsUTF8(), GetParam().StoreAsUTF8);
    EXPECT_EQ(translator->LangDelim(), 1);
    // The window's own lines come first, the generated charset line included.
    EXPECT_TRUE(translator->Captions()->Strings(0).startsWith(QStringLiteral("TfrmTranslatorTest\x01")));
    EXPECT_TRUE(translator->CharSets()->Strings(0).startsWith(QStringLiteral("TfrmTranslatorTest\x01")));
    EXPECT_TRUE(translator->DlgsCaptions()->Strings(0).startsWith(QStringLiteral("Yes\x01&Yes\x01")));

    const auto* lblOne = qobject_cast<TControl*>(form->FindComponent(QStringLiteral("lblOne")));
    const auto* lblTwo = qobject_cast<TControl*>(form->FindComponent(QStringLiteral("lblTwo")));
    const auto* lblThree = qobject_cast<TControl*>(form->FindComponent(QStringLiteral("lblThree")));
    QObject* list = form->FindComponent(QStringLiteral("lstItems"));
    ASSERT_TRUE(lblOne && lblTwo && lblThree && list);
    const auto items = [&] { return list->property("Items").value<TStrings*>()->CommaText(); };
    const auto title = [&] {
        return list->property("Columns").value<TTestColumns*>()->Item(1)->property("Title").toString();
    };

    translator->SetActiveLanguage(2);
    EXPECT_EQ(form->Caption(), QStringLiteral("Fenster"));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Schließen"));
    EXPECT_EQ(lblOne->property("Hint").toString(), QStringLiteral("Zeile 1\r\nZeile 2"));
    EXPECT_EQ(lblThree->Font()->Name(), QStringLiteral("Courier"));
    EXPECT_EQ(items(), QStringLiteral("x,\"y z\",ä"));
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("Hello"));
    EXPECT_EQ(lblTwo->property("Hint").toString(), QStringLiteral("Zweiter"));
    EXPECT_EQ(title(), QStringLiteral("Größe"));
    EXPECT_EQ(lblOne->property("Left").toInt(), 22);

    translator->SetActiveLanguage(3);
    EXPECT_EQ(translator->LanguageCharset(), tk::RUSSIAN_CHARSET);
    EXPECT_EQ(form->Caption(), QStringLiteral("Окно"));
    EXPECT_EQ(CaptionOf(form.get(), "lblOne"), QStringLiteral("Закрыть"));
    EXPECT_EQ(lblThree->Font()->Charset(), tk::RUSSIAN_CHARSET);
    EXPECT_EQ(translator->GetTextById(QStringLiteral("IDS_1")), QStringLiteral("Привет"));
    EXPECT_EQ(title(), QStringLiteral("Размер"));
    EXPECT_EQ(lblOne->property("Left").toInt(), 33);

    TSIBFileManager manager;
    EXPECT_FALSE(manager.ReadTranslator(path, QStringLiteral("TfrmMissing")));
    EXPECT_EQ(manager.FixedLanguages(), QStringList({u"English"_s, u"Russian"_s}));
}

INSTANTIATE_TEST_SUITE_P(Storages, SibGenerator, testing::ValuesIn(kStorages),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(SibGeneratorText, ValuesAreEncodedAndEscapedAsStored) {
    TSibDescription file;
    file.Languages = {{u"English"_s}, {u"Русский"_s, u"RUSSIAN_CHARSET"_s, "CP1251"}};
    TSibWindow window(u"TfrmMain"_s);
    window.WindowCharsets = false;
    window.Strings(u"IDS_1"_s, {u"a\r\nb"_s, u"Да"_s});
    const QByteArray data = TSibGenerator::TranslationData(file, window);
    EXPECT_TRUE(
        data.contains("stStrings\r\nIDS_1\x01"
                      "a\x19\x1A"
                      "b\x01\xC4\xE0\x01\r\nstOtherStrings\r\n"));
    EXPECT_TRUE(data.startsWith("stCaptions\r\nstHints\r\n"));
    EXPECT_TRUE(data.endsWith("stCollections\r\nstCharSets\r\n"));
    EXPECT_THROW(TSibGenerator::Encode(file, 1, QStringLiteral("日本")), std::invalid_argument);
}

}  // namespace
