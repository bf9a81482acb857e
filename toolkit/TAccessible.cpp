#include "toolkit/TAccessible.h"

#include "core/PlainText.h"
#include "toolkit/TApplication.h"
#include "toolkit/TForm.h"
#include "toolkit/TLabel.h"
#include "toolkit/TPageControl.h"

#include <QAccessibleWidget>
#include <QPointer>

namespace {

// The caption as it reads: a single '&' marks the access key, "&&" is an ampersand.
QString WithoutAccessKey(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && ++i == caption.size())
            break;
        text += caption.at(i);
    }
    return text;
}

// A control read by its caption, its hint as the description; either as the
// control's own accessible text where it has one. Read as plain text: the joiners
// that keep a name whole on its drawn line are not spoken or shown on a braille line.
class TAccessible : public QAccessibleWidget {
public:
    TAccessible(TControl* control, QAccessible::Role role) : QAccessibleWidget(control, role) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name)
            return Name();
        if (t == QAccessible::Description) {
            const QString& own = widget()->accessibleDescription();
            const QString description = PlainText(own.isEmpty() ? Control()->Hint() : own);
            // A hint that only repeats what was read is not read twice.
            return description == Name() ? QString() : description;
        }
        return QAccessibleWidget::text(t);
    }

protected:
    TControl* Control() const { return static_cast<TControl*>(widget()); }

private:
    QString Name() const {
        const QString& own = widget()->accessibleName();
        return PlainText(own.isEmpty() ? WithoutAccessKey(Control()->Caption()) : own);
    }
};

// Actions act after the call that asked for them has returned: a click may open a
// modal window, and the assistive technology waits for the answer to its call.
template <typename TWidget, typename TAct>
void ActLater(TWidget* widget, TAct act) {
    QMetaObject::invokeMethod(
        widget,
        [target = QPointer<TWidget>(widget), act] {
            if (target)
                act(target.data());
        },
        Qt::QueuedConnection);
}

class TLabelAccessible : public TAccessible {
public:
    explicit TLabelAccessible(TLabel* label) : TAccessible(label, QAccessible::StaticText) {}

    // Whether a label is a link can change after it was first asked for.
    QAccessible::Role role() const override {
        return Label()->IsLink() ? QAccessible::Link : QAccessible::StaticText;
    }

    QAccessible::State state() const override {
        QAccessible::State state = TAccessible::state();
        state.linked = Label()->IsLink();
        return state;
    }

    QStringList actionNames() const override {
        QStringList names = TAccessible::actionNames();
        if (Label()->IsLink() && Label()->isEnabled())
            names.prepend(pressAction());
        return names;
    }

    void doAction(const QString& name) override {
        if (name == pressAction() && Label()->IsLink() && Label()->isEnabled())
            ActLater(Label(), [](TLabel* label) { label->Click(); });
        else
            TAccessible::doAction(name);
    }

    QStringList keyBindingsForAction(const QString& name) const override {
        if (name == pressAction() && Label()->IsLink())
            return {QStringLiteral("Return"), QStringLiteral("Space")};
        return TAccessible::keyBindingsForAction(name);
    }

private:
    TLabel* Label() const { return static_cast<TLabel*>(widget()); }
};

class TPageControlAccessible : public TAccessible {
public:
    explicit TPageControlAccessible(TPageControl* pages) : TAccessible(pages, QAccessible::PageTabList) {}

    // The tabs lie where their headers are; what lies below them belongs to the
    // page that shows.
    QAccessibleInterface* childAt(int x, int y) const override {
        const auto* pages = static_cast<const TPageControl*>(widget());
        const QPoint point = pages->mapFromGlobal(QPoint(x, y));
        if (TTabSheet* page = pages->PageAt(point))
            return QAccessible::queryAccessibleInterface(page);
        if (pages->ActivePage() && pages->DisplayRect().contains(point))
            return QAccessible::queryAccessibleInterface(pages->ActivePage());
        return nullptr;
    }
};

class TTabSheetAccessible : public TAccessible {
public:
    explicit TTabSheetAccessible(TTabSheet* page) : TAccessible(page, QAccessible::PageTab) {}

    // The tab's header on screen, whether its page shows or not.
    QRect rect() const override {
        const TPageControl* pages = Page()->PageControl();
        if (!pages || !pages->isVisible())
            return QRect();
        const QRect tab = pages->TabRect(Page());
        return tab.isEmpty() ? QRect() : QRect(pages->mapToGlobal(tab.topLeft()), tab.size());
    }

    QAccessible::State state() const override {
        QAccessible::State state = TAccessible::state();
        const TPageControl* pages = Page()->PageControl();
        const bool shown = pages && pages->isVisible() && Page()->TabVisible();
        state.invisible = !shown;
        state.offscreen = !shown;
        state.selectable = shown;
        state.selected = pages && pages->ActivePage() == Page();
        state.focusable = pages && pages->focusPolicy() != Qt::NoFocus;
        state.focused = state.selected && pages && pages->hasFocus();
        return state;
    }

    QStringList actionNames() const override {
        const TPageControl* pages = Page()->PageControl();
        if (pages && pages->isEnabled() && Page()->TabVisible())
            return {pressAction()};
        return {};
    }

    void doAction(const QString& name) override {
        if (name != pressAction() || !Page()->PageControl())
            return;
        ActLater(Page(), [](TTabSheet* page) {
            if (TPageControl* pages = page->PageControl(); pages && pages->isEnabled())
                pages->ChangeActivePage(page);
        });
    }

    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    TTabSheet* Page() const { return static_cast<TTabSheet*>(widget()); }
};

// Read by its title, as Qt reads any window.
class TFormAccessible : public QAccessibleWidget {
public:
    explicit TFormAccessible(TForm* form) : QAccessibleWidget(form, QAccessible::Dialog) {}

    QAccessible::Role role() const override {
        return Application && Application->MainForm() == widget() ? QAccessible::Window : QAccessible::Dialog;
    }
};

QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("TForm"))
        return new TFormAccessible(static_cast<TForm*>(object));
    if (className == QLatin1String("TLabel"))
        return new TLabelAccessible(static_cast<TLabel*>(object));
    if (className == QLatin1String("TImage"))
        return new TAccessible(static_cast<TControl*>(object), QAccessible::Graphic);
    if (className == QLatin1String("TPanel"))
        return new TAccessible(static_cast<TControl*>(object), QAccessible::Pane);
    if (className == QLatin1String("TPageControl"))
        return new TPageControlAccessible(static_cast<TPageControl*>(object));
    if (className == QLatin1String("TTabSheet"))
        return new TTabSheetAccessible(static_cast<TTabSheet*>(object));
    return nullptr;
}

}  // namespace

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(CreateAccessible);
}
