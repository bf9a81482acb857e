#include "platform/RegFile.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

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
         HKEY_LOCAL_MACHINE, "SOFTWARE\\Kestrelweave\\AppPaths", "Tool",
         TRegValue::String("C:\\Tools\\t.exe")},
        {"Utf8WithByteOrderMark",
         "\xEF\xBB\xBF" + KHeader +
             "[HKEY_CURRENT_USER\\Software\\\xC3\x84]\n\"N\"=\"Gr\xC3\xBC\xC3\x9F"
             "e\"\n",
         HKEY_CURRENT_USER, QStringLiteral("Software\\Ä"), "N", TRegValue::String(QStringLiteral("Grüße"))},
        {"Utf16LeAsRegeditWritesIt_Dword", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         "Software\\Kestrelweave\\Manager", "LanguageIndex", TRegValue::Dword(3)},
        {"Utf16LeAsRegeditWritesIt_String", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         "Software\\Kestrelweave\\Manager", "Caption",
         TRegValue::String(QStringLiteral("Grüße \u4e16\u754c"))},
        {"Utf16LeAsRegeditWritesIt_Expand", Utf16LeWithBom(regeditExport), HKEY_CURRENT_USER,
         "Software\\Kestrelweave\\Manager", "Home", TRegValue::String(expandText, REG_EXPAND_SZ)},
        {"CrlfLineEnds", "Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\A]\r\n\"x\"=\"y\"\r\n",
         HKEY_CURRENT_USER, "A", "x", TRegValue::String("y")},
        {"ExpandStringStaysUnexpanded", KHeader + "[HKCU\\A]\n" + KExpandLines, HKEY_CURRENT_USER, "A",
         "Home", TRegValue::String(expandText, REG_EXPAND_SZ)},
        {"EscapedQuotesAndBackslashes", KHeader + "[HKCU\\A]\n\"Say \\\"hi\\\"\"=\"a\\\\b\\\"c\\\\\"\n",
         HKEY_CURRENT_USER, "A", "Say \"hi\"", TRegValue::String("a\\b\"c\\")},
        {"LoneBackslashKeptAsIs", KHeader + "[HKCU\\A]\n\"p\"=\"C:\\path\"\n", HKEY_CURRENT_USER, "A", "p",
         TRegValue::String("C:\\path")},
        {"StringHoldsSyntaxCharacters", KHeader + "[HKCU\\A]\n\"s\"=\"x=y; [z] @=\\\\ hex:00\"\n",
         HKEY_CURRENT_USER, "A", "s", TRegValue::String("x=y; [z] @=\\ hex:00")},
        {"EmptyString", KHeader + "[HKCU\\A]\n\"e\"=\"\"\n", HKEY_CURRENT_USER, "A", "e",
         TRegValue::String("")},
        {"DefaultValue", KHeader + "[HKCU\\A]\n@=\"standard\"\n", HKEY_CURRENT_USER, "A", "",
         TRegValue::String("standard")},
        {"Dword", KHeader + "[HKCU\\A]\n\"d\"=dword:0000001f\n", HKEY_CURRENT_USER, "A", "d",
         TRegValue::Dword(31)},
        {"DwordUpperCase", KHeader + "[HKCU\\A]\n\"d\"=DWORD:FFFFFFFE\n", HKEY_CURRENT_USER, "A", "d",
         TRegValue::Dword(0xFFFFFFFEu)},
        {"BinaryOverContinuationLines", KHeader + "[HKCU\\A]\n\"b\"=hex:01,02,\\\n    03,\\\n\t04\n",
         HKEY_CURRENT_USER, "A", "b", Raw(REG_BINARY, QByteArray("\x01\x02\x03\x04", 4))},
        {"EmptyBinary", KHeader + "[HKCU\\A]\n\"b\"=hex:\n", HKEY_CURRENT_USER, "A", "b",
         Raw(REG_BINARY, {})},
        {"Qword", KHeader + "[HKCU\\A]\n\"q\"=hex(b):08,07,06,05,04,03,02,01\n", HKEY_CURRENT_USER, "A", "q",
         Qword(0x0102030405060708ull)},
        {"MultiStringKeptRaw", KHeader + "[HKCU\\A]\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\n",
         HKEY_CURRENT_USER, "A", "m", Raw(REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10))},
        {"UnknownTypeKeptRaw", KHeader + "[HKCU\\A]\n\"u\"=hex(7fff0099):de,ad\n", HKEY_CURRENT_USER, "A",
         "u", Raw(0x7fff0099, QByteArray("\xDE\xAD"))},
        {"HexStringBecomesText", KHeader + "[HKCU\\A]\n\"s\"=hex(1):41,00,42,00,00,00\n", HKEY_CURRENT_USER,
         "A", "s", TRegValue::String("AB")},
        {"UnterminatedExpandKeepsItsBytes", KHeader + "[HKCU\\A]\n\"s\"=hex(2):41,00,42\n", HKEY_CURRENT_USER,
         "A", "s",
         [] {
             TRegValue value = Raw(REG_EXPAND_SZ, QByteArray("A\0B", 3));
             value.Text = "A";
             return value;
         }()},
        {"Regedit4EightBitExpand", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"t\"=hex(2):25,54,45,4d,50,25,00\n",
         HKEY_CURRENT_USER, "A", "t", TRegValue::String("%TEMP%", REG_EXPAND_SZ)},
        {"Regedit4EightBitMultiString", "REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"m\"=hex(7):61,00,62,00,00\n",
         HKEY_CURRENT_USER, "A", "m", Raw(REG_MULTI_SZ, QByteArray("a\0\0\0b\0\0\0\0\0", 10))},
        {"AbbreviatedRoot", KHeader + "[hklm\\SOFTWARE\\K]\n\"x\"=\"1\"\n", HKEY_LOCAL_MACHINE, "SOFTWARE\\K",
         "x", TRegValue::String("1")},
        {"RootKeyItself", KHeader + "[HKEY_LOCAL_MACHINE]\n\"x\"=\"1\"\n", HKEY_LOCAL_MACHINE, "", "x",
         TRegValue::String("1")},
        {"CommentsBlanksAndIndentation",
         KHeader + "; settings\n\n   [HKCU\\A]   \n  ; a comment\n\t\"x\" = \"y\"  \n\n", HKEY_CURRENT_USER,
         "A", "x", TRegValue::String("y")},
        {"LaterDuplicateWins",
         KHeader + "[HKCU\\A]\n\"Name\"=\"first\"\n[hkcu\\a]\n\"NAME\"=dword:00000002\n", HKEY_CURRENT_USER,
         "a", "name", TRegValue::Dword(2)},
        {"NoFinalLineEnd", KHeader + "[HKCU\\A]\n\"x\"=\"y\"", HKEY_CURRENT_USER, "A", "x",
         TRegValue::String("y")},
    };
}

class TRegFileParse : public testing::TestWithParam<TParseCase> {};

TEST_P(TRegFileParse, FindsTheValue) {
    const TParseCase& row = GetParam();
    TRegFile file(row.Root);
    QString error;
    ASSERT_TRUE(file.Parse(row.Bytes, "/x/hive.reg", error)) << error.toStdString();
    EXPECT_TRUE(file.KeyExists(row.Key));
    const TRegValue* value = file.FindValue(row.Key, row.Value);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(*value, row.Expected) << Show(*value) << "\nexpected " << Show(row.Expected);

    // Whatever was read survives being written and read again.
    TRegFile again(row.Root);
    ASSERT_TRUE(again.Parse(file.Serialize(), "/x/hive.reg", error)) << error.toStdString();
    EXPECT_TRUE(again == file) << file.Serialize().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, TRegFileParse, testing::ValuesIn(ParseCases()),
                         [](const testing::TestParamInfo<TParseCase>& info) { return info.param.Name; });

struct TMalformedCase {
    const char* Name;
    QByteArray Bytes;
    int Line;
    const char* Problem;
};

std::vector<TMalformedCase> MalformedCases() {
    const QByteArray key = KHeader + "[HKEY_LOCAL_MACHINE\\A]\n";  // values start on line 4
    QByteArray oddUtf16 = Utf16LeWithBom("Windows Registry Editor Version 5.00\r\n\r\n[HKLM\\A]\r\n");
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
    ASSERT_FALSE(file.Parse(row.Bytes, "/x/machine.reg", error));
    const QString start =
        QStringLiteral("The registry file '/x/machine.reg' is damaged (line %1: ").arg(row.Line);
    EXPECT_TRUE(error.startsWith(start)) << error.toStdString();
    EXPECT_TRUE(error.contains(QString::fromUtf8(row.Problem))) << error.toStdString();
    EXPECT_TRUE(error.endsWith(").")) << error.toStdString();
    EXPECT_TRUE(file.KeyPaths().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, TRegFileMalformed, testing::ValuesIn(MalformedCases()),
                         [](const testing::TestParamInfo<TMalformedCase>& info) { return info.param.Name; });

TEST(TRegFile, EmptyFileIsAnEmptyHive) {
    for (const QByteArray& bytes : {QByteArray(), QByteArray("\xFF\xFE"), QByteArray("\xEF\xBB\xBF")}) {
        TRegFile file(HKEY_CURRENT_USER);
        QString error;
        EXPECT_TRUE(file.Parse(bytes, "f", error)) << error.toStdString();
        EXPECT_TRUE(file.KeyPaths().isEmpty());
    }
}

TEST(TRegFile, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling) {
    TRegFile file(HKEY_LOCAL_MACHINE);
    QString error;
    ASSERT_TRUE(file.Parse(KHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\n"
                                     "\"Tool\"=\"a\"\n\"\xC3\x84rger\"=\"b\"\n",
                           "f", error));
    EXPECT_TRUE(file.KeyExists("software\\KESTRELWEAVE\\apppaths"));
    EXPECT_TRUE(file.KeyExists("Software\\Kestrelweave")) << "parents exist implicitly";
    EXPECT_TRUE(file.KeyExists("SOFTWARE"));
    EXPECT_FALSE(file.KeyExists("SOFTWARE\\Kestrel")) << "a prefix of a name is not a parent";
    EXPECT_FALSE(file.KeyExists("SOFTWARE\\Kestrelweave\\AppPaths\\Sub"));
    ASSERT_NE(file.FindValue("SOFTWARE\\KESTRELWEAVE\\APPPATHS", "TOOL"), nullptr);
    ASSERT_NE(file.FindValue("SOFTWARE\\Kestrelweave\\AppPaths", QStringLiteral("äRGER")), nullptr);
    EXPECT_EQ(file.FindValue("SOFTWARE\\Kestrelweave", "Tool"), nullptr);

    EXPECT_TRUE(file.SetValue("software\\kestrelweave\\apppaths", "TOOL", TRegValue::Dword(1)));
    EXPECT_FALSE(file.CreateKey("SOFTWARE\\KESTRELWEAVE"));
    const QByteArray written = file.Serialize();
    EXPECT_TRUE(
        written.contains("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\n\"Tool\"=dword:00000001\n"))
        << written.toStdString();
    EXPECT_FALSE(written.contains("TOOL"));
    EXPECT_EQ(file.KeyPaths(), QStringList{"SOFTWARE\\Kestrelweave\\AppPaths"});
}

TEST(TRegFile, SetValueReportsWhetherTheHiveChanged) {
    TRegFile file(HKEY_CURRENT_USER);
    EXPECT_TRUE(file.SetValue("A\\B", "x", TRegValue::String("1")));
    EXPECT_FALSE(file.SetValue("a\\b", "X", TRegValue::String("1")));
    EXPECT_TRUE(file.SetValue("A\\B", "x", TRegValue::Dword(1))) << "another type is another value";
    EXPECT_EQ(*file.FindValue("A\\B", "x"), TRegValue::Dword(1));
    EXPECT_FALSE(file.CreateKey("A")) << "exists below A\\B";
    EXPECT_TRUE(file.CreateKey("A\\C"));
    EXPECT_FALSE(file.CreateKey("a\\c"));
}

TEST(TRegFile, NewKeysJoinTheirRelatives) {
    TRegFile file(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(file.Parse(KHeader + "[HKCU\\S\\A]\n[HKCU\\S\\A\\X]\n[HKCU\\T]\n", "f", error));
    file.CreateKey("S\\A\\Y");
    file.CreateKey("S\\B");
    file.SetValue("", "top", TRegValue::String("v"));
    file.CreateKey("U");
    EXPECT_EQ(file.KeyPaths(), (QStringList{"", "S\\A", "S\\A\\X", "S\\A\\Y", "S\\B", "T", "U"}));
}

TEST(TRegFile, StorableNames) {
    EXPECT_TRUE(TRegFile::IsStorableKeyPath(""));
    EXPECT_TRUE(TRegFile::IsStorableKeyPath("A\\B c\\]d["));
    for (const QString& bad :
         {QStringLiteral("\\A"), QStringLiteral("A\\"), QStringLiteral("A\\\\B"), QStringLiteral("A\nB"),
          QStringLiteral("A\rB"), QString(QChar(0)), QString(QChar(0xDC00))})
        EXPECT_FALSE(TRegFile::IsStorableKeyPath(bad)) << bad.toStdString();
    EXPECT_TRUE(TRegFile::IsStorableValueName(""));
    EXPECT_TRUE(TRegFile::IsStorableValueName("a\\b\"c"));
    EXPECT_FALSE(TRegFile::IsStorableValueName("a\nb"));
}

// A hive holding every awkward thing a program can store.
TRegFile AwkwardHive() {
    TRegFile file(HKEY_CURRENT_USER);
    const QString key = QStringLiteral("Software\\Kestrelweave\\Spaced ] Key \u00e9\U0001F600");
    file.SetValue(key, "", TRegValue::String("default"));
    file.SetValue(key, "@", TRegValue::String("a value named at"));
    file.SetValue(key, "quote\"back\\slash", TRegValue::String("C:\\dir\\\"q\"\\"));
    file.SetValue(key, "lines", TRegValue::String("one\r\ntwo\nthree"));
    file.SetValue(key, "nul", TRegValue::String(QString("a") + QChar(0) + "b"));
    file.SetValue(key, "lone surrogate", TRegValue::String(QString("x") + QChar(0xD800)));
    file.SetValue(key, "empty", TRegValue::String(""));
    file.SetValue(key, "expand", TRegValue::String("%APPDATA%\\x", REG_EXPAND_SZ));
    file.SetValue(key, "empty expand", TRegValue::String("", REG_EXPAND_SZ));
    file.SetValue(key, "dword", TRegValue::Dword(0xDEADBEEF));
    file.SetValue(key, "short dword", Raw(REG_DWORD, "\x01\x02"));
    file.SetValue(key, "qword", Qword(~0ull));
    QByteArray big;
    for (int i = 0; i < 300; ++i)
        big.append(char(i));
    file.SetValue(key, "binary", Raw(REG_BINARY, big));
    file.SetValue(key, "none", Raw(REG_NONE, {}));
    file.SetValue(key, "unknown", Raw(0xFFFFFFFF, QByteArray("\x00\x01", 2)));
    file.SetValue(key, "odd expand", Raw(REG_EXPAND_SZ, QByteArray("A\0B", 3)));
    file.SetValue("", "root value", TRegValue::Dword(7));
    file.CreateKey("Empty\\Key");
    return file;
}

TEST(TRegFile, WrittenHiveReadsBackEqual) {
    const TRegFile original = AwkwardHive();
    const QByteArray written = original.Serialize();
    TRegFile read(HKEY_CURRENT_USER);
    QString error;
    ASSERT_TRUE(read.Parse(written, "f", error)) << error.toStdString() << "\n" << written.toStdString();
    EXPECT_TRUE(read == original) << written.toStdString();
    EXPECT_EQ(read.Serialize(), written);
    EXPECT_EQ(read.FindValue(original.KeyPaths()[1], "lines")->Text, "one\r\ntwo\nthree");
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
    ASSERT_TRUE(first.Parse(regedit, "f", error)) << error.toStdString();
    ASSERT_TRUE(second.Parse(first.Serialize(), "f", error)) << error.toStdString();
    EXPECT_TRUE(first == second);
    EXPECT_EQ(second.KeyPaths(), (QStringList{"SOFTWARE\\Kestrelweave", "SOFTWARE\\Kestrelweave\\Links"}));
    EXPECT_EQ(second.ValueNames("SOFTWARE\\Kestrelweave\\Links"), (QStringList{"Converter", "Flags", "Odd"}));
    EXPECT_EQ(*second.FindValue("SOFTWARE\\Kestrelweave\\Links", "Flags"),
              Raw(REG_DWORD, QByteArray("\x01\0\0\0\0", 5)));
    EXPECT_EQ(*second.FindValue("SOFTWARE\\Kestrelweave\\Links", "Odd"), Raw(0x1234, "\xff"));
}

TEST(TRegFile, EveryTruncationParsesOrFailsCleanly) {
    const QByteArray whole = AwkwardHive().Serialize();
    for (qsizetype size = 0; size <= whole.size(); ++size) {
        TRegFile file(HKEY_CURRENT_USER);
        QString error;
        if (!file.Parse(whole.left(size), "f", error)) {
            EXPECT_TRUE(error.contains(QRegularExpression("\\(line \\d+: "))) << error.toStdString();
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
    ASSERT_TRUE(file.Parse(deep, "f", error)) << error.toStdString();
    EXPECT_TRUE(file.KeyExists("k\\k\\k"));
    EXPECT_EQ(file.KeyPaths().size(), 1);
    EXPECT_LT(file.Serialize().size(), deep.size() + 100);
}

}  // namespace
