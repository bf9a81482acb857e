#include "tests/support/AppFixture.h"

#include "toolkit/TApplication.h"
#include "toolkit/TForm.h"

#include <QAccessible>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>

#include <mutex>

void TAppFixture::SetUp() {
    FRegistryEnv = std::make_unique<TScopedEnv>("KESTRELWEAVE_REGISTRY", FRegistry.Path().toUtf8());
    FApplication = std::make_unique<TApplication>();
    FApplication->Initialize();
    FApplication->SetTitle(QStringLiteral("Tessaly Manager"));
}

void TAppFixture::TearDown() {
    FApplication.reset();
    FRegistryEnv.reset();
}

static QString Hive(const QString& body) {
    return QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n") + body;
}

void TAppFixture::WriteMachineHive(const QString& body) const {
    FRegistry.Write(QStringLiteral("machine.reg"), Hive(body).toUtf8());
}

void TAppFixture::WriteUserHive(const QString& body) const {
    FRegistry.Write(QStringLiteral("user.reg"), Hive(body).toUtf8());
}

namespace {

std::mutex gLogLock;
QStringList gLog;
QtMessageHandler gPreviousHandler = nullptr;

void CaptureLog(QtMsgType, const QMessageLogContext& context, const QString& message) {
    const std::lock_guard lock(gLogLock);
    gLog.append(QLatin1String(context.category ? context.category : "default") + QStringLiteral(": ") +
                message);
}

}  // namespace

TLogCapture::TLogCapture() {
    gLog.clear();
    gPreviousHandler = qInstallMessageHandler(CaptureLog);
}

TLogCapture::~TLogCapture() {
    qInstallMessageHandler(gPreviousHandler);
}

QStringList TLogCapture::Lines(const char* category, const QString& text) const {
    const std::lock_guard lock(gLogLock);
    const QString prefix = QLatin1String(category) + QStringLiteral(": ");
    QStringList lines;
    for (const QString& line : std::as_const(gLog))
        if (line.startsWith(prefix) && line.contains(text))
            lines.append(line);
    return lines;
}

bool WaitFor(const std::function<bool()>& condition, int seconds) {
    QDeadlineTimer deadline(seconds * 1000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

int RunModal(const std::function<TForm*()>& dialog, const std::function<void()>& whileShown,
             const std::function<int()>& show) {
    QTimer::singleShot(0, qApp, [&] {
        EXPECT_NE(dialog(), nullptr);
        if (!dialog())
            return;
        EXPECT_TRUE(WaitFor([&] { return dialog()->isActiveWindow(); }));
        whileShown();
    });
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [&] {
        if (TForm* form = dialog())
            form->SetModalResult(99);
    });
    safety.start(120000);
    return show();
}

void TMessageBoxWatch::Start() {
    FTimer = std::make_unique<QTimer>();
    FTimer->setInterval(10);
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(window);
            if (!box || !box->isVisible())
                continue;
            Title = box->windowTitle();
            Text = box->text();
            if (QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box))
                Description = accessible->text(QAccessible::Description);
            Icon = box->icon();
            ++Count;
            box->accept();
            if (!Every)
                FTimer->stop();
            return;
        }
    });
    FTimer->start();
}
