#pragma once

#include "app/TfrmMain.h"
#include "i18n/TLangDispatcher.h"
#include "i18n/TTranslator.h"
#include "platform/WindowMessages.h"
#include "tests/support/AppFixture.h"
#include "toolkit/TApplication.h"
#include "toolkit/TLabel.h"

#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <map>
#include <memory>
#include <set>
#include <stdexcept>

inline const QColor Black(0, 0, 0);
inline const QColor Grey(0x66, 0x66, 0x66);

// The main window's language dispatcher and translator, found by name.
inline TLangDispatcher* Dispatcher() {
    return qobject_cast<TLangDispatcher*>(frmMain->FindComponent(QStringLiteral("LangDispatcher1")));
}
inline TTranslator* MainTranslator() {
    return qobject_cast<TTranslator*>(frmMain->FindComponent(QStringLiteral("Translator_frmMain")));
}
// The message other programs post once they have installed a tool.
inline unsigned AppInstalledMessage() {
    return SystemWindowMessages().RegisterWindowMessage(QStringLiteral("KWAPPINSTALLED"));
}

// The real main window over a registry of its own.
class MainWindow : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        // Once shown, the window asks the maker's site about installed tools; from the
        // tests only a server of their own is asked (a test sets its own proxy). Port 9
        // is discard's, where nobody listens.
        FSiteProxy = std::make_unique<TScopedEnv>("https_proxy", QByteArrayLiteral("http://127.0.0.1:9"));
    }
    void TearDown() override {
        TAppFixture::TearDown();
        FSiteProxy.reset();
    }
    TfrmMain* Create() {
        FApplication->CreateForm(frmMain);
        return frmMain;
    }
    static TLabel* Label(const QString& name) { return qobject_cast<TLabel*>(frmMain->FindComponent(name)); }
    static TLabel* ToolLabel(int index) { return Label(QStringLiteral("lblApp%1").arg(index + 1)); }
    // Whether the tool's "Update" link shows (the links are made when the first is needed).
    static bool UpdateShown(int index) {
        const TLabel* link = Label(QStringLiteral("lblUpdate%1").arg(index + 1));
        return link && link->isVisible();
    }
    // What the window shows: an installed tool is black.
    static bool Installed(int index) { return ToolLabel(index)->Font()->TextColor() == Black; }

    // An AppPaths section whose values name the given paths, one per tool index.
    static QString AppPaths(const std::map<int, QString>& paths) {
        QString body = QStringLiteral("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Kestrelweave\\AppPaths]\r\n");
        for (const auto& [index, path] : paths) {
            QString escaped = path;
            escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"))
                .replace(QLatin1Char('"'), QStringLiteral("\\\""));
            body += QStringLiteral("\"%1\"=\"%2\"\r\n").arg(QLatin1String(ToolCatalogue[index].Key), escaped);
        }
        return body;
    }
    // Where a test puts the tool of `index`, and the tool put there.
    QString ToolPath(int index) const {
        return FFiles.FilePath(QStringLiteral("tools/%1").arg(QLatin1String(ToolCatalogue[index].Installer)));
    }
    QString Tool(int index) const {
        return FFiles.Write(QStringLiteral("tools/%1").arg(QLatin1String(ToolCatalogue[index].Installer)),
                            "MZ");
    }
    // The timer through which the registry's notices refresh the list once they settle.
    static QTimer* AppPathsSettled() {
        return frmMain->findChild<QTimer*>(QStringLiteral("tmrAppPathsChanged"));
    }
    // What an installer runs at its end; true when the signal was sent.
    static bool BroadcastAppInstalled() {
        return QProcess::execute(QStringLiteral("dbus-send"),
                                 {QStringLiteral("--session"), QStringLiteral("--type=signal"),
                                  QStringLiteral("/org/kestrelweave/WindowMessages"),
                                  QStringLiteral("org.kestrelweave.WindowMessages.Broadcast"),
                                  QStringLiteral("string:KWAPPINSTALLED")}) == 0;
    }
    void ExpectInstalled(const std::set<int>& installed) const {
        for (int i = 0; i < ToolCount; ++i) {
            SCOPED_TRACE(ToolLabel(i)->objectName().toStdString());
            EXPECT_EQ(ToolLabel(i)->Font()->TextColor(), installed.count(i) ? Black : Grey);
        }
        const bool all = installed.size() == ToolCount;
        EXPECT_EQ(Label(QStringLiteral("lblDownloadAll"))->Visible(), !all);
        EXPECT_EQ(Label(QStringLiteral("lblSubscription"))->Visible(), all);
    }

    std::unique_ptr<TScopedEnv> FSiteProxy;
};

// The main window looks for "Translate.sib" in the folder of the running
// executable, so the tests put one there for their own duration only.
class TTranslationFileBesideExecutable {
public:
    explicit TTranslationFileBesideExecutable(const QByteArray& bytes)
        : FPath(QCoreApplication::applicationDirPath() + QStringLiteral("/Translate.sib")) {
        if (QFile::exists(FPath))
            throw std::runtime_error("a Translate.sib is already beside the test executable");
        QFile file(FPath);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            throw std::runtime_error("cannot write Translate.sib beside the test executable");
    }
    ~TTranslationFileBesideExecutable() { QFile::remove(FPath); }
    TTranslationFileBesideExecutable(const TTranslationFileBesideExecutable&) = delete;
    TTranslationFileBesideExecutable& operator=(const TTranslationFileBesideExecutable&) = delete;

private:
    QString FPath;
};

// The translation file that the build makes, beside the test executable while the
// result lives; null when the build has made none.
inline std::unique_ptr<TTranslationFileBesideExecutable> BuiltTranslationFile() {
    QFile built(qEnvironmentVariable("KW_TEST_BINARY_DIR") + QStringLiteral("/Translate.sib"));
    if (!built.open(QIODevice::ReadOnly))
        return nullptr;
    return std::make_unique<TTranslationFileBesideExecutable>(built.readAll());
}
