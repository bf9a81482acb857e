#include "toolkit/TForm.h"

#include "core/Exception.h"
#include "toolkit/TApplication.h"
#include "toolkit/TButton.h"
#include "toolkit/TLabel.h"
#include "toolkit/TReader.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <functional>

using namespace tk;

TForm::TForm(QObject* owner) : TWinControl(nullptr), FOwner(owner), FIcon(new TIcon(this)) {
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

void TForm::ThrowMissingComponent(const char* name) const {
    throw EReadError(QStringLiteral("The form description of %1 has no component %2")
                         .arg(QLatin1String(metaObject()->className()), QLatin1String(name)));
}

void TForm::InitInheritedComponent() {
    QString name = QString::fromLatin1(metaObject()->className());
    if (name.startsWith(QLatin1Char('T')))
        name.remove(0, 1);
    TReader::ReadComponentResource(this, QStringLiteral(":/forms/%1.dfm").arg(name));
    ApplyTabOrder();
}

namespace {

// The virtual-key code of a Qt key; 0 for keys that have none.
std::uint16_t VirtualKeyOf(int key) {
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return static_cast<std::uint16_t>(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return static_cast<std::uint16_t>(0x70 + (key - Qt::Key_F1));
    switch (key) {
        case Qt::Key_Backspace:
            return VK_BACK;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Space:
            return 0x20;
        case Qt::Key_PageUp:
            return 0x21;
        case Qt::Key_PageDown:
            return 0x22;
        case Qt::Key_End:
            return 0x23;
        case Qt::Key_Home:
            return 0x24;
        case Qt::Key_Left:
            return 0x25;
        case Qt::Key_Up:
            return 0x26;
        case Qt::Key_Right:
            return 0x27;
        case Qt::Key_Down:
            return 0x28;
        case Qt::Key_Insert:
            return 0x2D;
        case Qt::Key_Delete:
            return 0x2E;
        default:
            return 0;
    }
}

int TabOrderOf(const QObject* control) {
    const QVariant order = control->property("TabOrder");
    return order.isValid() ? order.toInt() : -1;
}

}  // namespace

QList<QWidget*> TForm::TabStops() const {
    QList<QWidget*> stops;
    std::function<void(const TWinControl*)> walk = [&](const TWinControl* container) {
        QList<TControl*> controls = container->Controls();
        // Controls without a tab order come last, in the order they were created.
        std::stable_sort(controls.begin(), controls.end(), [](const TControl* a, const TControl* b) {
            const int x = TabOrderOf(a), y = TabOrderOf(b);
            return x >= 0 && (y < 0 || x < y);
        });
        for (TControl* control : std::as_const(controls)) {
            QWidget* target = control;
            while (target->focusProxy())
                target = target->focusProxy();
            if (target->focusPolicy() & Qt::TabFocus)
                stops.append(target);
            if (auto* inner = qobject_cast<TWinControl*>(control))
                walk(inner);
        }
    };
    walk(this);
    return stops;
}

void TForm::ApplyTabOrder() {
    const QList<QWidget*> stops = TabStops();
    for (qsizetype i = 0; i + 1 < stops.size(); ++i)
        QWidget::setTabOrder(stops[i], stops[i + 1]);
}

// Tab and Shift+Tab walk the tab stops as TabOrder lists them, wrapping around:
// Qt's own focus chain keeps the place where each control was created, so its
// round could start in the middle of the list.
bool TForm::focusNextPrevChild(bool next) {
    const QList<QWidget*> stops = TabStops();
    const qsizetype count = stops.size();
    QWidget* current = focusWidget();
    // The innermost stop that holds the focus: a page control holds its pages' controls.
    qsizetype at = -1;
    for (qsizetype i = 0; i < count && current && current != this; ++i)
        if (stops[i] == current || stops[i]->isAncestorOf(current))
            at = i;
    for (qsizetype step = 1; step <= count; ++step) {
        const qsizetype i = at < 0 ? (next ? step - 1 : count - step)
                                   : ((at + (next ? step : -step)) % count + count) % count;
        if (stops[i]->isEnabled() && stops[i]->isVisibleTo(this)) {
            stops[i]->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return true;
        }
    }
    return false;
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
    // Like a dialog, a form opens with the focus on its first control in tab order.
    // Links are passed over: Enter on a window just opened must not follow one. A
    // window of links alone keeps the focus itself, its first link one Tab away.
    if (!focusWidget()) {
        QWidget* first = this;
        for (QWidget* stop : TabStops()) {
            auto* label = qobject_cast<TLabel*>(stop);
            if (stop->isEnabled() && stop->isVisibleTo(this) && !(label && label->IsLink())) {
                first = stop;
                break;
            }
        }
        first->setFocus(Qt::ActiveWindowFocusReason);
    }
    FOnShow(this);
}

TButton* TForm::DefaultButton() const {
    for (QWidget* w = focusWidget(); w && w != this; w = w->parentWidget())
        if (auto* button = qobject_cast<TButton*>(w))
            return button->CanFocus() ? button : nullptr;
    for (const QPointer<QObject>& component : FComponents)
        if (auto* button = qobject_cast<TButton*>(component.data());
            button && button->Default() && button->CanFocus())
            return button;
    return nullptr;
}

TButton* TForm::CancelButton() const {
    for (const QPointer<QObject>& component : FComponents)
        if (auto* button = qobject_cast<TButton*>(component.data());
            button && button->Cancel() && button->CanFocus())
            return button;
    return nullptr;
}

void TForm::keyPressEvent(QKeyEvent* event) {
    // Keys reach the form when the focused control has no use for them.
    TButton* button = nullptr;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        button = DefaultButton();
    else if (event->key() == Qt::Key_Escape)
        button = CancelButton();
    if (!button) {
        TWinControl::keyPressEvent(event);
        return;
    }
    event->accept();
    button->Click();
}

void TForm::changeEvent(QEvent* event) {
    TWinControl::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    const auto* change = static_cast<QWindowStateChangeEvent*>(event);
    // Only a minimize that the user asked of this window is its system command;
    // the application minimizing all its windows is not.
    if (isMinimized() && !change->oldState().testFlag(Qt::WindowMinimized) &&
        !(Application && Application->Minimizing())) {
        TMsg message{Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0};
        TApplication::Guard([&] { WMSysCommand(message); });
    }
}

void TForm::WMSysCommand(TMsg& /*message*/) {}

bool TForm::event(QEvent* event) {
    if (event->type() == QEvent::UpdateRequest && DeferUpdate())
        return true;
    // Qt asks the focused control, then its parents up to the window, whether a key
    // is a shortcut before it delivers the press: the form's turn comes here.
    if (event->type() == QEvent::ShortcutOverride)
        ShortCutOverride(static_cast<QKeyEvent*>(event));
    return TWinControl::event(event);
}

bool TForm::IsShortCut(TWMKey& message) {
    bool handled = false;
    FOnShortCut(message, handled);
    return handled;
}

void TForm::ShortCutOverride(QKeyEvent* event) {
    const int key = event->key();
    const QPointer<TForm> self(this);
    bool taken = false;
    if (const std::uint16_t code = VirtualKeyOf(key); code != 0 && FOnShortCut.Assigned()) {
        const bool alt = event->modifiers().testFlag(Qt::AltModifier);
        TWMKey message;
        message.Msg = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
        message.CharCode = code;
        message.KeyData = 1u | (alt ? 1u << 29 : 0u) | (event->isAutoRepeat() ? 1u << 30 : 0u);
        taken = IsShortCut(message);
    }
    for (QWidget* w = focusWidget(); self && !taken && w && w != this; w = w->parentWidget())
        if (auto* control = qobject_cast<TControl*>(w))
            taken = control->DialogKey(key, event->modifiers());
    if (!self || !taken)
        return;
    // Taken: the press that Qt delivers next must not reach the focused control.
    StopEatingKey();
    FEatingFor = focusWidget() ? focusWidget() : this;
    FEatenKey = key;
    FEatingFor->installEventFilter(this);
    // The press follows at once, or never (a key sent straight to a control).
    QMetaObject::invokeMethod(this, &TForm::StopEatingKey, Qt::QueuedConnection);
}

void TForm::StopEatingKey() {
    if (FEatingFor)
        FEatingFor->removeEventFilter(this);
    FEatingFor = nullptr;
}

bool TForm::eventFilter(QObject* watched, QEvent* event) {
    if (FEatingFor && watched == FEatingFor && event->type() == QEvent::KeyPress) {
        const bool eat = static_cast<QKeyEvent*>(event)->key() == FEatenKey;
        StopEatingKey();
        return eat;
    }
    return TWinControl::eventFilter(watched, event);
}

// Painting keeps to the screen's pace: an update request that comes less than
// MinPaintInterval after the last paint is held back, the dirty region keeps
// growing, and one paint at the end of the interval shows the latest state. A
// window updated after every small step of a long task (a download's progress)
// so costs at most one paint per frame, and its final state is always painted.
bool TForm::DeferUpdate() {
    if (FLastPaint.isValid()) {
        const qint64 since = FLastPaint.elapsed();
        if (since < MinPaintInterval) {
            if (!FDeferredUpdate) {
                FDeferredUpdate = new QTimer(this);
                FDeferredUpdate->setSingleShot(true);
                FDeferredUpdate->setTimerType(Qt::PreciseTimer);
                connect(FDeferredUpdate, &QTimer::timeout, this, &TForm::FlushDeferredUpdate);
            }
            if (!FDeferredUpdate->isActive())
                FDeferredUpdate->start(static_cast<int>(MinPaintInterval - since));
            return true;
        }
    }
    FLastPaint.start();
    return false;
}

void TForm::Update() {
    if (FDeferredUpdate)
        FDeferredUpdate->stop();
    FLastPaint.invalidate();
    FlushDeferredUpdate();
}

void TForm::FlushDeferredUpdate() {
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(this, &request);
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
    // A window that a modal one disabled cannot be closed from the desktop either:
    // the modal one (a download under way, say) must end first.
    if (!isEnabled()) {
        event->ignore();
        return;
    }
    TCloseAction action = caHide;
    FOnClose(this, action);
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
            Release();
    }
}

void TForm::Release() {
    if (auto* application = qobject_cast<TApplication*>(FOwner.data());
        application && application->ReleaseForm(this))
        deleteLater();
}

void TForm::SetModalResult(TModalResult value) {
    FModalResult = value;
    if (value != mrNone && FModalLoop)
        FModalLoop->quit();
}

bool TForm::CloseModal() {
    TCloseAction action = caHide;
    FOnClose(this, action);
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
