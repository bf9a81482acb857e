#include "toolkit/TAccessible.h"

#include "toolkit/TControl.h"
#include "toolkit/TForm.h"

namespace {

QAccessibleInterface* CreateAccessible(const QString& className, QObject* object) {
    auto* control = qobject_cast<TControl*>(object);
    if (!control || qobject_cast<TForm*>(object)) return nullptr;
    if (className == QLatin1String("TLabel")) return new TAccessible(control, QAccessible::StaticText);
    if (className == QLatin1String("TImage")) return new TAccessible(control, QAccessible::Graphic);
    if (className == QLatin1String("TPanel")) return new TAccessible(control, QAccessible::Pane);
    return nullptr;
}

}  // namespace

QString TAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        if (!widget()->accessibleName().isEmpty()) return widget()->accessibleName();
        // A link label's '&' marks its access key and is not read aloud.
        return QString(static_cast<const TControl*>(widget())->Caption()).remove(QLatin1Char('&'));
    }
    return QAccessibleWidget::text(t);
}

void InstallAccessibility() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    QAccessible::installFactory(CreateAccessible);
}
