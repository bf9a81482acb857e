#pragma once

#include "toolkit/Messages.h"
#include "toolkit/TIcon.h"
#include "toolkit/TWinControl.h"

#include <QElapsedTimer>
#include <QPointer>

class QEventLoop;
class QTimer;
class TButton;

// The system command that a window's minimize button sends.
inline constexpr unsigned WM_SYSCOMMAND = 0x0112;
inline constexpr tk::WPARAM SC_MINIMIZE = 0xF020;

// A top-level window built from its form description. It owns every component
// the description names (its component list, in creation order), whatever
// control they lie on, and can be shown modally with a modal result.
//
// A form has one owner, which frees it: the application for the forms it creates
// (CreateForm passes itself as the owner), otherwise whoever holds the form (a
// show function's unique_ptr). Closing with caFree lets the form go only when its
// owner is the application, which then gives it up; any other form is hidden and
// waits for its holder.
class TForm : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int ClientWidth READ ClientWidth WRITE SetClientWidth)
    Q_PROPERTY(int ClientHeight READ ClientHeight WRITE SetClientHeight)
    Q_PROPERTY(tk::TFormBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(tk::TBorderIcons BorderIcons READ BorderIcons WRITE SetBorderIcons)
    Q_PROPERTY(tk::TPosition Position READ Position WRITE SetPosition)
    Q_PROPERTY(TIcon* Icon READ Icon)
    Q_PROPERTY(bool KeyPreview READ KeyPreview WRITE SetKeyPreview)
    Q_PROPERTY(bool Scaled READ Scaled WRITE SetScaled)
    Q_PROPERTY(int PixelsPerInch READ PixelsPerInch WRITE SetPixelsPerInch)
    Q_PROPERTY(int TextHeight READ TextHeight WRITE SetTextHeight)
    Q_PROPERTY(bool OldCreateOrder READ OldCreateOrder WRITE SetOldCreateOrder)
    Q_PROPERTY(TMethod OnClose READ OnClose WRITE SetOnClose)
    Q_PROPERTY(TMethod OnShow READ OnShow WRITE SetOnShow)
    Q_PROPERTY(TMethod OnShortCut READ OnShortCut WRITE SetOnShortCut)

public:
    explicit TForm(QObject* owner = nullptr);
    ~TForm() override;

    // The owner given at creation; null when the creator holds the form itself.
    QObject* Owner() const { return FOwner; }

    tk::HWND Handle() const { return this; }

    // A form's Width and Height are those of its client area.
    void SetBounds(int left, int top, int width, int height) override;

    int ClientWidth() const { return FClientSize.width(); }
    void SetClientWidth(int value);
    int ClientHeight() const { return FClientSize.height(); }
    void SetClientHeight(int value);
    tk::TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(tk::TFormBorderStyle value);
    tk::TBorderIcons BorderIcons() const { return FBorderIcons; }
    void SetBorderIcons(tk::TBorderIcons value);
    tk::TPosition Position() const { return FPosition; }
    void SetPosition(tk::TPosition value) { FPosition = value; }
    TIcon* Icon() const { return FIcon; }
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool value) { FKeyPreview = value; }
    // Windows are laid out for 96 dots per inch and never rescaled; these are
    // kept because form descriptions carry them.
    bool Scaled() const { return false; }
    void SetScaled(bool) {}
    int PixelsPerInch() const { return 96; }
    void SetPixelsPerInch(int) {}
    int TextHeight() const { return FTextHeight; }
    void SetTextHeight(int value) { FTextHeight = value; }
    bool OldCreateOrder() const { return false; }
    void SetOldCreateOrder(bool) {}
    TMethod OnClose() const { return FOnClose; }
    void SetOnClose(const TMethod& value) { FOnClose = value; }
    TMethod OnShow() const { return FOnShow; }
    void SetOnShow(const TMethod& value) { FOnShow = value; }
    // Sees every key press before the focused control: OnShortCut(TWMKey& Msg,
    // bool& Handled). A handled key goes no further. Keys it leaves are offered
    // to the focused control's containers (TControl::DialogKey) next.
    TMethod OnShortCut() const { return FOnShortCut; }
    void SetOnShortCut(const TMethod& value) { FOnShortCut = value; }

    // The components the form owns, in the order they were created.
    int ComponentCount() const { return static_cast<int>(FComponents.size()); }
    QObject* Components(int index) const { return FComponents.at(index); }
    void InsertComponent(QObject* component);
    // The owned component of that name (letter case ignored), or null.
    QObject* FindComponent(const QString& name) const;

    void Show();
    void Close();
    // Shows the form with every other window disabled until ModalResult is set
    // or the form is closed; returns the modal result (mrCancel when closed).
    tk::TModalResult ShowModal();
    tk::TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(tk::TModalResult value);

    // Receives the window messages addressed to this form that no message hook
    // handled. Forms that react to messages override it.
    virtual void WndProc(TMsg& message);

    // The button that Enter clicks: the focused button, else the enabled and shown
    // Default button; null when there is none.
    TButton* DefaultButton() const;
    // The enabled and shown Cancel button that Escape clicks, or null.
    TButton* CancelButton() const;

    // Windows repaint at most this often; updates that come sooner are gathered
    // and painted together when the interval is up.
    static constexpr int MinPaintInterval = 16;
    // Paints what is waiting to be painted now, whenever the last paint was.
    void Update();

protected:
    // The owned component `name` of class TComponentClass; raises EReadError when the
    // form description lacks it, so a form never runs with a component missing.
    template <typename TComponentClass>
    TComponentClass* Component(const char* name) const {
        auto* component = qobject_cast<TComponentClass*>(FindComponent(QLatin1String(name)));
        if (!component)
            ThrowMissingComponent(name);
        return component;
    }

    // Reads the form description named after the form's class ("TfrmMain" reads
    // frmMain.dfm) into this form. Called first thing by each form's constructor.
    void InitInheritedComponent();

    // A system command from the window's frame (WM_SYSCOMMAND; SC_MINIMIZE when the
    // user minimized the window). The window system has done its part already;
    // forms that want more override this.
    virtual void WMSysCommand(TMsg& message);

    // Offers a key press to OnShortCut; true when the handler took it.
    virtual bool IsShortCut(TWMKey& message);

    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void CaptionChanged() override;
    // Chains the controls' keyboard focus in TabOrder, container by container (the
    // dynamic property of that name orders controls without one of their own).
    void ApplyTabOrder();

private:
    [[noreturn]] void ThrowMissingComponent(const char* name) const;
    void UpdateWindowFlags();
    bool CloseModal();
    QList<QWidget*> TabStops() const;
    bool DeferUpdate();
    void FlushDeferredUpdate();
    void ShortCutOverride(QKeyEvent* event);
    void StopEatingKey();

    // Frees the form once its events are done, when its owner lets it go (caFree).
    void Release();

    QPointer<QObject> FOwner;
    QList<QPointer<QObject>> FComponents;
    QSize FClientSize{320, 240};
    TIcon* FIcon;
    TEvent<QObject*, tk::TCloseAction&> FOnClose;
    TNotifyEvent FOnShow;
    TEvent<TWMKey&, bool&> FOnShortCut;
    // The control whose next press of FEatenKey is dropped: a shortcut took it.
    QPointer<QWidget> FEatingFor;
    int FEatenKey = 0;
    tk::TFormBorderStyle FBorderStyle = tk::bsSizeable;
    tk::TBorderIcons FBorderIcons = tk::TBorderIcons(tk::biSystemMenu | tk::biMinimize | tk::biMaximize);
    tk::TPosition FPosition = tk::poDesigned;
    tk::TModalResult FModalResult = tk::mrNone;
    QEventLoop* FModalLoop = nullptr;
    QElapsedTimer FLastPaint;
    QTimer* FDeferredUpdate = nullptr;
    int FTextHeight = 13;
    bool FKeyPreview = false;
    bool FPositioned = false;
};
