#pragma once

#include "core/Exception.h"
#include "toolkit/Messages.h"
#include "toolkit/TForm.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class TApplicationEvents;

// The application object: its title, its forms, its hidden window (the target of
// window messages posted to the application), the message hooks that see every
// message the loop takes from the queue, and the exception display.
class TApplication : public QObject {
    Q_OBJECT

public:
    // Needs a QApplication; there is one TApplication at a time (`Application`).
    TApplication();
    ~TApplication() override;

    // Starts listening for the window messages other programs broadcast.
    void Initialize();

    QString Title() const { return FTitle; }
    void SetTitle(const QString& value);
    // The application's own hidden window.
    tk::HWND Handle() const { return this; }
    TForm* MainForm() const { return FMainForm; }

    // Creates a form owned by the application, its owner argument this object; the
    // first becomes the main form.
    template <typename TFormClass>
    void CreateForm(TFormClass*& reference) {
        auto form = std::make_unique<TFormClass>(this);
        reference = form.get();
        AdoptForm(std::move(form));
    }

    // Shows the main form and runs the message loop until the main form closes.
    // False when there was no main form to show, or the application had ended.
    bool Run();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // Handles every message that is waiting, then returns. Posted messages are
    // handled on every call; the window system (input, exposure, timers) is asked
    // for new ones at most once per PollIntervalNs (a millisecond), since a loop that calls this
    // after every small step of its work calls it far more often than anything
    // can arrive there, and asking is what costs.
    void ProcessMessages();
    static constexpr qint64 PollIntervalNs = 1000 * 1000;
    // Minimizes every top-level window of the application.
    void Minimize();
    // True while Minimize() runs.
    bool Minimizing() const { return FMinimizing; }

    // Queues a message for `window`; the loop passes it through the message
    // hooks and then to the window.
    void PostMessage(tk::HWND window, unsigned message, tk::WPARAM wParam = 0, tk::LPARAM lParam = 0);
    // Posts a copy to the application's window and to every form.
    void BroadcastMessage(unsigned message, tk::WPARAM wParam = 0, tk::LPARAM lParam = 0);

    // Shows an exception: a message box with the stop icon, the title and the
    // message. Used for exceptions that reach the loop and those that escape start-up.
    void ShowException(const Exception& error);
    // Shows any thrown object: the toolkit's exceptions by their message, the
    // language's (std::exception) by what(), anything else with an empty message.
    void HandleException(std::exception_ptr error);
    // Runs `action`, showing whatever exception escapes it; the caller goes on.
    static void Guard(const std::function<void()>& action);

    void RegisterEvents(TApplicationEvents* events);
    void UnregisterEvents(TApplicationEvents* events);

protected:
    bool event(QEvent* event) override;

private:
    void AdoptForm(std::unique_ptr<TForm> form);
    // Gives up a form it created, which then frees itself; false for the main form
    // and for forms it does not hold.
    bool ReleaseForm(TForm* form);
    friend class TForm;
    void DispatchMessage(TMsg& message, QObject* target);

    QString FTitle;
    std::vector<std::unique_ptr<TForm>> FForms;
    QPointer<TForm> FMainForm;
    std::vector<QPointer<TApplicationEvents>> FEvents;
    bool FTerminated = false;
    bool FListening = false;
    bool FMinimizing = false;
    QElapsedTimer FLastPoll;
};

extern TApplication* Application;
