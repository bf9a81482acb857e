#include "core/Exception.h"
#include "core/TBinaryStreamReader.h"
#include "core/TBinaryStreamWriter.h"
#include "core/TTextFormParser.h"
#include "tests/support/AppFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TForm.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"
#include "toolkit/TReader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QtEndian>

#include <bit>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>

using namespace Qt::StringLiterals;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace {

using TKind = TStreamValue::TKind;

// ---- Building streams by hand ---------------------------------------------------------

QByteArray B(std::initializer_list<int> bytes) {
    QByteArray result;
    for (const int b : bytes)
        result += static_cast<char>(b);
    return result;
}

// A string with one length byte.
QByteArray S(const QByteArray& text) {
    return static_cast<char>(text.size()) + text;
}

template <typename T>
QByteArray Le(T value) {
    char buffer[sizeof(T)];
    qToLittleEndian<T>(value, buffer);
    return QByteArray(buffer, sizeof(T));
}

QByteArray U32(std::uint32_t value) {
    return Le<std::uint32_t>(value);
}

QByteArray Extended(std::uint64_t mantissa, std::uint16_t signExponent) {
    return B({TStreamValue::vaExtended}) + Le(mantissa) + Le(signExponent);
}

QByteArray Utf16(const QString& text) {
    QByteArray units;
    for (const QChar ch : text)
        units += Le<std::uint16_t>(ch.unicode());
    return U32(static_cast<std::uint32_t>(text.size())) + units;
}

QByteArray Repeated(const QByteArray& piece, int count) {
    QByteArray result;
    for (int i = 0; i < count; ++i)
        result += piece;
    return result;
}

// "TPF0", class TForm1, name Form1: 17 bytes; a first property "P" puts its value at byte 19.
const QByteArray kHead = "TPF0" + S("TForm1") + S("Form1");
constexpr qsizetype kValueAt = 19;

// A form whose one property P has the value `value`.
QByteArray WithValue(const QByteArray& value) {
    return kHead + S("P") + value + B({0, 0});
}

QByteArray ReadFormFile(const char* name) {
    QFile file(QStringLiteral(KW_TEST_SOURCE_DIR "/../resources/forms/%1").arg(QLatin1String(name)));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// ---- Comparing trees --------------------------------------------------------------------

QString ValueDifference(const TStreamValue& a, const TStreamValue& b);

QString PropertiesDifference(const std::vector<TStreamProperty>& a, const std::vector<TStreamProperty>& b) {
    if (a.size() != b.size())
        return QStringLiteral("%1 properties against %2").arg(a.size()).arg(b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].Name != b[i].Name)
            return QStringLiteral("property %1 against %2").arg(a[i].Name, b[i].Name);
        if (const QString d = ValueDifference(a[i].Value, b[i].Value); !d.isEmpty())
            return a[i].Name + QStringLiteral(": ") + d;
    }
    return {};
}

// Empty when both values mean the same; otherwise what differs.
QString ValueDifference(const TStreamValue& a, const TStreamValue& b) {
    if (a.Kind != b.Kind)
        return QStringLiteral("value type %1 against %2").arg(a.Kind).arg(b.Kind);
    const auto differs = [&](const QString& what) {
        return what + QStringLiteral(": ") + a.Describe() + u" / "_s + b.Describe();
    };
    if (a.IsInteger() && a.Int != b.Int)
        return differs(QStringLiteral("integer"));
    if (a.IsFloat()) {
        const bool same = a.Kind == TStreamValue::vaSingle
                              ? static_cast<float>(a.Float) == static_cast<float>(b.Float)
                          : a.Kind == TStreamValue::vaCurrency
                              ? std::llround(a.Float * 10000) == std::llround(b.Float * 10000)
                              : a.Float == b.Float || (std::isnan(a.Float) && std::isnan(b.Float));
        if (!same)
            return differs(QStringLiteral("number"));
    }
    if ((a.IsString() || a.Kind == TStreamValue::vaIdent) && a.Text != b.Text)
        return differs(QStringLiteral("text"));
    if ((a.Kind == TStreamValue::vaBinary || a.Kind == TStreamValue::vaString ||
         a.Kind == TStreamValue::vaLString) &&
        a.Bytes != b.Bytes)
        return QStringLiteral("bytes differ");
    if (a.Names != b.Names)
        return differs(QStringLiteral("set"));
    if (a.List.size() != b.List.size())
        return QStringLiteral("list of %1 against %2").arg(a.List.size()).arg(b.List.size());
    for (std::size_t i = 0; i < a.List.size(); ++i)
        if (const QString d = ValueDifference(a.List[i], b.List[i]); !d.isEmpty())
            return QStringLiteral("list item %1: ").arg(i) + d;
    if (a.Items.size() != b.Items.size())
        return QStringLiteral("%1 collection items against %2").arg(a.Items.size()).arg(b.Items.size());
    for (std::size_t i = 0; i < a.Items.size(); ++i) {
        const TStreamValue::TItem& x = a.Items[i];
        const TStreamValue::TItem& y = b.Items[i];
        QString d = x.HasOrder != y.HasOrder ? QStringLiteral("order value present on one side only")
                    : x.HasOrder             ? ValueDifference(x.Order, y.Order)
                                             : QString();
        if (d.isEmpty())
            d = PropertiesDifference(x.Properties, y.Properties);
        if (!d.isEmpty())
            return QStringLiteral("item %1: ").arg(i) + d;
    }
    return {};
}

QString ComponentDifference(const TStreamComponent& a, const TStreamComponent& b) {
    const QString where = a.Name + QStringLiteral(": ");
    if (a.Flags != b.Flags || a.ChildPos != b.ChildPos || a.ClassName != b.ClassName || a.Name != b.Name)
        return where + QStringLiteral("header differs");
    if (const QString d = PropertiesDifference(a.Properties, b.Properties); !d.isEmpty())
        return where + d;
    if (a.Children.size() != b.Children.size())
        return where + QStringLiteral("%1 children against %2").arg(a.Children.size()).arg(b.Children.size());
    for (std::size_t i = 0; i < a.Children.size(); ++i)
        if (const QString d = ComponentDifference(a.Children[i], b.Children[i]); !d.isEmpty())
            return d;
    return {};
}

// ---- Values -----------------------------------------------------------------------------

struct TValueRow {
    const char* Name;
    QByteArray Value;
    TKind Kind;
    std::function<void(const TStreamValue&)> Check;
    // Written back, the value gives the same bytes (not so for extended floats that
    // a double cannot hold exactly).
    bool Canonical = true;
};

void PrintTo(const TValueRow& row, std::ostream* out) {
    *out << row.Name;
}

auto Int(std::int64_t expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Int, expected); };
}
auto Float(double expected) {
    return [expected](const TStreamValue& v) {
        EXPECT_EQ(v.Float, expected);
        EXPECT_EQ(std::signbit(v.Float), std::signbit(expected));
    };
}
auto Text(const QString& expected) {
    return [expected](const TStreamValue& v) { EXPECT_EQ(v.Text, expected); };
}
auto TextAndBytes(const QString& text, const QByteArray& bytes) {
    return [text, bytes](const TStreamValue& v) {
        EXPECT_EQ(v.Text, text);
        EXPECT_EQ(v.Bytes, bytes);
    };
}
void Nothing(const TStreamValue&) {}

const QString kGruesse = QStringLiteral("Gr\u00FC\u00DFe");
const QString kWide = QStringLiteral("\u041F\u0440\u0438\u0432\u0435\u0442 \u2013 \u4F60 \U0001F600");

const TValueRow kValues[] = {
    {"Null", B({0}), TStreamValue::vaNull, Nothing},
    {"Int8Min", B({2, 0x80}), TStreamValue::vaInt8, Int(-128)},
    {"Int16", B({3, 0x34, 0x12}), TStreamValue::vaInt16, Int(0x1234)},
    {"Int16Min", B({3, 0x00, 0x80}), TStreamValue::vaInt16, Int(-32768)},
    {"Int32Colour", B({4, 0x3A, 0x6E, 0xA5, 0x00}), TStreamValue::vaInt32, Int(0x00A56E3A)},
    {"Int32MinusOne", B({4, 0xFF, 0xFF, 0xFF, 0xFF}), TStreamValue::vaInt32, Int(-1)},
    {"Int64Min", B({19}) + Le(std::numeric_limits<std::int64_t>::min()), TStreamValue::vaInt64,
     Int(std::numeric_limits<std::int64_t>::min())},
    {"Int64Max", B({19}) + Le(std::numeric_limits<std::int64_t>::max()), TStreamValue::vaInt64,
     Int(std::numeric_limits<std::int64_t>::max())},
    {"ExtendedOneAndAHalf", Extended(0xC000000000000000, 0x3FFF), TStreamValue::vaExtended, Float(1.5)},
    {"ExtendedNegative", Extended(0xE100000000000000, 0xC006), TStreamValue::vaExtended, Float(-225)},
    {"ExtendedRoundedToDouble", Extended(0xAAAAAAAAAAAAAAAB, 0x3FFD), TStreamValue::vaExtended, Float(1.0 / 3),
     false},
    {"ExtendedZero", Extended(0, 0), TStreamValue::vaExtended, Float(0.0)},
    {"ExtendedNegativeZero", Extended(0, 0x8000), TStreamValue::vaExtended, Float(-0.0)},
    {"ExtendedNegativeInfinity", Extended(0x8000000000000000, 0xFFFF), TStreamValue::vaExtended,
     Float(-std::numeric_limits<double>::infinity())},
    {"ExtendedNaN", Extended(0xC000000000000000, 0x7FFF), TStreamValue::vaExtended,
     [](const TStreamValue& v) { EXPECT_TRUE(std::isnan(v.Float)); }},
    {"ExtendedSmallestDoubleDenormal", Extended(0x8000000000000000, 0x3BCD), TStreamValue::vaExtended,
     Float(std::numeric_limits<double>::denorm_min())},
    {"ExtendedDenormalBelowDoubleIsZero", Extended(1, 0), TStreamValue::vaExtended, Float(0.0), false},
    {"ExtendedBeyondDoubleIsInfinity", Extended(0x8000000000000000, 0x7FFE), TStreamValue::vaExtended,
     Float(std::numeric_limits<double>::infinity()), false},
    {"String", B({6}) + S("Tahoma"), TStreamValue::vaString, TextAndBytes(u"Tahoma"_s, "Tahoma")},
    {"EmptyString", B({6, 0}), TStreamValue::vaString, TextAndBytes(u""_s, "")},
    {"StringInUtf8", B({6}) + S("Gr\xC3\xBC\xC3\x9F" "e"), TStreamValue::vaString,
     TextAndBytes(kGruesse, "Gr\xC3\xBC\xC3\x9F" "e")},
    {"StringInCodePageKeepsItsBytes", B({6}) + S("Gr\xFC\xDF" "e"), TStreamValue::vaString,
     TextAndBytes(kGruesse, "Gr\xFC\xDF" "e")},
    {"Identifier", B({7}) + S("clWhite"), TStreamValue::vaIdent, Text(u"clWhite"_s)},
    {"False", B({8}), TStreamValue::vaFalse, Nothing},
    {"True", B({9}), TStreamValue::vaTrue, Nothing},
    {"Nil", B({13}), TStreamValue::vaNil, Nothing},
    {"Binary", B({10}) + U32(4) + B({0, 1, 0xFF, 0}), TStreamValue::vaBinary,
     [](const TStreamValue& v) { EXPECT_EQ(v.Bytes, B({0, 1, 0xFF, 0})); }},
    {"EmptyBinary", B({10}) + U32(0), TStreamValue::vaBinary,
     [](const TStreamValue& v) { EXPECT_TRUE(v.Bytes.isEmpty()); }},
    {"Set", B({11}) + S("fsBold") + S("fsItalic") + B({0}), TStreamValue::vaSet,
     [](const TStreamValue& v) { EXPECT_EQ(v.Names, QStringList({u"fsBold"_s, u"fsItalic"_s})); }},
    {"EmptySet", B({11, 0}), TStreamValue::vaSet, [](const TStreamValue& v) { EXPECT_TRUE(v.Names.isEmpty()); }},
    {"LongString", B({12}) + U32(300) + QByteArray(300, 'a'), TStreamValue::vaLString, Text(QString(300, u'a'))},
    {"LongStringInCodePage", B({12}) + U32(3) + "\xCF\xF0\xE8", TStreamValue::vaLString,
     TextAndBytes(QStringLiteral("\u00CF\u00F0\u00E8"), "\xCF\xF0\xE8")},
    {"Single", B({15}) + Le(std::bit_cast<std::uint32_t>(0.15625f)), TStreamValue::vaSingle, Float(0.15625)},
    {"Currency", B({16}) + Le<std::int64_t>(123400), TStreamValue::vaCurrency, Float(12.34)},
    {"NegativeCurrency", B({16}) + Le<std::int64_t>(-5), TStreamValue::vaCurrency, Float(-0.0005)},
    {"Date", B({17}) + Le(std::bit_cast<std::uint64_t>(45000.25)), TStreamValue::vaDate, Float(45000.25)},
    {"WideString", B({18}) + Utf16(kWide), TStreamValue::vaWString, TextAndBytes(kWide, kWide.toUtf8())},
    {"EmptyWideString", B({18}) + U32(0), TStreamValue::vaWString, Text(u""_s)},
    {"Utf8String", B({20}) + U32(static_cast<std::uint32_t>(kWide.toUtf8().size())) + kWide.toUtf8(),
     TStreamValue::vaUTF8String, Text(kWide)},
    {"ListOfStrings", B({1, 6}) + S("one") + B({12}) + U32(3) + "two" + B({0}), TStreamValue::vaList,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.List.size(), 2u);
         EXPECT_EQ(v.List[0].Text, u"one"_s);
         EXPECT_EQ(v.List[1].Kind, TStreamValue::vaLString);
         EXPECT_EQ(v.List[1].Text, u"two"_s);
     }},
    {"NestedLists", B({1, 1, 2, 1, 2, 2, 0, 1, 0, 0}), TStreamValue::vaList,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.List.size(), 2u);
         ASSERT_EQ(v.List[0].List.size(), 2u);
         EXPECT_EQ(v.List[0].List[1].Int, 2);
         EXPECT_EQ(v.List[1].Kind, TStreamValue::vaList);
         EXPECT_TRUE(v.List[1].List.empty());
     }},
    {"EmptyList", B({1, 0}), TStreamValue::vaList, [](const TStreamValue& v) { EXPECT_TRUE(v.List.empty()); }},
    {"CollectionWithoutOrder", B({14, 1}) + S("Width") + B({2, 3}) + S("Caption") + B({6}) + S("a") + B({0, 1, 0, 0}),
     TStreamValue::vaCollection,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.Items.size(), 2u);
         EXPECT_FALSE(v.Items[0].HasOrder);
         ASSERT_EQ(v.Items[0].Properties.size(), 2u);
         EXPECT_EQ(v.Items[0].Properties[0].Name, u"Width"_s);
         EXPECT_EQ(v.Items[0].Properties[0].Value.Int, 3);
         EXPECT_EQ(v.Items[0].Properties[1].Value.Text, u"a"_s);
         EXPECT_TRUE(v.Items[1].Properties.empty());
     }},
    {"CollectionWithOrderValues",
     B({14, 2, 7, 1}) + S("Identifier") + B({6}) + S("lblSupport.Left") + S("ValuesEx") + B({10}) + U32(3) +
         "11\x01" + B({0, 3, 0x00, 0x01, 1, 0, 4}) + Le<std::int32_t>(70000) + B({1, 0, 0}),
     TStreamValue::vaCollection,
     [](const TStreamValue& v) {
         ASSERT_EQ(v.Items.size(), 3u);
         EXPECT_TRUE(v.Items[0].HasOrder);
         EXPECT_EQ(v.Items[0].Order.Kind, TStreamValue::vaInt8);
         EXPECT_EQ(v.Items[0].Order.Int, 7);
         ASSERT_EQ(v.Items[0].Properties.size(), 2u);
         EXPECT_EQ(v.Items[0].Properties[0].Value.Text, u"lblSupport.Left"_s);
         EXPECT_EQ(v.Items[0].Properties[1].Value.Bytes, "11\x01");
         EXPECT_EQ(v.Items[1].Order.Int, 256);
         EXPECT_EQ(v.Items[2].Order.Kind, TStreamValue::vaInt32);
         EXPECT_EQ(v.Items[2].Order.Int, 70000);
     }},
    {"EmptyCollection", B({14, 0}), TStreamValue::vaCollection,
     [](const TStreamValue& v) { EXPECT_TRUE(v.Items.empty()); }},
};

class BinaryStreamValue : public testing::TestWithParam<TValueRow> {};

TEST_P(BinaryStreamValue, ReadsKindAndContent) {
    const TValueRow& row = GetParam();
    const QByteArray stream = WithValue(row.Value);
    TStreamComponent root;
    try {
        root = TBinaryStreamReader::Parse(stream, QStringLiteral("test.bin"));
    } catch (const EReadError& e) {
        FAIL() << e.what();
    }
    ASSERT_EQ(root.Properties.size(), 1u);
    EXPECT_EQ(root.Properties[0].Name, u"P"_s);
    EXPECT_EQ(root.Properties[0].Value.Kind, row.Kind);
    row.Check(root.Properties[0].Value);
    if (row.Canonical) {
        EXPECT_EQ(TBinaryStreamWriter::Write(root).toHex(' '), stream.toHex(' ')) << "written back";
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BinaryStreamValue, testing::ValuesIn(kValues),
                         [](const testing::TestParamInfo<TValueRow>& row) { return row.param.Name; });

// ---- Components ---------------------------------------------------------------------------

struct TComponentRow {
    const char* Name;
    QByteArray Stream;
    std::function<void(const TStreamComponent&)> Check;
};

void PrintTo(const TComponentRow& row, std::ostream* out) {
    *out << row.Name;
}

const TComponentRow kComponents[] = {
    {"Plain", "TPF0" + S("TfrmMain") + S("frmMain") + B({0, 0}),
     [](const TStreamComponent& c) {
         EXPECT_EQ(c.Flags, 0);
         EXPECT_EQ(c.ClassName, u"TfrmMain"_s);
         EXPECT_EQ(c.Name, u"frmMain"_s);
         EXPECT_TRUE(c.Properties.empty());
         EXPECT_TRUE(c.Children.empty());
     }},
    {"InheritedPrefix", "TPF0" + B({0xF1}) + S("TfrmMain") + S("frmMain") + B({0, 0}),
     [](const TStreamComponent& c) {
         EXPECT_EQ(c.Flags, TStreamComponent::ffInherited);
         EXPECT_EQ(c.ClassName, u"TfrmMain"_s);
     }},
    {"InlineChildWithPosition", kHead + B({0, 0xF6, 2, 3}) + S("TFrame1") + S("Frame1") + B({0, 0, 0}),
     [](const TStreamComponent& c) {
         ASSERT_EQ(c.Children.size(), 1u);
         const TStreamComponent& frame = c.Children[0];
         EXPECT_EQ(frame.Flags, TStreamComponent::ffInline | TStreamComponent::ffChildPos);
         EXPECT_EQ(frame.ChildPos, 3);
         EXPECT_EQ(frame.ClassName, u"TFrame1"_s);
         EXPECT_EQ(frame.Name, u"Frame1"_s);
     }},
    {"ChildPositionOf16Bits", "TPF0" + B({0xF2, 3, 0x2C, 0x01}) + S("TA") + S("A") + B({0, 0}),
     [](const TStreamComponent& c) {
         EXPECT_EQ(c.Flags, TStreamComponent::ffChildPos);
         EXPECT_EQ(c.ChildPos, 300);
     }},
    {"ChildrenInOrderWithTheirProperties",
     kHead + S("Caption") + B({6}) + S("x") + B({0}) + S("TPanel") + S("Panel1") + S("Tag") +
         B({2, 0xF9, 0}) + S("TLabel") + S("Label1") + B({0, 0}) + S("TLabel") + S("Label2") + B({0, 0}) +
         B({0}) + S("TTimer") + B({0, 0, 0, 0}),
     [](const TStreamComponent& c) {
         ASSERT_EQ(c.Properties.size(), 1u);
         ASSERT_EQ(c.Children.size(), 2u);
         const TStreamComponent& panel = c.Children[0];
         EXPECT_EQ(panel.Name, u"Panel1"_s);
         ASSERT_EQ(panel.Properties.size(), 1u);
         EXPECT_EQ(panel.Properties[0].Value.Int, -7);
         ASSERT_EQ(panel.Children.size(), 2u);
         EXPECT_EQ(panel.Children[0].Name, u"Label1"_s);
         EXPECT_EQ(panel.Children[1].Name, u"Label2"_s);
         EXPECT_EQ(c.Children[1].ClassName, u"TTimer"_s);
         EXPECT_TRUE(c.Children[1].Name.isEmpty());
     }},
    {"DottedNames",
     kHead + S("LangNames.Strings") + B({1, 6}) + S("English") + B({6}) + S("Deutsch") + B({0}) +
         S("Font.Style") + B({11}) + S("fsBold") + B({0, 0, 0}),
     [](const TStreamComponent& c) {
         ASSERT_EQ(c.Properties.size(), 2u);
         EXPECT_EQ(c.Properties[0].Name, u"LangNames.Strings"_s);
         ASSERT_EQ(c.Properties[0].Value.List.size(), 2u);
         EXPECT_EQ(c.Properties[0].Value.List[1].Text, u"Deutsch"_s);
         EXPECT_EQ(c.Properties[1].Name, u"Font.Style"_s);
     }},
};

class BinaryStreamComponent : public testing::TestWithParam<TComponentRow> {};

TEST_P(BinaryStreamComponent, ReadsStructure) {
    const TComponentRow& row = GetParam();
    TStreamComponent root;
    try {
        root = TBinaryStreamReader::Parse(row.Stream, QStringLiteral("test.bin"));
    } catch (const EReadError& e) {
        FAIL() << e.what();
    }
    row.Check(root);
    EXPECT_EQ(TBinaryStreamWriter::Write(root).toHex(' '), row.Stream.toHex(' ')) << "written back";
}

INSTANTIATE_TEST_SUITE_P(Table, BinaryStreamComponent, testing::ValuesIn(kComponents),
                         [](const testing::TestParamInfo<TComponentRow>& row) { return row.param.Name; });

// A translation file holds its streams one after another, at offsets of its own.
TEST(BinaryStreamComponent, ReadStopsAfterTheComponentsClosingByte) {
    const QByteArray first = "TPF0" + S("TTranslator") + S("Translator1") + B({0, 0});
    const QByteArray second = WithValue(B({9}));
    const QByteArray file = "head" + first + second + "tail";
    qsizetype position = 4;
    EXPECT_EQ(TBinaryStreamReader::Read(file, position, QStringLiteral("Translate.sib")).Name,
              u"Translator1"_s);
    EXPECT_EQ(position, 4 + first.size());
    EXPECT_EQ(TBinaryStreamReader::Read(file, position, QStringLiteral("Translate.sib")).Properties.size(),
              1u);
    EXPECT_EQ(position, file.size() - 4);

    position = 2;
    try {
        TBinaryStreamReader::Read(file, position, QStringLiteral("Translate.sib"));
        FAIL() << "read from a position without a signature";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), u"Error reading Translate.sib at byte 2: 'TPF0' signature expected"_s);
    }
}

// ---- Round trips through the text form -----------------------------------------------------

const QByteArray kEveryTextKind =
    "inherited Form1: TForm1\n"
    "  Small = -128\n"
    "  Medium = 300\n"
    "  Large = -70000\n"
    "  Huge = 5000000000\n"
    "  Ratio = 1.5e-3\n"
    "  Half = 0.5s\n"
    "  Price = 12.34c\n"
    "  When = 45000.25d\n"
    "  Caption = 'It''s'#13#10'two lines'\n"
    "  Long = '" +
    QByteArray(300, 'x') +
    "'\n"
    "  Wide = '\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE4\xBD\xA0'\n"
    "  Color = clWhite\n"
    "  Visible = False\n"
    "  Enabled = True\n"
    "  PopupMenu = nil\n"
    "  Font.Style = [fsBold, fsItalic]\n"
    "  Items.Strings = (\n"
    "    'one'\n"
    "    ('nested' 2))\n"
    "  Picture.Data = {07544269746D617000FF}\n"
    "  Columns = <\n"
    "    item\n"
    "      Width = 3\n"
    "    end\n"
    "    item [7]\n"
    "      Caption = 'b'\n"
    "    end>\n"
    "  object Panel1: TPanel\n"
    "    inline Frame1: TFrame1 [2]\n"
    "      Label1.Caption = 'framed'\n"
    "    end\n"
    "  end\n"
    "end\n";

struct TRoundTripRow {
    const char* Name;
    std::function<QByteArray()> Text;
};

void PrintTo(const TRoundTripRow& row, std::ostream* out) {
    *out << row.Name;
}

const TRoundTripRow kRoundTrips[] = {
    {"MainWindow", [] { return ReadFormFile("frmMain.dfm"); }},
    {"DownloadWindow", [] { return ReadFormFile("frmDownload.dfm"); }},
    {"EveryKindOfTheTextForm", [] { return kEveryTextKind; }},
};

class BinaryStreamRoundTrip : public testing::TestWithParam<TRoundTripRow> {};

TEST_P(BinaryStreamRoundTrip, TextTreeWrittenAndReadBackIsTheSame) {
    const TStreamComponent fromText = TTextFormParser::Parse(GetParam().Text());
    const QByteArray binary = TBinaryStreamWriter::Write(fromText);
    TStreamComponent fromBinary;
    try {
        fromBinary = TBinaryStreamReader::Parse(binary, QStringLiteral("test.bin"));
    } catch (const EReadError& e) {
        FAIL() << e.what();
    }
    EXPECT_EQ(ComponentDifference(fromText, fromBinary), u""_s);
}

INSTANTIATE_TEST_SUITE_P(Table, BinaryStreamRoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<TRoundTripRow>& row) { return row.param.Name; });

// ---- Loading a form from the binary format ----------------------------------------------------

class BinaryStreamLoading : public TAppFixture {};

TEST_F(BinaryStreamLoading, BinaryFormReachesItsComponentsThroughTheReader) {
    const QByteArray binary =
        TBinaryStreamWriter::Write(TTextFormParser::Parse("object Form1: TForm\n"
                                                          "  Caption = 'Gr\xC3\xBC\xC3\x9F"
                                                          "e'\n"
                                                          "  ClientWidth = 400\n"
                                                          "  Font.Style = [fsBold]\n"
                                                          "  object Panel1: TPanel\n"
                                                          "    Tag = -70000\n"
                                                          "    object Label1: TLabel\n"
                                                          "      Caption = 'inside'\n"
                                                          "      Visible = False\n"
                                                          "    end\n"
                                                          "  end\n"
                                                          "end\n"));
    ASSERT_TRUE(binary.startsWith("TPF0"));
    TForm form;
    try {
        TReader::ReadRootComponent(&form, TReader::ParseStream(binary, QStringLiteral("Form1.bin")));
    } catch (const EReadError& e) {
        FAIL() << e.what();
    }
    EXPECT_EQ(form.objectName(), u"Form1"_s);
    EXPECT_EQ(form.Caption(), kGruesse);
    EXPECT_EQ(form.ClientWidth(), 400);
    EXPECT_EQ(form.Font()->Style(), tk::TFontStyles(tk::fsBold));
    auto* panel = qobject_cast<TPanel*>(form.FindComponent(QStringLiteral("Panel1")));
    auto* label = qobject_cast<TLabel*>(form.FindComponent(QStringLiteral("Label1")));
    ASSERT_TRUE(panel && label);
    EXPECT_EQ(panel->Tag(), -70000);
    EXPECT_EQ(label->parentWidget(), panel);
    EXPECT_EQ(label->Caption(), u"inside"_s);
    EXPECT_FALSE(label->Visible());
}

TEST(BinaryStreamDetection, MalformedBinaryIsReportedAsBinaryNotAsText) {
    try {
        TReader::ParseStream("TPF0" + B({6}) + "TForm", QStringLiteral("Form1.bin"));
        FAIL() << "parsed";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(),
                  u"Error reading Form1.bin at byte 4: class name runs past the end of the data"_s);
    }
}

// ---- Malformed streams ----------------------------------------------------------------------------

struct TErrorRow {
    const char* Name;
    QByteArray Stream;
    qsizetype Offset;
    const char* Reason;
};

void PrintTo(const TErrorRow& row, std::ostream* out) {
    *out << row.Name;
}

const QByteArray kProperty = kHead + S("P");

const TErrorRow kErrors[] = {
    {"Empty", "", 0, "'TPF0' signature expected"},
    {"TextForm", "object A: TA\nend\n", 0, "'TPF0' signature expected"},
    {"CutSignature", "TPF", 0, "'TPF0' signature expected"},
    {"OnlySignature", "TPF0", 4, "class name expected, but the data ends"},
    {"EmptyClassName", "TPF0" + B({0, 0, 0, 0}), 4, "class name expected"},
    {"ClassNamePastEnd", "TPF0" + B({5}) + "TA", 4, "class name runs past the end of the data"},
    {"ComponentNamePastEnd", "TPF0" + S("TA") + B({9}) + "A", 7,
     "component name runs past the end of the data"},
    {"OnlyPrefix", "TPF0" + B({0xF0}), 5, "class name expected, but the data ends"},
    {"ChildPositionMissing", "TPF0" + B({0xF2}), 5, "child position expected, but the data ends"},
    {"ChildPositionNotAnInteger", "TPF0" + B({0xF2, 6}) + S("1") + S("TA") + S("A") + B({0, 0}), 5,
     "integer expected for the child position, found value type 6"},
    {"ChildPositionCut", "TPF0" + B({0xF2, 4, 1, 2}), 6, "32-bit integer runs past the end of the data"},
    {"NoEndOfProperties", kHead, 17, "property name expected, but the data ends"},
    {"PropertyNamePastEnd", kHead + B({200}) + "Caption", 17, "property name runs past the end of the data"},
    {"NoEndOfChildren", kHead + B({0}), 18,
     "child component or the end of the children expected, but the data ends"},
    {"NoEndOfChildrenOfAChild", kHead + B({0}) + S("TB") + S("B") + B({0}), 24,
     "child component or the end of the children expected, but the data ends"},
    {"NoValue", kProperty, kValueAt, "value type expected, but the data ends"},
    {"UnknownValueType", WithValue(B({21})), kValueAt, "unknown value type 21"},
    {"UnknownValueType255", WithValue(B({255})), kValueAt, "unknown value type 255"},
    {"Int8Cut", kProperty + B({2}), kValueAt + 1, "8-bit integer runs past the end of the data"},
    {"Int16Cut", kProperty + B({3, 1}), kValueAt + 1, "16-bit integer runs past the end of the data"},
    {"Int64Cut", kProperty + B({19, 1, 2, 3, 4, 5, 6, 7}), kValueAt + 1, "64-bit integer runs past"},
    {"ExtendedCut", kProperty + B({5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF}), kValueAt + 1,
     "extended float runs past"},
    {"SingleCut", kProperty + B({15, 0, 0, 0}), kValueAt + 1, "4-byte float runs past"},
    {"CurrencyCut", kProperty + B({16, 0, 0, 0, 0}), kValueAt + 1, "currency runs past"},
    {"DateCut", kProperty + B({17, 0, 0, 0, 0, 0, 0, 0}), kValueAt + 1, "date runs past"},
    {"StringPastEnd", kProperty + B({6, 9}) + "abc", kValueAt + 1, "string runs past the end of the data"},
    {"IdentifierPastEnd", kProperty + B({7, 9}) + "abc", kValueAt + 1,
     "identifier runs past the end of the data"},
    {"LongStringLengthCut", kProperty + B({12, 1, 0}), kValueAt + 1, "string runs past the end of the data"},
    {"LongStringHugeLength", WithValue(B({12}) + U32(0xFFFFFFFF) + "abc"), kValueAt + 1,
     "string of 4294967295 bytes runs past the end of the data"},
    {"BinaryHugeLength", WithValue(B({10}) + U32(0xFFFFFFFF)), kValueAt + 1,
     "binary data of 4294967295 bytes runs past the end of the data"},
    {"BinaryOneByteShort", kProperty + B({10}) + U32(4) + "abc", kValueAt + 1,
     "binary data of 4 bytes runs past"},
    // Twice the count wraps around to 0 in 32 bits.
    {"WideStringCountThatWraps", WithValue(B({18}) + U32(0x80000000) + "ab"), kValueAt + 1,
     "wide string of 2147483648 characters runs past the end of the data"},
    {"WideStringHalfAUnitShort", kProperty + B({18}) + U32(2) + "abc", kValueAt + 1,
     "wide string of 2 characters runs past"},
    {"Utf8StringHugeLength", WithValue(B({20}) + U32(0x7FFFFFFF) + "abc"), kValueAt + 1,
     "UTF-8 string of 2147483647 bytes runs past"},
    {"ListWithoutEnd", kProperty + B({1, 2, 5}), kValueAt + 3,
     "list item or the end of the list expected, but the data ends"},
    {"SetWithoutEnd", kProperty + B({11}) + S("fsBold"), kValueAt + 8,
     "set element expected, but the data ends"},
    {"SetElementPastEnd", kProperty + B({11, 6}) + "fs", kValueAt + 1,
     "set element runs past the end of the data"},
    {"CollectionWithoutEnd", kProperty + B({14, 1, 0}), kValueAt + 3,
     "collection item or the end of the collection expected, but the data ends"},
    {"CollectionItemWithoutMarker", WithValue(B({14, 6})), kValueAt + 1,
     "collection item expected, found byte 6"},
    {"CollectionOrderOf64Bits", WithValue(B({14, 19}) + Le<std::int64_t>(1) + B({1, 0, 0})), kValueAt + 1,
     "collection item expected, found byte 19"},
    {"CollectionOrderWithoutMarker", WithValue(B({14, 2, 7, 0})), kValueAt + 3,
     "collection item expected after its order value"},
    {"CollectionItemWithoutEndOfProperties", kProperty + B({14, 1}) + S("W") + B({2, 1}), kValueAt + 6,
     "property name expected, but the data ends"},
    {"DataAfterTheComponent", kHead + B({0, 0}) + "x", 19, "data after the end of the component"},
    // Nesting far beyond the limit must end in an error, not in a stack overflow.
    {"DeepComponents", "TPF0" + Repeated(S("TX") + S("X") + B({0}), 100000), 4 + 65 * 6,
     "components nested too deeply"},
    {"DeepLists", kProperty + Repeated(B({1}), 100000), kValueAt + 65, "values nested too deeply"},
    {"DeepCollections", kProperty + Repeated(B({14, 1}) + S("P"), 100000), kValueAt + 65 * 4,
     "values nested too deeply"},
};

class BinaryStreamError : public testing::TestWithParam<TErrorRow> {};

TEST_P(BinaryStreamError, NamesSourceAndByteOffset) {
    const TErrorRow& row = GetParam();
    try {
        const TStreamComponent root = TBinaryStreamReader::Parse(row.Stream, QStringLiteral("Translate.sib"));
        FAIL() << "parsed as " << root.ClassName.toStdString();
    } catch (const EReadError& e) {
        const QString where = QStringLiteral("Error reading Translate.sib at byte %1: ").arg(row.Offset);
        EXPECT_TRUE(e.Message().startsWith(where)) << e.what();
        EXPECT_TRUE(e.Message().contains(QLatin1String(row.Reason))) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, BinaryStreamError, testing::ValuesIn(kErrors),
                         [](const testing::TestParamInfo<TErrorRow>& row) { return row.param.Name; });

// No proper prefix of a stream is a stream: wherever the data is cut, the reader
// says so, at an offset inside what it was given.
TEST(BinaryStreamError, EveryCutOfTheMainWindowIsAnError) {
    const QByteArray binary = TBinaryStreamWriter::Write(TTextFormParser::Parse(ReadFormFile("frmMain.dfm")));
    const QRegularExpression offset(QStringLiteral("^Error reading frmMain.bin at byte (\\d+): "));
    for (qsizetype length = 0; length < binary.size(); ++length) {
        try {
            TBinaryStreamReader::Parse(binary.left(length), QStringLiteral("frmMain.bin"));
            ADD_FAILURE() << "the first " << length << " bytes parsed";
            return;
        } catch (const EReadError& e) {
            const QRegularExpressionMatch match = offset.match(e.Message());
            if (!match.hasMatch() || match.captured(1).toLongLong() > length) {
                ADD_FAILURE() << "cut at " << length << ": " << e.what();
                return;
            }
        }
    }
}

}  // namespace
