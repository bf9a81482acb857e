#include "core/Exception.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/support/Input.h"
#include "tests/support/ShellRecorder.h"

#include <QApplication>
#include <QMouseEvent>

namespace {

struct TLinkCase {
    const char* Name;
    const char* Label;
    QString Links;  // values under the Links key
    QString Opened;
};

// Every link, set off by the mouse, the keyboard and assistive technology alike.
class Links : public MainWindow, public testing::WithParamInterface<std::tuple<TLinkCase, TActivation>> {
protected:
    TShellRecorder FShell;
};

// The test program carries no version block: its caption ends in "0.0.0.0".
const QString kSupportMail = QStringLiteral(
    "mailto:support@kestrelweave.com?Subject=Tessaly%20Manager%200.0.0.0"
    "&body=Hello%20Kestrelweave%20Support%0d%0a%0d%0a%0d%0aBest%20regards");

TEST_P(Links, OpenTheirTargets) {
    const auto& [c, how] = GetParam();
    QString hive;
    // The subscription label shows only once every tool is installed.
    if (QByteArray(c.Label) == "lblSubscription") {
        std::map<int, QString> paths;
        for (int i = 0; i < ToolCount; ++i)
            paths[i] = Tool(i);
        hive += AppPaths(paths);
    }
    if (!c.Links.isEmpty())
        hive += QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\Links]\r\n") + c.Links;
    WriteMachineHive(hive);
    Create()->Show();
    TLabel* label = Label(QLatin1String(c.Label));
    ASSERT_TRUE(label->isVisible());
    Activate(label, how);
    EXPECT_EQ(FShell.CallsSettled(1), (std::vector<QStringList>{{c.Opened}}));
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, Links,
    testing::Combine(
        testing::Values(
            TLinkCase{"Site", "lblSite", {}, QStringLiteral("https://www.kestrelweave.com")},
            TLinkCase{"Forums", "lblForums", {}, QStringLiteral("https://www.kestrelweave.com/forums")},
            TLinkCase{"News", "lblNews", {}, QStringLiteral("https://www.kestrelweave.com/news")},
            TLinkCase{"Newsletter",
                      "lblNewsletter",
                      {},
                      QStringLiteral("https://www.kestrelweave.com/subscription.htm")},
            TLinkCase{
                "Freeware", "lblFreeware", {}, QStringLiteral("https://www.kestrelweave.com/freeware.htm")},
            TLinkCase{"Faq", "lblFaq", {}, QStringLiteral("https://www.kestrelweave.com/faq.htm")},
            // Fixed pages never read the configured links.
            TLinkCase{"SiteIgnoresTheRegistry", "lblSite",
                      QStringLiteral("\"Subscription\"=\"http://x.example\"\r\n"),
                      QStringLiteral("https://www.kestrelweave.com")},
            TLinkCase{"SupportMailCarriesTheCaption", "lblSupport", {}, kSupportMail},
            TLinkCase{"SubscriptionConfigured", "lblSubscription",
                      QStringLiteral("\"Subscription\"=\"http://news.example/join?a=1&b=2\"\r\n"),
                      QStringLiteral("http://news.example/join?a=1&b=2")},
            TLinkCase{"SubscriptionDefaultsToTheSite", "lblSubscription",
                      QStringLiteral("\"Converter\"=\"http://x.example\"\r\n"),
                      QStringLiteral("https://www.kestrelweave.com")}),
        testing::Values(TActivation::Click, TActivation::Enter, TActivation::Space,
                        TActivation::PressAction)),
    [](const testing::TestParamInfo<std::tuple<TLinkCase, TActivation>>& row) {
        return std::string(std::get<0>(row.param).Name) + NameOf(std::get<1>(row.param));
    });

}  // namespace
