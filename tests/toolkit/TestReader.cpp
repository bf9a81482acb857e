#include "core/Exception.h"
#include "core/TEvent.h"
#include "tests/support/AppFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TApplicationEvents.h"
#include "toolkit/TClassRegistry.h"
#include "toolkit/TForm.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"
#include "toolkit/TReader.h"

#include <QApplication>
#include <QBuffer>
#include <QMouseEvent>
#include <QtEndian>

#include <memory>
#include <type_traits>

using namespace Qt::StringLiterals;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace tk;

// A control with the property kinds the toolkit's own controls lack, and a reference
// to a component that the description may name only further down.
class TTestGauge : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(double Ratio MEMBER Ratio)
    Q_PROPERTY(qlonglong Total MEMBER Total)
    Q_PROPERTY(QStringList Lines MEMBER Lines)
    Q_PROPERTY(QByteArray Blob MEMBER Blob)
    Q_PROPERTY(TLabel* FocusControl MEMBER FocusControl)

public:
    explicit TTestGauge(QWidget* parent = nullptr) : TWinControl(parent) {}
    void Loaded() override { FocusKnownWhenLoaded = FocusControl != nullptr; }

    double Ratio = 0;
    qlonglong Total = 0;
    QStringList Lines;
    QByteArray Blob;
    TLabel* FocusControl = nullptr;
    bool FocusKnownWhenLoaded = false;
};

class TfrmReaderTest : public TForm {
    Q_OBJECT

public:
    explicit TfrmReaderTest(QObject* owner = nullptr) : TForm(owner) {}
    QStringList Clicks;

public Q_SLOTS:
    void Label1Click(QObject* Sender) { Clicks << Sender->objectName(); }
    void AppEvents1Message(TMsg& /*Msg*/, bool& /*Handled*/) {}
    // Handlers whose parameters do not fit the events below.
    void Label1Changed(QObject* /*Sender*/, bool& /*Allow*/) {}
    void LabelCount(int /*Count*/) {}
};

namespace {

QByteArray Form(const QByteArray& body) {
    return "object frmReaderTest: TfrmReaderTest\n" + body + "end\n";
}

void Read(TForm* form, const QByteArray& text) {
    TReader::ReadRootComponent(form, TReader::ParseStream(text, QStringLiteral("frmReaderTest.dfm")));
}

void SendClick(QWidget* widget, QPoint at, Qt::MouseButton button = Qt::LeftButton,
               QPoint releaseAt = {-1, -1}) {
    if (releaseAt == QPoint(-1, -1))
        releaseAt = at;
    QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(QPointF(at)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, releaseAt, widget->mapToGlobal(QPointF(releaseAt)),
                        button, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// Picture data as the designer stores a bitmap: the class name, a 32-bit size, a BMP file.
QByteArray BitmapData(const QImage& image) {
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    char size[4];
    qToLittleEndian<quint32>(static_cast<quint32>(bmp.size()), size);
    return QByteArray("\x07TBitmap") + QByteArray(size, 4) + bmp;
}

QByteArray HexLines(const QByteArray& data) {
    const QByteArray hex = data.toHex().toUpper();
    QByteArray lines;
    for (qsizetype i = 0; i < hex.size(); i += 64)
        lines += "\n      " + hex.mid(i, 64);
    return lines;
}

const QByteArray kForm = Form(
    "  Left = 10\n"
    "  Top = 20\n"
    "  Caption = 'Reader '#39'test'#39\n"
    "  ClientWidth = 400\n"
    "  ClientHeight = 300\n"
    "  Color = clWhite\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'Tahoma'\n"
    "  Font.Style = []\n"
    "  object AppEvents1: TApplicationEvents\n"
    "    OnMessage = AppEvents1Message\n"
    "  end\n"
    "  object Panel1: TPanel\n"
    "    Left = 8\n"
    "    Top = 16\n"
    "    Width = 200\n"
    "    Height = 120\n"
    "    BevelOuter = bvNone\n"
    "    Color = $00A56E3A\n"
    "    Font.Color = clWhite\n"
    "    Font.Style = [fsBold, fsUnderline]\n"
    "    Tag = -7\n"
    "    object Label1: TLabel\n"
    "      Left = 4\n"
    "      Top = 5\n"
    "      Cursor = crHandPoint\n"
    "      Caption = 'inherits'\n"
    "      OnClick = Label1Click\n"
    "    end\n"
    "    object Label2: TLabel\n"
    "      Left = 4\n"
    "      Top = 30\n"
    "      Caption = 'own'\n"
    "      Font.Height = -16\n"
    "      Font.Style = [fsItalic]\n"
    "    end\n"
    "  end\n"
    "  object Gauge1: TTestGauge\n"
    "    Ratio = 0.25\n"
    "    Total = 5000000000\n"
    "    Lines = (\n"
    "      'one'\n"
    "      'two')\n"
    "    Blob = {0102}\n"
    "    FocusControl = label3\n"
    "  end\n"
    "  object Label3: TLabel\n"
    "    Caption = 'last'\n"
    "  end\n");

class Reader : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        TClassRegistry::RegisterClass<TTestGauge>();
        FForm = std::make_unique<TfrmReaderTest>();
    }
    template <typename T>
    T* Find(const char* name) const {
        return qobject_cast<T*>(FForm->FindComponent(QLatin1String(name)));
    }
    void TearDown() override {
        FForm.reset();
        FHost.reset();
        TAppFixture::TearDown();
    }
    // Another live form whose components references may name as "frmHost.lblHost".
    void OpenHost() {
        FHost = std::make_unique<TForm>();
        TReader::ReadRootComponent(FHost.get(), TReader::ParseStream("object frmHost: TForm\n"
                                                                     "  object lblHost: TLabel\n  end\n"
                                                                     "  object pnlHost: TPanel\n  end\n"
                                                                     "end\n",
                                                                     QStringLiteral("frmHost.dfm")));
    }
    std::unique_ptr<TfrmReaderTest> FForm;
    std::unique_ptr<TForm> FHost;
};

TEST_F(Reader, PropertiesOfEveryKindReachTheirObjects) {
    ASSERT_NO_THROW(Read(FForm.get(), kForm));
    EXPECT_EQ(FForm->objectName(), u"frmReaderTest"_s);
    EXPECT_EQ(FForm->pos(), QPoint(10, 20));
    EXPECT_EQ(FForm->Caption(), u"Reader 'test'"_s);
    EXPECT_EQ(FForm->windowTitle(), FForm->Caption());
    EXPECT_EQ(QSize(FForm->ClientWidth(), FForm->ClientHeight()), QSize(400, 300));
    EXPECT_EQ(FForm->Color(), clWhite);

    auto* panel = Find<TPanel>("Panel1");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->geometry(), QRect(8, 16, 200, 120));
    EXPECT_EQ(panel->Tag(), -7);
    EXPECT_EQ(panel->BevelOuter(), bvNone);
    EXPECT_EQ(panel->Color(), static_cast<TColor>(0x00A56E3A));
    EXPECT_EQ(panel->BackgroundColor(), QColor(0x3A, 0x6E, 0xA5));
    EXPECT_EQ(panel->Font()->Style(), TFontStyles(fsBold | fsUnderline));
    EXPECT_FALSE(panel->ParentFont()) << "a Font.* value makes the font the control's own";

    auto* inherits = Find<TLabel>("Label1");
    auto* own = Find<TLabel>("Label2");
    ASSERT_TRUE(inherits && own);
    EXPECT_EQ(inherits->parentWidget(), panel);
    EXPECT_EQ(inherits->pos(), QPoint(4, 5));
    EXPECT_EQ(inherits->Cursor(), crHandPoint);
    EXPECT_EQ(inherits->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(inherits->ParentFont());
    EXPECT_EQ(inherits->Font()->Style(), TFontStyles(fsBold | fsUnderline));
    EXPECT_EQ(inherits->Font()->Color(), clWhite);
    EXPECT_TRUE(inherits->font().bold());
    EXPECT_FALSE(own->ParentFont());
    EXPECT_EQ(own->Font()->Height(), -16);
    EXPECT_EQ(own->Font()->Style(), TFontStyles(fsItalic));
    EXPECT_EQ(own->font().pixelSize(), 16);

    // The panel's font reaches only the label that still takes its parent's.
    panel->Font()->SetStyle(TFontStyles());
    panel->Font()->SetHeight(-13);
    EXPECT_EQ(inherits->Font()->Style(), TFontStyles());
    EXPECT_EQ(inherits->font().pixelSize(), 13);
    EXPECT_EQ(own->Font()->Style(), TFontStyles(fsItalic));
    EXPECT_EQ(own->font().pixelSize(), 16);

    auto* gauge = Find<TTestGauge>("Gauge1");
    ASSERT_NE(gauge, nullptr);
    EXPECT_DOUBLE_EQ(gauge->Ratio, 0.25);
    EXPECT_EQ(gauge->Total, 5000000000LL);
    EXPECT_EQ(gauge->Lines, QStringList({u"one"_s, u"two"_s}));
    EXPECT_EQ(gauge->Blob, QByteArray("\x01\x02"));
    EXPECT_EQ(gauge->FocusControl, Find<TLabel>("Label3")) << "a reference to a component read later";
    EXPECT_TRUE(gauge->FocusKnownWhenLoaded) << "references are resolved before Loaded";
}

TEST_F(Reader, ComponentsAreListedInCreationOrderAndFoundByAnyCase) {
    ASSERT_NO_THROW(Read(FForm.get(), kForm));
    QStringList names;
    for (int i = 0; i < FForm->ComponentCount(); ++i)
        names << FForm->Components(i)->objectName();
    EXPECT_EQ(names, QStringList(
                         {u"AppEvents1"_s, u"Panel1"_s, u"Label1"_s, u"Label2"_s, u"Gauge1"_s, u"Label3"_s}));
    EXPECT_EQ(FForm->FindComponent(u"LABEL2"_s), FForm->Components(3));
    EXPECT_EQ(FForm->FindComponent(u"panel1"_s), FForm->Components(1));
    EXPECT_EQ(FForm->FindComponent(u"Label4"_s), nullptr);
    EXPECT_EQ(FForm->FindComponent(u""_s), nullptr);
    EXPECT_EQ(FForm->Components(0)->parent(), FForm.get()) << "a non-visual component belongs to the form";

    delete FForm->FindComponent(u"Label2"_s);
    EXPECT_EQ(FForm->ComponentCount(), 5);
    EXPECT_EQ(FForm->FindComponent(u"Label2"_s), nullptr);
}

TEST_F(Reader, EventBoundByNameRunsOnAClick) {
    ASSERT_NO_THROW(Read(FForm.get(), kForm));
    FForm->Show();
    auto* label = Find<TLabel>("Label1");
    ASSERT_NE(label, nullptr);
    const QPoint inside(2, 2), outside(label->width() + 5, 2);
    struct TRow {
        const char* Name;
        Qt::MouseButton Button;
        QPoint ReleaseAt;
        int Clicks;
    };
    for (const TRow& row : {TRow{"left button", Qt::LeftButton, inside, 1},
                            TRow{"released outside", Qt::LeftButton, outside, 0},
                            TRow{"right button", Qt::RightButton, inside, 0}}) {
        SCOPED_TRACE(row.Name);
        FForm->Clicks.clear();
        SendClick(label, inside, row.Button, row.ReleaseAt);
        EXPECT_EQ(FForm->Clicks, QStringList(row.Clicks, QStringLiteral("Label1")));
    }
    // A label without a handler ignores the click.
    FForm->Clicks.clear();
    SendClick(Find<TLabel>("Label2"), inside);
    EXPECT_TRUE(FForm->Clicks.isEmpty());
}

// A handler is checked against what its event passes, so every event of every class
// a form description may name says what that is.
TEST_F(Reader, EveryEventSaysWhatItPasses) {
    QWidget parent;
    const QStringList classes = TClassRegistry::ClassNames();
    ASSERT_GE(classes.size(), 9);
    std::vector<std::unique_ptr<QObject>> instances;
    std::vector<const QObject*> objects{FForm.get()};
    for (const QString& name : classes) {
        bool isControl = false;
        const TClassRegistry::TFactory factory = TClassRegistry::Find(name, &isControl);
        instances.emplace_back(factory(isControl ? &parent : nullptr, nullptr));
        objects.push_back(instances.back().get());
    }
    for (const QObject* object : objects) {
        const QMetaObject* meta = object->metaObject();
        for (int i = 0; i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            if (property.metaType() == QMetaType::fromType<TMethod>()) {
                EXPECT_TRUE(property.read(object).value<TMethod>().Parameters())
                    << meta->className() << "." << property.name();
            }
        }
    }
}

// Code binds handlers as the reader does, and a handler that does not fit is refused
// there, naming both, rather than called with what it does not take.
TEST_F(Reader, BindingInCodeChecksTheHandler) {
    TLabel label;
    EXPECT_TRUE(TMethod::Bind(&label, "OnClick", FForm.get(), "Label1Click").Assigned());
    const struct {
        const char* Event;
        const char* Handler;
        const char* Message;
    } refused[] = {
        {"OnClick", "LabelCount",
         "The handler LabelCount(int) does not take what the event OnClick of TLabel passes (QObject*)"},
        {"OnClick", "NoSuchHandler", "TfrmReaderTest has no method NoSuchHandler for the event OnClick"},
        {"OnDrop", "Label1Click",
         "The event OnDrop of TLabel does not say what it passes, so "
         "Label1Click(QObject*) cannot be bound to it"},
    };
    for (const auto& row : refused) {
        SCOPED_TRACE(row.Handler);
        try {
            TMethod::Bind(&label, row.Event, FForm.get(), row.Handler);
            ADD_FAILURE() << "bound";
        } catch (const EInvalidOperation& error) {
            EXPECT_EQ(error.Message(), QLatin1String(row.Message));
        }
    }
}

// The compiler checks every call of an event against what the event passes.
using TAllowEvent = TEvent<QObject*, bool&>;
static_assert(std::is_invocable_v<const TAllowEvent&, TLabel*, bool&>);
static_assert(!std::is_invocable_v<const TAllowEvent&, QObject*, int&>, "another type");
static_assert(!std::is_invocable_v<const TAllowEvent&, QObject*, bool>, "a value the handler cannot change");
static_assert(!std::is_invocable_v<const TAllowEvent&, QObject*>, "too few");

// A handler set in code without Bind is checked as well: one that does not fit is
// never called with what it does not take.
TEST_F(Reader, AnEventTakesOnlyAHandlerThatFits) {
    TLabel label;
    label.setObjectName(u"Label9"_s);
    const struct {
        const char* Handler;
        bool Taken;
    } rows[] = {{"LabelCount", false}, {"Label1Changed", false}, {"Label1Click", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Handler);
        label.SetOnClick(TMethod::Find(FForm.get(), row.Handler));
        EXPECT_EQ(label.OnClick().Assigned(), row.Taken);
        label.Click();
    }
    EXPECT_EQ(FForm->Clicks, QStringList{u"Label9"_s});
}

TEST_F(Reader, BitmapPictureDataGivesTheImage) {
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixelColor(0, 0, Qt::red);
    image.setPixelColor(2, 1, Qt::blue);
    ASSERT_NO_THROW(Read(FForm.get(), Form("  object Image1: TImage\n"
                                           "    Picture.Data = {" +
                                           HexLines(BitmapData(image)) + "}\n  end\n")));
    auto* picture = Find<TImage>("Image1");
    ASSERT_NE(picture, nullptr);
    const QImage& read = picture->Picture()->Image();
    EXPECT_EQ(picture->Picture()->GraphicClass(), u"TBitmap"_s);
    ASSERT_EQ(read.size(), QSize(3, 2));
    EXPECT_EQ(read.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_EQ(read.pixelColor(2, 1), QColor(Qt::blue));
    EXPECT_EQ(read.pixelColor(1, 0), QColor(Qt::white));
}

TEST_F(Reader, AlignedChildrenShareTheClientAreaAndFollowItsSize) {
    ASSERT_NO_THROW(Read(FForm.get(), Form("  ClientWidth = 400\n"
                                           "  ClientHeight = 300\n"
                                           "  object pnlRight: TPanel\n"
                                           "    Width = 100\n"
                                           "    Align = alRight\n"
                                           "  end\n"
                                           "  object pnlClient: TPanel\n"
                                           "    Align = alClient\n"
                                           "  end\n"
                                           "  object pnlTop: TPanel\n"
                                           "    Height = 40\n"
                                           "    Align = alTop\n"
                                           "  end\n")));
    auto* right = Find<TPanel>("pnlRight");
    auto* client = Find<TPanel>("pnlClient");
    auto* top = Find<TPanel>("pnlTop");
    ASSERT_TRUE(right && client && top);
    EXPECT_EQ(top->geometry(), QRect(0, 0, 400, 40));
    EXPECT_EQ(right->geometry(), QRect(300, 40, 100, 260));
    EXPECT_EQ(client->geometry(), QRect(0, 40, 300, 260));

    FForm->Show();
    FForm->SetClientWidth(500);
    FForm->SetClientHeight(200);
    EXPECT_EQ(top->geometry(), QRect(0, 0, 500, 40));
    EXPECT_EQ(right->geometry(), QRect(400, 40, 100, 160));
    EXPECT_EQ(client->geometry(), QRect(0, 40, 400, 160));

    right->SetVisible(false);
    EXPECT_EQ(client->geometry(), QRect(0, 40, 500, 160)) << "a hidden control gives its room back";
}

// ---- Descriptions the reader refuses ------------------------------------------------

struct TErrorRow {
    const char* Name;
    QByteArray Text;
    const char* Message;
};

void PrintTo(const TErrorRow& row, std::ostream* out) {
    *out << row.Name;
}

QByteArray Label(const QByteArray& properties) {
    return "  object Label1: TLabel\n" + properties + "  end\n";
}

template <std::size_t N>
QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);
}

QByteArray Picture(const QByteArray& data) {
    return "  object Image1: TImage\n    Picture.Data = {" + data.toHex() + "}\n  end\n";
}

const TErrorRow kErrors[] = {
    {"UnknownClass", Form("  object Thing1: TNoSuchThing\n  end\n"), "Class TNoSuchThing not found"},
    {"UnknownProperty", Form(Label("    Colour = clRed\n")),
     "Error reading Label1.Colour: Property Colour does not exist"},
    {"UnknownNestedProperty", Form(Label("    Font.Weight = 1\n")),
     "Error reading Label1.Font.Weight: Property Font.Weight does not exist"},
    {"PathThroughAPlainValue", Form(Label("    Caption.Name = 'x'\n")),
     "Error reading Label1.Caption.Name: Property Caption.Name does not exist"},
    {"UnknownEventMethod", Form(Label("    OnClick = NoSuchHandler\n")),
     "Error reading Label1.OnClick: Method NoSuchHandler not found"},
    {"HandlerTakingMoreThanTheEventPasses", Form(Label("    OnClick = Label1Changed\n")),
     "Error reading Label1.OnClick: The handler Label1Changed(QObject*,bool&) does not take what the event "
     "OnClick of TLabel passes (QObject*)"},
    {"HandlerTakingAnotherType", Form(Label("    OnMouseEnter = LabelCount\n")),
     "Error reading Label1.OnMouseEnter: The handler LabelCount(int) does not take what the event "
     "OnMouseEnter of TLabel passes (QObject*)"},
    {"HandlerOfAnotherEvent",
     Form("  object AppEvents1: TApplicationEvents\n    OnMessage = Label1Click\n  end\n"),
     "Error reading AppEvents1.OnMessage: The handler Label1Click(QObject*) does not take what the event "
     "OnMessage of TApplicationEvents passes (TMsg&, bool&)"},
    {"StringIntoInteger", Form(Label("    Tag = 'seven'\n")),
     "Error reading Label1.Tag: Invalid property value 'seven'"},
    {"IntegerBeyondInt", Form(Label("    Tag = 5000000000\n")),
     "Error reading Label1.Tag: Invalid property value 5000000000"},
    {"IntegerIntoString", Form(Label("    Caption = 5\n")),
     "Error reading Label1.Caption: Invalid property value 5"},
    {"IdentifierIntoBoolean", Form(Label("    Visible = Yes\n")),
     "Error reading Label1.Visible: Invalid property value Yes"},
    {"UnknownEnumIdentifier", Form(Label("    Align = alSideways\n")),
     "Error reading Label1.Align: Invalid property value alSideways"},
    {"UnknownSetElement", Form(Label("    Font.Style = [fsBold, fsBlinking]\n")),
     "Error reading Label1.Font.Style: Invalid property value [fsBold, fsBlinking]"},
    {"SetIntoEnum", Form(Label("    Alignment = [taCenter]\n")),
     "Error reading Label1.Alignment: Invalid property value [taCenter]"},
    {"PropertyOfTheForm", Form("  ClientWidth = 'wide'\n"),
     "Error reading frmReaderTest.ClientWidth: Invalid property value 'wide'"},
    {"DuplicateName", Form(Label("") + "  object Label1: TLabel\n  end\n"),
     "A component named Label1 already exists"},
    {"DuplicateNameOtherCase", Form(Label("") + "  object LABEL1: TPanel\n  end\n"),
     "A component named LABEL1 already exists"},
    {"ControlInsideNonVisualComponent",
     Form("  object AppEvents1: TApplicationEvents\n" + Label("") + "  end\n"),
     "Control 'Label1' has no parent window"},
    {"DamagedBitmap", Form(Picture(Bytes("\x07TBitmap\x04\x00\x00\x00JUNK"))),
     "Error reading Image1.Picture.Data: The TBitmap picture data is damaged"},
    {"BitmapSizeBeyondData",
     Form(Picture(Bytes("\x07TBitmap\xFF\x00\x00\x00"
                        "BM"))),
     "Error reading Image1.Picture.Data: The TBitmap picture data is damaged"},
    {"UnknownGraphicClass", Form(Picture("\x04TFoo1234")),
     "Error reading Image1.Picture.Data: Unknown picture file extension (TFoo)"},
    {"ClassNameLongerThanData", Form(Picture("\x20TBit")),
     "Error reading Image1.Picture.Data: Invalid picture data"},
    {"DamagedIcon", Form("  Icon.Data = {00000100}\n"),
     "Error reading frmReaderTest.Icon.Data: The icon data is damaged"},
    {"ReferenceToNobody", Form("  object Gauge1: TTestGauge\n    FocusControl = Nobody\n  end\n"),
     "Error reading Gauge1.FocusControl: Invalid property value Nobody"},
    {"ReferenceOfTheWrongClass",
     Form("  object Panel1: TPanel\n  end\n  object Gauge1: TTestGauge\n    FocusControl = Panel1\n  end\n"),
     "Error reading Gauge1.FocusControl: Invalid property value Panel1"},
    {"ReferenceToAComponentTheOtherFormLacks",
     Form("  object Gauge1: TTestGauge\n    FocusControl = frmHost.Nobody\n  end\n"),
     "Error reading Gauge1.FocusControl: Invalid property value frmHost.Nobody"},
    {"ReferenceToTheOtherFormsComponentOfTheWrongClass",
     Form("  object Gauge1: TTestGauge\n    FocusControl = frmHost.pnlHost\n  end\n"),
     "Error reading Gauge1.FocusControl: Invalid property value frmHost.pnlHost"},
    {"RootClassMismatch", "object frmOther: TfrmOther\nend\n",
     "The form description is for TfrmOther, not TfrmReaderTest"},
};

class ReaderError : public Reader, public testing::WithParamInterface<TErrorRow> {};

TEST_P(ReaderError, RaisesEReadErrorNamingComponentAndProperty) {
    OpenHost();
    try {
        Read(FForm.get(), GetParam().Text);
        FAIL() << "the description was accepted";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), QLatin1String(GetParam().Message));
    }
    // Whatever was built before the error goes with the form.
    FForm.reset();
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderError, testing::ValuesIn(kErrors),
                         [](const testing::TestParamInfo<TErrorRow>& row) { return row.param.Name; });

// ---- References into other forms ----------------------------------------------------

struct TCrossFormRow {
    const char* Name;
    const char* Reference;
    const char* Found;  // the component, on the host or the form itself; null: left unset
};

const TCrossFormRow kCrossForm[] = {
    {"OtherFormsComponent", "frmHost.lblHost", "lblHost"},
    {"NamesInAnyCase", "FRMHOST.LBLHOST", "lblHost"},
    {"FormItselfByName", "frmReaderTest.Label3", "Label3"},
    {"FormNotOpenLeavesItUnset", "frmAbsent.lblHost", nullptr},
};

class ReaderCrossForm : public Reader, public testing::WithParamInterface<TCrossFormRow> {};

TEST_P(ReaderCrossForm, ReferenceFindsTheComponentOfALiveForm) {
    const TCrossFormRow& row = GetParam();
    OpenHost();
    ASSERT_NO_THROW(Read(FForm.get(),
                         Form("  object Gauge1: TTestGauge\n    FocusControl = " + QByteArray(row.Reference) +
                              "\n  end\n  object Label3: TLabel\n  end\n")));
    const QObject* found = nullptr;
    if (row.Found) {
        found = FHost->FindComponent(QLatin1String(row.Found));
        found = found ? found : FForm->FindComponent(QLatin1String(row.Found));
        ASSERT_NE(found, nullptr);
    }
    EXPECT_EQ(Find<TTestGauge>("Gauge1")->FocusControl, found);
}

INSTANTIATE_TEST_SUITE_P(Table, ReaderCrossForm, testing::ValuesIn(kCrossForm),
                         [](const testing::TestParamInfo<TCrossFormRow>& row) { return row.param.Name; });

TEST_F(Reader, FormThatFailsHalfWayIsDestroyedCleanly) {
    const QByteArray text = kForm.left(kForm.lastIndexOf("end")) +
                            "  object Label4: TLabel\n"
                            "    Caption = 'fine'\n"
                            "    Tag = 'broken'\n"
                            "  end\n"
                            "  object Label5: TLabel\n"
                            "  end\n"
                            "end\n";
    EXPECT_THROW(Read(FForm.get(), text), EReadError);
    EXPECT_NE(FForm->FindComponent(u"Label4"_s), nullptr);
    EXPECT_EQ(FForm->FindComponent(u"Label5"_s), nullptr) << "reading stops at the error";
    FForm.reset();
    // The message hook of the half-built form has gone with it.
    FApplication->BroadcastMessage(0x8001);
    FApplication->ProcessMessages();
}

}  // namespace

#include "TestReader.moc"
