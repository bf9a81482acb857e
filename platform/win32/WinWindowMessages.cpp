#include "platform/WindowMessages.h"

#include "platform/win32/WinText.h"

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QByteArray>

#include <memory>

// Registered window messages as the system has them: RegisterWindowMessageW gives the
// id, PostMessageW(HWND_BROADCAST) posts to every top-level window. A broadcast leaves
// one copy in our queue for each of our top-level windows, so, as with the classic
// application object, the program keeps a hidden top-level window of its own (the
// application window) and acts only on the copy addressed to it: exactly one per
// broadcast. A native event filter on the window thread's dispatcher sees every message
// the loop takes from the queue (nested modal loops included) before it is dispatched.
// A message sent directly to a window, not posted, is not seen.

namespace {

class TWinWindowMessages;

class TBroadcastFilter : public QAbstractNativeEventFilter {
public:
    explicit TBroadcastFilter(TWinWindowMessages& owner) : FOwner(owner) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    TWinWindowMessages& FOwner;
};

class TWinWindowMessages : public IWindowMessages {
public:
    TWinWindowMessages() = default;
    ~TWinWindowMessages() override {
        // At exit the dispatcher may be gone already; it forgets its filters itself,
        // and the system destroys the window with the thread.
        static_cast<void>(FFilter.release());
    }
    TWinWindowMessages(const TWinWindowMessages&) = delete;
    TWinWindowMessages& operator=(const TWinWindowMessages&) = delete;

    unsigned RegisterWindowMessage(const QString& name) override {
        if (name.isEmpty() || HasEmbeddedZero(name))
            return 0;
        return RegisterWindowMessageW(Wide(name));
    }

    bool Listen(TBroadcastHandler handler) override {
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
        if (!handler) {
            if (FFilter && dispatcher)
                dispatcher->removeNativeEventFilter(FFilter.get());
            FFilter.reset();
            if (FWindow)
                DestroyWindow(FWindow);
            FWindow = nullptr;
            FHandler = nullptr;
            return true;
        }
        if (!dispatcher || !CreateApplicationWindow())
            return false;
        if (!FFilter) {
            FFilter = std::make_unique<TBroadcastFilter>(*this);
            dispatcher->installNativeEventFilter(FFilter.get());
        }
        FHandler = std::move(handler);
        return true;
    }

    bool Broadcast(const QString& name) override {
        const unsigned id = RegisterWindowMessage(name);
        return id != 0 && PostMessageW(HWND_BROADCAST, id, 0, 0);
    }

    // On the window thread, for every message taken from its queue; true when it was
    // ours and has been handled.
    bool Arrived(const MSG& message) {
        if (!FWindow || message.hwnd != FWindow || message.message < 0xC000 || message.message > 0xFFFF ||
            !FHandler)
            return false;
        // A copy: the handler may stop listening, which replaces FHandler while it runs.
        const TBroadcastHandler handler = FHandler;
        handler(message.message);
        return true;
    }

private:
    bool CreateApplicationWindow() {
        if (FWindow)
            return true;
        static const wchar_t ClassName[] = L"TessalyApplicationWindow";
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = ClassName;
        // Registered once per process; a second registration fails harmlessly.
        RegisterClassW(&windowClass);
        // Top-level (not message-only, which broadcasts skip), never shown.
        FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, ClassName, L"Tessaly Manager", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, instance, nullptr);
        return FWindow != nullptr;
    }

    std::unique_ptr<TBroadcastFilter> FFilter;
    TBroadcastHandler FHandler;
    HWND FWindow = nullptr;
};

bool TBroadcastFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    // Qt names every message its loop takes from the queue "windows_generic_MSG".
    return eventType == "windows_generic_MSG" && FOwner.Arrived(*static_cast<const MSG*>(message));
}

}  // namespace

IWindowMessages& SystemWindowMessages() {
    static TWinWindowMessages messages;
    return messages;
}
