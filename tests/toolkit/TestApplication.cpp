#include "core/Exception.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "toolkit/TApplication.h"
#include "toolkit/TApplicationEvents.h"
#include "toolkit/TForm.h"
#include "toolkit/TLabel.h"
#include "toolkit/TReader.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

using namespace Qt::StringLiterals;

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

using namespace tk;

// Logs every message its hooks and its window procedure see, as "who message window".
class TfrmAppTest : public TForm {
    Q_OBJECT

public:
    explicit TfrmAppTest(QObject* owner = nullptr) : TForm(owner) {}

    QStringList Log;
    unsigned HandledByHook1 = 0;
    std::function<void()> OnLabel1Click;
    std::function<void()> OnWndProc;
    TCloseAction CloseAction = caHide;

    void WndProc(TMsg& message) override {
        Log << Entry("WndProc", message);
        if (OnWndProc)
            OnWndProc();
    }

public Q_SLOTS:
    void Hook1(TMsg& Msg, bool& Handled) {
        Log << Entry("Hook1", Msg);
        Handled = Msg.message == HandledByHook1;
    }
    void Hook2(TMsg& Msg, bool& /*Handled*/) { Log << Entry("Hook2", Msg); }
    // Qualified: moc keeps a reference parameter's type as it is written, and the
    // event checks it by that name.
    void FormClose(QObject* /*Sender*/, tk::TCloseAction& Action) { Action = CloseAction; }
    void Label1Click(QObject* /*Sender*/) {
        Log << QStringLiteral("Label1Click");
        if (OnLabel1Click)
            OnLabel1Click();
    }

private:
    static QString Entry(const char* who, const TMsg& message) {
        const QString window =
            message.hwnd == Application->Handle() ? QStringLiteral("app") : message.hwnd->objectName();
        return QStringLiteral("%1 %2 %3 %4 %5")
            .arg(QLatin1String(who))
            .arg(message.message, 0, 16)
            .arg(window)
            .arg(message.wParam)
            .arg(message.lParam);
    }
};

namespace {

const QByteArray kForm =
    "object frmAppTest: TfrmAppTest\n"
    "  object AppEvents1: TApplicationEvents\n"
    "    OnMessage = Hook1\n"
    "  end\n"
    "  object AppEvents2: TApplicationEvents\n"
    "    OnMessage = Hook2\n"
    "  end\n"
    "  object Label1: TLabel\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Caption = 'Click me'\n"
    "    OnClick = Label1Click\n"
    "  end\n"
    "end\n";

std::unique_ptr<TfrmAppTest> NewForm(const QString& name, bool withComponents) {
    auto form = std::make_unique<TfrmAppTest>();
    if (withComponents)
        TReader::ReadRootComponent(form.get(), TReader::ParseStream(kForm, QString()));
    form->setObjectName(name);
    return form;
}

void SendClick(QWidget* widget, bool post = false) {
    LeftClickAt(widget, QPointF(2, 2), post ? TDelivery::Posted : TDelivery::Sent);
}

class Application : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        FForm = NewForm(QStringLiteral("A"), true);
    }
    void TearDown() override {
        FForm.reset();
        TAppFixture::TearDown();
    }
    TLabel* Label1() const { return qobject_cast<TLabel*>(FForm->FindComponent(QStringLiteral("Label1"))); }

    std::unique_ptr<TfrmAppTest> FForm;
};

// ---- Posted messages ----------------------------------------------------------------

TEST_F(Application, PostedMessagesPassTheHooksInOrderThenTheirWindow) {
    FForm->HandledByHook1 = 0x402;
    FApplication->PostMessage(FForm->Handle(), 0x401, 7, -3);
    FApplication->PostMessage(FForm->Handle(), 0x402);
    FApplication->PostMessage(FApplication->Handle(), 0x403, 1, 2);
    EXPECT_TRUE(FForm->Log.isEmpty()) << "posting only queues";
    FApplication->ProcessMessages();
    EXPECT_EQ(FForm->Log, QStringList({
                              u"Hook1 401 A 7 -3"_s,
                              u"Hook2 401 A 7 -3"_s,
                              u"WndProc 401 A 7 -3"_s,
                              u"Hook1 402 A 0 0"_s,  // handled: neither the second hook nor the window
                              u"Hook1 403 app 1 2"_s,
                              u"Hook2 403 app 1 2"_s,
                          }));
}

TEST_F(Application, MessageForADeletedFormIsDropped) {
    auto other = NewForm(QStringLiteral("B"), false);
    FApplication->PostMessage(other->Handle(), 0x401);
    other.reset();
    FApplication->PostMessage(FForm->Handle(), 0x402);
    FApplication->ProcessMessages();
    EXPECT_EQ(FForm->Log, QStringList({u"Hook1 402 A 0 0"_s, u"Hook2 402 A 0 0"_s, u"WndProc 402 A 0 0"_s}));
}

TEST_F(Application, BroadcastPostsOneCopyToTheApplicationAndOneToEachForm) {
    auto other = NewForm(QStringLiteral("B"), false);
    FApplication->BroadcastMessage(0xC001, 5);
    FApplication->ProcessMessages();
    QStringList hooked = FForm->Log.filter(QStringLiteral("Hook1"));
    hooked.sort();
    EXPECT_EQ(hooked, QStringList({u"Hook1 c001 A 5 0"_s, u"Hook1 c001 B 5 0"_s, u"Hook1 c001 app 5 0"_s}));
    EXPECT_EQ(FForm->Log.filter(QStringLiteral("WndProc")), QStringList({u"WndProc c001 A 5 0"_s}));
    EXPECT_EQ(other->Log, QStringList({u"WndProc c001 B 5 0"_s}));
}

// ---- Exceptions at the loop's boundary ----------------------------------------------

struct TExceptionRow {
    const char* Name;
    bool InWndProc;
    std::function<void()> Raise;
    const char* Text;
};

void PrintTo(const TExceptionRow& row, std::ostream* out) {
    *out << row.Name;
}

const TExceptionRow kExceptions[] = {
    {"ToolkitExceptionInClick", false, [] { throw Exception(QStringLiteral("boom")); }, "boom"},
    {"RegistryExceptionInClick", false,
     [] { throw ERegistryException(QStringLiteral("Invalid data type for 'X'")); },
     "Invalid data type for 'X'"},
    {"StandardExceptionInClick", false, [] { throw std::out_of_range("index 20 is out of range"); },
     "index 20 is out of range"},
    {"OutOfMemoryInClick", false, [] { throw std::bad_alloc(); }, "std::bad_alloc"},
    {"IntegerInClick", false, [] { throw 42; }, ""},
    {"ToolkitExceptionInWndProc", true, [] { throw Exception(QStringLiteral("from the window")); },
     "from the window"},
};

class ApplicationException : public Application, public testing::WithParamInterface<TExceptionRow> {};

TEST_P(ApplicationException, IsShownAndTheLoopGoesOn) {
    const TExceptionRow& row = GetParam();
    FForm->Show();
    (row.InWndProc ? FForm->OnWndProc : FForm->OnLabel1Click) = row.Raise;
    TMessageBoxWatch watch;
    watch.Start();
    if (row.InWndProc)
        FApplication->PostMessage(FForm->Handle(), 0x401);
    else
        SendClick(Label1(), true);
    ASSERT_TRUE(WaitFor([&] { return watch.Count == 1; })) << "no message box";
    EXPECT_EQ(watch.Icon, QMessageBox::Critical);
    EXPECT_EQ(watch.Title, u"Tessaly Manager"_s);
    EXPECT_EQ(watch.Text, QLatin1String(row.Text));
    EXPECT_EQ(watch.Description, watch.Text) << "what a screen reader reads of the box";

    FForm->Log.clear();
    FForm->OnWndProc = nullptr;
    FForm->OnLabel1Click = nullptr;
    FApplication->PostMessage(FForm->Handle(), 0x402);
    SendClick(Label1(), true);
    EXPECT_TRUE(WaitFor([&] { return FForm->Log.size() == 4; })) << FForm->Log.join(u'|').toStdString();
    EXPECT_EQ(FForm->Log.last(), u"Label1Click"_s);
    EXPECT_EQ(watch.Count, 1);
}

INSTANTIATE_TEST_SUITE_P(Table, ApplicationException, testing::ValuesIn(kExceptions),
                         [](const testing::TestParamInfo<TExceptionRow>& row) { return row.param.Name; });

// ---- Modal forms ----------------------------------------------------------------------

struct TModalRow {
    const char* Name;
    std::function<void(TfrmAppTest& modal)> End;
    TModalResult Expected;
};

void PrintTo(const TModalRow& row, std::ostream* out) {
    *out << row.Name;
}

const TModalRow kModal[] = {
    {"HandlerSetsTheResult",
     [](TfrmAppTest& modal) {
         modal.OnLabel1Click = [&modal] { modal.SetModalResult(6); };
         SendClick(qobject_cast<QWidget*>(modal.FindComponent(QStringLiteral("Label1"))));
     },
     6},
    {"ClosedByTheUser", [](TfrmAppTest& modal) { modal.Close(); }, mrCancel},
};

class ApplicationModal : public Application, public testing::WithParamInterface<TModalRow> {};

TEST_P(ApplicationModal, ReturnsTheResultAndDisablesTheOtherWindowsMeanwhile) {
    TfrmAppTest* main = nullptr;
    FApplication->CreateForm(main);
    main->Show();
    auto disabledBefore = NewForm(QStringLiteral("C"), false);
    disabledBefore->Show();
    disabledBefore->setEnabled(false);
    auto modal = NewForm(QStringLiteral("M"), true);

    bool mainEnabledMeanwhile = true, modalShownMeanwhile = false;
    QTimer::singleShot(0, modal.get(), [&] {
        mainEnabledMeanwhile = main->isEnabled();
        modalShownMeanwhile = modal->isVisible();
        GetParam().End(*modal);
    });
    // Ends a modal loop that would otherwise never end, so that the test fails instead.
    QTimer::singleShot(60000, modal.get(), [&] { modal->SetModalResult(99); });

    EXPECT_EQ(modal->ShowModal(), GetParam().Expected);
    EXPECT_FALSE(mainEnabledMeanwhile);
    EXPECT_TRUE(modalShownMeanwhile);
    EXPECT_TRUE(main->isEnabled());
    EXPECT_FALSE(disabledBefore->isEnabled()) << "a window disabled before stays disabled";
    EXPECT_FALSE(modal->isVisible());
    EXPECT_EQ(modal->ModalResult(), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, ApplicationModal, testing::ValuesIn(kModal),
                         [](const testing::TestParamInfo<TModalRow>& row) { return row.param.Name; });

// ---- Labels ---------------------------------------------------------------------------

bool HaveTahoma() {
    return QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
}

TEST_F(Application, AutoSizedLabelFitsItsCaption) {
    if (!HaveTahoma())
        GTEST_SKIP() << "the Tahoma face of fonts-wine is not installed";
    TLabel* label = Label1();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->Height(), 13) << "Tahoma, height -11";
    const int shortWidth = label->Width();
    EXPECT_GT(shortWidth, 20);
    label->SetCaption(QStringLiteral("Click me, and then click me again"));
    EXPECT_GT(label->Width(), 2 * shortWidth);
    EXPECT_EQ(label->Height(), 13);
    EXPECT_EQ(label->pos(), QPoint(8, 8)) << "a left-justified label grows to the right";
    label->SetWidth(500);
    EXPECT_LT(label->Width(), 500) << "AutoSize overrides a width set later";
}

TEST_F(Application, RightJustifiedLabelKeepsItsRightEdge) {
    if (!HaveTahoma())
        GTEST_SKIP() << "the Tahoma face of fonts-wine is not installed";
    TLabel* label = Label1();
    label->SetAlignment(taRightJustify);
    const int right = label->Left() + label->Width();
    label->SetCaption(QStringLiteral("A much longer caption"));
    EXPECT_EQ(label->Left() + label->Width(), right);
    EXPECT_LT(label->Left(), 8);
    label->SetCaption(QStringLiteral("x"));
    EXPECT_EQ(label->Left() + label->Width(), right);
}

// A text the label's face lacks is drawn in a face that has it, whose line may be
// taller: Noto Sans CJK's at 11 pixels is 16 (13 up, 3 down) where Tahoma's is 13.
// A label sized for one line holds that line, and gives the room back once the text
// fits its own face again.
TEST_F(Application, ALabelHoldsTheLineOfTheFaceItsTextIsDrawnIn) {
    if (!HaveTahoma() || !QFontDatabase::families().contains(QStringLiteral("Noto Sans CJK JP")))
        GTEST_SKIP() << "Tahoma (fonts-wine) or Noto Sans CJK (fonts-noto-cjk) is not installed";
    struct TRow {
        const char* Name;
        bool AutoSize;
        int BoxHeight;  // the height given, for a label without AutoSize
        const char* Caption;
        int Height;
    };
    const TRow rows[] = {
        {"auto-sized, Latin", true, 0, "Our site", 13},
        {"auto-sized, Japanese", true, 0, "公式サイト", 16},
        {"auto-sized, Latin and Japanese", true, 0, "Tessaly 公式", 16},
        // Characters no face draws, as a damaged translation file may carry.
        {"auto-sized, control characters", true, 0, "Ob\x01\x07ne\x1f", 13},
        {"one-line box, Latin", false, 13, "Our site", 13},
        {"one-line box, Japanese", false, 13, "公式サイト", 16},
        {"roomier box, Japanese", false, 20, "公式サイト", 20},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Name);
        TLabel* label = Label1();
        label->SetAutoSize(row.AutoSize);
        if (!row.AutoSize)
            label->SetBounds(8, 8, 120, row.BoxHeight);
        label->SetCaption(QString::fromUtf8(row.Caption));
        EXPECT_EQ(label->Height(), row.Height);
        label->SetCaption(QStringLiteral("Our site"));
        EXPECT_EQ(label->Height(), row.AutoSize ? 13 : row.BoxHeight) << "back to a Latin text";
        EXPECT_EQ(label->Top(), 8);
    }
}

// A description gives the bounds the designer saw; the right edge is where they end,
// even though the caption comes after the width.
TEST_F(Application, RightJustifiedLabelFromADescriptionKeepsItsRightEdge) {
    auto form = std::make_unique<TfrmAppTest>();
    TReader::ReadRootComponent(form.get(), TReader::ParseStream("object frmAppTest: TfrmAppTest\n"
                                                                "  object Label1: TLabel\n"
                                                                "    Left = 100\n"
                                                                "    Top = 8\n"
                                                                "    Width = 80\n"
                                                                "    Height = 13\n"
                                                                "    Alignment = taRightJustify\n"
                                                                "    Caption = 'Hi'\n"
                                                                "  end\n"
                                                                "end\n",
                                                                QString()));
    auto* label = qobject_cast<TLabel*>(form->FindComponent(QStringLiteral("Label1")));
    ASSERT_NE(label, nullptr);
    EXPECT_LT(label->Width(), 80) << "sized to its caption once read";
    EXPECT_EQ(label->Left() + label->Width(), 180);
}

// ---- Closing with caFree --------------------------------------------------------------

TEST_F(Application, AFormTheApplicationCreatedIsFreedOnceByCaFree) {
    TfrmAppTest* main = nullptr;
    TfrmAppTest* second = nullptr;
    FApplication->CreateForm(main);
    FApplication->CreateForm(second);
    second->SetOnClose(TMethod::Find(second, "FormClose"));
    second->CloseAction = caFree;
    const QPointer<TfrmAppTest> watch(second);
    second->Show();
    second->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull()) << "the application let it go and it freed itself";
    // The application must not free it a second time.
    FApplication.reset();
}

TEST_F(Application, AFormSomeoneElseHoldsIsOnlyHiddenByCaFree) {
    FForm->SetOnClose(TMethod::Find(FForm.get(), "FormClose"));
    FForm->CloseAction = caFree;
    const QPointer<TfrmAppTest> watch(FForm.get());
    FForm->Show();
    FForm->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(watch.isNull()) << "freed behind its holder's back";
    EXPECT_FALSE(FForm->isVisible());
    FForm.reset();
}

struct TAccessibleRow {
    const char* Caption;
    const char* Name;
};

TEST_F(Application, ScreenReadersReadTheCaptionWithoutItsAccessKeyMarker) {
    TLabel* label = Label1();
    for (const TAccessibleRow& row :
         {TAccessibleRow{"Click me", "Click me"}, TAccessibleRow{"&Open", "Open"},
          TAccessibleRow{"Save &as...", "Save as..."}, TAccessibleRow{"Tom && Jerry", "Tom & Jerry"}}) {
        SCOPED_TRACE(row.Caption);
        label->SetCaption(QString::fromUtf8(row.Caption));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(label);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), QAccessible::Link) << "it has a click handler";
        EXPECT_EQ(accessible->text(QAccessible::Name), QString::fromUtf8(row.Name));
    }
}

}  // namespace

#include "TestApplication.moc"
