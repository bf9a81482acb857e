#include "app/Program.h"

#include "app/TfrmMain.h"
#include "platform/Console.h"
#include "platform/NamedMutex.h"
#include "toolkit/TApplication.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// What Qt says while the application object is made. Only one is made, on the main
// thread, before any other thread runs.
struct TStartMessage {
    QtMsgType Type;
    QByteArray Category;
    QString Text;
};
std::vector<TStartMessage>* gStartMessages = nullptr;

// A window system that cannot be opened ends in qFatal, which aborts. The reason is
// in what the platform plugin said just before.
[[noreturn]] void CannotOpenDisplay(const QString& fatal) {
    QString reason = fatal.section(u'\n', 0, 0).trimmed();
    for (const TStartMessage& message : *gStartMessages)
        if (message.Category.startsWith("qt.qpa")) {
            reason = message.Text.trimmed();
            break;
        }
    const QString display = qEnvironmentVariable("DISPLAY");
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    QString line = QStringLiteral("tessaly-manager: cannot open the display");
    if (display.isEmpty() && wayland.isEmpty())
        line += QStringLiteral(": neither DISPLAY nor WAYLAND_DISPLAY is set (%1)").arg(reason);
    else
        line += QStringLiteral(" %1: %2").arg(display.isEmpty() ? wayland : display, reason);
    WriteText(stderr, line + u'\n');
    std::_Exit(1);
}

void StartMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg)
        CannotOpenDisplay(text);
    gStartMessages->push_back({type, QByteArray(context.category), text});
}

}  // namespace

std::unique_ptr<QApplication> OpenDisplay(int& argc, char** argv) {
    std::vector<TStartMessage> messages;
    gStartMessages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(StartMessageHandler);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(previous);
    gStartMessages = nullptr;
    // The display opened: what Qt said on the way is passed on as it would have been.
    for (const TStartMessage& message : messages) {
        const QMessageLogContext context(nullptr, 0, nullptr,
                                         message.Category.isEmpty() ? nullptr : message.Category.constData());
        qt_message_output(message.Type, context, message.Text);
    }
    return application;
}

int RunProgram() {
    // Marks the program as running for installers; a second instance carries on.
    static const std::unique_ptr<INamedMutex> mutex = CreateNamedMutex(QStringLiteral("KESTRELWEAVE"));

    TApplication application;
    try {
        application.Initialize();
        application.SetTitle(QStringLiteral("Tessaly Manager"));
        application.CreateForm(frmMain);
        return application.Run() ? 0 : 1;
    } catch (...) {
        application.HandleException(std::current_exception());
        return 1;
    }
}
