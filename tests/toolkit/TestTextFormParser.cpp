#include "core/TTextFormParser.h"

#include "core/Exception.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using namespace Qt::StringLiterals;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using TKind = TStreamValue::TKind;

// The value of `P = <text>` in an otherwise empty form.
TStreamValue ValueOf(const QByteArray& text) {
    const TStreamComponent root = TTextFormParser::Parse("object Form1: TForm1\n  P = " + text + "\nend\n");
    EXPECT_EQ(root.Properties.size(), 1u);
    return root.Properties.empty() ? TStreamValue() : root.Properties.front().Value;
}

// ---- Values -------------------------------------------------------------------------

struct TValueRow {
    const char* Name;
    QByteArray Text;
    TKind Kind;
    std::function<void(const TStreamValue&)> Check;
};

void PrintTo(const TValueRow& row, std::ostream* out) {
    *out << row.Name;
}

auto Int(std::int64_t expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Int, expected); };
}
auto Float(double expected) {
    return [expected](const TStreamValue& v) { EXPECT_DOUBLE_EQ(v.Float, expected); };
}
auto Text(const QString& expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Text, expected); };
}
auto Names(const QStringList& expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Names, expected); };
}
auto Bytes(const QByteArray& expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Bytes, expected); };
}
void Nothing(const TStreamValue&) {}

const TValueRow kValues[] = {
    {"Int8Max", "127", TStreamValue::vaInt8, Int(127)},
    {"Int8Min", "-128", TStreamValue::vaInt8, Int(-128)},
    {"Int16Above8", "128", TStreamValue::vaInt16, Int(128)},
    {"Int16Min", "-32768", TStreamValue::vaInt16, Int(-32768)},
    {"Int32Above16", "32768", TStreamValue::vaInt32, Int(32768)},
    {"Int32Min", "-2147483648", TStreamValue::vaInt32, Int(std::numeric_limits<std::int32_t>::min())},
    {"Int64Above32", "2147483648", TStreamValue::vaInt64, Int(2147483648LL)},
    {"Int64Max", "9223372036854775807", TStreamValue::vaInt64, Int(std::numeric_limits<std::int64_t>::max())},
    {"PlusSign", "+5", TStreamValue::vaInt8, Int(5)},
    {"HexColour", "$00A56E3A", TStreamValue::vaInt32, Int(0x00A56E3A)},
    {"HexLowerCase", "$ff", TStreamValue::vaInt16, Int(255)},
    {"NegativeHex", "-$10", TStreamValue::vaInt8, Int(-16)},
    {"HexAllOnes32", "$FFFFFFFF", TStreamValue::vaInt64,
     [](const TStreamValue& v) {
         EXPECT_EQ(v.Int, 0xFFFFFFFFLL);
         EXPECT_EQ(static_cast<std::int32_t>(v.Int), -1) << "the bit pattern of -1 as a 32-bit value";
     }},
    {"HexAllOnes64", "$FFFFFFFFFFFFFFFF", TStreamValue::vaInt8, Int(-1)},
    {"Extended", "1.5", TStreamValue::vaExtended, Float(1.5)},
    {"ExtendedExponent", "-2.25E2", TStreamValue::vaExtended, Float(-225)},
    {"SingleSuffix", "0.5s", TStreamValue::vaSingle, Float(0.5)},
    {"CurrencySuffix", "12.34c", TStreamValue::vaCurrency, Float(12.34)},
    {"DateSuffix", "45000.25d", TStreamValue::vaDate, Float(45000.25)},
    {"QuotedWithDoubledQuote", "'It''s'", TStreamValue::vaString, Text(u"It's"_s)},
    {"Empty", "''", TStreamValue::vaString, Text(u""_s)},
    {"ControlCharacters", "'one'#13#10'two'", TStreamValue::vaString, Text(u"one\r\ntwo"_s)},
    {"OnlyCharacterCodes", "#72#105", TStreamValue::vaString, Text(u"Hi"_s)},
    {"WideCharacterCode", "'x'#1234", TStreamValue::vaWString, Text(QStringLiteral("x\u04D2"))},
    {"JoinedAcrossLines", "'Tessaly ' +\n    'Manager' +\n    #33", TStreamValue::vaString,
     Text(u"Tessaly Manager!"_s)},
    {"Utf8Latin1Range",
     "'Gr\xC3\xBC\xC3\x9F"
     "e'",
     TStreamValue::vaString,
     [](const TStreamValue& v) {
         EXPECT_EQ(v.Text, QStringLiteral("Gr\u00FC\u00DFe"));
         EXPECT_EQ(v.Bytes, QByteArray("Gr\xC3\xBC\xC3\x9F"
                                       "e"));
     }},
    {"Utf8Wide", "'\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x80\x93 \xE4\xBD\xA0'",
     TStreamValue::vaWString, Text(QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 \u2013 \u4F60"))},
    {"LongString", "'" + QByteArray(300, 'a') + "'", TStreamValue::vaLString, Text(QString(300, u'a'))},
    {"Identifier", "clWhite", TStreamValue::vaIdent, Text(u"clWhite"_s)},
    {"DottedIdentifier", "Frame1.Label1", TStreamValue::vaIdent, Text(u"Frame1.Label1"_s)},
    {"True", "True", TStreamValue::vaTrue, Nothing},
    {"FalseAnyCase", "FALSE", TStreamValue::vaFalse, Nothing},
    {"Nil", "nil", TStreamValue::vaNil, Nothing},
    {"Set", "[fsBold, fsItalic]", TStreamValue::vaSet, Names({u"fsBold"_s, u"fsItalic"_s})},
    {"EmptySet", "[ ]", TStreamValue::vaSet, Names({})},
    {"ListOfStringsOnLines", "(\n    'one'\n    'two')", TStreamValue::vaList,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.List.size(), 2u);
         EXPECT_EQ(v.List[0].Text, u"one"_s);
         EXPECT_EQ(v.List[1].Text, u"two"_s);
     }},
    {"NestedLists", "((1, 2) ('a') ())", TStreamValue::vaList,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.List.size(), 3u);
         ASSERT_EQ(v.List[0].List.size(), 2u);
         EXPECT_EQ(v.List[0].List[1].Int, 2);
         EXPECT_EQ(v.List[1].List.at(0).Text, u"a"_s);
         EXPECT_EQ(v.List[2].Kind, TStreamValue::vaList);
         EXPECT_TRUE(v.List[2].List.empty());
     }},
    {"BinaryOverLines", "{\n    0754426974\n    6D6170ff}", TStreamValue::vaBinary,
     Bytes(QByteArray("\x07TBitmap\xFF"))},
    {"EmptyBinary", "{}", TStreamValue::vaBinary, Bytes({})},
    {"Collection", "<\n    item\n      Width = 3\n      Caption = 'a'\n    end\n    item [7]\n    end>",
     TStreamValue::vaCollection,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.Items.size(), 2u);
         EXPECT_FALSE(v.Items[0].HasOrder);
         ASSERT_EQ(v.Items[0].Properties.size(), 2u);
         EXPECT_EQ(v.Items[0].Properties[0].Name, u"Width"_s);
         EXPECT_EQ(v.Items[0].Properties[0].Value.Int, 3);
         EXPECT_EQ(v.Items[0].Properties[1].Value.Text, u"a"_s);
         EXPECT_TRUE(v.Items[1].HasOrder);
         EXPECT_EQ(v.Items[1].Order.Int, 7);
         EXPECT_TRUE(v.Items[1].Properties.empty());
     }},
    {"EmptyCollection", "<>", TStreamValue::vaCollection,
     [](const TStreamValue& v) { EXPECT_TRUE(v.Items.empty()); }},
};

class TextFormValue : public testing::TestWithParam<TValueRow> {};

TEST_P(TextFormValue, ReadsKindAndContent) {
    const TValueRow& row = GetParam();
    TStreamValue value;
    try {
        value = ValueOf(row.Text);
    } catch (const EReadError& e) {
        FAIL() << e.what();
    }
    EXPECT_EQ(value.Kind, row.Kind);
    row.Check(value);
}

INSTANTIATE_TEST_SUITE_P(Table, TextFormValue, testing::ValuesIn(kValues),
                         [](const testing::TestParamInfo<TValueRow>& row) { return row.param.Name; });

// ---- Structure ----------------------------------------------------------------------

TEST(TextFormStructure, ComponentsNamesFlagsAndPropertyOrder) {
    const QByteArray text =
        "\xEF\xBB\xBF"
        "inherited frmMain: TfrmMain\n"
        "  Font.Style = [fsBold]\n"
        "  // a remark the designer does not write, but people do\n"
        "  Caption = 'x'\n"
        "  object Panel1: TPanel\n"
        "    inline Frame1: TFrame1 [2]\n"
        "      Label1.Caption = 'framed'\n"
        "    end\n"
        "    OBJECT Label2: TLabel\n"
        "    END\n"
        "  end\n"
        "  object TTimer\n"
        "  end\n"
        "end\n";
    const TStreamComponent root = TTextFormParser::Parse(text);
    EXPECT_EQ(root.Flags, TStreamComponent::ffInherited);
    EXPECT_EQ(root.Name, u"frmMain"_s);
    EXPECT_EQ(root.ClassName, u"TfrmMain"_s);
    ASSERT_EQ(root.Properties.size(), 2u);
    EXPECT_EQ(root.Properties[0].Name, u"Font.Style"_s);
    EXPECT_EQ(root.Properties[1].Name, u"Caption"_s);
    ASSERT_EQ(root.Children.size(), 2u);

    const TStreamComponent& panel = root.Children[0];
    EXPECT_EQ(panel.Flags, 0);
    EXPECT_EQ(panel.Name, u"Panel1"_s);
    ASSERT_EQ(panel.Children.size(), 2u);
    const TStreamComponent& frame = panel.Children[0];
    EXPECT_EQ(frame.Flags, TStreamComponent::ffInline | TStreamComponent::ffChildPos);
    EXPECT_EQ(frame.ChildPos, 2);
    EXPECT_EQ(frame.ClassName, u"TFrame1"_s);
    ASSERT_EQ(frame.Properties.size(), 1u);
    EXPECT_EQ(frame.Properties[0].Name, u"Label1.Caption"_s);
    EXPECT_EQ(panel.Children[1].Name, u"Label2"_s);

    EXPECT_TRUE(root.Children[1].Name.isEmpty());
    EXPECT_EQ(root.Children[1].ClassName, u"TTimer"_s);
}

// ---- Malformed text -----------------------------------------------------------------

struct TErrorRow {
    const char* Name;
    QByteArray Text;
    int Line;
    const char* Reason;
};

void PrintTo(const TErrorRow& row, std::ostream* out) {
    *out << row.Name;
}

QByteArray Repeated(const QByteArray& piece, int count) {
    QByteArray result;
    for (int i = 0; i < count; ++i)
        result += piece;
    return result;
}

const TErrorRow kErrors[] = {
    {"EmptyInput", "", 1, "identifier expected"},
    {"OnlyObject", "object", 1, "identifier expected"},
    {"NotAnObject", "form A: TA\nend", 1, "'object' expected"},
    {"UnterminatedString", "object A: TA\n  Caption = 'abc\nend\n", 2, "unterminated string"},
    {"StringJoinedToNothing", "object A: TA\n  Caption = 'abc' +\nend\n", 3, "string expected"},
    {"CharacterCodeBeyondUnicode", "object A: TA\n  Caption = #1114112\nend", 2, "invalid character code"},
    {"MissingEnd", "object A: TA\n  Left = 1\n  object B: TB\n  end", 4, "'end' expected"},
    {"MissingEquals", "object A: TA\n  Left 1\nend", 2, "'=' expected"},
    {"OddHexDigits", "object A: TA\n  Data = {ABC}\nend", 2, "odd number of digits"},
    {"BadCharInBinary", "object A: TA\n  Data = {\n    00GG\n  }\nend", 3, "invalid binary data"},
    {"UnterminatedBinary", "object A: TA\n  Data = {00", 2, "'}' expected"},
    {"UnterminatedList", "object A: TA\n  Items = ('a'", 2, "')' expected"},
    {"CollectionWithoutItem", "object A: TA\n  Cols = <Width = 1>\nend", 2, "'item' expected"},
    {"TextAfterFinalEnd", "object A: TA\nend\nobject B: TB\nend\n", 3, "text after the final 'end'"},
    {"DecimalTooLarge", "object A: TA\n\n  Tag = 99999999999999999999\nend", 3, "number too large"},
    {"HexTooLarge", "object A: TA\n  Tag = $1FFFFFFFFFFFFFFFF\nend", 2, "number too large"},
    {"SignWithoutDigits", "object A: TA\n  Tag = -\nend", 2, "number expected"},
    {"BrokenExponent", "object A: TA\n  Ratio = 1.5e\nend", 2, "invalid number '1.5e'"},
    {"NoValue", "object A: TA\n  Tag = ]\nend", 2, "value expected"},
    // Nesting far beyond the limit must end in an error, not in a stack overflow.
    {"DeepComponents", Repeated("object X: TX\n", 100000), 66, "nested too deeply"},
    {"DeepLists", "object A: TA\n  Items = " + Repeated("(", 100000), 2, "nested too deeply"},
    {"DeepCollections", "object A: TA\n  Cols = " + Repeated("<item P = ", 100000), 2, "nested too deeply"},
};

constexpr char kWithNul[] = "object A: TA\n  Caption = 'a\0b'\nend";

// The parser's limits: decimal numbers just beyond the 64-bit range do not wrap
// around, and a NUL is reported with the line it is on.
const TErrorRow kLimits[] = {
    {"NulByte", QByteArray(kWithNul, sizeof(kWithNul) - 1), 2, "NUL"},
    {"DecimalJustBeyondInt64", "object A: TA\n  Tag = 9223372036854775808\nend", 2, "number too large"},
    {"NegativeDecimalBeyondInt64", "object A: TA\n  Tag = -18446744073709551615\nend", 2, "number too large"},
};

class TextFormSyntaxError : public testing::TestWithParam<TErrorRow> {};

TEST_P(TextFormSyntaxError, NamesSourceAndLine) {
    const TErrorRow& row = GetParam();
    try {
        const TStreamComponent root = TTextFormParser::Parse(row.Text, QStringLiteral("frmTest.dfm"));
        FAIL() << "parsed as " << root.ClassName.toStdString();
    } catch (const EReadError& e) {
        const QString where = QStringLiteral("frmTest.dfm, line %1: ").arg(row.Line);
        EXPECT_TRUE(e.Message().contains(where)) << e.what();
        EXPECT_TRUE(e.Message().contains(QLatin1String(row.Reason))) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, TextFormSyntaxError, testing::ValuesIn(kErrors),
                         [](const testing::TestParamInfo<TErrorRow>& row) { return row.param.Name; });
INSTANTIATE_TEST_SUITE_P(Limits, TextFormSyntaxError, testing::ValuesIn(kLimits),
                         [](const testing::TestParamInfo<TErrorRow>& row) { return row.param.Name; });

TEST(TextFormMessage, WithoutSourceNameTheMessageStillSaysWhere) {
    try {
        TTextFormParser::Parse("object A: TA\n  Left = 'x\nend");
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_TRUE(e.Message().startsWith(QLatin1String("Error in form description, line 2:"))) << e.what();
    }
}

TEST(TextFormMessage, NulByteIsRefusedNotTruncated) {
    try {
        TTextFormParser::Parse(QByteArray(kWithNul, sizeof(kWithNul) - 1), QStringLiteral("frmTest.dfm"));
        FAIL() << "a NUL byte was accepted";
    } catch (const EReadError& e) {
        EXPECT_TRUE(e.Message().contains(QLatin1String("frmTest.dfm"))) << e.what();
    }
}

// The smallest 64-bit number must be read without overflowing on the way.
TEST(TextFormValue, SmallestInt64) {
    EXPECT_EQ(ValueOf("-9223372036854775808").Int, std::numeric_limits<std::int64_t>::min());
}

}  // namespace
