#include "toolkit/TAccessible.h"

#include "toolkit/TControl.h"
#include "toolkit/TForm.h"

namespace {

QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
    auto* control = qobject_cast<TControl*>(object);
    if (!control || qobject_cast<TForm*>(object))
        return nullptr;
    if (className == QLatin1String("TLabel"))
        return new TAccessible(control, QAccessible::StaticText);
    if (className == QLatin1String("TImage"))
        return new TAccessible(control, QAccessible::Graphic);
    if (className == QLatin1String("TPanel"))
        return new TAccessible(control, QAccessible::Pane);
    // The tabs are read as a list of page tabs, each page by its tab's caption.
    if (className == QLatin1String("TPageControl"))
        return new TAccessible(control, QAccessible::PageTabList);
    if (className == QLatin1String("TTabSheet"))
        return new TAccessible(control, QAccessible::PageTab);
    return nullptr;
}

}  // namespace

// The caption as it reads: a single '&' marks the access key, "&&" is an ampersand.
static QString WithoutAccessKey(const QString& caption) {
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) == QLatin1Char('&') && ++i == caption.size())
            break;
        text += caption.at(i);
    }
    return text;
}

QString TAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        if (!widget()->accessibleName().isEmpty())
            return widget()->accessibleName();
        return WithoutAccessKey(static_cast<const TControl*>(widget())->Caption());
    }
    if (t == QAccessible::Description)
        return static_cast<const TControl*>(widget())->Hint();
    return QAccessibleWidget::text(t);
}

void InstallAccessibility() {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(CreateAccessible);
}
