#include "toolkit/TForm.h"

#include "toolkit/Exception.h"
#include "toolkit/TApplication.h"
#include "toolkit/TReader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QScreen>

using namespace tk;

TForm::TForm(QObject* /*owner*/) : TWinControl(nullptr), FIcon(new TIcon(this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    SetVisible(false);
    SetColor(clBtnFace);
    connect(FIcon, &TIcon::Changed, this, [this] { setWindowIcon(FIcon->Icon()); });
    UpdateWindowFlags();
}

TForm::~TForm() {
    // The components die with the widgets below, after this object's members.
    for (const QPointer<QObject>& component : std::as_const(FComponents))
        if (component)
            disconnect(component, &QObject::destroyed, this, nullptr);
}

void TForm::InitInheritedComponent() {
    QString name = QString::fromLatin1(metaObject()->className());
    if (name.startsWith(QLatin1Char('T')))
        name.remove(0, 1);
    TReader::ReadComponentResource(this, QStringLiteral(":/forms/%1.dfm").arg(name));
}

void TForm::SetBounds(int left, int top, int width, int height) {
    move(left, top);
    FClientSize = QSize(std::max(0, width), std::max(0, height));
    UpdateWindowFlags();
}

void TForm::SetClientWidth(int value) {
    FClientSize.setWidth(std::max(0, value));
    UpdateWindowFlags();
}

void TForm::SetClientHeight(int value) {
    FClientSize.setHeight(std::max(0, value));
    UpdateWindowFlags();
}

void TForm::SetBorderStyle(TFormBorderStyle value) {
    FBorderStyle = value;
    UpdateWindowFlags();
}

void TForm::SetBorderIcons(TBorderIcons value) {
    FBorderIcons = value;
    UpdateWindowFlags();
}

void TForm::UpdateWindowFlags() {
    const bool sizeable = FBorderStyle == bsSizeable || FBorderStyle == bsSizeToolWin;
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (FBorderStyle == bsNone)
        flags |= Qt::FramelessWindowHint;
    if (FBorderStyle == bsDialog)
        flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin)
        flags = Qt::Tool | Qt::CustomizeWindowHint;
    if (FBorderStyle != bsNone)
        flags |= Qt::WindowTitleHint;
    if (FBorderIcons.testFlag(biSystemMenu)) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (FBorderStyle != bsDialog && FBorderIcons.testFlag(biMinimize))
            flags |= Qt::WindowMinimizeButtonHint;
        if (sizeable && FBorderIcons.testFlag(biMaximize))
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (!sizeable) {
        flags |= Qt::MSWindowsFixedSizeDialogHint;
        setFixedSize(FClientSize);
    } else {
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        resize(FClientSize);
    }
    const bool wasVisible = isVisible();
    if (windowFlags() != flags)
        setWindowFlags(flags);
    if (wasVisible && !isVisible())
        show();
}

void TForm::CaptionChanged() {
    setWindowTitle(Caption());
}

void TForm::InsertComponent(QObject* component) {
    FComponents.append(component);
    connect(component, &QObject::destroyed, this, [this](QObject* gone) {
        FComponents.removeIf([gone](const QPointer<QObject>& c) { return c == gone || !c; });
    });
}

QObject* TForm::FindComponent(const QString& name) const {
    if (name.isEmpty())
        return nullptr;
    for (const QPointer<QObject>& component : FComponents)
        if (component && component->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return component;
    return nullptr;
}

void TForm::Show() {
    SetVisible(true);
    raise();
    activateWindow();
}

void TForm::showEvent(QShowEvent* event) {
    TWinControl::showEvent(event);
    if (!FPositioned) {
        FPositioned = true;
        QRect area;
        if (FPosition == poScreenCenter || FPosition == poDesktopCenter) {
            if (QScreen* screen = QGuiApplication::primaryScreen())
                area = screen->availableGeometry();
        } else if (FPosition == poMainFormCenter || FPosition == poOwnerFormCenter) {
            if (TForm* main = Application->MainForm(); main && main != this)
                area = main->frameGeometry();
        }
        if (area.isValid()) {
            QRect frame = frameGeometry();
            frame.moveCenter(area.center());
            move(frame.topLeft());
        }
    }
    QObject* sender = this;
    FOnShow(sender);
}

void TForm::Close() {
    close();
}

void TForm::closeEvent(QCloseEvent* event) {
    if (FModalLoop) {
        // A modal form closes through its modal result, so that the loop ends it.
        event->ignore();
        if (FModalResult == mrNone)
            SetModalResult(mrCancel);
        return;
    }
    TCloseAction action = caHide;
    QObject* sender = this;
    FOnClose(sender, action);
    if (action == caNone) {
        event->ignore();
        return;
    }
    if (this == Application->MainForm()) {
        event->accept();
        FVisible = false;
        Application->Terminate();
    } else if (action == caMinimize) {
        event->ignore();
        showMinimized();
    } else {
        event->accept();
        FVisible = false;
        if (action == caFree)
            deleteLater();
    }
}

void TForm::SetModalResult(TModalResult value) {
    FModalResult = value;
    if (value != mrNone && FModalLoop)
        FModalLoop->quit();
}

bool TForm::CloseModal() {
    TCloseAction action = caHide;
    QObject* sender = this;
    FOnClose(sender, action);
    if (action != caNone)
        return true;
    FModalResult = mrNone;
    return false;
}

TModalResult TForm::ShowModal() {
    if (FModalLoop || isVisible())
        throw Exception(QStringLiteral("Cannot make a visible window modal"));
    QList<QPointer<QWidget>> disabled;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != this && window->isEnabled() && window->isVisible()) {
            window->setEnabled(false);
            disabled.append(window);
        }
    }
    FModalResult = mrNone;
    QEventLoop loop;
    FModalLoop = &loop;
    Show();
    do {
        if (FModalResult == mrNone)
            loop.exec();
        if (Application->Terminated() && FModalResult == mrNone)
            FModalResult = mrCancel;
    } while (!CloseModal());
    FModalLoop = nullptr;
    hide();
    FVisible = false;
    for (const QPointer<QWidget>& window : disabled)
        if (window)
            window->setEnabled(true);
    return FModalResult;
}

void TForm::WndProc(TMsg& /*message*/) {}
