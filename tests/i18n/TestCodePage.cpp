#include "platform/CodePage.h"
#include "tests/support/Locale.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

// Failing rows print by name.
template <typename TRow>
requires requires(const TRow& row) {
    row.Name;
}
void PrintTo(const TRow& row, std::ostream* out) {
    *out << row.Name;
}

struct TCodePageRow {
    const char* Name;
    int CodePage;
    QByteArray Bytes;
    QString Text;
};

const TCodePageRow kCodePages[] = {
    {"EastEurope1250", 1250, "\xA3\xF3\x64\x9F", QStringLiteral("Łódź")},
    {"Cyrillic1251", 1251, "\xC7\xE0\xEA\xF0\xFB\xF2\xFC", QStringLiteral("Закрыть")},
    {"Western1252", 1252, "Schlie\xDF\x65n", QStringLiteral("Schließen")},
    {"Greek1253", 1253, "\xCA\xEB\xE5\xDF\xF3\xE9\xEC\xEF", QStringLiteral("Κλείσιμο")},
    {"Turkish1254", 1254, "Kapat\xFDls\xFDn", QStringLiteral("Kapatılsın")},
    {"Hebrew1255", 1255, "\xF1\xE2\xE5\xF8", QStringLiteral("סגור")},
    {"Arabic1256", 1256, "\xC5\xDB\xE1\xC7\xDE", QStringLiteral("إغلاق")},
    {"Baltic1257", 1257, "U\xFE\x64\x61ryti", QStringLiteral("Uždaryti")},
    {"Vietnamese1258", 1258, "\xD0\xF3ng", QStringLiteral("Đóng")},
    {"Thai874", 874, "\xBB\xD4\xB4", QStringLiteral("ปิด")},
    {"Japanese932", 932, "\x95\xC2\x82\xB6\x82\xE9", QStringLiteral("閉じる")},
    {"SimplifiedChinese936", 936, "\xB9\xD8\xB1\xD5", QStringLiteral("关闭")},
    {"Korean949", 949, "\xB4\xDD\xB1\xE2", QStringLiteral("닫기")},
    {"TraditionalChinese950", 950, "\xC3\xF6\xB3\xAC", QStringLiteral("關閉")},
    {"Johab1361", 1361, "\x94\x68\x8B\xA1", QStringLiteral("닫기")},
    {"Oem437", 437, "Caf\x82", QStringLiteral("Café")},
    {"Utf8", CP_UTF8, "\xE9\x96\x89", QStringLiteral("閉")},
};

class CodePage : public testing::TestWithParam<TCodePageRow> {};

TEST_P(CodePage, DecodesAndEncodesBothWays) {
    const TCodePageRow& row = GetParam();
    EXPECT_TRUE(IsCodePageSupported(row.CodePage));
    EXPECT_EQ(DecodeCodePage(row.Bytes, row.CodePage), row.Text);
    EXPECT_EQ(EncodeCodePage(row.Text, row.CodePage), row.Bytes);
}

INSTANTIATE_TEST_SUITE_P(Table, CodePage, testing::ValuesIn(kCodePages),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(CodePageErrors, UndefinedAndCutBytesBecomeReplacementCharacters) {
    const QString bad(QChar(0xFFFD));
    // 0xAA is not defined in 1253; a lead byte of 932 without its second byte.
    EXPECT_EQ(DecodeCodePage("a\xAA"
                             "b",
                             1253),
              QStringLiteral("a") + bad + QStringLiteral("b"));
    EXPECT_EQ(DecodeCodePage("x\x95", 932), QStringLiteral("x") + bad);
    EXPECT_EQ(DecodeCodePage("\xFF\xFE", CP_UTF8), bad + bad);
    // Characters a code page lacks are written as '?', the rest kept.
    EXPECT_EQ(EncodeCodePage(QStringLiteral("A閉Ω"), 1252), QByteArray("A??"));
    // An unknown code page reads the bytes as Latin-1 rather than failing.
    EXPECT_FALSE(IsCodePageSupported(1200));
    EXPECT_EQ(DecodeCodePage("\xE9", 1200), QStringLiteral("é"));
}

TEST(CodePageErrors, LongAndBinaryInputIsConvertedWhole) {
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes += static_cast<char>(i % 256);
    const QString text = DecodeCodePage(bytes, 932);
    EXPECT_GT(text.size(), 30000);
    EXPECT_EQ(DecodeCodePage(bytes, 1251).size(), bytes.size());
}

struct TLocaleRow {
    const char* Name;
    const char* Locale;
    int CodePage;
};

const TLocaleRow kLocales[] = {
    {"EnglishDefault", "en_US.UTF-8", 1252},
    {"German", "de_DE.UTF-8", 1252},
    {"Posix", "C", 1252},
    {"Russian", "ru_RU.UTF-8", 1251},
    {"Ukrainian", "uk_UA", 1251},
    {"Greek", "el_GR.UTF-8", 1253},
    {"Turkish", "tr_TR", 1254},
    {"Hebrew", "he_IL.UTF-8", 1255},
    {"Arabic", "ar_EG", 1256},
    {"Lithuanian", "lt_LT", 1257},
    {"Vietnamese", "vi_VN", 1258},
    {"Polish", "pl_PL.UTF-8", 1250},
    {"Czech", "cs_CZ", 1250},
    {"Hungarian", "hu_HU", 1250},
    {"SerbianCyrillic", "sr_RS", 1251},
    {"SerbianLatin", "sr_RS@latin", 1250},
    {"Japanese", "ja_JP.UTF-8", 932},
    {"ChinaChinese", "zh_CN.UTF-8", 936},
    {"TaiwanChinese", "zh_TW.UTF-8", 950},
    {"HongKongChinese", "zh_HK", 950},
    {"Korean", "ko_KR.EUC-KR", 949},
    {"Thai", "th_TH", 874},
};

class LocaleCodePage : public testing::TestWithParam<TLocaleRow> {};

TEST_P(LocaleCodePage, FollowsTheLanguageOfTheLocale) {
    EXPECT_EQ(AnsiCodePageOfLocale(GetParam().Locale), GetParam().CodePage);
}

INSTANTIATE_TEST_SUITE_P(Table, LocaleCodePage, testing::ValuesIn(kLocales),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST(SystemCodePage, LcAllWinsAndAcpReadsUtf8FirstThenTheLocalePage) {
    KW_SKIP_UNLESS_LOCALE_DECIDES_CODE_PAGE();
    const TScopedEnv lang("LANG", "de_DE.UTF-8");
    const TScopedEnv ctype("LC_CTYPE", "");
    {
        const TScopedEnv all("LC_ALL", "ru_RU.UTF-8");
        EXPECT_EQ(SystemAnsiCodePage(), 1251);
        EXPECT_EQ(DecodeCodePage("\xC7\xE0", CP_ACP), QStringLiteral("За"));
        EXPECT_EQ(DecodeCodePage("\xD0\x97\xD0\xB0", CP_ACP), QStringLiteral("За"));
    }
    const TScopedEnv all("LC_ALL", "");
    EXPECT_EQ(SystemAnsiCodePage(), 1252);
    EXPECT_EQ(DecodeCodePage("Schlie\xDF\x65n", CP_ACP), QStringLiteral("Schließen"));
}

TEST(CharsetCodePage, NamedCharsetsHaveTheirPageOthersTheSystems) {
    const std::pair<int, int> rows[] = {{0, 1252},   {1, CP_ACP}, {2, CP_ACP}, {77, CP_ACP},  {128, 932},
                                        {129, 949},  {130, 1361}, {134, 936},  {136, 950},    {161, 1253},
                                        {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},   {186, 1257},
                                        {204, 1251}, {222, 874},  {238, 1250}, {255, CP_ACP}, {99, CP_ACP}};
    for (const auto& [charset, codePage] : rows)
        EXPECT_EQ(CharsetCodePage(charset), codePage) << "charset " << charset;
}

}  // namespace
