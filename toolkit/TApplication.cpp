#include "toolkit/TApplication.h"

#include <algorithm>

#include "core/TMethod.h"
#include "platform/WindowMessages.h"
#include "toolkit/TAccessible.h"
#include "toolkit/TApplicationEvents.h"
#include "toolkit/TForm.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>

#include <utility>

TApplication* Application = nullptr;

namespace {

// A posted window message on its way through the queue. The target is watched
// so that a message for a window that has gone meanwhile is dropped.
class TMessageEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    TMessageEvent(const TMsg& message, QObject* target)
        : QEvent(EventType()), Message(message), Target(target) {}

    TMsg Message;
    QPointer<QObject> Target;
};

}  // namespace

TApplication::TApplication() {
    Q_ASSERT(!Application);
    Application = this;
    QApplication::setQuitOnLastWindowClosed(false);
    // Handlers' exceptions are shown as those that reach the event loop are.
    TMethod::SetExceptionHandler([](std::exception_ptr error) {
        if (!Application)
            std::rethrow_exception(error);
        Application->HandleException(error);
    });
}

TApplication::~TApplication() {
    SystemWindowMessages().Listen(nullptr);
    // Forms go in the reverse order of their creation, the main form last.
    while (!FForms.empty())
        FForms.pop_back();
    TMethod::SetExceptionHandler(nullptr);
    Application = nullptr;
}

void TApplication::Initialize() {
    InstallAccessibility();
    FListening = SystemWindowMessages().Listen([this](unsigned message) { BroadcastMessage(message); });
}

void TApplication::SetTitle(const QString& value) {
    FTitle = value;
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(value);
}

void TApplication::AdoptForm(std::unique_ptr<TForm> form) {
    if (!FMainForm)
        FMainForm = form.get();
    FForms.push_back(std::move(form));
}

bool TApplication::ReleaseForm(TForm* form) {
    if (!form || form == FMainForm)
        return false;
    const auto held = std::find_if(FForms.begin(), FForms.end(),
                                   [form](const std::unique_ptr<TForm>& f) { return f.get() == form; });
    if (held == FForms.end())
        return false;
    // From here the form is its own: it frees itself once its events are done.
    static_cast<void>(held->release());
    FForms.erase(held);
    return true;
}

bool TApplication::Run() {
    if (!FMainForm || FTerminated)
        return false;
    FMainForm->Show();
    if (!FTerminated)
        QApplication::exec();
    return true;
}

void TApplication::Terminate() {
    FTerminated = true;
    QApplication::exit(0);
}

void TApplication::ProcessMessages() {
    if (FLastPoll.isValid() && FLastPoll.nsecsElapsed() < PollIntervalNs) {
        QCoreApplication::sendPostedEvents();
        return;
    }
    QApplication::processEvents(QEventLoop::AllEvents);
    FLastPoll.start();
}

void TApplication::Minimize() {
    const bool wasMinimizing = std::exchange(FMinimizing, true);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            window->showMinimized();
    FMinimizing = wasMinimizing;
}

void TApplication::PostMessage(tk::HWND window, unsigned message, tk::WPARAM wParam, tk::LPARAM lParam) {
    auto* target = const_cast<QObject*>(window);
    QApplication::postEvent(this, new TMessageEvent(TMsg{window, message, wParam, lParam}, target));
}

void TApplication::BroadcastMessage(unsigned message, tk::WPARAM wParam, tk::LPARAM lParam) {
    PostMessage(Handle(), message, wParam, lParam);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* form = qobject_cast<TForm*>(window))
            PostMessage(form->Handle(), message, wParam, lParam);
}

bool TApplication::event(QEvent* event) {
    if (event->type() != TMessageEvent::EventType())
        return QObject::event(event);
    auto* posted = static_cast<TMessageEvent*>(event);
    if (posted->Target)
        DispatchMessage(posted->Message, posted->Target);
    return true;
}

void TApplication::DispatchMessage(TMsg& message, QObject* target) {
    bool handled = false;
    // Hooks may come and go while one of them runs; walk a snapshot.
    const std::vector<QPointer<TApplicationEvents>> hooks = FEvents;
    for (const QPointer<TApplicationEvents>& hook : hooks) {
        if (hook)
            hook->DoMessage(message, handled);
        if (handled)
            return;
    }
    if (auto* form = qobject_cast<TForm*>(target))
        Guard([&] { form->WndProc(message); });
}

void TApplication::RegisterEvents(TApplicationEvents* events) {
    FEvents.emplace_back(events);
}

void TApplication::UnregisterEvents(TApplicationEvents* events) {
    std::erase_if(FEvents, [events](const QPointer<TApplicationEvents>& e) { return !e || e == events; });
}

void TApplication::ShowException(const Exception& error) {
    QMessageBox box(QMessageBox::Critical, FTitle, error.Message(), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("ExceptionBox"));
    // Screen readers announce a message box by its description.
    box.setAccessibleDescription(error.Message());
    box.exec();
}

void TApplication::HandleException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        ShowException(e);
    } catch (const std::exception& e) {
        // The language's own exceptions (out_of_range, bad_alloc, ...) say what went wrong.
        ShowException(Exception(QString::fromUtf8(e.what())));
    } catch (...) {
        // A thrown object of no known exception type has nothing to say.
        ShowException(Exception(QString()));
    }
}

void TApplication::Guard(const std::function<void()>& action) {
    try {
        action();
    } catch (...) {
        if (Application)
            Application->HandleException(std::current_exception());
        else
            throw;
    }
}
