#include "platform/posix/RegFile.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace {

const QByteArray KHeader = "Windows Registry Editor Version 5.00\n\n";

QByteArray Utf16LeWithBom(const QString& text) {
    QByteArray bytes("\xFF\xFE");
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

TRegValue Raw(std::uint32_t type, const QByteArray& data) {
    TRegValue value;
    value.Type = type;
    value.Data = data;
    return value;
}

TRegValue Qword(std::uint64_t number) {
    QByteArray data;
    for (int shift = 0; shift < 64; shift += 8)
        data.append(char((number >> shift) & 0xFF));
    return Raw(REG_QWORD, data);
}

std::string Show(const TRegValue& value) {
    return QStringLiteral("type %1, text '%2', data %3")
        .arg(value.Type)
        .arg(value.Text, QString::fromLatin1(value.Data.toHex(',')))
        .toStdString();
}

struct TParseCase {
    const char* Name;
    QByteArray Bytes;
    TRootKey Root;
    QString Key;
    QString Value;
    TRegValue Expected;
};

// hex(2) data for "%ProgramFiles%\Tessaly" as regedit exports it: UTF-16LE, 00,00
// terminator, wrapped with trailing backslashes and indented continuation lines.
const char* const KExpandLines =
    "\"Home\"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,\\\n"
    "  00,65,00,73,00,25,00,5c,00,54,00,65,00,73,00,73,00,61,00,6c,00,79,00,00,00\n";

std::vector<TParseCase> ParseCases() {
    const QString expandText = QStringLiteral("%ProgramFiles%\\Tessaly");
    const QString regeditExport = QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Kestrelweave\\Manager]\r\n"
        "\"LanguageIndex\"=dword:00000003\r\n"
        "\"Caption\"=\"Grüße \u4e16\u754c\"\r\n"
        "\"Home\"=hex(2):25,00,50,00,72,00,6f,00,67,00,72,00,61,00,6d,00,46,00,69,00,6c,\\\r\n"
        "  00,65,00,73,00,25,00,5c,00,54,00,65,00,73,00,73,00,61,00,6c,00,79,00,00,00\r\n"
        "\r\n");
    return {
        {"Utf8",
         KHeader +
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\n\"Tool\"=\"C:\\\\Tools\\\\t.exe\"\n",
         HKEY_LOCAL_MACHINE, u"SOFTWARE\\Kestrelweave\\AppPaths"_s, u"Tool"_s,
         TRegValue::String(u"C:\\Tools\\t.exe"_s)},
        {"Utf8WithByteOrderMark",
         "\xEF\xBB\xBF" + KHeader +
             "[HKEY_CURRENT_USER\\Software\\\xC3\x84]\n\"N\"=\"Gr\xC3\xBC\xC3\x9F"
             "e\"\n",
         HKEY_CURRENT_USER, QStringLiteral("Software\\Ä"), u"N"_s,
         TRegValue::String(QStringLiteral("Grüße"))},
        {"Utf16LeAsRegeditWritesIt_Dword", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         u"Software\\Kestrelweave\\Manager"_s, u"LanguageIndex"_s, TRegValue::Dword(3)},
        {"Utf16LeAsRegeditWritesIt_String", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         u"Software\\Kestrelweave\\Manager"_s, u"Caption"_s,
         TRegValue::String(QStringLiteral("Grüße \u4e16\u754c"))},
        {"Utf16LeAsRegeditWritesIt_Expand", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         u"Software\\Kestrelweave\\Manager"_s, u"Home"_s, TRegValue::String(expandText, REG_EXPAND_SZ)},
        {"CrlfLineEnds", "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\A]\r\n\"x\"=\"y\"\r\n",
         HKEY_CURRENT_USER, u"A"_s, u"x"_s, TRegValue::String(u"y"_s)},
        {"ExpandStringStaysUnexpanded", KHeader + "[HKCU\\A]\n" + KExpandLines, HKEY_CURRENT_USER, u"A"_s,
         u"Home"_s, TRegValue::String(expandText, REG_EXPAND_SZ)},
        {"EscapedQuotesAndBackslashes", KHeader + "[HKCU\\A]\n\"Say \\\"hi\\\"\"=\"a\\\\b\\\"c\\\\\"\n",
         HKEY_CURRENT_USER, u"A"_s, u"Say \"hi\""_s, TRegValue::String(u"a\\b\"c\\"_s)},
        {"LoneBackslashKeptAsIs", KHeader + "[HKCU\\A]\n\"p\"=\"C:\\path\"\n", HKEY_CURRENT_USER, u"A"_s,
         u"p"_s, TRegValue::String(u"C:\\path"_s)},
        {"StringHoldsSyntaxCharacters", KHeader + "[HKCU\\A]\n\"s\"=\"x=y; [z] @=\\\\ hex:00\"\n",
         HKEY_CURRENT_USER, u"A"_s, u"s"_s, TRegValue::String(u"x=y; [z] @=\\ hex:00"_s)},
        {"EmptyString", KHeader + "[HKCU\\A]\n\"e\"=\"\"\n", HKEY_CURRENT_USER, u"A"_s, u"e"_s,
         TRegValue::String(u""_s)},
        {"DefaultValue", KHeader + "[HKCU\\A]\n@=\"standard\"\n", HKEY_CURRENT_USER, u"A"_s, u""_s,
         TRegValue::String(u"standard"_s)},
        {"Dword", KHeader + "[HKCU\\A]\n\"d\"=dword:0000001f\n", HKEY_CURRENT_USER, u"A"_s, u"d"_s,
         TRegValue::Dword(31)},
        {"DwordUpperCase", KHeader + "[HKCU\\A]\n\"d\"=DWORD:FFFFFFFE\n", HKEY_CURRENT_USER, u"A"_s, u"d"_s,
         TRegValue::Dword(0xFFFFFFFEu)},
        {"BinaryOverContinuationLines", KHeader + "[HKCU\\A]\n\"b\"=hex:01,02,\\\n    03,\\\n\t04\n",
         HKEY_CURRENT_USER, u"A"_s, u"b"_s, Raw(REG_BINARY, QByteArray("\x01\x02\x03\x04", 4))},
        {"EmptyBinary", KHeader + "[HKCU\\A]\n\"b\"=hex:\n", HKEY_CURRENT_USER, u"A"_s, u"b"_s,
         Raw(REG_BINARY, {})},
        {"Qword", KHeader + "[HKCU\\A]\n\"q\"=hex(b):08,07,06,05,04,03,02,01\n", HKEY_CURRENT_USER, u"A"_s,
         u"q"_s, Qword(0x0102030405060708ull)},
        {"MultiStringKeptRaw", KHeader + "[HKCU\\A]\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\n",
         HKEY_CURRENT_USER, u"A"_s, u"m"_s, Raw(REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10))},
        {"UnknownTypeKeptRaw", KHeader + "[HKCU\\A]\n\"u\"=hex(7fff0099):de,ad\n", HKEY_CURRENT_USER, u"A"_s,
         u"u"_s, Raw(0x7fff0099, QByteArray("\xDE\xAD"))},
        {"HexStringBecomesText", KHeader + "[HKCU\\A]\n\"s\"=hex(1):41,00,42,00,00,00\n", HKEY_CURRENT_USER,
         u"A"_s, u"s"_s, TRegValue::String(u"AB"_s)},
        {"UnterminatedExpandKeepsItsBytes", KHeader + "[HKCU\\A]\n\"s\"=hex(2):41,00,42\n", HKEY_CURRENT_USER,
         u"A"_s, u"s"_s,
         [] {
             TRegValue value = Raw(REG_EXPAND_SZ, QByteArray("A\0B", 3));
             value.Text = u"A"_s;
             return value;
         }()},
        {"Regedit4EightBitExpand", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"t\"=hex(2):25,54,45,4d,50,25,00\n",
         HKEY_CURRENT_USER, u"A"_s, u"t"_s, TRegValue::String(u"%TEMP%"_s, REG_EXPAND_SZ)},
        {"Regedit4EightBitMultiString", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"m\"=hex(7):61,00,62,00,00\n",
         HKEY_CURRENT_USER, u"A"_s, u"m"_s, Raw(REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10))},
        {"AbbreviatedRoot", KHeader + "[hklm\\SOFTWARE\\K]\n\"x\"=\"1\"\n", HKEY_LOCAL_MACHINE,
         u"SOFTWARE\\K"_s, u"x"_s, TRegValue::String(u"1"_s)},
        {"RootKeyItself", KHeader + "[HKEY_LOCAL_MACHINE]\n\"x\"=\"1\"\n", HKEY_LOCAL_MACHINE, u""_s, u"x"_s,
         TRegValue::String(u"1"_s)},
        {"CommentsBlanksAndIndentation",
         KHeader + "; settings\n\n   [HKCU\\A]   \n  ; a comment\n\t\"x\" = \"y\"  \n\n", HKEY_CURRENT_USER,
         u"A"_s, u"x"_s, TRegValue::String(u"y"_s)},
        {"LaterDuplicateWins",
         KHeader + "[HKCU\\A]\n\"Name\"=\"first\"\n[hkcu\\a]\n\"NAME\"=dword:00000002\n", HKEY_CURRENT_USER,
         u"a"_s, u"name"_s, TRegValue::Dword(2)},
        {"NoFinalLineEnd", KHeader + "[HKCU\\A]\n\"x\"=\"y\"", HKEY_CURRENT_USER, u"A"_s, u"x"_s,
         TRegValue::String(u"y"_s)},
    };
}

class TRegFileParse : public testing::TestWithParam<TParseCase> {};

TEST_P(TRegFileParse, FindsTheValue) {
    const TParseCase& row = GetParam();
    TRegFile file(row.Root);
    QString error;
    ASSERT_TRUE(file.Parse(row.Bytes, u"/x/hive.reg"_s, error)) << error.toStdString();
    EXPECT_TRUE(file.KeyExists(row.Key));
    const TRegValue* value = file.FindValue(row.Key, row.Value);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, row.Expected) << Show(*value) << "\nexpected " << Show(row.Expected);

    // Whatever was read survives being written and read again.
    TRegFile again(row.Root);
    ASSERT_TRUE(again.Parse(file.Serialize(), u"/x/hive.reg"_s, error)) << error.toStdString();
    EXPECT_TRUE(again == file) << file.Serialize().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, TRegFileParse, testing::ValuesIn(ParseCases()),
                         [](const testing::TestParamInfo<TParseCase>& row) { return row.param.Name; });

struct TMalformedCase {
    const char* Name;
    QByteArray Bytes;
    int Line;
    const char* Problem;
};

std::vector<TMalformedCase> MalformedCases() {
    const QByteArray key = KHeader + "[HKEY_LOCAL_MACHINE\\A]\n";  // values start on line 4
    QByteArray oddUtf16 = Utf16LeWithBom(u"Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\A]\r\n"_s);
    oddUtf16.append('x');
    return {
        {"WrongHeader", "Windows Registry Editor Version 4.00\n", 1, "expected the header"},
        {"NoHeader", "[HKEY_LOCAL_MACHINE\\A]\n", 1, "expected the header"},
        {"UnterminatedString", key + "\"a\"=\"abc\n", 4, "no closing quote"},
        {"EscapedClosingQuote", key + "\"a\"=\"C:\\\"\n", 4, "no closing quote"},
        {"UnterminatedName", key + "\"abc=1\n", 4, "no closing quote"},
        {"TextAfterString", key + "\"a\"=\"b\" c\n", 4, "unexpected text after the string"},
        {"MissingEquals", key + "\"a\" \"b\"\n", 4, "expected \"name\"=value"},
        {"UnknownLine", key + "\"a\"=\"b\"\nfoo\n", 5, "expected \"name\"=value"},
        {"UnknownDataKind", key + "\"a\"=foo:1\n", 4, "unknown value data"},
        {"MissingData", key + "\"a\"=\n", 4, "unknown value data"},
        {"BadHexByte", key + "\"a\"=hex:01,zz\n", 4, "'zz' is not a hex byte"},
        {"ThreeDigitHexByte", key + "\"a\"=hex:123\n", 4, "not a hex byte"},
        {"EmptyHexByte", key + "\"a\"=hex:01,,02\n", 4, "empty byte"},
        {"BadHexOnContinuationLine", key + "\"a\"=hex:01,\\\n  02,\\\n  0g\n", 6, "'0g' is not a hex byte"},
        {"BadHexType", key + "\"a\"=hex(zz):00\n", 4, "bad value type"},
        {"HexWithoutColon", key + "\"a\"=hex(2)00\n", 4, "expected ':'"},
        {"ShortDword", key + "\"a\"=dword:1f\n", 4, "exactly 8 hex digits"},
        {"LongDword", key + "\"a\"=dword:000000001\n", 4, "exactly 8 hex digits"},
        {"NonHexDword", key + "\"a\"=dword:0000001g\n", 4, "exactly 8 hex digits"},
        {"ValueBeforeKey", KHeader + "\"a\"=\"b\"\n", 3, "before the first [key]"},
        {"OtherRoot", KHeader + "[HKEY_CURRENT_USER\\A]\n", 3, "outside HKEY_LOCAL_MACHINE"},
        {"UnknownRoot", KHeader + "[HKEY_CLASSES_ROOT\\A]\n", 3, "outside HKEY_LOCAL_MACHINE"},
        {"RootAsPrefixOnly", KHeader + "[HKEY_LOCAL_MACHINEX\\A]\n", 3, "outside HKEY_LOCAL_MACHINE"},
        {"KeyDeletion", KHeader + "[-HKEY_LOCAL_MACHINE\\A]\n", 3, "belongs in a patch"},
        {"ValueDeletion", key + "\"a\"=-\n", 4, "belongs in a patch"},
        {"MissingBracket", KHeader + "[HKEY_LOCAL_MACHINE\\A\n", 3, "expected ']'"},
        {"EmptyKeyName", KHeader + "[HKLM\\A\\\\B]\n", 3, "empty name"},
        {"TrailingBackslashInKey", KHeader + "[HKLM\\A\\]\n", 3, "empty name"},
        {"NulByte", key + QByteArray("\"a\"=\"b\0\"\n", 9), 4, "NUL byte"},
        {"Utf16WithoutByteOrderMark", QByteArray("W\0i\0n\0", 6), 1, "NUL byte"},
        {"InvalidUtf8", key + "\"a\"=\"\xC3\x28\"\n", 4, "not valid UTF-8"},
        {"OverlongUtf8", key + "\n\"a\"=\"\xC0\xAF\"\n", 5, "not valid UTF-8"},
        {"OddUtf16Length", oddUtf16, 4, "middle of a UTF-16 character"},
        {"LoneSurrogateUtf16",
         Utf16LeWithBom(QStringLiteral("Windows Registry Editor Version 5.00\r\n\"a\"=\"") + QChar(0xD800) +
                        u'"'),
         2, "broken UTF-16"},
        {"Utf16BigEndian", "\xFE\xFF\0W", 1, "big-endian"},
    };
}

class TRegFileMalformed : public testing::TestWithParam<TMalformedCase> {};

TEST_P(TRegFileMalformed, NamesFileAndLine) {
    const TMalformedCase& row = GetParam();
    TRegFile file(HKEY_LOCAL_MACHINE);
    QString error;
    ASSERT_FALSE(file.Parse(row.Bytes, u"/x/machine.reg"_s, error));
    const QString start =
        QStringLiteral("The registry file '/x/machine.reg' is damaged (line %1: ").arg(row.Line);
    EXPECT_TRUE(error.startsWith(start)) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromUtf8(row.Problem))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(u")."_s)) << error.toStdString();
    EXPECT_TRUE(file.KeyPaths().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, TRegFileMalformed, testing::ValuesIn(MalformedCases()),
                         [](const testing::TestParamInfo<TMalformedCase>& row) { return row.param.Name; });

TEST(TRegFile, EmptyFileIsAnEmptyHive) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\xFF\xFE"), QByteArray("\xEF\xBB\xBF")}) {
        TRegFile file(HKEY_CURRENT_USER);
        QString error;
        EXPECT_TRUE(file.Parse(bytes, u"f"_s, error)) << error.toStdString();
        EXPECT_TRUE(file.KeyPaths().isEmpty());
    }
}

// A name read again keeps its first place and spelling and takes its last value; the
// other names keep their order, and every name is found, also after new ones came.
TEST(TRegFile, ARepeatedNameKeepsItsFirstPlaceAndTakesItsLastValue) {
    TRegFile file(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(file.Parse(KHeader + "[HKCU\\A]\n\"b\"=\"1\"\n\"A\"=\"2\"\n\"B\"=\"3\"\n\"c\"=\"4\"\n"
                                     "[hkcu\\a]\n\"a\"=\"5\"\n\"d\"=\"6\"\n",
                           u"f"_s, error))
        << error.toStdString();
    EXPECT_EQ(file.ValueNames(u"A"_s), (QStringList{u"b"_s, u"A"_s, u"c"_s, u"d"_s}));
    const std::pair<const char*, const char*> expected[] = {{"B", "3"}, {"a", "5"}, {"C", "4"}, {"D", "6"}};
    for (const auto& [name, text] : expected) {
        const TRegValue* value = file.FindValue(u"a"_s, QLatin1String(name));
        ASSERT_NE(value, nullptr) << name;
        EXPECT_EQ(*value, TRegValue::String(QLatin1String(text))) << name;
    }
    for (const char* name : {"0", "zz", "aa", "Ba"})
        EXPECT_TRUE(file.SetValue(u"A"_s, QLatin1String(name), TRegValue::String(QLatin1String(name))));
    for (const char* name : {"b", "A", "c", "d", "0", "ZZ", "AA", "ba"})
        EXPECT_NE(file.FindValue(u"A"_s, QLatin1String(name)), nullptr) << name;
    EXPECT_EQ(file.FindValue(u"A"_s, u"e"_s), nullptr);
}

TEST(TRegFile, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    TRegFile file(HKEY_LOCAL_MACHINE);
    QString error;
    ASSERT_TRUE(file.Parse(KHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\n"
                                     "\"Tool\"=\"a\"\n\"\xC3\x84rger\"=\"b\"\n",
                           u"f"_s, error));
    EXPECT_TRUE(file.KeyExists(u"software\\KESTRELWEAVE\\apppaths"_s));
    EXPECT_TRUE(file.KeyExists(u"Software\\Kestrelweave"_s)) << "parents exist implicitly";
    EXPECT_TRUE(file.KeyExists(u"SOFTWARE"_s));
    EXPECT_FALSE(file.KeyExists(u"SOFTWARE\\Kestrel"_s)) << "a prefix of a name is not a parent";
    EXPECT_FALSE(file.KeyExists(u"SOFTWARE\\Kestrelweave\\AppPaths\\Sub"_s));
    ASSERT_NE(file.FindValue(u"SOFTWARE\\KESTRELWEAVE\\APPPATHS"_s, u"TOOL"_s), nullptr);
    ASSERT_NE(file.FindValue(u"SOFTWARE\\Kestrelweave\\AppPaths"_s, QStringLiteral("äRGER")), nullptr);
    EXPECT_EQ(file.FindValue(u"SOFTWARE\\Kestrelweave"_s, u"Tool"_s), nullptr);

    EXPECT_TRUE(file.SetValue(u"software\\kestrelweave\\apppaths"_s, u"TOOL"_s, TRegValue::Dword(1)));
    EXPECT_FALSE(file.CreateKey(u"SOFTWARE\\KESTRELWEAVE"_s));
    const QByteArray written = file.Serialize();
    EXPECT_TRUE(
        written.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\n\"Tool\"=dword:00000001\n"))
        << written.toStdString();
    EXPECT_FALSE(written.contains("TOOL"));
    EXPECT_EQ(file.KeyPaths(), QStringList{u"SOFTWARE\\Kestrelweave\\AppPaths"_s});
}

TEST(TRegFile, SetValueReportsWhetherTheHiveChanged) {
    TRegFile file(HKEY_CURRENT_USER);
    EXPECT_TRUE(file.SetValue(u"A\\B"_s, u"x"_s, TRegValue::String(u"1"_s)));
    EXPECT_FALSE(file.SetValue(u"a\\b"_s, u"X"_s, TRegValue::String(u"1"_s)));
    EXPECT_TRUE(file.SetValue(u"A\\B"_s, u"x"_s, TRegValue::Dword(1))) << "another type is another value";
    EXPECT_EQ(*file.FindValue(u"A\\B"_s, u"x"_s), TRegValue::Dword(1));
    EXPECT_FALSE(file.CreateKey(u"A"_s)) << "exists below A\\B";
    EXPECT_TRUE(file.CreateKey(u"A\\C"_s));
    EXPECT_FALSE(file.CreateKey(u"a\\c"_s));
}

TEST(TRegFile, NewKeysJoinTheirRelatives) {
    TRegFile file(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(file.Parse(KHeader + "[HKCU\\S\\A]\n[HKCU\\S\\A\\X]\n[HKCU\\T]\n", u"f"_s, error));
    file.CreateKey(u"S\\A\\Y"_s);
    file.CreateKey(u"S\\B"_s);
    file.SetValue(u""_s, u"top"_s, TRegValue::String(u"v"_s));
    file.CreateKey(u"U"_s);
    EXPECT_EQ(file.KeyPaths(),
              (QStringList{u""_s, u"S\\A"_s, u"S\\A\\X"_s, u"S\\A\\Y"_s, u"S\\B"_s, u"T"_s, u"U"_s}));
}

TEST(TRegFile, StorableNames) {
    EXPECT_TRUE(TRegFile::IsStorableKeyPath(u""_s));
    EXPECT_TRUE(TRegFile::IsStorableKeyPath(u"A\\B c\\]d["_s));
    for (const QString& bad :
         {QStringLiteral("\\A"), QStringLiteral("A\\"), QStringLiteral("A\\\\B"), QStringLiteral("A\nB"),
          QStringLiteral("A\rB"), QString(QChar(0)), QString(QChar(0xDC00))})
        EXPECT_FALSE(TRegFile::IsStorableKeyPath(bad)) << bad.toStdString();
    EXPECT_TRUE(TRegFile::IsStorableValueName(u""_s));
    EXPECT_TRUE(TRegFile::IsStorableValueName(u"a\\b\"c"_s));
    EXPECT_FALSE(TRegFile::IsStorableValueName(u"a\nb"_s));
}

// A hive holding every awkward thing a program can store.
TRegFile AwkwardHive() {
    TRegFile file(HKEY_CURRENT_USER);
    const QString key = QStringLiteral("Software\\Kestrelweave\\Spaced ] Key \u00e9\U0001F600");
    file.SetValue(key, u""_s, TRegValue::String(u"default"_s));
    file.SetValue(key, u"@"_s, TRegValue::String(u"a value named at"_s));
    file.SetValue(key, u"quote\"back\\slash"_s, TRegValue::String(u"C:\\dir\\\"q\"\\"_s));
    file.SetValue(key, u"lines"_s, TRegValue::String(u"one\r\ntwo\nthree"_s));
    file.SetValue(key, u"nul"_s, TRegValue::String(QString(u"a"_s) + QChar(0) + u"b"_s));
    file.SetValue(key, u"lone surrogate"_s, TRegValue::String(QString(u"x"_s) + QChar(0xD800)));
    file.SetValue(key, u"empty"_s, TRegValue::String(u""_s));
    file.SetValue(key, u"expand"_s, TRegValue::String(u"%APPDATA%\\x"_s, REG_EXPAND_SZ));
    file.SetValue(key, u"empty expand"_s, TRegValue::String(u""_s, REG_EXPAND_SZ));
    file.SetValue(key, u"dword"_s, TRegValue::Dword(0xDEADBEEF));
    file.SetValue(key, u"short dword"_s, Raw(REG_DWORD, "\x01\x02"));
    file.SetValue(key, u"qword"_s, Qword(~0ull));
    QByteArray big;
    for (int i = 0; i < 300; ++i)
        big.append(char(i));
    file.SetValue(key, u"binary"_s, Raw(REG_BINARY, big));
    file.SetValue(key, u"none"_s, Raw(REG_NONE, {}));
    file.SetValue(key, u"unknown"_s, Raw(0xFFFFFFFF, QByteArray("\x00\x01", 2)));
    file.SetValue(key, u"odd expand"_s, Raw(REG_EXPAND_SZ, QByteArray("A\0B", 3)));
    file.SetValue(u""_s, u"root value"_s, TRegValue::Dword(7));
    file.CreateKey(u"Empty\\Key"_s);
    return file;
}

TEST(TRegFile, WrittenHiveReadsBackEqual) {
    const TRegFile original = AwkwardHive();
    const QByteArray written = original.Serialize();
    TRegFile read(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(read.Parse(written, u"f"_s, error)) << error.toStdString() << "\n" << written.toStdString();
    EXPECT_TRUE(read == original) << written.toStdString();
    EXPECT_EQ(read.Serialize(), written);
    EXPECT_EQ(read.FindValue(original.KeyPaths()[1], u"lines"_s)->Text, u"one\r\ntwo\nthree"_s);
}

TEST(TRegFile, WritesReadableUtf8WithLfAndWrappedHex) {
    const QByteArray written = AwkwardHive().Serialize();
    EXPECT_TRUE(written.startsWith("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER]\n"));
    EXPECT_FALSE(written.contains('\r'));
    EXPECT_TRUE(written.contains("\"expand\"=hex(2):25,00,41,00,50,00"));
    EXPECT_TRUE(written.contains("\"dword\"=dword:deadbeef\n"));
    EXPECT_TRUE(written.contains("\"quote\\\"back\\\\slash\"=\"C:\\\\dir\\\\\\\"q\\\"\\\\\"\n"));
    EXPECT_TRUE(written.contains(QStringLiteral("\u00e9\U0001F600]").toUtf8()));
    for (const QByteArray& line : written.split('\n'))
        EXPECT_LE(line.size(), 80) << line.toStdString();
}

TEST(TRegFile, ForeignFileRewritesWithEverythingItHad) {
    const QByteArray regedit = Utf16LeWithBom(QStringLiteral(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave]\r\n\"PathToEditor\"=\"C:\\\\Ed\\\\ed.exe\"\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n\"Converter\"=\"http://x/\"\r\n"
        "\"Flags\"=hex(4):01,00,00,00,00\r\n\"Odd\"=hex(1234):ff\r\n\r\n"));
    TRegFile first(HKEY_LOCAL_MACHINE), second(HKEY_LOCAL_MACHINE);
    QString error;
    ASSERT_TRUE(first.Parse(regedit, u"f"_s, error)) << error.toStdString();
    ASSERT_TRUE(second.Parse(first.Serialize(), u"f"_s, error)) << error.toStdString();
    EXPECT_TRUE(first == second);
    EXPECT_EQ(second.KeyPaths(),
              (QStringList{u"SOFTWARE\\Kestrelweave"_s, u"SOFTWARE\\Kestrelweave\\Links"_s}));
    EXPECT_EQ(second.ValueNames(u"SOFTWARE\\Kestrelweave\\Links"_s),
              (QStringList{u"Converter"_s, u"Flags"_s, u"Odd"_s}));
    EXPECT_EQ(*second.FindValue(u"SOFTWARE\\Kestrelweave\\Links"_s, u"Flags"_s),
              Raw(REG_DWORD, QByteArray("\x01\0\0\0\0", 5)));
    EXPECT_EQ(*second.FindValue(u"SOFTWARE\\Kestrelweave\\Links"_s, u"Odd"_s), Raw(0x1234, "\xff"));
}

TEST(TRegFile, EveryTruncationParsesOrFailsCleanly) {
    const QByteArray whole = AwkwardHive().Serialize();
    for (qsizetype size = 0; size <= whole.size(); ++size) {
        TRegFile file(HKEY_CURRENT_USER);
        QString error;
        if (!file.Parse(whole.left(size), u"f"_s, error)) {
            EXPECT_TRUE(error.contains(QRegularExpression(u"\\(line \\d+: "_s))) << error.toStdString();
        }
    }
}

TEST(TRegFile, DeepKeyStaysLinear) {
    // Parents exist implicitly, so a deep path costs its own length, not its square.
    QByteArray deep = KHeader + "[HKCU";
    for (int i = 0; i < 200000; ++i)
        deep += "\\k";
    deep += "]\n";
    TRegFile file(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(file.Parse(deep, u"f"_s, error)) << error.toStdString();
    EXPECT_TRUE(file.KeyExists(u"k\\k\\k"_s));
    EXPECT_EQ(file.KeyPaths().size(), 1);
    EXPECT_LT(file.Serialize().size(), deep.size() + 100);
}

}  // namespace
