#include "download/DownloadTexts.h"
#include "download/TfrmDownload.h"
#include "i18n/TTranslator.h"
#include "net/TDownloader.h"
#include "platform/SystemError.h"
#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "tests/support/NetworkEnvironment.h"
#include "tests/support/SmallDisk.h"
#include "tests/support/TestHttpServer.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TImage.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPanel.h"
#include "toolkit/TShape.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextLayout>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#ifdef _WIN32
#include "platform/win32/WinApi.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

using namespace tk;

namespace {

// The download dialog while a show function has it up.
TfrmDownload* OpenDownloadDialog() {
    return OpenForm<TfrmDownload>("frmDownload");
}

const QString Title = QStringLiteral("Tessaly Audio Trimmer");
const QString Question = QStringLiteral(
    "Tessaly Audio Trimmer is not installed on your computer. Do you want to download and install it now?");

template <typename T>
T* Part(const char* name) {
    return OpenDownloadDialog() ? qobject_cast<T*>(OpenDownloadDialog()->FindComponent(QLatin1String(name)))
                                : nullptr;
}
TButton* Button(const char* name) {
    return Part<TButton>(name);
}

void Click(TButton* button) {
    LeftClick(button->Button());
}

// A click as the window system queues it: handled at the next processing of messages.
void PostClick(TButton* button) {
    LeftClick(button->Button(), TDelivery::Posted);
}

// A key as the user types it: to the focused control, which passes on what it does not use.
void Key(int key) {
    QWidget* target =
        OpenDownloadDialog()->focusWidget() ? OpenDownloadDialog()->focusWidget() : OpenDownloadDialog();
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
}

// What the dialog shows, read every time the messages are processed while it is
// open (once before the transfer, after each block, and while the transfer waits),
// and recorded when it changed. It re-posts itself from its own delivery, and Qt
// hands out an event posted during delivery only at the next processing.
class TProgressProbe : public QObject {
public:
    struct TRecord {
        QString Status;
        int Width = 0;
        bool operator==(const TRecord&) const = default;
    };
    std::vector<TRecord> Records;
    // Runs after each record, with its index; may act on the dialog as a user would.
    std::function<void(size_t)> OnRecord;

    void Start() { QCoreApplication::postEvent(this, new QEvent(Type())); }

protected:
    bool event(QEvent* event) override {
        if (event->type() != Type())
            return QObject::event(event);
        // After the transfer the dialog only closes; nothing more to see.
        if (!OpenDownloadDialog() || OpenDownloadDialog()->ModalResult() != mrNone)
            return true;
        const TRecord shown{Part<TPanel>("pnlStatus")->Caption(), Part<TShape>("shPercent")->Width()};
        if (Records.empty() || !(Records.back() == shown)) {
            Records.push_back(shown);
            if (OnRecord)
                OnRecord(Records.size() - 1);
        }
        QCoreApplication::postEvent(this, new QEvent(Type()));
        return true;
    }

private:
    static QEvent::Type Type() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
};

std::ostream& operator<<(std::ostream& out, const TProgressProbe::TRecord& record) {
    return out << '{' << record.Status.toStdString() << ", " << record.Width << '}';
}

// What the dialog shows after `received` of `total` bytes: the whole in kilobytes
// rounded up, the count rounded down until it is complete.
TProgressProbe::TRecord Shown(quint32 total, quint32 received) {
    if (total == 0)
        return {QString(), 0};
    const TKilobyteFigures figures = KilobyteFigures(received, total);
    return {QStringLiteral("%1 KB of %2 KB").arg(figures.Done).arg(figures.Whole),
            static_cast<int>(333.0 * received / total)};
}

// The records of a transfer of `size` bytes in blocks of 1023, with or without a
// Content-Length: the view before the transfer, then what each block changed.
std::vector<TProgressProbe::TRecord> Expected(quint32 size, bool lengthKnown, size_t blocks = SIZE_MAX) {
    std::vector<TProgressProbe::TRecord> records{{QString(), 0}};
    size_t block = 0;
    for (quint32 received = 0; received < size && block < blocks; ++block) {
        received = std::min(size, received + 1023);
        const TProgressProbe::TRecord shown = Shown(lengthKnown ? size : 0, received);
        if (!(records.back() == shown))
            records.push_back(shown);
    }
    return records;
}

// The dialog shows the view at the screen's pace rather than after every block: what
// it showed is the view before the transfer, the first block's, some of the others'
// in their order, and the last one's.
void ExpectShownAtThePace(const std::vector<TProgressProbe::TRecord>& records, quint32 size, bool lengthKnown,
                          size_t blocks = SIZE_MAX) {
    const std::vector<TProgressProbe::TRecord> every = Expected(size, lengthKnown, blocks);
    if (every.size() == 1) {
        EXPECT_EQ(records, every) << "without a length there is nothing to show";
        return;
    }
    ASSERT_GE(records.size(), 2u) << testing::PrintToString(records);
    EXPECT_EQ(records.front(), every.front());
    EXPECT_EQ(records[1], every[1]) << "the first block is shown at once";
    EXPECT_EQ(records.back(), every.back()) << "the last block is shown";
    auto next = every.begin();
    for (const TProgressProbe::TRecord& record : records) {
        next = std::find(next, every.end(), record);
        ASSERT_NE(next, every.end()) << record << " is no block's view, or out of order";
    }
}

// Rows print as their names.
template <typename TRow>
requires requires(TRow row) {
    row.Name;
}
void PrintTo(const TRow& row, std::ostream* out) {
    *out << row.Name;
}

class DownloadDialog : public TAppFixture {
protected:
    static void SetUpTestSuite() { Server = std::make_unique<TTestHttpServer>(); }
    static void TearDownTestSuite() { Server.reset(); }

    void SetUp() override {
        TAppFixture::SetUp();
        ASSERT_TRUE(Server->Started()) << Server->Error().toStdString();
        Server->TakeRequests();
        FApplication->CreateForm(FMain);
        FMain->SetClientWidth(652);
        FMain->SetClientHeight(321);
        FMain->Show();
        FTarget = FFiles.FilePath(QStringLiteral("setup.exe"));
    }

    // Shows the dialog as the main window does; `whileShown` runs once it is up
    // and active, as it is when the user gets to it.
    int Show(const QString& url, const QString& fileName, const std::function<void()>& whileShown) {
        const int result = RunModal([] { return OpenDownloadDialog(); }, whileShown,
                                    [&] { return ShowDownloadDialog(Title, Question, url, fileName); });
        EXPECT_EQ(OpenDownloadDialog(), nullptr) << "freed before the result is returned";
        return result;
    }

    QStringList FilesLeft() const {
        // A replaced file is let go in the background.
        QThreadPool::globalInstance()->waitForDone();
        return QDir(FFiles.Path()).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    static std::unique_ptr<TTestHttpServer> Server;
    TNetworkEnvironment FNetwork;
    TForm* FMain = nullptr;
    QString FTarget;
};

std::unique_ptr<TTestHttpServer> DownloadDialog::Server;

// ---- The form -------------------------------------------------------------------------

struct TPlace {
    const char* Name;
    const char* Class;
    const char* Parent;
    QRect Bounds;
};

const TPlace kPlaces[] = {
    {"Panel1", "TPanel", "frmDownload", {0, 0, 365, 103}},
    {"Image1", "TImage", "Panel1", {0, 0, 365, 103}},
    {"Panel2", "TPanel", "frmDownload", {0, 103, 365, 2}},
    {"Panel3", "TPanel", "frmDownload", {0, 105, 365, 49}},
    {"btnCancel", "TButton", "Panel3", {188, 12, 161, 25}},
    {"btnDownload", "TButton", "Panel3", {16, 12, 161, 25}},
    {"lblHead", "TLabel", "Panel1", {16, 14, 333, 17}},
    {"lblOutput", "TLabel", "Panel1", {16, 42, 333, 17}},
    {"pnlStatus", "TPanel", "Panel1", {16, 67, 333, 19}},
    {"lblMessage", "TLabel", "Panel1", {16, 38, 333, 48}},
    {"shPercent", "TShape", "Panel1", {16, 62, 0, 5}},
    {"shTotal", "TShape", "Panel1", {16, 62, 333, 5}},
};

TEST_F(DownloadDialog, FormAsDesigned) {
    Show(QString(), QString(), [&] {
        TfrmDownload* form = OpenDownloadDialog();
        EXPECT_EQ(form->ClientWidth(), 365);
        EXPECT_EQ(form->ClientHeight(), 154);
        EXPECT_EQ(form->size(), QSize(365, 154));
        EXPECT_EQ(form->BorderStyle(), bsSingle);
        EXPECT_EQ(form->BorderIcons(), TBorderIcons(biSystemMenu | biMinimize));
        EXPECT_TRUE(form->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
        EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
        EXPECT_EQ(form->Position(), poMainFormCenter);
        EXPECT_EQ(form->frameGeometry().center(), FMain->frameGeometry().center());
        EXPECT_EQ(form->Font()->Name(), QStringLiteral("Tahoma"));
        EXPECT_EQ(form->Font()->Height(), -11);
        EXPECT_EQ(form->Icon()->Icon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}}));

        for (const TPlace& place : kPlaces) {
            SCOPED_TRACE(place.Name);
            auto* control = Part<TControl>(place.Name);
            ASSERT_NE(control, nullptr);
            EXPECT_STREQ(control->metaObject()->className(), place.Class);
            EXPECT_EQ(control->parentWidget()->objectName(), QLatin1String(place.Parent));
            EXPECT_EQ(control->geometry(), place.Bounds);
        }

        const TPicture* picture = Part<TImage>("Image1")->Picture();
        EXPECT_EQ(picture->GraphicClass(), QStringLiteral("TJPEGImage"));
        EXPECT_EQ(picture->Image().size(), QSize(462, 176));
        for (const QPoint at : {QPoint(0, 0), QPoint(231, 88), QPoint(461, 175)})
            EXPECT_EQ(picture->Image().pixelColor(at), QColor(Qt::white));
        EXPECT_TRUE(Part<TImage>("Image1")->Stretch());

        auto* head = Part<TLabel>("lblHead");
        EXPECT_TRUE(head->Font()->Style().testFlag(fsBold));
        for (const char* name : {"lblHead", "lblOutput", "lblMessage"}) {
            SCOPED_TRACE(name);
            auto* label = Part<TLabel>(name);
            EXPECT_EQ(label->Alignment(), qstrcmp(name, "lblOutput") == 0 ? taLeftJustify : taCenter);
            EXPECT_EQ(label->Layout(), tlCenter);
            // The path is one line.
            EXPECT_EQ(label->WordWrap(), qstrcmp(name, "lblOutput") != 0);
            EXPECT_FALSE(label->AutoSize());
            EXPECT_EQ(label->BackgroundColor(), QColor(Qt::white));
        }
        EXPECT_TRUE(Part<TLabel>("lblOutput")->ShowHint());
        auto* status = Part<TPanel>("pnlStatus");
        EXPECT_EQ(status->Alignment(), taLeftJustify);
        EXPECT_EQ(status->BevelOuter(), bvNone);
        EXPECT_EQ(status->BackgroundColor(), QColor(Qt::white));
        EXPECT_TRUE(status->DoubleBuffered());
        EXPECT_EQ(Part<TPanel>("Panel2")->BevelOuter(), bvLowered);

        EXPECT_EQ(Button("btnDownload")->Caption(), QStringLiteral("Download and install"));
        EXPECT_EQ(Button("btnCancel")->Caption(), QStringLiteral("Cancel"));

        // The blue bar lies over the grey track.
        auto* percent = Part<TShape>("shPercent");
        auto* total = Part<TShape>("shTotal");
        percent->SetVisible(true);
        total->SetVisible(true);
        percent->SetWidth(100);
        const QImage panel = Part<TPanel>("Panel1")->grab().toImage();
        EXPECT_EQ(panel.pixelColor(16 + 50, 64), QColor(58, 110, 165));
        EXPECT_EQ(panel.pixelColor(16 + 200, 64), QColor(0xF2, 0xF2, 0xF2));
        Click(Button("btnCancel"));
    });
}

// ---- Offer --------------------------------------------------------------------------

TEST_F(DownloadDialog, OfferShowsTheTitleAndQuestionWithDownloadAsTheDefault) {
    const int result = Show(Server->Url(QStringLiteral("/file/5000")), FTarget, [&] {
        EXPECT_EQ(OpenDownloadDialog()->Caption(), Title);
        EXPECT_EQ(OpenDownloadDialog()->windowTitle(), Title);
        EXPECT_EQ(Part<TLabel>("lblHead")->Caption(), Title);
        EXPECT_EQ(Part<TLabel>("lblMessage")->Caption(), Question);
        for (const char* shown : {"Image1", "lblHead", "lblMessage", "btnDownload", "btnCancel"})
            EXPECT_TRUE(Part<TControl>(shown)->isVisible()) << shown;
        for (const char* hidden : {"pnlStatus", "shTotal", "shPercent", "lblOutput"})
            EXPECT_FALSE(Part<TControl>(hidden)->isVisible()) << hidden;
        EXPECT_EQ(Part<TPanel>("pnlStatus")->Caption(), QString());
        EXPECT_EQ(Part<TLabel>("lblOutput")->Caption(), QString());
        EXPECT_EQ(Part<TShape>("shPercent")->Width(), 0);
        EXPECT_TRUE(Button("btnDownload")->isEnabled());
        EXPECT_TRUE(Button("btnDownload")->Default());
        EXPECT_TRUE(Button("btnCancel")->isEnabled());
        EXPECT_EQ(OpenDownloadDialog()->focusWidget(), Button("btnDownload")->Button());
        EXPECT_FALSE(FMain->isEnabled()) << "modal";
        Click(Button("btnCancel"));
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(FMain->isEnabled());
}

struct TOfferEnd {
    const char* Name;
    std::function<void()> End;
};

const TOfferEnd kOfferEnds[] = {
    {"CancelButton", [] { Click(Button("btnCancel")); }},
    {"Escape", [] { Key(Qt::Key_Escape); }},
    {"CloseBox", [] { OpenDownloadDialog()->Close(); }},
};

class DownloadDialogOffer : public DownloadDialog, public testing::WithParamInterface<TOfferEnd> {};

TEST_P(DownloadDialogOffer, DeclinedClosesWith2AndFetchesNothing) {
    QFile::remove(FTarget);
    EXPECT_EQ(Show(Server->Url(QStringLiteral("/file/5000")), FTarget, GetParam().End), mrCancel);
    EXPECT_TRUE(Server->TakeRequests().empty());
    EXPECT_TRUE(FilesLeft().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogOffer, testing::ValuesIn(kOfferEnds),
                         [](const testing::TestParamInfo<TOfferEnd>& row) { return row.param.Name; });

TEST_F(DownloadDialog, MinimizingTheOfferMinimizesTheWholeApplication) {
    bool mainMinimized = false, dialogMinimized = false;
    const int result = Show(Server->Url(QStringLiteral("/file/5000")), FTarget, [&] {
        OpenDownloadDialog()->showMinimized();
        mainMinimized = FMain->isMinimized();
        dialogMinimized = OpenDownloadDialog()->isMinimized();
        OpenDownloadDialog()->showNormal();
        Click(Button("btnCancel"));
    });
    EXPECT_TRUE(mainMinimized);
    EXPECT_TRUE(dialogMinimized);
    EXPECT_EQ(result, mrCancel);
}

// ---- Empty URL or file name -----------------------------------------------------------

struct TEmptyRow {
    const char* Name;
    bool EmptyUrl, EmptyFile;
};

class DownloadDialogEmpty : public DownloadDialog, public testing::WithParamInterface<TEmptyRow> {};

TEST_P(DownloadDialogEmpty, SwitchesToProgressAndClosesWith2AtOnce) {
    const QString url = GetParam().EmptyUrl ? QString() : Server->Url(QStringLiteral("/file/5000"));
    const QString file = GetParam().EmptyFile ? QString() : FTarget;
    const int result = Show(url, file, [&] {
        Click(Button("btnDownload"));
        EXPECT_FALSE(Part<TControl>("lblMessage")->isVisible());
        for (const char* shown : {"pnlStatus", "shTotal", "shPercent", "lblOutput", "lblHead"})
            EXPECT_TRUE(Part<TControl>(shown)->isVisible()) << shown;
        EXPECT_EQ(Part<TLabel>("lblOutput")->Caption(), file);
        EXPECT_EQ(Part<TLabel>("lblOutput")->Hint(), file);
        EXPECT_FALSE(Button("btnDownload")->isEnabled());
        EXPECT_EQ(OpenDownloadDialog()->ModalResult(), mrCancel);
    });
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(Server->TakeRequests().empty());
    EXPECT_TRUE(FilesLeft().isEmpty());
}

// A path longer than the line: its start and the file's name stay, the middle gives
// way; the hint and a screen reader have all of it.
TEST_F(DownloadDialog, PathLongerThanItsLineIsShortenedInTheMiddle) {
    const QString file = QStringLiteral("/home/a-person-with-a-long-name/Kestrelweave/Installations/") +
                         QStringLiteral("nested/").repeated(12) + QStringLiteral("TessalyAudioTrimmer.exe");
    Show(QString(), file, [&] {
        Click(Button("btnDownload"));
        auto* output = Part<TLabel>("lblOutput");
        const QString shown = output->Caption();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("/home/a-person"))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(QStringLiteral("TessalyAudioTrimmer.exe"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_LE(QFontMetrics(output->font()).horizontalAdvance(shown), output->Width());
        EXPECT_EQ(output->Hint(), file);
        EXPECT_EQ(output->accessibleDescription(), file);
    });
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogEmpty,
                         testing::Values(TEmptyRow{"Url", true, false}, TEmptyRow{"FileName", false, true},
                                         TEmptyRow{"Both", true, true}),
                         [](const testing::TestParamInfo<TEmptyRow>& row) { return row.param.Name; });

// ---- Transfers ------------------------------------------------------------------------

struct TTransferRow {
    const char* Name;
    const char* Path;
    quint32 Size;      // of the body
    bool LengthKnown;  // a Content-Length came with it
    int Result;        // the dialog's
    bool FileWritten;
    // The blocks that come before the server stalls (0: it does not): the last of them
    // is shown within 100 ms, and then Cancel ends the transfer.
    size_t Burst = 0;
};

const TTransferRow kTransfers[] = {
    {"FourBlocks", "/file/3569", 3569, true, mrOk, true},
    {"OneBlock", "/file/1023", 1023, true, mrOk, true},
    {"TwoBlocksOf1024Bytes", "/file/1024", 1024, true, mrOk, true},
    {"ManyBlocks", "/file/40000", 40000, true, mrOk, true},
    {"NoContentLength", "/chunked/5000", 5000, false, mrOk, true},
    {"BurstThenStall", "/stall/200508", 200508, true, mrCancel, false, 98},
};

class DownloadDialogTransfer : public DownloadDialog, public testing::WithParamInterface<TTransferRow> {};

TEST_P(DownloadDialogTransfer, ShowsTheBarAndTheKilobytesAtTheScreensPace) {
    const TTransferRow& row = GetParam();
    TProgressProbe probe;
    // From the first block shown to the burst's last.
    QElapsedTimer sinceFirst;
    qint64 burstShownAfter = -1;
    const TProgressProbe::TRecord burstView = Expected(row.Size, true, row.Burst).back();
    if (row.Burst) {
        // Without the burst's last block on view, the stall's failure would show it.
        SetInternetTimeouts(TInternetTimeouts{60, 2});
        probe.OnRecord = [&](size_t index) {
            if (index == 1)
                sinceFirst.start();
            if (probe.Records[index] == burstView) {
                burstShownAfter = sinceFirst.elapsed();
                Click(Button("btnCancel"));
            }
        };
    }
    const int result = Show(Server->Url(QLatin1String(row.Path)), FTarget, [&] {
        probe.Start();
        Click(Button("btnDownload"));
    });
    EXPECT_EQ(result, row.Result);
    ExpectShownAtThePace(probe.Records, row.Size, row.LengthKnown, row.Burst ? row.Burst : SIZE_MAX);
    if (row.Burst) {
        EXPECT_GE(burstShownAfter, 0);
        EXPECT_LT(burstShownAfter, 100) << "what came before the stall waited for its end";
    }
    if (row.FileWritten) {
        QFile file(FTarget);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), TTestHttpServer::Pattern(row.Size));
    }
    EXPECT_EQ(FilesLeft(), row.FileWritten ? QStringList{QStringLiteral("setup.exe")} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogTransfer, testing::ValuesIn(kTransfers),
                         [](const testing::TestParamInfo<TTransferRow>& row) { return row.param.Name; });

TEST_F(DownloadDialog, EnterStartsTheDownload) {
    const int result = Show(Server->Url(QStringLiteral("/file/5000")), FTarget, [] { Key(Qt::Key_Return); });
    EXPECT_EQ(result, mrOk);
    EXPECT_EQ(QFileInfo(FTarget).size(), 5000);
}

// What the user does during a transfer, at the record after the first block.
struct TDuringRow {
    const char* Name;
    std::function<void()> Act;
    size_t AtRecord;  // 0: before the transfer, 1: after the first block
    int Result;
    bool Completes;  // the transfer ran to its end
    size_t Records;  // when it did not
};

const TDuringRow kDuring[] = {
    // A cancelled download is not a finished one, however much of it arrived.
    {"CancelButtonStopsAndRemovesTheFile", [] { Click(Button("btnCancel")); }, 1, mrCancel, false, 2},
    {"EscapeToo", [] { Key(Qt::Key_Escape); }, 1, mrCancel, false, 2},
    {"CloseBoxToo", [] { OpenDownloadDialog()->Close(); }, 1, mrCancel, false, 2},
    {"CancelClickedWhileConnectingEndsWithNothingWritten", [] { PostClick(Button("btnCancel")); }, 0,
     mrCancel, false, 1},
    {"CancelBeforeTheTransferStartedFetchesNothing", [] { Click(Button("btnCancel")); }, 0, mrCancel, false,
     1},
    {"EnterDoesNothing", [] { Key(Qt::Key_Return); }, 1, mrOk, true, 0},
    {"DownloadCannotStartTwice", [] { Click(Button("btnDownload")); }, 1, mrOk, true, 0},
};

class DownloadDialogDuring : public DownloadDialog, public testing::WithParamInterface<TDuringRow> {};

TEST_P(DownloadDialogDuring, Transfer) {
    const TDuringRow& row = GetParam();
    constexpr quint32 Size = 20000;
    TProgressProbe probe;
    probe.OnRecord = [&](size_t index) {
        if (index == row.AtRecord)
            row.Act();
    };
    const int result = Show(Server->Url(QStringLiteral("/file/%1").arg(Size)), FTarget, [&] {
        probe.Start();
        Click(Button("btnDownload"));
    });
    EXPECT_EQ(result, row.Result);
    if (row.Completes) {
        ExpectShownAtThePace(probe.Records, Size, true);
        EXPECT_EQ(QFileInfo(FTarget).size(), Size);
    } else {
        EXPECT_EQ(probe.Records, Expected(Size, true, row.Records - 1));
        EXPECT_TRUE(FilesLeft().isEmpty()) << FilesLeft().join(QLatin1Char(' ')).toStdString();
    }
    // A cancel while connecting may come before or after the request went out.
    EXPECT_LE(Server->TakeRequests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogDuring, testing::ValuesIn(kDuring),
                         [](const testing::TestParamInfo<TDuringRow>& row) { return row.param.Name; });

TEST_F(DownloadDialog, MinimizingDuringTheTransferMinimizesTheApplicationAndTheTransferGoesOn) {
    constexpr quint32 Size = 20000;
    bool mainMinimized = false, dialogMinimized = false;
    TProgressProbe probe;
    probe.OnRecord = [&](size_t index) {
        if (index != 1)
            return;
        OpenDownloadDialog()->showMinimized();
        mainMinimized = FMain->isMinimized();
        dialogMinimized = OpenDownloadDialog()->isMinimized();
    };
    const int result = Show(Server->Url(QStringLiteral("/file/%1").arg(Size)), FTarget, [&] {
        probe.Start();
        Click(Button("btnDownload"));
    });
    EXPECT_TRUE(mainMinimized);
    EXPECT_TRUE(dialogMinimized);
    EXPECT_EQ(result, mrOk);
    ExpectShownAtThePace(probe.Records, Size, true);
    EXPECT_EQ(QFileInfo(FTarget).size(), Size);
}

// ---- A failed download ------------------------------------------------------------------

// What a failure is staged with: the servers, the system's proxies and trust, the
// target.
struct TScene {
    const TTestHttpServer& Plain;
    const TTestHttpServer& Tls;
    const TTestHttpServer& Tunnel;
    QString& Target;
    std::optional<TScopedProxies>& Proxies;
    std::optional<TScopedTrust>& Trust;

    static QString Address(const TTestHttpServer& server) {
        return QStringLiteral("%1:%2").arg(server.Host()).arg(server.Port());
    }
};

QString WhyNotUnfinishedAnswer() {
    return WhyTransportCannot(TTransportLimit::UnfinishedAnswer);
}

// The words the dialog gives for why a file cannot be made at `path`, the reason
// asked of the system directly.
QString WhyCannotCreate(const QString& path) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(path).utf16()),
                                    GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    const TSystemError error = SystemError(GetLastError());
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
#else
    const int file = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    const TSystemError error = SystemError(errno);
    if (file >= 0)
        ::close(file);
#endif
    return SystemErrorWords(error, nullptr);
}

struct TFailedRow {
    const char* Name;
    // Stages the failure; returns the URL to fetch and the sentence the dialog must show.
    std::function<std::pair<QString, QString>(TScene&)> Stage;
    int BarWidth;  // where the transfer stopped
    std::function<void()> End;
    // Why the row cannot be staged here (empty: it can); none: it can everywhere.
    QString (*WhyNot)() = nullptr;
};

class DownloadDialogFailure : public DownloadDialog {
protected:
    static void SetUpTestSuite() {
        DownloadDialog::SetUpTestSuite();
        Secure = std::make_unique<TSecureServers>();
    }
    static void TearDownTestSuite() {
        Secure.reset();
        DownloadDialog::TearDownTestSuite();
    }
    void SetUp() override {
        DownloadDialog::SetUp();
        ASSERT_TRUE(Secure->Error().isEmpty()) << Secure->Error().toStdString();
    }
    TScene Scene() { return TScene{*Server, Secure->Tls, Secure->Tunnel, FTarget, FProxies, FTrust}; }

    // Shows the dialog for `url` and clicks "Download and install"; `atFailure` runs
    // once the transfer has ended with the dialog still open, and ends it.
    int ShowFailing(const QString& url, const std::function<void()>& atFailure) {
        return Show(url, FTarget, [&] {
            Click(Button("btnDownload"));
            atFailure();
        });
    }

    static std::unique_ptr<TSecureServers> Secure;
    std::optional<TScopedProxies> FProxies;
    std::optional<TScopedTrust> FTrust;
};

std::unique_ptr<TSecureServers> DownloadDialogFailure::Secure;

const auto kCancel = [] { Click(Button("btnCancel")); };
const auto kEscape = [] { Key(Qt::Key_Escape); };
const auto kCloseBox = [] { OpenDownloadDialog()->Close(); };

const TFailedRow kFailures[] = {
    {"ServerNotFound",
     [](TScene&) {
         return std::pair{QStringLiteral("http://tessaly.invalid/file/10"),
                          QStringLiteral("Could not find the server tessaly.invalid.")};
     },
     0, kCancel},
    {"ConnectionRefused",
     [](TScene&) {
         const QString port = QString::number(TTestHttpServer::UnusedPort());
         return std::pair{
             QStringLiteral("http://127.0.0.1:%1/file/10").arg(port),
             QStringLiteral("Could not connect to 127.0.0.1:%1 (connection refused).").arg(port)};
     },
     0, kEscape},
    {"ProxyRefusesTheConnection",
     [](TScene& scene) {
         const QString port = QString::number(TTestHttpServer::UnusedPort());
         scene.Proxies.emplace(TProxySettings{QStringLiteral("127.0.0.1:") + port, {}, {}});
         return std::pair{
             QStringLiteral("http://www.kestrelweave.com/file/10"),
             QStringLiteral("Could not connect to the proxy 127.0.0.1:%1 (connection refused).").arg(port)};
     },
     0, kCloseBox},
    {"ProxyRefusesTheTunnel",
     [](TScene& scene) {
         scene.Proxies.emplace(TProxySettings{{}, TScene::Address(scene.Tunnel), {}});
         return std::pair{
             QStringLiteral("https://forbidden.kestrelweave.com/file/10"),
             QStringLiteral("The proxy 127.0.0.1:%1 answered with error 403.").arg(scene.Tunnel.Port())};
     },
     0, kCancel},
    {"NotFound",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/status/404")),
                          QStringLiteral("The server does not have this file (404).")};
     },
     0, kEscape},
    {"StatusWithoutWordsOfItsOwn",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/status/418")),
                          QStringLiteral("The server answered with error 418.")};
     },
     0, kCancel},
    {"StoppedSending",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/close-mid/3145728")),
                          QStringLiteral("The server stopped sending after 1,536 KB of 3,072 KB.")};
     },
     166, kCloseBox},
    {"Stalled",
     [](TScene& scene) {
         SetInternetTimeouts(TInternetTimeouts{60, 2});
         return std::pair{scene.Plain.Url(QStringLiteral("/stall/20000")),
                          QStringLiteral("The server stopped sending after 9 KB of 19 KB.")};
     },
     166, kCancel},
    {"OneByteShort",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/short/1048576")),
                          QStringLiteral("The server stopped sending after 1,023 KB of 1,024 KB.")};
     },
     332, kEscape},
    {"HeadersNeverEnd",
     [](TScene& scene) {
         SetInternetTimeouts(TInternetTimeouts{60, 2});
         return std::pair{scene.Plain.Url(QStringLiteral("/unended")),
                          QStringLiteral("The server did not finish its answer.")};
     },
     0, kCloseBox, &WhyNotUnfinishedAnswer},
    {"HeadersTrickle",
     [](TScene& scene) {
         SetInternetTimeouts(TInternetTimeouts{60, 2});
         return std::pair{scene.Plain.Url(QStringLiteral("/trickle")),
                          QStringLiteral("The server did not finish its answer.")};
     },
     0, kCancel},
    {"AnswerIsNotHttp",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/not-http")),
                          QStringLiteral("The server's answer was not HTTP.")};
     },
     0, kEscape},
    {"RedirectedToAFile",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/goto?to=file:///etc/passwd")),
                          QStringLiteral("The server sent the download to file:///etc/passwd, which is not a "
                                         "web address.")};
     },
     0, kCloseBox},
    {"RedirectedToFtp",
     [](TScene& scene) {
         scene.Trust.emplace(scene.Tls);
         return std::pair{
             scene.Tls.Url(QStringLiteral("/goto?to=ftp://www.kestrelweave.com/setup.exe")),
             QStringLiteral("The server sent the download to ftp://www.kestrelweave.com/setup.exe, which is "
                            "not a web address.")};
     },
     0, kCancel},
    {"NeverAnswered",
     [](TScene& scene) {
         SetInternetTimeouts(TInternetTimeouts{60, 2});
         return std::pair{scene.Plain.Url(QStringLiteral("/hang")),
                          QStringLiteral("The server 127.0.0.1:%1 did not answer.").arg(scene.Plain.Port())};
     },
     0, kEscape},
    {"CertificateNotTrusted",
     [](TScene& scene) {
         return std::pair{
             scene.Tls.Url(QStringLiteral("/file/10")),
             QStringLiteral("The connection to 127.0.0.1:%1 is not secure: its certificate is not "
                            "trusted (unable to get local issuer certificate).")
                 .arg(scene.Tls.Port())};
     },
     0, kCloseBox, &TScopedTrust::WhyNotUntrusted},
    {"RedirectedToPlainHttp",
     [](TScene& scene) {
         scene.Trust.emplace(scene.Tls);
         const QString plain = scene.Plain.Url(QStringLiteral("/file/10"));
         return std::pair{scene.Tls.Url(QStringLiteral("/goto?to=") + plain),
                          QStringLiteral("The connection to %1 is not secure: it was redirected to "
                                         "plain http (%2).")
                              .arg(TScene::Address(scene.Tls), plain)};
     },
     0, kCancel},
    {"TooManyRedirects",
     [](TScene& scene) {
         return std::pair{
             scene.Plain.Url(QStringLiteral("/loop")),
             QStringLiteral("The server 127.0.0.1:%1 redirected too many times.").arg(scene.Plain.Port())};
     },
     0, kEscape},
    {"EmptyFile",
     [](TScene& scene) {
         return std::pair{scene.Plain.Url(QStringLiteral("/file/0")),
                          QStringLiteral("The server sent an empty file.")};
     },
     0, kCloseBox},
    {"ChecksumDiffers",
     [](TScene& scene) {
         return std::pair{
             scene.Plain.Url(QStringLiteral("/file/20000?digest=repr-wrong")),
             QStringLiteral("The downloaded file is damaged: it does not match the checksum that "
                            "the server sent.")};
     },
     333, kEscape},
    {"FolderCannotHoldTheFile",
     [](TScene& scene) {
         // A folder that cannot exist, for root too: its path runs through a file.
         const QString file = QFileInfo(scene.Target).path() + QStringLiteral("/plain");
         QFile blocker(file);
         blocker.open(QIODevice::WriteOnly);
         scene.Target = file + QStringLiteral("/setup.exe");
         // In the program's words ("the folder or the file does not exist"), not the
         // system's.
         return std::pair{
             scene.Plain.Url(QStringLiteral("/file/10")),
             QStringLiteral("Could not write %1: %2.").arg(scene.Target, WhyCannotCreate(scene.Target))};
     },
     0, kCancel},
    {"FolderPathTooLong",
     [](TScene& scene) {
         // A folder whose path leaves room for the installer's name but not for its
         // partial file's: the name too long, not "No file name specified", and the
         // path shortened to fit the box.
         // Linux's longest path is 4,095 characters; the partial file adds 12.
         constexpr qsizetype Length = 4090;
         QString folder = QFileInfo(scene.Target).path();
         while (folder.size() < Length - 200)
             folder += QLatin1Char('/') + QString(100, u'd');
         QDir().mkpath(folder);
         scene.Target =
             folder + QLatin1Char('/') + QString(Length - folder.size() - 5, u's') + QStringLiteral(".exe");
         return std::pair{
             scene.Plain.Url(QStringLiteral("/file/10")),
             QStringLiteral("Could not write %1: %2.")
                 .arg(scene.Target, WhyCannotCreate(scene.Target + QStringLiteral(".AbcDef.part")))};
     },
     0, kEscape},
};

// What a person reads in `label`: the joiners that keep a path on its line draw
// nothing, a no-break space reads as a space and "&&" as "&".
QString Read(const TLabel* label) {
    return label->Caption()
        .remove(QChar(0x2060))
        .replace(QChar(0x00A0), QLatin1Char(' '))
        .replace(QStringLiteral("&&"), QStringLiteral("&"));
}

// `label` shows `sentence`, or where that does not fit its box, the sentence with
// a middle part given way to an ellipsis, and then all of it in its hint; a screen
// reader reads all of it; what it shows fits its box, wrapped as the label wraps it.
void ExpectSentenceInItsBox(TLabel* label, const QString& sentence) {
    const QString shown = Read(label);
    if (shown != sentence) {
        const qsizetype ellipsis = shown.indexOf(QChar(0x2026));
        ASSERT_GE(ellipsis, 0) << shown.toStdString() << " is not " << sentence.toStdString();
        EXPECT_TRUE(sentence.startsWith(shown.left(ellipsis))) << shown.toStdString();
        EXPECT_TRUE(sentence.endsWith(shown.mid(ellipsis + 1))) << shown.toStdString();
        EXPECT_EQ(label->Hint().toStdString(), sentence.toStdString());
    }
    EXPECT_EQ(label->accessibleName(), sentence) << "a screen reader reads all of it";
    const QRect needed =
        QFontMetrics(label->font())
            .boundingRect(QRect(0, 0, label->Width(), 10000),
                          Qt::TextWordWrap | Qt::AlignHCenter | Qt::AlignTop, label->Caption());
    EXPECT_LE(needed.width(), label->Width()) << shown.toStdString();
    EXPECT_LE(needed.height(), label->Height()) << shown.toStdString();
}

class DownloadDialogFailed : public DownloadDialogFailure, public testing::WithParamInterface<TFailedRow> {};

TEST_P(DownloadDialogFailed, SaysWhyOffersToTryAgainAndLeavesNothingBehind) {
    const TFailedRow& row = GetParam();
    if (row.WhyNot && !row.WhyNot().isEmpty())
        GTEST_SKIP() << row.WhyNot().toStdString();
    TScene scene = Scene();
    const auto [url, sentence] = row.Stage(scene);
    const QStringList before = FilesLeft();

    const int result = ShowFailing(url, [&] {
        auto* message = Part<TLabel>("lblMessage");
        EXPECT_EQ(OpenDownloadDialog()->ModalResult(), mrNone) << "the dialog stays open";
        EXPECT_TRUE(message->isVisible());
        ExpectSentenceInItsBox(message, sentence);
        for (const char* hidden : {"lblOutput", "pnlStatus"})
            EXPECT_FALSE(Part<TControl>(hidden)->isVisible()) << hidden;
        auto* bar = Part<TShape>("shPercent");
        EXPECT_TRUE(bar->isVisible());
        EXPECT_EQ(bar->Width(), row.BarWidth);
        EXPECT_GE(bar->Top(), message->Top() + message->Height()) << "the bar lies below the sentence";
        TButton* retry = Button("btnDownload");
        EXPECT_EQ(retry->Caption(), QStringLiteral("Try again"));
        EXPECT_TRUE(retry->isEnabled());
        EXPECT_TRUE(retry->Default());
        EXPECT_EQ(OpenDownloadDialog()->focusWidget(), retry->Button()) << "Enter tries again";
        EXPECT_EQ(Button("btnCancel")->Caption(), QStringLiteral("Cancel"));
        row.End();
    });

    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(FilesLeft(), before) << "nothing at or beside the target once the dialog is gone";
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogFailed, testing::ValuesIn(kFailures),
                         [](const testing::TestParamInfo<TFailedRow>& row) { return row.param.Name; });

TEST_F(DownloadDialogFailure, TryAgainContinuesWhereTheTransferStopped) {
    const QString url = Server->Url(QStringLiteral("/file/300000?cut=100000"));
    bool failedFirst = false;
    const int result = ShowFailing(url, [&] {
        failedFirst = Button("btnDownload")->isEnabled();
        // Enter: "Try again" is the default button.
        Key(Qt::Key_Return);
    });
    EXPECT_TRUE(failedFirst);
    EXPECT_EQ(result, mrOk);
    EXPECT_TRUE(FFiles.Read(QStringLiteral("setup.exe")) == TTestHttpServer::Pattern(300000));
    EXPECT_EQ(FilesLeft(), QStringList{QStringLiteral("setup.exe")});
    const std::vector<TRecordedRequest> requests = Server->TakeRequests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Range, QStringLiteral("bytes=100000-"));
}

// Japanese and Chinese break between any two characters: whatever the server's name
// and the box's width, a failure never ends with one or two of them alone on a line.
TEST(FailureSentence, LeavesNoJapaneseOrChineseCharactersAloneOnItsLastLine) {
    TTranslator texts;
    texts.SetNumOfLanguages(3);
    texts.Strings()->Add(
        QStringLiteral("IDS_21\x01"
                       "Could not find the server %1.\x01"
                       "\u30b5\u30fc\u30d0\u30fc %1 \u304c\u898b\u3064\u304b\u308a\u307e"
                       "\u305b\u3093\u3067\u3057\u305f\u3002\x01"
                       "\u627e\u4e0d\u5230\u670d\u52a1\u5668 %1\u3002\x01"));
    texts.BuildStringTable();
    static const QRegularExpression letter(QStringLiteral("[\\p{L}\\p{N}]"));
    for (int language : {2, 3}) {
        texts.SetActiveLanguage(language);
        for (int length = 1; length < 40; ++length) {
            TDownloadFailure failure;
            failure.Kind = TDownloadFailureKind::Network;
            failure.Network.Error = TInternetError::NameNotResolved;
            failure.Server = QString(length, u's');
            const QString sentence = FailureSentence(failure, QString(), QString(), &texts);
            for (int width = 120; width < 400; width += 9) {
                QTextLayout layout(sentence, QFont());
                QTextOption wrap;
                wrap.setWrapMode(QTextOption::WordWrap);
                layout.setTextOption(wrap);
                layout.beginLayout();
                QString last;
                int lines = 0;
                for (QTextLine line = layout.createLine(); line.isValid();
                     line = layout.createLine(), ++lines) {
                    line.setLineWidth(width);
                    last = sentence.mid(line.textStart(), line.textLength());
                }
                layout.endLayout();
                EXPECT_TRUE(lines == 1 || last.count(letter) >= 3)
                    << sentence.toStdString() << " at " << width << " ends \"" << last.toStdString() << '"';
            }
        }
    }
}

TEST_F(DownloadDialogFailure, TextsComeFromTheGivenTranslatorAndEnglishWhereItHasNone) {
    TTranslator texts;
    // Ids it lacks must not be asked of it.
    texts.SetDoRaiseExceptions(true);
    texts.SetNumOfLanguages(2);
    texts.Strings()->Add(
        QStringLiteral("IDS_59\x01The server does not have this file (404).\x01"
                       "Der Server hat diese Datei nicht (404).\x01"));
    texts.Strings()->Add(QStringLiteral("IDS_20\x01Try again\x01\x01"));
    texts.BuildStringTable();
    texts.SetActiveLanguage(2);
    QString sentence, retry;
    const QString url = Server->Url(QStringLiteral("/status/404"));
    const int result = RunModal([] { return OpenDownloadDialog(); },
                                [&] {
                                    Click(Button("btnDownload"));
                                    sentence = Part<TLabel>("lblMessage")->Caption();
                                    retry = Button("btnDownload")->Caption();
                                    kCancel();
                                },
                                [&] { return ShowDownloadDialog(Title, Question, url, FTarget, &texts); });
    EXPECT_EQ(result, mrCancel);
    EXPECT_EQ(sentence.toStdString(), "Der Server hat diese Datei nicht (404).");
    EXPECT_EQ(retry.toStdString(), "Try again");
}

TEST_F(DownloadDialogFailure, FullDiskIsSaidAndWhatWasWrittenIsRemoved) {
    const TSmallDisk disk(FFiles.FilePath(QStringLiteral("small")), QStringLiteral("size=64k"));
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a small file system here";
    FTarget = FFiles.FilePath(QStringLiteral("small/setup.exe"));
    QString shown;
    const int result = ShowFailing(Server->Url(QStringLiteral("/file/1000000")), [&] {
        shown = Read(Part<TLabel>("lblMessage"));
        // "Try again" meets the same full disk.
        Click(Button("btnDownload"));
        EXPECT_EQ(Read(Part<TLabel>("lblMessage")), shown);
        kCancel();
    });
    EXPECT_EQ(shown.toStdString(),
              QStringLiteral("Could not write %1: the disk is full.").arg(FTarget).toStdString());
    EXPECT_EQ(result, mrCancel);
    EXPECT_TRUE(QDir(FFiles.FilePath(QStringLiteral("small"))).isEmpty());
}

// ---- While the transfer waits --------------------------------------------------------------

TEST_F(DownloadDialog, StalledTransferKeepsTheWindowsAnsweringAndCancelEndsItAtOnce) {
    // Only the event loop running during the transfer can end it before a minute.
    SetInternetTimeouts(TInternetTimeouts{60, 60});
    int ticks = 0;
    bool mainStayed = true;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (!OpenDownloadDialog() || !Part<TPanel>("pnlStatus")->isVisible())
            return;
        ++ticks;
        if (ticks == 5) {
            // The desktop's close box on the main window: ignored while the dialog is up.
            FMain->Close();
            mainStayed = FMain->isVisible() && !Application->Terminated();
        }
        if (ticks == 10)
            Click(Button("btnCancel"));
    });
    const int result = Show(Server->Url(QStringLiteral("/stall/50000")), FTarget, [&] {
        ticker.start(30);
        Click(Button("btnDownload"));
    });
    EXPECT_EQ(ticks, 10);
    EXPECT_TRUE(mainStayed);
    EXPECT_TRUE(FMain->isVisible());
    EXPECT_EQ(result, mrCancel) << "although blocks had been written";
    EXPECT_TRUE(FilesLeft().isEmpty());
}

class TPaintCount : public QObject {
public:
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        Count += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(DownloadDialog, ProgressViewIsPaintedBeforeTheFirstBlock) {
    TPaintCount paints;
    int paintsAtFirstBlock = -1;
    TProgressProbe probe;
    probe.OnRecord = [&](size_t index) {
        if (index == 1)
            paintsAtFirstBlock = paints.Count;
    };
    const int result = Show(Server->Url(QStringLiteral("/file/5000")), FTarget, [&] {
        Part<TPanel>("pnlStatus")->installEventFilter(&paints);
        probe.Start();
        Click(Button("btnDownload"));
    });
    EXPECT_EQ(result, mrOk);
    EXPECT_GE(paintsAtFirstBlock, 1);
}

// ---- The progress handler alone -------------------------------------------------------

struct TProgressRow {
    const char* Name;
    quint32 Total, Received;
    int Width;
    const char* Status;
};

const TProgressRow kProgress[] = {
    {"WorkedExample", 5000, 1023, 68, "0 KB of 4 KB"},
    {"OneByteIsNoPixel", 1000, 1, 0, "0 KB of 0 KB"},
    {"OneByteShortIsOnePixelShort", 1000, 999, 332, "0 KB of 0 KB"},
    {"AllOfItFillsTheTrack", 1000, 1000, 333, "0 KB of 0 KB"},
    {"Kilobytes", 2097152, 358400, 56, "350 KB of 2,048 KB"},
    // One byte short of a whole number of kilobytes never reads as complete.
    {"OneByteShortOfAMegabyte", 1048576, 1048575, 332, "1,023 KB of 1,024 KB"},
    {"AllOfAMegabyte", 1048576, 1048576, 333, "1,024 KB of 1,024 KB"},
    // In English's groups of three; other languages group their own way.
    {"GroupedInThrees", 3000000000u, 1500000000u, 166, "1,464,843 KB of 2,929,687 KB"},
    {"MoreThanAnnouncedReadsAsTheWhole", 1000, 2000, 333, "0 KB of 0 KB"},
    {"LargestCounts", 0xFFFFFFFFu, 0xFFFFFFFFu, 333, "4,194,303 KB of 4,194,303 KB"},
    {"LargestCountsOneByteShort", 0xFFFFFFFFu, 0xFFFFFFFEu, 332, "4,194,302 KB of 4,194,303 KB"},
};

class DownloadDialogProgress : public TAppFixture, public testing::WithParamInterface<TProgressRow> {};

TEST_P(DownloadDialogProgress, BarAndText) {
    TfrmDownload form(nullptr);
    auto* percent = qobject_cast<TShape*>(form.FindComponent(QStringLiteral("shPercent")));
    auto* status = qobject_cast<TPanel*>(form.FindComponent(QStringLiteral("pnlStatus")));
    bool cancel = true;
    form.DownloadProgress(nullptr, GetParam().Total, GetParam().Received, cancel);
    EXPECT_EQ(percent->Width(), GetParam().Width);
    EXPECT_EQ(status->Caption(), QLatin1String(GetParam().Status));
    EXPECT_FALSE(cancel) << "no cancel was asked for";

    // Without a Content-Length nothing changes.
    form.DownloadProgress(nullptr, 0, GetParam().Received + 1023, cancel);
    EXPECT_EQ(percent->Width(), GetParam().Width);
    EXPECT_EQ(status->Caption(), QLatin1String(GetParam().Status));
}

INSTANTIATE_TEST_SUITE_P(Table, DownloadDialogProgress, testing::ValuesIn(kProgress),
                         [](const testing::TestParamInfo<TProgressRow>& row) { return row.param.Name; });

// ---- The kilobyte figures -------------------------------------------------------------

struct TFiguresRow {
    const char* Name;
    quint64 Done, Whole;
    TKilobyteFigures Shown;
};

const TFiguresRow kFigures[] = {
    {"NothingYet", 0, 1000, {0, 0}},
    {"OneByteShortOfAKilobyte", 1023, 1024, {0, 1}},
    {"AKilobyte", 1024, 1024, {1, 1}},
    {"OneByteShortOfAKilobyteAndOne", 1024, 1025, {0, 1}},
    {"AKilobyteAndOne", 1025, 1025, {1, 1}},
    {"OneByteShortOfAMegabyte", 1048575, 1048576, {1023, 1024}},
    {"AMegabyte", 1048576, 1048576, {1024, 1024}},
    {"AMegabyteOfAMegabyteAndOne", 1048576, 1048577, {1023, 1024}},
    {"MoreThanTheWhole", 2000, 1000, {1, 0}},
    {"UnknownWholeRoundsDown", 1023, 0, {0, 0}},
    {"UnknownWholeInKilobytes", 2048, 0, {2, 0}},
    {"LargestOneByteShort",
     0xFFFFFFFFFFFFFFFEull,
     0xFFFFFFFFFFFFFFFFull,
     {0x3FFFFFFFFFFFFEull, 0x3FFFFFFFFFFFFFull}},
};

class KilobyteFiguresTable : public testing::TestWithParam<TFiguresRow> {};

TEST_P(KilobyteFiguresTable, RoundAsAPersonReadsThem) {
    const TKilobyteFigures shown = KilobyteFigures(GetParam().Done, GetParam().Whole);
    EXPECT_EQ(shown.Done, GetParam().Shown.Done);
    EXPECT_EQ(shown.Whole, GetParam().Shown.Whole);
}

INSTANTIATE_TEST_SUITE_P(Table, KilobyteFiguresTable, testing::ValuesIn(kFigures),
                         [](const testing::TestParamInfo<TFiguresRow>& row) { return row.param.Name; });

// Around every kilobyte boundary of the first few megabytes: from a kilobyte on, the
// figures read the same exactly when all of it is there.
TEST(KilobyteFigures, ReadTheSameOnlyWhenComplete) {
    for (quint64 whole = 1024; whole <= 3 * 1024 * 1024; whole += whole % 1024 == 1 ? 1022 : 1) {
        for (const quint64 done : {whole - 1, whole}) {
            const TKilobyteFigures shown = KilobyteFigures(done, whole);
            ASSERT_EQ(shown.Done == shown.Whole, done == whole) << done << " of " << whole;
            if (done < whole) {
                ASSERT_LE(shown.Done * 1024, done) << "a count short of the whole never reads higher";
            }
        }
    }
}

}  // namespace
