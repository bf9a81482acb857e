#include "app/TfrmPreferences.h"
#include "download/TfrmDownload.h"
#include "download/TfrmFinishDownload.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Input.h"
#include "toolkit/TButton.h"
#include "toolkit/TPageControl.h"

#include <QAccessible>
#include <QImage>
#include <QPushButton>

#include <memory>

using namespace tk;

namespace {

// ---- What assistive technology and the keyboard find in each window -------------------

struct TPartRow {
    const char* Window;
    const char* Name;
    QAccessible::Role Role;
};

const TPartRow kParts[] = {
    {"frmMain", "lblApp1", QAccessible::Link},
    {"frmMain", "lblApp20", QAccessible::Link},
    {"frmMain", "lblDownloadAll", QAccessible::Link},
    {"frmMain", "lblSite", QAccessible::Link},
    {"frmMain", "lblForums", QAccessible::Link},
    {"frmMain", "lblNews", QAccessible::Link},
    {"frmMain", "lblNewsletter", QAccessible::Link},
    {"frmMain", "lblFreeware", QAccessible::Link},
    {"frmMain", "lblFaq", QAccessible::Link},
    {"frmMain", "lblSupport", QAccessible::Link},
    {"frmMain", "lblPreferences", QAccessible::Link},
    {"frmMain", "lblInfo", QAccessible::StaticText},
    {"frmMain", "lblTechSupport", QAccessible::StaticText},
    {"frmMain", "lblHead", QAccessible::StaticText},
    {"frmDownload", "lblMessage", QAccessible::StaticText},
    {"frmDownload", "btnDownload", QAccessible::Button},
    {"frmDownload", "btnCancel", QAccessible::Button},
    {"frmFinishDownload", "lblCaptionConverter1", QAccessible::Link},
    {"frmFinishDownload", "lblDescriptionConverter1", QAccessible::Link},
    {"frmFinishDownload", "lblLinkConverter1", QAccessible::Link},
    {"frmFinishDownload", "btnDownload", QAccessible::Button},
    {"frmFinishDownload", "btnLearnMore", QAccessible::Button},
    {"frmPreferences", "lblStep1Desc", QAccessible::Link},
    {"frmPreferences", "lblTranslateGuide", QAccessible::Link},
    {"frmPreferences", "lblCaptionSubscription", QAccessible::Link},
    {"frmPreferences", "lblDescriptionSubscription", QAccessible::Link},
    {"frmPreferences", "lblLinkSubscription", QAccessible::Link},
    {"frmPreferences", "Label4", QAccessible::Link},
    {"frmPreferences", "lblSupport", QAccessible::Link},
    {"frmPreferences", "lblFAQ", QAccessible::Link},
    {"frmPreferences", "Label1", QAccessible::StaticText},
    {"frmPreferences", "lblStep2Desc", QAccessible::StaticText},
    {"frmPreferences", "lblVersion", QAccessible::StaticText},
    {"frmPreferences", "btnClose", QAccessible::Button},
};

void PrintTo(const TPartRow& row, std::ostream* out) {
    *out << row.Window << '.' << row.Name;
}

class Accessibility : public MainWindow {
protected:
    void SetUp() override {
        MainWindow::SetUp();
        Create()->Show();
        ASSERT_TRUE(WaitFor([] { return frmMain->isActiveWindow(); }));
    }
    void TearDown() override {
        FDialogs.clear();
        MainWindow::TearDown();
    }

    // The window, shown without making it modal, so that the test can walk it.
    TForm* Window(const QString& name) {
        if (name == QLatin1String("frmMain"))
            return frmMain;
        std::unique_ptr<TForm>& dialog = FDialogs[name];
        if (!dialog) {
            if (name == QLatin1String("frmDownload"))
                dialog = std::make_unique<TfrmDownload>(nullptr);
            else if (name == QLatin1String("frmFinishDownload"))
                dialog = std::make_unique<TfrmFinishDownload>(nullptr);
            else
                dialog = std::make_unique<TfrmPreferences>(nullptr);
            dialog->Show();
        }
        return dialog.get();
    }

    std::map<QString, std::unique_ptr<TForm>> FDialogs;
};

class AccessibleParts : public Accessibility, public testing::WithParamInterface<TPartRow> {};

TEST_P(AccessibleParts, AreReadByTheirCaptionsAndActedOnAsTheyLook) {
    const TPartRow& row = GetParam();
    TForm* window = Window(QLatin1String(row.Window));
    auto* control = qobject_cast<TControl*>(window->FindComponent(QLatin1String(row.Name)));
    ASSERT_NE(control, nullptr);
    // A page's controls are reached while their page shows.
    if (auto* page = qobject_cast<TTabSheet*>(control->parentWidget()))
        page->PageControl()->SetActivePage(page);
    auto* button = qobject_cast<TButton*>(control);
    QWidget* focusable = button ? static_cast<QWidget*>(button->Button()) : control;
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(focusable);
    ASSERT_NE(accessible, nullptr);

    EXPECT_EQ(accessible->role(), row.Role);
    EXPECT_EQ(accessible->text(QAccessible::Name), control->Caption());
    const bool acts = row.Role != QAccessible::StaticText;
    ASSERT_NE(accessible->actionInterface(), nullptr);
    EXPECT_EQ(
        accessible->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()),
        acts);
    EXPECT_EQ(accessible->state().focusable, acts);
    if (acts) {
        EXPECT_TRUE(TabTo(focusable)) << "Tab never reaches it";
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, AccessibleParts, testing::ValuesIn(kParts),
                         [](const testing::TestParamInfo<TPartRow>& row) {
                             return std::string(row.param.Window) + "_" + row.param.Name;
                         });

TEST_F(Accessibility, TheMainWindowIsAFrameAndTheOthersAreDialogs) {
    for (const char* name : {"frmMain", "frmDownload", "frmFinishDownload", "frmPreferences"}) {
        SCOPED_TRACE(name);
        TForm* window = Window(QLatin1String(name));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(window);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), window == frmMain ? QAccessible::Window : QAccessible::Dialog);
        EXPECT_EQ(accessible->text(QAccessible::Name), window->Caption());
    }
}

// ---- The main window by keyboard ------------------------------------------------------

QStringList ReadingOrder(bool allInstalled) {
    QStringList order;
    for (int n = 1; n <= ToolCount; ++n)
        order << QStringLiteral("lblApp%1").arg(n);
    order << (allInstalled ? QStringLiteral("lblSubscription") : QStringLiteral("lblDownloadAll"));
    order << QStringLiteral("lblSite") << QStringLiteral("lblForums") << QStringLiteral("lblNews")
          << QStringLiteral("lblNewsletter") << QStringLiteral("lblFreeware") << QStringLiteral("lblFaq")
          << QStringLiteral("lblSupport") << QStringLiteral("lblPreferences");
    return order;
}

QString Focused() {
    QWidget* focused = frmMain->focusWidget();
    return focused && focused != frmMain ? focused->objectName() : QStringLiteral("(none)");
}

TEST_F(Accessibility, TabWalksTheToolsColumnByColumnThenTheRedLinkThenTheRightPanel) {
    for (const bool allInstalled : {false, true}) {
        SCOPED_TRACE(allInstalled ? "all installed" : "none installed");
        if (allInstalled) {
            std::map<int, QString> paths;
            for (int i = 0; i < ToolCount; ++i)
                paths[i] = Tool(i);
            WriteMachineHive(AppPaths(paths));
            frmMain->RefreshTools();
        } else {
            EXPECT_EQ(Focused(), QStringLiteral("(none)")) << "Enter at the start must not follow a link";
        }
        const QStringList expected = ReadingOrder(allInstalled);
        QStringList walked;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            PressKey(frmMain, Qt::Key_Tab);
            walked << Focused();
        }
        EXPECT_EQ(walked, expected);
        PressKey(frmMain, Qt::Key_Tab);
        EXPECT_EQ(Focused(), expected.first()) << "the round starts again";
        PressKey(frmMain, Qt::Key_Backtab);
        EXPECT_EQ(Focused(), expected.last());
    }
}

TEST_F(Accessibility, TheFocusedLinkShowsItAndKeepsItsLook) {
    TLabel* label = Label(QStringLiteral("lblSite"));
    const QImage plain = label->grab().toImage();
    ASSERT_TRUE(TabTo(label));
    EXPECT_NE(label->grab().toImage(), plain) << "the focus is not seen";
    EXPECT_EQ(label->Font()->Style(), TFontStyles()) << "the focus is drawn, not set as the hover style";
    EXPECT_EQ(label->Font()->TextColor(), QColor(Qt::white));
    PressKey(frmMain, Qt::Key_Tab);
    EXPECT_EQ(label->grab().toImage(), plain) << "the focus left a mark behind";
}

}  // namespace
