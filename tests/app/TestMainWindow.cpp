#include "app/TfrmMain.h"
#include "tests/support/AppFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QAccessible>
#include <QDir>

namespace {

class MainWindow : public TAppFixture {
protected:
    TfrmMain* Create() {
        FApplication->CreateForm(frmMain);
        return frmMain;
    }
    TLabel* Label(const char* name) { return qobject_cast<TLabel*>(frmMain->FindComponent(QLatin1String(name))); }
};

TEST_F(MainWindow, Screenshot) {
    TfrmMain* form = Create();
    form->Show();
    const QString out = qEnvironmentVariable("KW_SCREENSHOT");
    if (out.isEmpty()) GTEST_SKIP() << "set KW_SCREENSHOT to a PNG path to save the window";
    ASSERT_TRUE(form->grab().save(out));
}

}  // namespace
TEST_F(MainWindow, DebugFont) {
    Create();
    TLabel* l = qobject_cast<TLabel*>(frmMain->FindComponent("lblHead"));
    qDebug() << QFontInfo(l->font()).family() << l->font() << l->height() << l->width();
}
