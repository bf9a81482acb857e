#include "tests/support/AppFixture.h"
#include "tests/support/Input.h"
#include "toolkit/TApplication.h"
#include "toolkit/TComboBox.h"
#include "toolkit/TForm.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPageControl.h"
#include "toolkit/TReader.h"
#include "toolkit/TTabSheet.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QMouseEvent>
#include <QTest>

#include <memory>

using namespace tk;

// Logs the events of its page control and combo box; its shortcut handler
// takes the keys listed in Taken.
class TfrmPagesTest : public TForm {
    Q_OBJECT

public:
    explicit TfrmPagesTest(QObject* owner = nullptr) : TForm(owner) {}

    QStringList Log;
    QList<int> Taken;

    template <typename T>
    T* Get(const char* name) const {
        return qobject_cast<T*>(FindComponent(QLatin1String(name)));
    }

public Q_SLOTS:
    void PagesChange(QObject* Sender) {
        Log << QStringLiteral("page %1").arg(qobject_cast<TPageControl*>(Sender)->ActivePage()->objectName());
    }
    void LanguageChange(QObject* Sender) {
        Log << QStringLiteral("combo %1").arg(qobject_cast<TComboBox*>(Sender)->ItemIndex());
    }
    void FormShortCut(TWMKey& Msg, bool& Handled) {
        Log << QStringLiteral("key %1").arg(Msg.CharCode);
        Handled = Taken.contains(Msg.CharCode);
    }
};

namespace {

const QByteArray kPages =
    "object frmPagesTest: TfrmPagesTest\n"
    "  ClientWidth = 487\n"
    "  ClientHeight = 305\n"
    "  Font.Height = -11\n"
    "  Font.Name = 'Tahoma'\n"
    "  OnShortCut = FormShortCut\n"
    "  object Pages: TPageControl\n"
    "    Left = 8\n"
    "    Top = 8\n"
    "    Width = 471\n"
    "    Height = 255\n"
    "    ActivePage = tsTwo\n"
    "    TabOrder = 0\n"
    "    OnChange = PagesChange\n"
    "    object tsOne: TTabSheet\n"
    "      Caption = 'One'\n"
    "      object cmbLanguage: TComboBox\n"
    "        Left = 11\n"
    "        Top = 26\n"
    "        Width = 161\n"
    "        Height = 40\n"
    "        Style = csDropDownList\n"
    "        DropDownCount = 15\n"
    "        ItemIndex = 1\n"
    "        Items.Strings = (\n"
    "          'Alpha'\n"
    "          'Beta'\n"
    "          'Gamma')\n"
    "        TabOrder = 0\n"
    "        OnChange = LanguageChange\n"
    "      end\n"
    "    end\n"
    "    object tsTwo: TTabSheet\n"
    "      Caption = 'Two'\n"
    "      object lblGuide: TLabel\n"
    "        Left = 201\n"
    "        Top = 202\n"
    "        Width = 250\n"
    "        Height = 13\n"
    "        Alignment = taRightJustify\n"
    "        Caption = 'Guide'\n"
    "      end\n"
    "    end\n"
    "    object tsThree: TTabSheet\n"
    "      Caption = 'Three'\n"
    "    end\n"
    "  end\n"
    "end\n";

bool HaveTahoma() {
    return QFile::exists(QStringLiteral("/usr/share/wine/fonts/tahoma.ttf"));
}

class PageControl : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        FForm = std::make_unique<TfrmPagesTest>();
        TReader::ReadRootComponent(FForm.get(), TReader::ParseStream(kPages, QStringLiteral("test.dfm")));
        FForm->Show();
        ASSERT_TRUE(WaitFor([this] { return FForm->isActiveWindow(); }));
        Pages = FForm->Get<TPageControl>("Pages");
        Combo = FForm->Get<TComboBox>("cmbLanguage");
        ASSERT_TRUE(Pages && Combo);
    }

    TTabSheet* Sheet(const char* name) const { return FForm->Get<TTabSheet>(name); }
    // The sheets that show, by name.
    QStringList Shown() const {
        QStringList shown;
        for (int i = 0; i < Pages->PageCount(); ++i)
            if (Pages->Pages(i)->isVisible())
                shown << Pages->Pages(i)->objectName();
        return shown;
    }

    std::unique_ptr<TfrmPagesTest> FForm;
    TPageControl* Pages = nullptr;
    TComboBox* Combo = nullptr;
};

TEST_F(PageControl, ReadFromADescriptionWithThePagesInTheClientArea) {
    EXPECT_EQ(Pages->PageCount(), 3);
    EXPECT_EQ(Pages->ActivePage(), Sheet("tsTwo"));
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("tsTwo")});
    auto* guide = FForm->Get<TLabel>("lblGuide");
    EXPECT_EQ(guide->parentWidget(), Sheet("tsTwo"));
    if (!HaveTahoma())
        GTEST_SKIP() << "the Tahoma face of fonts-wine is not installed";
    // The system's tab control metrics at Tahoma 8 pt.
    EXPECT_EQ(Sheet("tsThree")->geometry(), QRect(4, 24, 463, 227));
    EXPECT_EQ(guide->mapTo(FForm.get(), QPoint(0, 0)), QPoint(8 + 4 + guide->Left(), 8 + 24 + 202));
    EXPECT_EQ(guide->Left() + guide->Width(), 451);
    guide->SetCaption(QStringLiteral("A much longer guide to the program"));
    EXPECT_EQ(guide->Left() + guide->Width(), 451) << "a right-justified label grows to the left";
    EXPECT_EQ(Combo->Height(), 21) << "a combo box is as high as its font makes it";
}

TEST_F(PageControl, TabsShowTheSheetsCaptions) {
    const QRect one = Pages->TabRect(Sheet("tsOne"));
    const QRect two = Pages->TabRect(Sheet("tsTwo"));
    EXPECT_EQ(one.right() + 1, two.left());
    Sheet("tsOne")->SetCaption(QStringLiteral("A far longer caption"));
    EXPECT_GT(Pages->TabRect(Sheet("tsOne")).width(), one.width());
    EXPECT_EQ(Pages->TabRect(Sheet("tsOne")).right() + 1, Pages->TabRect(Sheet("tsTwo")).left());

    Sheet("tsTwo")->SetTabVisible(false);
    EXPECT_TRUE(Pages->TabRect(Sheet("tsTwo")).isEmpty());
    EXPECT_EQ(Pages->ActivePage(), Sheet("tsThree")) << "a hidden tab's page cannot stay active";

    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(Pages);
    QAccessibleInterface* sheet = QAccessible::queryAccessibleInterface(Sheet("tsOne"));
    ASSERT_TRUE(list && sheet);
    EXPECT_EQ(list->role(), QAccessible::PageTabList);
    EXPECT_EQ(sheet->role(), QAccessible::PageTab);
    EXPECT_EQ(sheet->text(QAccessible::Name), QStringLiteral("A far longer caption"));
}

TEST_F(PageControl, AssistiveTechnologyFindsEveryTabAndSelectsItAsAClickWould) {
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(Pages);
    ASSERT_NE(list, nullptr);
    for (const char* name : {"tsOne", "tsTwo", "tsThree"}) {
        SCOPED_TRACE(name);
        QAccessibleInterface* tab = QAccessible::queryAccessibleInterface(Sheet(name));
        ASSERT_NE(tab, nullptr);
        const QRect header = Pages->TabRect(Sheet(name));
        EXPECT_EQ(tab->rect(), QRect(Pages->mapToGlobal(header.topLeft()), header.size()))
            << "the header, whether its page shows or not";
        EXPECT_EQ(list->childAt(tab->rect().center().x(), tab->rect().center().y()), tab);
        EXPECT_EQ(tab->state().selected, Pages->ActivePage() == Sheet(name));
        EXPECT_FALSE(tab->state().invisible);
    }
    const QPoint page = Pages->mapToGlobal(Pages->DisplayRect().center());
    EXPECT_EQ(list->childAt(page.x(), page.y()), QAccessible::queryAccessibleInterface(Sheet("tsTwo")))
        << "below the tabs lies the page that shows";

    QAccessibleActionInterface* three =
        QAccessible::queryAccessibleInterface(Sheet("tsThree"))->actionInterface();
    ASSERT_NE(three, nullptr);
    ASSERT_EQ(three->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    three->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::sendPostedEvents(Sheet("tsThree"), QEvent::MetaCall);
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("tsThree")});
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(Sheet("tsThree"))->state().selected);
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(Sheet("tsTwo"))->state().selected);
    EXPECT_EQ(FForm->Log, QStringList{QStringLiteral("page tsThree")}) << "raises OnChange as a click does";

    Sheet("tsOne")->SetTabVisible(false);
    QAccessibleInterface* hidden = QAccessible::queryAccessibleInterface(Sheet("tsOne"));
    EXPECT_TRUE(hidden->state().invisible);
    EXPECT_TRUE(hidden->rect().isEmpty());
    EXPECT_TRUE(hidden->actionInterface()->actionNames().isEmpty()) << "a hidden tab cannot be selected";
}

TEST_F(PageControl, ClickingATabShowsOnlyItsPage) {
    LeftClickAt(Pages, Pages->TabRect(Sheet("tsOne")).center());
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("tsOne")});
    EXPECT_TRUE(Combo->isVisible());
    LeftClickAt(Pages, Pages->TabRect(Sheet("tsThree")).center());
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("tsThree")});
    EXPECT_FALSE(Combo->isVisible()) << "controls of a hidden page are hidden with it";
    LeftClickAt(Pages, Pages->TabRect(Sheet("tsThree")).center());
    Pages->SetActivePageIndex(0);
    EXPECT_EQ(Shown(), QStringList{QStringLiteral("tsOne")});
    EXPECT_EQ(FForm->Log, (QStringList{QStringLiteral("page tsOne"), QStringLiteral("page tsThree")}))
        << "only a change the user makes raises OnChange";
}

struct TKeyRow {
    const char* Name;
    bool FromCombo;  // else from the tabs
    int Key;
    Qt::KeyboardModifiers Modifiers;
    const char* Active;  // after the key, starting on tsOne
};

const TKeyRow kKeys[] = {
    {"RightOnTheTabs", false, Qt::Key_Right, Qt::NoModifier, "tsTwo"},
    {"LeftStopsAtTheFirst", false, Qt::Key_Left, Qt::NoModifier, "tsOne"},
    {"CtrlTabOnAPage", true, Qt::Key_Tab, Qt::ControlModifier, "tsTwo"},
    {"CtrlShiftTabWrapsAround", true, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, "tsThree"},
    {"RightOnAPageIsTheComboBoxs", true, Qt::Key_Right, Qt::NoModifier, "tsOne"},
};

void PrintTo(const TKeyRow& row, std::ostream* out) {
    *out << row.Name;
}

class PageControlKeys : public PageControl, public testing::WithParamInterface<TKeyRow> {};

TEST_P(PageControlKeys, ChangePages) {
    Pages->SetActivePage(Sheet("tsOne"));
    QWidget* target = GetParam().FromCombo ? static_cast<QWidget*>(Combo->ComboBox()) : Pages;
    target->setFocus();
    QTest::keyClick(target, static_cast<Qt::Key>(GetParam().Key), GetParam().Modifiers);
    EXPECT_EQ(Pages->ActivePage()->objectName(), QLatin1String(GetParam().Active));
}

INSTANTIATE_TEST_SUITE_P(Table, PageControlKeys, testing::ValuesIn(kKeys),
                         [](const testing::TestParamInfo<TKeyRow>& row) { return row.param.Name; });

TEST_F(PageControl, MultiLineTabsWrapWithTheActiveRowNextToThePages) {
    Pages->SetBounds(8, 8, 90, 120);
    EXPECT_EQ(Pages->RowCount(), 1) << "without MultiLine the tabs stay on one row";
    const int oneRowTop = Pages->DisplayRect().top();
    Pages->SetMultiLine(true);
    ASSERT_GT(Pages->RowCount(), 1);
    EXPECT_GT(Pages->DisplayRect().top(), oneRowTop);
    EXPECT_EQ(Sheet("tsTwo")->geometry(), Pages->DisplayRect());
    for (const char* name : {"tsOne", "tsTwo", "tsThree"}) {
        SCOPED_TRACE(name);
        Pages->SetActivePage(Sheet(name));
        const QRect active = Pages->TabRect(Sheet(name));
        for (int i = 0; i < Pages->PageCount(); ++i) {
            EXPECT_LE(Pages->TabRect(Pages->Pages(i)).bottom(), active.bottom());
            EXPECT_LE(Pages->TabRect(Pages->Pages(i)).right(), Pages->width() - 2);
        }
        EXPECT_EQ(Pages->PageAt(active.center()), Sheet(name));
    }
}

// ---- Combo box --------------------------------------------------------------------------

TEST_F(PageControl, ComboRaisesOnChangeOnlyForTheUsersPick) {
    Pages->SetActivePage(Sheet("tsOne"));
    EXPECT_FALSE(Combo->ComboBox()->isEditable()) << "a list only";
    EXPECT_EQ(Combo->ComboBox()->maxVisibleItems(), 15);
    EXPECT_EQ(Combo->ItemIndex(), 1) << "the index of the description, read before its items";

    Combo->SetItemIndex(2);
    Combo->Items()->SetStrings(0, QStringLiteral("Alef"));
    Combo->SetItemIndex(7);
    EXPECT_EQ(Combo->ItemIndex(), -1) << "no such item";
    Combo->SetText(QStringLiteral("gamma"));
    EXPECT_EQ(Combo->ItemIndex(), 2);
    EXPECT_TRUE(FForm->Log.isEmpty()) << FForm->Log.join(QLatin1Char(',')).toStdString();

    Combo->ComboBox()->setFocus();
    QTest::keyClick(Combo->ComboBox(), Qt::Key_Up);
    EXPECT_EQ(Combo->ItemIndex(), 1);
    EXPECT_EQ(FForm->Log.filter(QStringLiteral("combo")), QStringList{QStringLiteral("combo 1")});

    // Texts replaced in place keep the selection; the list shows them.
    Combo->Items()->SetList({QStringLiteral("Uno"), QStringLiteral("Dos"), QStringLiteral("Tres")});
    EXPECT_EQ(Combo->ItemIndex(), 1);
    EXPECT_EQ(Combo->ComboBox()->itemText(2), QStringLiteral("Tres"));
    Combo->Items()->Clear();
    Combo->Items()->Add(QStringLiteral("Only"));
    EXPECT_EQ(Combo->ItemIndex(), -1) << "a refilled list selects nothing";
}

// ---- Shortcuts -----------------------------------------------------------------------------

TEST_F(PageControl, FormSeesKeysBeforeTheFocusedControlAndMayTakeThem) {
    Pages->SetActivePage(Sheet("tsOne"));
    Combo->SetItemIndex(0);
    Combo->ComboBox()->setFocus();
    QTest::keyClick(Combo->ComboBox(), Qt::Key_Escape);
    QTest::keyClick(Combo->ComboBox(), Qt::Key_G);
    EXPECT_EQ(Combo->ItemIndex(), 2) << "an untaken key reaches the combo box";
    FForm->Taken = {'B'};
    QTest::keyClick(Combo->ComboBox(), Qt::Key_B);
    EXPECT_EQ(Combo->ItemIndex(), 2) << "a taken key goes no further";
    EXPECT_EQ(FForm->Log, (QStringList{QStringLiteral("key 27"), QStringLiteral("key 71"),
                                       QStringLiteral("combo 2"), QStringLiteral("key 66")}));
}

}  // namespace

#include "TestPageControl.moc"
