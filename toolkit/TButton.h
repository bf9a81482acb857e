#pragma once

#include "toolkit/TWinControl.h"

class QPushButton;

// A push button. It hosts a native push button that fills it, so it takes the
// keyboard focus and is read by its caption like any button. A click sets the
// form's ModalResult when the button has one, then raises OnClick. The form
// clicks its Default button on Enter and its Cancel button on Escape.
class TButton : public TWinControl {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(bool Default READ Default WRITE SetDefault)
    Q_PROPERTY(bool Cancel READ Cancel WRITE SetCancel)
    Q_PROPERTY(int ModalResult READ ModalResult WRITE SetModalResult)

public:
    explicit TButton(QWidget* parent = nullptr);

    bool Default() const { return FDefault; }
    void SetDefault(bool value);
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    tk::TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(tk::TModalResult value) { FModalResult = value; }

    void SetBounds(int left, int top, int width, int height) override;
    void Click() override;
    // Whether Enter and Escape may click it: enabled and shown.
    bool CanFocus() const;

    QPushButton* Button() const { return FButton; }

protected:
    // The push button takes the control's font, not the style's button font.
    void FontChanged() override;
    void CaptionChanged() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPushButton* FButton;
    tk::TModalResult FModalResult = tk::mrNone;
    bool FDefault = false;
    bool FCancel = false;
};
