#include "core/Exception.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TForm.h"
#include "toolkit/TImage.h"
#include "toolkit/TJPEGImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"
#include "toolkit/TPicture.h"
#include "toolkit/TReader.h"
#include "toolkit/TShape.h"

#include <QAccessible>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QPushButton>
#include <QTimer>
#include <QtEndian>

#include <functional>
#include <memory>

using namespace tk;

// Logs every button click as "name result", the form's ModalResult as the
// handler saw it, and every system command it receives.
class TfrmControlsTest : public TForm {
    Q_OBJECT

public:
    explicit TfrmControlsTest(QObject* owner = nullptr) : TForm(owner) {}

    QStringList Log;
    QList<tk::WPARAM> SysCommands;

    template <typename T>
    T* Get(const char* name) const {
        return qobject_cast<T*>(FindComponent(QLatin1String(name)));
    }

public Q_SLOTS:
    void ButtonClick(QObject* Sender) {
        Log << QStringLiteral("%1 %2").arg(Sender->objectName()).arg(ModalResult());
    }

protected:
    void WMSysCommand(TMsg& message) override {
        EXPECT_EQ(message.message, WM_SYSCOMMAND);
        EXPECT_EQ(message.hwnd, Handle());
        SysCommands << message.wParam;
    }
};

namespace {

// Two buttons whose tab order is the reverse of their creation order.
const QByteArray kButtons =
    "object frmControlsTest: TfrmControlsTest\n"
    "  ClientWidth = 300\n"
    "  ClientHeight = 100\n"
    "  object Panel1: TPanel\n"
    "    Left = 0\n"
    "    Top = 0\n"
    "    Width = 300\n"
    "    Height = 100\n"
    "    TabOrder = 0\n"
    "    object btnOk: TButton\n"
    "      Left = 10\n"
    "      Top = 10\n"
    "      Width = 120\n"
    "      Height = 25\n"
    "      Caption = '&OK'\n"
    "      Default = True\n"
    "      ModalResult = 1\n"
    "      TabOrder = 1\n"
    "      OnClick = ButtonClick\n"
    "    end\n"
    "    object btnNo: TButton\n"
    "      Left = 140\n"
    "      Top = 10\n"
    "      Width = 120\n"
    "      Height = 25\n"
    "      Cancel = True\n"
    "      Caption = 'No'\n"
    "      TabOrder = 0\n"
    "      OnClick = ButtonClick\n"
    "    end\n"
    "  end\n"
    "end\n";

std::unique_ptr<TfrmControlsTest> NewForm(const QByteArray& description) {
    auto form = std::make_unique<TfrmControlsTest>();
    TReader::ReadRootComponent(form.get(), TReader::ParseStream(description, QStringLiteral("test.dfm")));
    return form;
}

// A key as the user types it: to the focused control, which passes on what it
// does not use.
void Key(TForm* form, int key) {
    QWidget* target = form->focusWidget() ? form->focusWidget() : form;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

class Controls : public TAppFixture {};

// Rows print as their names.
template <typename TRow>
requires requires(TRow row) {
    row.Name;
}
void PrintTo(const TRow& row, std::ostream* out) {
    *out << row.Name;
}

// ---- Buttons ------------------------------------------------------------------------

TEST_F(Controls, ButtonShowsItsCaptionAndIsReadAsAPushButton) {
    auto form = NewForm(kButtons);
    auto* ok = form->Get<TButton>("btnOk");
    ASSERT_NE(ok, nullptr);
    EXPECT_STREQ(ok->metaObject()->className(), "TButton");
    EXPECT_EQ(ok->Button()->text(), QStringLiteral("&OK"));
    EXPECT_EQ(ok->geometry(), QRect(10, 10, 120, 25));
    EXPECT_EQ(ok->Button()->geometry(), ok->rect());
    EXPECT_TRUE(ok->Default());
    EXPECT_EQ(ok->ModalResult(), mrOk);

    form->Show();
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(ok->Button());
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::Button);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("OK"));

    ok->SetCaption(QStringLiteral("Continue"));
    EXPECT_EQ(ok->Button()->text(), QStringLiteral("Continue"));
}

TEST_F(Controls, FormOpensWithTheFocusOnTheFirstControlInTabOrder) {
    auto form = NewForm(kButtons);
    form->Show();
    auto* ok = form->Get<TButton>("btnOk");
    auto* no = form->Get<TButton>("btnNo");
    EXPECT_EQ(form->focusWidget(), no->Button()) << "TabOrder 0, though created second";
    Key(form.get(), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), ok->Button());
    Key(form.get(), Qt::Key_Tab);
    EXPECT_EQ(form->focusWidget(), no->Button()) << "round again";
}

struct TKeyRow {
    const char* Name;
    std::function<void(TfrmControlsTest&)> Arrange;
    std::function<void(TfrmControlsTest&)> Act;
    QStringList Expected;
};

const TKeyRow kKeys[] = {
    {"MouseClickSetsTheModalResultBeforeOnClick",
     nullptr,
     [](TfrmControlsTest& f) { LeftClick(f.Get<TButton>("btnOk")->Button()); },
     {QStringLiteral("btnOk 1")}},
    {"ButtonWithoutModalResultLeavesItAlone",
     nullptr,
     [](TfrmControlsTest& f) { LeftClick(f.Get<TButton>("btnNo")->Button()); },
     {QStringLiteral("btnNo 0")}},
    {"DisabledButtonIgnoresTheMouse",
     [](TfrmControlsTest& f) { f.Get<TButton>("btnOk")->SetEnabled(false); },
     [](TfrmControlsTest& f) { LeftClick(f.Get<TButton>("btnOk")->Button()); },
     {}},
    {"EnterWithoutFocusClicksTheDefaultButton",
     [](TfrmControlsTest& f) {
         if (QWidget* focused = f.focusWidget())
             focused->clearFocus();
     },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {QStringLiteral("btnOk 1")}},
    {"KeypadEnterToo",
     [](TfrmControlsTest& f) {
         if (QWidget* focused = f.focusWidget())
             focused->clearFocus();
     },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Enter); },
     {QStringLiteral("btnOk 1")}},
    {"EnterOnAFocusedButtonClicksThatButton",
     nullptr,
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {QStringLiteral("btnNo 0")}},
    {"EnterOnTheFocusedDefaultButton",
     [](TfrmControlsTest& f) { f.Get<TButton>("btnOk")->Button()->setFocus(); },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {QStringLiteral("btnOk 1")}},
    {"EnterIgnoresADisabledDefaultButton",
     [](TfrmControlsTest& f) {
         f.focusWidget()->clearFocus();
         f.Get<TButton>("btnOk")->SetEnabled(false);
     },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {}},
    {"EnterIgnoresAHiddenDefaultButton",
     [](TfrmControlsTest& f) {
         f.focusWidget()->clearFocus();
         f.Get<TPanel>("Panel1")->SetVisible(false);
     },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {}},
    {"EscapeClicksTheCancelButtonWhateverHasTheFocus",
     [](TfrmControlsTest& f) { f.Get<TButton>("btnOk")->Button()->setFocus(); },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Escape); },
     {QStringLiteral("btnNo 0")}},
    {"EscapeIgnoresADisabledCancelButton",
     [](TfrmControlsTest& f) { f.Get<TButton>("btnNo")->SetEnabled(false); },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Escape); },
     {}},
    {"SpaceClicksTheFocusedButton",
     nullptr,
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Space); },
     {QStringLiteral("btnNo 0")}},
    {"DisablingTheFocusedButtonLeavesEnterToNobody",
     [](TfrmControlsTest& f) {
         f.Get<TButton>("btnOk")->Button()->setFocus();
         f.Get<TButton>("btnOk")->SetEnabled(false);
     },
     [](TfrmControlsTest& f) { Key(&f, Qt::Key_Return); },
     {}},
};

class ControlsKeys : public Controls, public testing::WithParamInterface<TKeyRow> {};

TEST_P(ControlsKeys, ClickTheRightButton) {
    auto form = NewForm(kButtons);
    form->Show();
    if (GetParam().Arrange)
        GetParam().Arrange(*form);
    GetParam().Act(*form);
    EXPECT_EQ(form->Log, GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ControlsKeys, testing::ValuesIn(kKeys),
                         [](const testing::TestParamInfo<TKeyRow>& row) { return row.param.Name; });

TEST_F(Controls, ButtonWithAModalResultEndsTheModalLoop) {
    auto form = NewForm(kButtons);
    QTimer::singleShot(0, form.get(), [&] { LeftClick(form->Get<TButton>("btnOk")->Button()); });
    // Ends a loop that would otherwise never end, so that the test fails instead.
    QTimer::singleShot(60000, form.get(), [&] { form->SetModalResult(99); });
    EXPECT_EQ(form->ShowModal(), mrOk);
}

// ---- Shapes -------------------------------------------------------------------------

const QColor Red(255, 0, 0), Blue(0, 0, 255), White(255, 255, 255);

struct TShapeRow {
    const char* Name;
    const char* Settings;
    QColor Corner, Centre;
};

const TShapeRow kShapes[] = {
    {"RectangleOutlinedAndFilled", "", Red, Blue},
    {"WithoutPen", "      Pen.Style = psClear\n", Blue, Blue},
    {"WithoutBrush", "      Brush.Style = bsClear\n", Red, White},
    {"EllipseLeavesTheCornersToWhatLiesBelow", "      Shape = stEllipse\n", White, Blue},
    {"CircleFitsTheShorterSide", "      Shape = stCircle\n", White, Blue},
};

class ControlsShapes : public Controls, public testing::WithParamInterface<TShapeRow> {};

TEST_P(ControlsShapes, PaintPenAndBrush) {
    const QByteArray description = QByteArray(
                                       "object frmControlsTest: TfrmControlsTest\n"
                                       "  object Panel1: TPanel\n"
                                       "    Width = 100\n"
                                       "    Height = 50\n"
                                       "    BevelOuter = bvNone\n"
                                       "    Color = clWhite\n"
                                       "    object Shape1: TShape\n"
                                       "      Left = 10\n"
                                       "      Top = 10\n"
                                       "      Width = 40\n"
                                       "      Height = 20\n"
                                       "      Brush.Color = clBlue\n"
                                       "      Pen.Color = 255\n") +
                                   GetParam().Settings +
                                   "    end\n"
                                   "  end\n"
                                   "end\n";
    auto form = NewForm(description);
    auto* panel = form->Get<TPanel>("Panel1");
    const QImage image = panel->grab().toImage();
    EXPECT_EQ(image.pixelColor(10, 10), GetParam().Corner);
    EXPECT_EQ(image.pixelColor(30, 20), GetParam().Centre);
    EXPECT_EQ(image.pixelColor(9, 9), White) << "nothing outside the bounds";
    EXPECT_EQ(image.pixelColor(50, 30), White) << "nothing outside the bounds";
}

INSTANTIATE_TEST_SUITE_P(Table, ControlsShapes, testing::ValuesIn(kShapes),
                         [](const testing::TestParamInfo<TShapeRow>& row) { return row.param.Name; });

TEST_F(Controls, ShapeColoursAreReadInTheClassicByteOrder) {
    auto form = NewForm(
        "object frmControlsTest: TfrmControlsTest\n"
        "  object Shape1: TShape\n"
        "    Width = 10\n"
        "    Height = 5\n"
        "    Brush.Color = 10841658\n"
        "    Pen.Color = 10841658\n"
        "  end\n"
        "end\n");
    auto* shape = form->Get<TShape>("Shape1");
    EXPECT_EQ(shape->Shape(), TShape::stRectangle);
    const QImage image = shape->grab().toImage();
    for (const QPoint at : {QPoint(0, 0), QPoint(5, 2), QPoint(9, 4)})
        EXPECT_EQ(image.pixelColor(at), QColor(58, 110, 165)) << at.x() << "," << at.y();
}

TEST_F(Controls, UnknownShapeIsAReadError) {
    EXPECT_THROW(NewForm("object frmControlsTest: TfrmControlsTest\n"
                         "  object Shape1: TShape\n"
                         "    Shape = stTriangle\n"
                         "  end\n"
                         "end\n"),
                 EReadError);
}

// ---- Painting at the screen's pace --------------------------------------------------

class TPaintLog : public QObject {
public:
    explicit TPaintLog(TLabel* label) : FLabel(label) { label->installEventFilter(this); }
    int Count = 0;
    QString LastPainted;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++Count;
            LastPainted = FLabel->Caption();
        }
        return false;
    }

private:
    TLabel* FLabel;
};

TEST_F(Controls, UpdatesAreGatheredToOnePaintPerIntervalAndTheLastStateIsPainted) {
    auto form = NewForm(
        "object frmControlsTest: TfrmControlsTest\n"
        "  object Label1: TLabel\n"
        "    Caption = 'start'\n"
        "  end\n"
        "end\n");
    auto* label = form->Get<TLabel>("Label1");
    TPaintLog paints(label);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return paints.Count > 0; }));

    constexpr int Steps = 3000;
    const int before = paints.Count;
    QElapsedTimer clock;
    clock.start();
    for (int i = 1; i <= Steps; ++i) {
        label->SetCaption(QString::number(i));
        Application->ProcessMessages();
        ASSERT_EQ(label->Caption(), QString::number(i)) << "the state itself is never deferred";
    }
    const qint64 elapsed = clock.elapsed();
    const int during = paints.Count - before;
    // One paint may open the run, then at most one per interval.
    EXPECT_LE(during, 2 + elapsed / TForm::MinPaintInterval) << "over " << elapsed << " ms";
    ASSERT_TRUE(WaitFor([&] { return paints.LastPainted == QString::number(Steps); }))
        << "last painted: " << paints.LastPainted.toStdString();
}

TEST_F(Controls, UpdatePaintsAtOnceWhateverThePace) {
    auto form = NewForm(
        "object frmControlsTest: TfrmControlsTest\n"
        "  object Label1: TLabel\n"
        "    Caption = 'start'\n"
        "  end\n"
        "end\n");
    auto* label = form->Get<TLabel>("Label1");
    TPaintLog paints(label);
    form->Show();
    ASSERT_TRUE(WaitFor([&] { return paints.Count > 0; }));
    for (const char* caption : {"one", "two", "three"}) {
        label->SetCaption(QLatin1String(caption));
        Application->ProcessMessages();
        form->Update();
        EXPECT_EQ(paints.LastPainted, QLatin1String(caption));
    }
}

TEST_F(Controls, ProcessMessagesCalledInATightLoopStillRunsTimers) {
    bool fired = false;
    QTimer::singleShot(0, qApp, [&] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    while (!fired && clock.elapsed() < 20000)
        Application->ProcessMessages();
    EXPECT_TRUE(fired);
}

// ---- Minimizing ---------------------------------------------------------------------

TEST_F(Controls, UserMinimizingAFormIsItsSystemCommandAndApplicationMinimizeIsNot) {
    auto first = NewForm(kButtons);
    auto second = NewForm(kButtons);
    first->Show();
    second->Show();

    first->showMinimized();
    EXPECT_EQ(first->SysCommands, QList<tk::WPARAM>{SC_MINIMIZE});
    EXPECT_FALSE(second->isMinimized()) << "a form minimizes only itself unless it says otherwise";

    first->showNormal();
    first->SysCommands.clear();
    Application->Minimize();
    EXPECT_TRUE(first->isMinimized());
    EXPECT_TRUE(second->isMinimized());
    EXPECT_TRUE(first->SysCommands.isEmpty());
    EXPECT_TRUE(second->SysCommands.isEmpty());
}

// ---- JPEG pictures ------------------------------------------------------------------

QByteArray JpegFile(const QImage& image, int quality = 95) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setQuality(quality);
    EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
    return bytes;
}

QImage Filled(int width, int height, QColor colour, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, format);
    image.fill(colour);
    return image;
}

// The stored form: a 32-bit little-endian byte count, then the file.
QByteArray Stored(const QByteArray& file) {
    QByteArray data(4, '\0');
    qToLittleEndian<quint32>(static_cast<quint32>(file.size()), data.data());
    return data + file;
}

bool Near(QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 &&
           std::abs(a.blue() - b.blue()) <= 6;
}

struct TJpegRow {
    const char* Name;
    QImage Source;
};

class ControlsJpeg : public Controls, public testing::WithParamInterface<TJpegRow> {};

TEST_P(ControlsJpeg, DecodesToTheSizeAndColour) {
    const QImage& source = GetParam().Source;
    const QImage image = TJPEGImage::Decode(Stored(JpegFile(source)));
    ASSERT_EQ(image.size(), source.size());
    for (const QPoint at : {QPoint(0, 0), QPoint(source.width() / 2, source.height() / 2),
                            QPoint(source.width() - 1, source.height() - 1)})
        EXPECT_TRUE(Near(image.pixelColor(at), source.pixelColor(at)))
            << at.x() << "," << at.y() << ": " << image.pixelColor(at).name().toStdString() << " for "
            << source.pixelColor(at).name().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Table, ControlsJpeg,
                         testing::Values(TJpegRow{"White", Filled(462, 176, Qt::white)},
                                         TJpegRow{"Colour", Filled(40, 24, QColor(200, 40, 60))},
                                         TJpegRow{"OddSize", Filled(17, 3, QColor(20, 140, 220))},
                                         TJpegRow{"Grey", Filled(30, 30, QColor(90, 90, 90),
                                                                 QImage::Format_Grayscale8)}),
                         [](const testing::TestParamInfo<TJpegRow>& row) { return row.param.Name; });

TEST_F(Controls, JpegPictureInAFormDescription) {
    const QByteArray data = "\x0ATJPEGImage" + Stored(JpegFile(Filled(46, 17, QColor(0, 128, 0))));
    auto form = NewForm(
        "object frmControlsTest: TfrmControlsTest\n"
        "  object Image1: TImage\n"
        "    Picture.Data = {" +
        data.toHex().toUpper() +
        "}\n"
        "  end\n"
        "end\n");
    const TPicture* picture = form->Get<TImage>("Image1")->Picture();
    EXPECT_EQ(picture->GraphicClass(), QStringLiteral("TJPEGImage"));
    EXPECT_EQ(picture->Image().size(), QSize(46, 17));
    EXPECT_TRUE(Near(picture->Image().pixelColor(20, 8), QColor(0, 128, 0)));
}

// The JPEG file with its frame header saying width x height.
QByteArray WithFrameSize(QByteArray file, int width, int height) {
    const qsizetype sof = file.indexOf("\xFF\xC0");
    EXPECT_GT(sof, 0);
    qToBigEndian<quint16>(static_cast<quint16>(height), file.data() + sof + 5);
    qToBigEndian<quint16>(static_cast<quint16>(width), file.data() + sof + 7);
    return file;
}

TEST_F(Controls, DamagedJpegDataIsAReadError) {
    const QByteArray file = JpegFile(Filled(40, 24, QColor(200, 40, 60)));
    QByteArray flipped = file;
    flipped[flipped.size() / 2] = static_cast<char>(~flipped[flipped.size() / 2]);
    const struct {
        const char* Name;
        QByteArray Data;
    } rows[] = {
        {"nothing", QByteArray()},
        {"no whole byte count", QByteArray("\x02\x00", 2)},
        {"an empty file", Stored(QByteArray())},
        {"more bytes announced than present", Stored(file).chopped(1)},
        {"not a JPEG file", Stored("GIF89a, not what the class says")},
        {"the start of image alone", Stored("\xFF\xD8")},
        {"no end of image", Stored(file.chopped(2))},
        {"too large to decode", Stored(WithFrameSize(file, 60000, 60000))},
        {"a frame without width", Stored(WithFrameSize(file, 0, 24))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_THROW(TJPEGImage::Decode(row.Data), EReadError);
    }
    // A flipped byte in the scan may still decode; it must never do worse.
    try {
        TJPEGImage::Decode(Stored(flipped));
    } catch (const EReadError&) {
    }
}

TEST_F(Controls, EveryTruncationOfAJpegFileIsAReadError) {
    const QByteArray file = JpegFile(Filled(24, 16, QColor(10, 200, 90)), 50);
    for (qsizetype length = 0; length < file.size(); ++length)
        EXPECT_THROW(TJPEGImage::Decode(Stored(file.left(length))), EReadError) << length << " bytes";
}

TEST_F(Controls, DamagedJpegInAFormDescriptionNamesThePicture) {
    try {
        NewForm(
            "object frmControlsTest: TfrmControlsTest\n"
            "  object Image1: TImage\n"
            "    Picture.Data = {0A544A504547496D61676504000000FFD8FFD9}\n"
            "  end\n"
            "end\n");
        FAIL() << "no error";
    } catch (const EReadError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Error reading Image1.Picture.Data: ")))
            << e.Message().toStdString();
    }
}

}  // namespace

#include "TestControls.moc"

namespace {

// A 2 x 2 bitmap, rows of 24-bit pixels padded to 8 bytes; negative height = top-down.
QByteArray TwoByTwoBitmap(qint32 height, qsizetype cutPixels = 0) {
    QByteArray pixels;
    const QRgb rows[2][2] = {{qRgb(255, 0, 0), qRgb(0, 255, 0)}, {qRgb(0, 0, 255), qRgb(255, 255, 255)}};
    for (const auto& row : rows) {
        for (const QRgb p : row)
            pixels += char(qBlue(p)), pixels += char(qGreen(p)), pixels += char(qRed(p));
        pixels += QByteArray(2, '\0');
    }
    pixels.chop(cutPixels);
    QByteArray bmp("BM");
    auto put = [&bmp](quint32 v, int n) {
        for (int i = 0; i < n; ++i)
            bmp += char((v >> (8 * i)) & 0xFF);
    };
    put(54 + pixels.size(), 4), put(0, 4), put(54, 4);
    put(40, 4), put(2, 4), put(quint32(height), 4), put(1, 2), put(24, 2), put(0, 4), put(pixels.size(), 4);
    put(0, 4), put(0, 4), put(0, 4), put(0, 4);
    QByteArray data("\x07TBitmap");
    const quint32 size = quint32(bmp.size() + pixels.size());
    data += QByteArray(reinterpret_cast<const char*>(&size), 4) + bmp + pixels;
    return data;
}

TEST(BitmapPicture, RowsLandTopDownOrBottomUpAndShortDataIsRefused) {
    TPicture bottomUp, topDown, cut;
    bottomUp.LoadFromData(TwoByTwoBitmap(2));
    topDown.LoadFromData(TwoByTwoBitmap(-2));
    // Bottom-up: the first stored row is the picture's last.
    EXPECT_EQ(bottomUp.Image().pixel(0, 1), qRgb(255, 0, 0));
    EXPECT_EQ(bottomUp.Image().pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(topDown.Image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(topDown.Image().pixel(1, 1), qRgb(255, 255, 255));
    EXPECT_THROW(cut.LoadFromData(TwoByTwoBitmap(2, 3)), EReadError);
}

}  // namespace
