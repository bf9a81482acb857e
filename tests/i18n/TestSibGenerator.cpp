#include "i18n/TSIBFileManager.h"
#include "i18n/TSibGenerator.h"
#include "tests/i18n/TranslationTestForm.h"
#include "tests/support/TempFolder.h"
#include "toolkit/TControl.h"

#include <gtest/gtest.h>

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
    file.Languages = {{"English"}, {"Deutsch"}, {"Русский", "RUSSIAN_CHARSET", "CP1251"}};
    file.FixedLanguages = {"Russian", "English"};
    file.Windows.push_back(TSibWindow("TfrmOther"));
    TSibWindow window("TfrmTranslatorTest");
    window.Captions("lblOne", {"One", "Schließen", "Закрыть"})
        .Captions("TfrmTranslatorTest", {"Window", "Fenster", "Окно"})
        .Hints("lblOne", {"Hint", "Zeile 1\r\nZeile 2", "Подсказка"})
        .Fonts("lblThree", {"Tahoma", "Courier", "Arial"})
        .CharSets("lblThree", {"DEFAULT_CHARSET", "DEFAULT_CHARSET", "RUSSIAN_CHARSET"})
        .MultiLines("lstItems.Items", {"a,b", "x,\"y z\",ä", "я"})
        .DlgsCaptions("Yes", {"&Yes", "&Ja", "&Да"})
        .Strings("IDS_1", {"Hello", "", "Привет"})
        .OtherStrings("lblTwo.Hint", {"", "Zweiter", "Второй"})
        .Collections("lstItems.Columns[1].Title", {"Size", "Größe", "Размер"})
        .ExtendedTranslation("lblOne.Left", "tkInteger", {"11", "22", "33"});
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

    EXPECT_EQ(translator->LangNames()->List(), QStringList({"English", "Deutsch", "Русский"}));
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
    EXPECT_EQ(manager.FixedLanguages(), QStringList({"English", "Russian"}));
}

INSTANTIATE_TEST_SUITE_P(Storages, SibGenerator, testing::ValuesIn(kStorages),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SibGeneratorText, ValuesAreEncodedAndEscapedAsStored) {
    TSibDescription file;
    file.Languages = {{"English"}, {"Русский", "RUSSIAN_CHARSET", "CP1251"}};
    TSibWindow window("TfrmMain");
    window.WindowCharsets = false;
    window.Strings("IDS_1", {"a\r\nb", "Да"});
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
